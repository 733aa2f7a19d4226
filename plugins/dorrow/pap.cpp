// PPP-PAP: code, identifier and length; an Authenticate-Request's user name
// and password as dumps under their own groups, any other code's data as
// one dump. The packet runs to the captured end (its length field is shown
// only), so the dumps of the other codes show Ethernet padding too.
// The packets are those of RFC 1334, 2.2.
#include "dorrow.h"

namespace dorrow {

namespace {

enum : int { kHeaderLength = 4 };
enum : BYTE { CODE_AUTHENTICATE_REQUEST = 1 };

constexpr qv::Name kCodes[] = {
    {CODE_AUTHENTICATE_REQUEST, "Authentication Request"},
    {2, "Authentication Ack"},
    {3, "Authentication Nak"},
};
constexpr qv::NameTable kCodeNames(kCodes, "Unknown");

BYTE g_nameState, g_passwordState;

// A length byte and the bytes it counts, as a group over those bytes (as
// many as were captured) with a dump of them. The cursor moves past all the
// counted bytes; the caller must have one byte left for the length.
void LengthAndBytes(qv::DetailList& list, qv::Cursor& c, BYTE* state, const char* title, const char* label) {
  const int at = c.Offset();
  BYTE length = 0;
  c.U8(&length);
  const qv::View value = c.Take(length);
  list.Group<"%s">(state, at, (int)value.size(), title);
  list.Add<"Length\t\t\t\t%d">(at, 1, length);
  if (!value.empty()) list.HexDump(label, value.Bytes(0, value.size()), (int)value.size(), value.Offset());
  list.Close();
}

void DetailPap(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  if (!list.Group<"PAP Protocol">(&l.protocol.titleState, o, (int)h.size()) || h.size() < kHeaderLength) return;
  const BYTE code = h.U8Or0(0);
  list.Add<"Code\t\t\t\t\t\t%s">(o, 1, kCodeNames(code));
  list.Add<"Identifier\t\t\t\t%d">(o + 1, 1, h.U8Or0(1));
  list.Add<"Length\t\t\t\t\t%d">(o + 2, 2, h.Be16Or0(2));
  if (list.stopped) return;
  const qv::View data = h.From(kHeaderLength);
  if (code != CODE_AUTHENTICATE_REQUEST) {
    list.HexDump("Data", data.Bytes(0, data.size()), (int)data.size(), data.Offset());
    list.Close();
    return;
  }
  qv::Cursor c(data);
  if (c.More()) {
    LengthAndBytes(list, c, &g_nameState, "User Name", "Name");
    // A capture that ends with the name has no password.
    if (!c.More()) return;
    LengthAndBytes(list, c, &g_passwordState, "User Password", "Password");
  }
  list.Close();
}

void SummarizePap(qv::Layer& l, SummaryRow* row) {
  BYTE code;
  qv::SetCellText(row->protocol, "PAP");
  qv::SetCellText(row->description, l.header.U8(0, &code) ? kCodeNames(code) : "Unknown");
}

constexpr qv::Binding kBindings[] = {{"MAC-802.3", 0xC023}};

}  // namespace

constexpr qv::ProtocolDecl kPapDecl = {
    .nameId = "PPP-PAP",
    .description = "PPP Password Authentication Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_MINIMAL,
    .statistics = {2, "PPP Password Authentication Protocol"},
    .summary = SummarizePap,
    .detail = DetailPap,
    .handOn = HandOnUnmoved,
    .bindings = kBindings,
};
qv::Protocol g_pap = qv::Declare<g_pap, kPapDecl>();

}  // namespace dorrow
