// IP-SLP: the fixed header of Service Location Protocol messages, UDP and
// TCP port 427, in two layouts chosen by the version byte. The body is not
// decoded. A leaf.
// The version 1 layout is RFC 2165's.
#include "corvale.h"

namespace corvale {

namespace {

const int kMinimum = 3;  // version, function and the first length byte

BYTE g_v1State, g_flagsState, g_v2State;

constexpr qv::Name kFunctions[] = {
    {1, "Service Request"},      {2, "Service Reply"},        {3, "Service Registration"},
    {4, "Service Deregister"},   {5, "Service Acknowledge"},  {6, "Atribute Request"},
    {7, "Attribute Reply"},      {8, "DA Advertisement"},     {9, "Service Type Request"},
    {10, "Service Type Reply"},  {11, "SA Advertisement"},
};
constexpr qv::NameTable kFunctionNames(kFunctions, "Unknown");

constexpr qv::FlagBit kFlagBits[] = {
    {0x80, "OverFlow\t\t\t\t"}, {0x40, "Monolingual\t\t\t"},  {0x20, "URL Auth\t\t\t\t"},
    {0x10, "Attribute Auth\t\t"}, {0x08, "New Entry\t\t\t"},
};

void SummarizeSlp(qv::Layer& l, SummaryRow* row) {
  if (l.header.size() < kMinimum) return;
  qv::SetCellText(row->protocol, "SLP");
  qv::SetCellText(row->description, kFunctionNames(l.header.U8Or0(1)));
}

// The lines both layouts open with; false when the header ends before the
// length or the host gave no line.
bool CommonLines(qv::DetailList& list, const qv::View& v) {
  list.Add<"Version\t\t\t\t\t%d">(v.Offset(), 1, v.U8Or0(0));
  list.Add<"Function\t\t\t\t\t%s">(v.Offset(1), 1, kFunctionNames(v.U8Or0(1)));
  WORD length;
  return v.Be16(2, &length) && list.Add<"Length\t\t\t\t\t%d">(v.Offset(2), 2, length);
}

// Each field is shown only when it was captured; a header cut short ends
// its lines there, its groups left open.
void DetailSlpV1(qv::DetailList& list, const qv::View& v) {
  if (!CommonLines(list, v)) return;
  BYTE flags;
  if (!v.U8(4, &flags)) return;
  const int at = v.Offset(4);
  list.Group<"Flags">(&g_flagsState, at, 1);
  list.FlagLines<"%s%s[%s]">(at, 1, flags, kFlagBits, {"On \t", "Off\t"}, {8, 4});
  list.Add<"Reserved\t\t\t\t0x%02x">(at, 1, flags & 0x07);
  list.Close();
  BYTE dialect;
  if (!v.U8(5, &dialect) || !list.Add<"Dialect\t\t\t\t\t%d">(v.Offset(5), 1, dialect)) return;
  const BYTE* language = v.Bytes(6, 2);
  if (!language || !list.Add<"Language code\t\t\t%c%c">(v.Offset(6), 2, language[0], language[1])) return;
  WORD word;
  if (!v.Be16(8, &word) || !list.Add<"Char Encoding\t\t\t%d">(v.Offset(8), 2, word)) return;
  if (!v.Be16(10, &word)) return;
  list.Add<"XID\t\t\t\t\t\t%d">(v.Offset(10), 2, word);
  list.Close();
}

// The other versions, at the positions given here (they are not those of
// the version 2 wire format).
void DetailSlpV2(qv::DetailList& list, const qv::View& v) {
  if (!CommonLines(list, v)) return;
  WORD word;
  if (!v.Be16(6, &word) || !list.Add<"Next Offset\t\t\t\t\t%d">(v.Offset(6), 2, word)) return;
  if (!v.Be16(8, &word)) return;
  list.Add<"XID\t\t\t\t\t%d">(v.Offset(8), 2, word);
  list.Close();
}

// The version byte picks the layout, read only once three bytes are there.
void DetailSlp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  if (v.size() < kMinimum) return;
  const bool v1 = v.U8Or0(0) == 1;
  if (!list.Group<"%s">(v1 ? &g_v1State : &g_v2State, v.Offset(), (int)v.size(), l.protocol.descriptor.description))
    return;
  if (v1)
    DetailSlpV1(list, v);
  else
    DetailSlpV2(list, v);
}

constexpr qv::Binding kBindings[] = {{"IP-UDP", 427}, {"IP-TCP", 427}};

}  // namespace

constexpr qv::ProtocolDecl kSlpDecl = {
    .nameId = "IP-SLP",
    .description = "Service Location Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "SLP"},
    .summary = SummarizeSlp,
    .detail = DetailSlp,
    .bindings = kBindings,
};
qv::Protocol g_slp = qv::Declare<g_slp, kSlpDecl>();

}  // namespace corvale
