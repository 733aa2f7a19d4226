// IP-TCP: the TCP header with its flags and options; the payload, when
// there is one, goes to the child bound under the destination port, else
// under the source port.
// The header is RFC 793's (3.1).
#include "corvale.h"

namespace corvale {

namespace {

const int kFixedHeader = 20;

ChildTable g_children;
BYTE g_flagsState, g_optionState;

// The flag bits, in the order the detail and the summary show them: the
// detail's labels and the summary's words.
constexpr qv::FlagBit kFlagBits[] = {
    {0x20, "Urgent Pointer\t\t"}, {0x10, "Ack\t\t\t\t\t"}, {0x08, "Push\t\t\t\t\t"},
    {0x04, "Reset\t\t\t\t\t"},        {0x02, "SYN\t\t\t\t\t"}, {0x01, "FIN\t\t\t\t\t"},
};
constexpr qv::Name kSummaryWords[] = {
    {0x20, "Urgent "}, {0x10, "Ack "}, {0x08, "Push "}, {0x04, "Reset "}, {0x02, "Syn "}, {0x01, "Fin "},
};

// The summary's words for every set of the six flags, joined once here
// rather than appended one by one on every segment.
struct FlagWords {
  char text[32];
  BYTE length;
};
struct FlagWordTable {
  FlagWords sets[64];
};
consteval FlagWordTable JoinFlagWords() {
  FlagWordTable t{};
  for (int set = 0; set < 64; set++) {
    FlagWords& w = t.sets[set];
    for (const qv::Name& f : kSummaryWords)
      if (set & f.key)
        for (const char* c = f.text; *c; c++) w.text[w.length++] = *c;
  }
  return t;
}
constexpr FlagWordTable kFlagWords = JoinFlagWords();

// The option kinds of the TCP option registry that have names.
constexpr qv::Name kOptions[] = {
    {2, "Maximum Segment Size"},
    {3, "Window Scale"},
    {4, "Sack Permitted"},
    {5, "Sack"},
    {6, "Echo"},
    {7, "Echo Reply"},
    {8, "Time Stamp"},
    {9, "Partial Order Connection Permitted"},
    {10, "Partial Order Service Profile"},
    {14, "TCP Alternate Checksum Request"},
    {15, "TCP Alternate Checksum Data"},
    {16, "Skeeter"},
    {17, "Bubba"},
    {18, "TCP Trailer Checksum"},
    {19, "MD5 Signature Option"},
    {20, "SCPS Capabilities"},
    {21, "Selective Nacks"},
    {22, "Record Boundaries"},
    {23, "Corruption Experienced"},
    {24, "SNAP"},
    {26, "TCP Compression Filter"},
};
constexpr qv::ByteKeyTexts kOptionNames(kOptions, "Unknown");

// What of the header is captured. Byte 12 (the header length) implies the
// ports; fields are read one by one where the lines need them.
struct TcpHeader {
  bool haveSource, haveDestination, haveLength, haveFlags;
  WORD sourcePort, destinationPort;
  int headerLength;
  BYTE flags;
};

// Read by each pass and hand-on of every segment: kept inline.
[[gnu::always_inline]] inline TcpHeader ReadHeader(const qv::View& v) {
  TcpHeader h = {};
  h.haveSource = v.Be16(0, &h.sourcePort);
  h.haveDestination = v.Be16(2, &h.destinationPort);
  BYTE dataOffset = 0;
  h.haveLength = v.U8(12, &dataOffset);
  h.headerLength = (dataOffset >> 4) * 4;
  h.haveFlags = v.U8(13, &h.flags);
  return h;
}

void SummarizeTcp(qv::Layer& l, SummaryRow* row) {
  const TcpHeader h = ReadHeader(l.header);
  // Ports are appended whatever the enable byte.
  AppendPorts(row, h.haveSource, h.sourcePort, h.haveDestination, h.destinationPort);
  if (!l.enabled()) return;
  qv::SetCellText(row->protocol, "TCP");
  const FlagWords& words = kFlagWords.sets[h.haveFlags ? h.flags & 0x3F : 0];
  if (words.length)
    qv::PutCellBytes(row->description, 0, words.text, words.length);
  else
    qv::SetCellText(row->description, "Segment");
}

// Named ports only: an unnamed one shows its number once.
void AddPortLine(qv::DetailList& list, int at, std::string_view label, WORD port) {
  const std::string_view name = PortDescription(port);
  if (name.data())
    list.Add<"%s%u\t%s">(at, 2, label, (unsigned)port, name);
  else
    list.Add<"%s%u\t">(at, 2, label, (unsigned)port);
}

// The options: each starts inside the options area (header bytes 20 up to
// the header length) and is read within its own length and the capture; an
// option that runs past the area ends the walk after its lines. Every
// option moves the walk forward or ends it.
void DecodeTcpOptions(qv::DetailList& list, const qv::View& header, int headerLength) {
  const qv::View options = header.From(kFixedHeader);  // to the captured end
  const int64_t area = headerLength - kFixedHeader;
  int64_t at = 0;
  BYTE kind;
  while (!list.stopped && at < area && options.U8(at, &kind)) {
    const int pos = options.Offset(at);
    if (kind == 0) {
      list.Group<"Option\t\t\t\t\tEnd of Options">(&g_optionState, pos, 1);
      list.Add<"Option Length\t\t1">(pos, 1);
      list.Close();
      return;  // whatever follows
    }
    if (kind == 1) {
      list.Group<"Option\t\t\t\t\tNo Op">(&g_optionState, pos, 1);
      list.Add<"Option Code\t\t\t%d">(pos, 1, 1);
      list.Close();
      at += 1;
      continue;
    }
    const std::string_view name = kOptionNames(kind);
    BYTE length;
    if (!options.U8(at + 1, &length)) {
      // Cut by the capture after its kind: the group shows what there is.
      list.Group<"Option\t\t\t\t\t%s">(&g_optionState, pos, 1, name);
      list.Add<"Option Code\t\t\t%d">(pos, 1, kind);
      list.Close();
      return;
    }
    const qv::View option = options.Sub(at, length);
    list.Group<"Option\t\t\t\t\t%s">(&g_optionState, pos, length, name);
    list.Add<"Option Code\t\t\t%d">(pos, 1, kind);
    list.Add<"Option Length\t\t%d">(pos + 1, 1, length);
    // The segment size needs both of its bytes inside the option.
    WORD value;
    if (kind == 2 && option.Be16(2, &value)) list.Add<"Option Value\t\t%d">(pos + 2, length - 2, value);
    list.Close();
    // A length below 2 would not get past the option's own two bytes.
    if (length < 2) return;
    at += length;
  }
}

void DetailTcp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  const TcpHeader h = ReadHeader(v);
  const int o = l.offset();
  if (!l.Title(list, h.haveLength ? h.headerLength : (int)v.Sub(0, kFixedHeader).size())) return;
  if (!h.haveSource) return;
  AddPortLine(list, o, "Source Port\t\t\t\t", h.sourcePort);
  if (!h.haveDestination) return;
  AddPortLine(list, o + 2, "Destination Port\t\t", h.destinationPort);
  DWORD number;
  if (!v.Be32(4, &number)) return;
  list.Add<"Sequence Number\t\t%u">(o + 4, 4, number);
  if (!v.Be32(8, &number)) return;
  list.Add<"Ack Number\t\t\t\t%u">(o + 8, 4, number);
  if (!h.haveLength) return;
  list.Add<"Header Size\t\t\t\t%u">(o + 12, 1, (unsigned)h.headerLength);
  if (!h.haveFlags) return;
  list.Group<"Flags">(&g_flagsState, o + 13, 1);
  list.FlagLines<"%s%s[%s]">(o + 13, 1, h.flags, kFlagBits, {"On  ", "Off "}, {8, 4});
  list.Close();
  if (list.stopped) return;
  WORD value;
  if (!v.Be16(14, &value)) return;
  list.Add<"Window Size\t\t\t\t%u">(o + 14, 2, (unsigned)value);
  if (!v.Be16(16, &value)) return;
  list.Add<"Checksum\t\t\t\t\t0x%04x">(o + 16, 2, (unsigned)value);
  if (!v.Be16(18, &value)) return;
  list.Add<"Urgent Pointer\t\t\t%u">(o + 18, 2, (unsigned)value);
  if (h.headerLength > kFixedHeader) DecodeTcpOptions(list, v, h.headerLength);
}

// Every pass records the header, whatever the enable byte, so that DNS over
// TCP decides on this frame in its counting and summary passes too. Without
// its header length a segment's payload cannot be found; a segment with no
// payload reaches no child.
ProtocolParse HandOnTcp(qv::Layer& l) {
  const TcpHeader h = ReadHeader(l.header);
  if (h.haveSource) LastTcpHeader = TcpHeaderRecord{1, h.sourcePort, h.destinationPort};
  if (!h.haveLength) return nullptr;
  CaptureFrame* frame = l.frame;
  frame->offset = l.offset() + h.headerLength;
  if (frame->offset >= frame->frameLength) return nullptr;
  return FindPortChild(&g_children, h.destinationPort, h.sourcePort);
}

constexpr qv::Binding kBindings[] = {{"DOD-IP", 6}};

}  // namespace

constexpr qv::ProtocolDecl kTcpDecl = {
    .nameId = "IP-TCP",
    .description = "Transmission Control Protocol",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_PARENT,
    .statistics = {4, "TCP"},
    .options = qv::SUMMARY_ALWAYS,
    .children = &g_children,
    .summary = SummarizeTcp,
    .detail = DetailTcp,
    .handOn = HandOnTcp,
    .bindings = kBindings,
};
qv::Protocol g_tcp = qv::Declare<g_tcp, kTcpDecl>();

}  // namespace corvale
