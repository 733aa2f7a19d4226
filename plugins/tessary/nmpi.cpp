// MS-NMPI: the Name Management Protocol on IPX sockets 0x0550 to 0x0553, a
// 68-byte header naming a function and two NetBIOS names. An SMB message
// behind it goes to MS-SMB; a packet that is itself an SMB message goes
// there at its own offset.
#include "tessary.h"

namespace tessary {

namespace {

const int kHeaderLength = 68;
const int kFunction = 32;
const int kRequestedName = 36;
const int kSourceName = 52;
const int kNameField = 16;

ProtocolParse g_smbCache;

struct Function {
  DWORD key;
  const char* summary;
  const char* detail;
  int name;  // the name the summary appends, or 0
};
constexpr Function kFunctions[] = {
    {0xF1, "Announce Name ", "Announce Name", kSourceName},
    {0xF3, "Name Query ", "Name Query", kRequestedName},
    {0xF4, "Name Query Response ", "Name Query Response", kRequestedName},
    {0xFC, "MailSlot Write", "Mailslot Write", 0},
};

const Function* FindFunction(BYTE code) { return qv::FindRow<Function>(kFunctions, code); }

void SummarizeNmpi(qv::Layer& l, SummaryRow* row) {
  const qv::View& h = l.header;
  qv::SetCellText(row->protocol, "NMPI");
  qv::SetCellText(row->description, "");
  if (IsSmbHeader(h)) {
    qv::SetCellText(row->description, "SMB Packet");
    return;
  }
  BYTE code;
  if (!h.U8(kFunction, &code)) return;
  const Function* f = FindFunction(code);
  if (!f) {
    qv::SetCell(row->description, "Unknown Command [%02x]", code);
    return;
  }
  qv::SetCellText(row->description, f->summary);
  const BYTE* name = f->name ? h.Bytes(f->name, kNameField) : nullptr;
  if (!name) return;
  char text[128] = "";
  NetBiosNameText(name, text, sizeof text);
  qv::AppendCellText(row->description, text);
}

// A name as it stands: up to its first NUL, suffix byte included.
bool NameLine(const qv::View& h, int at, const char* format, qv::DetailList& list) {
  const BYTE* name = h.Bytes(at, kNameField);
  if (!name) return false;
  char text[kNameField + 1] = {};
  for (int i = 0; i < kNameField && name[i]; i++) text[i] = (char)name[i];
  return list.Add(h.Offset(at), kNameField, format, text) != nullptr;
}

// The lines end at the first field that was not captured; the source name
// ends the title group.
void DetailNmpi(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  if (!list.Group<"Name Management Protocol on IPX">(&l.protocol.titleState, l.offset(), kHeaderLength)) return;
  if (IsSmbHeader(h)) {
    list.Add<"Server Message Block packet">(0, 0);
    list.Close();
    return;
  }
  BYTE code;
  if (!h.U8(kFunction, &code)) return;
  if (const Function* f = FindFunction(code))
    list.Add<"Function\t\t\t\t\t%s">(h.Offset(kFunction), 1, f->detail);
  else
    list.Add<"Function\t\t\t\t\tUnknown Command [%02x]">(h.Offset(kFunction), 1, code);
  if (NameLine(h, kRequestedName, "Requested Name\t\t\t%s", list) &&
      NameLine(h, kSourceName, "Source Name\t\t\t\t%s", list))
    list.Close();
}

// In every pass, whatever the enable byte and the lines the host gave: an
// SMB message at the header's own place goes to MS-SMB there; otherwise
// the header is skipped, and an SMB message captured behind it goes on.
// MS-SMB never hands a frame back, so the call in place cannot loop.
ProtocolParse HandOnNmpi(qv::Layer& l) {
  CaptureFrame* frame = l.frame;
  if (IsSmbHeader(l.header)) {
    g_smbCache(l.pass, frame, qv::NextSlot(l.pass, l.out));
    return nullptr;
  }
  frame->offset = l.offset() + kHeaderLength;
  if (!IsSmbHeader(qv::View::At(frame, frame->offset))) return nullptr;
  return g_smbCache;
}

constexpr qv::Binding kBindings[] = {
    {"NOVELL-IPX", 0x140550}, {"NOVELL-IPX", 0x40550}, {"NOVELL-IPX", 0x140551}, {"NOVELL-IPX", 0x40551},
    {"NOVELL-IPX", 0x140552}, {"NOVELL-IPX", 0x40552}, {"NOVELL-IPX", 0x140553}, {"NOVELL-IPX", 0x40553},
};
constexpr qv::Cache kCaches[] = {{"MS-SMB", &g_smbCache}};

}  // namespace

constexpr qv::ProtocolDecl kNmpiDecl = {
    .nameId = "MS-NMPI",
    .description = "NMPI",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "NMPI"},
    .summary = SummarizeNmpi,
    .detail = DetailNmpi,
    .handOn = HandOnNmpi,
    .bindings = kBindings,
    .caches = kCaches,
};
qv::Protocol g_nmpi = qv::Declare<g_nmpi, kNmpiDecl>();

}  // namespace tessary
