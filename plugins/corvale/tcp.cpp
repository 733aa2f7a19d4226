// IP-TCP: the TCP header with its flags and options; the payload, when
// there is one, goes to the child bound under the destination port, else
// under the source port.
#include <algorithm>

#include "corvale.h"

namespace corvale {

namespace {

const int kFixedHeader = 20;

BYTE g_enabled = 1;
DWORD g_color = 0;
ChildTable g_children;
qv::Counters g_counters;
BYTE g_titleState, g_flagsState, g_optionState;

StatisticsEntry g_stats = {nullptr, 4, "TCP", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};

DWORD QV_CALL ParseTcp(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlTcp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitTcp() { qv::BindUnder("DOD-IP", 6, ParseTcp, ControlTcp); }

const qv::Protocol g_protocol = {&g_tcp, qv::CONTROL_PARENT, &g_children, g_statistics, 1, InitTcp};

CTRLARG QV_CALL ControlTcp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

// The flag bits, in the order the summary and the detail show them.
struct FlagBit {
  BYTE bit;
  const char* word;   // summary
  const char* label;  // detail
  const char* on;
  const char* off;
};
const FlagBit kFlagBits[] = {
    {0x20, "Urgent ", "Urgent Pointer\t\t", "On  [xx1x xxxx]", "Off [xx0x xxxx]"},
    {0x10, "Ack ", "Ack\t\t\t\t\t", "On  [xxx1 xxxx]", "Off [xxx0 xxxx]"},
    {0x08, "Push ", "Push\t\t\t\t\t", "On  [xxxx 1xxx]", "Off [xxxx 0xxx]"},
    {0x04, "Reset ", "Reset\t\t\t\t\t", "On  [xxxx x1xx]", "Off [xxxx x0xx]"},
    {0x02, "Syn ", "SYN\t\t\t\t\t", "On  [xxxx xx1x]", "Off [xxxx xx0x]"},
    {0x01, "Fin ", "FIN\t\t\t\t\t", "On  [xxxx xxx1]", "Off [xxxx xxx0]"},
};

// The option kinds of the TCP option registry that have names.
const char* TcpOptionName(BYTE kind) {
  static const char* const kNames[] = {
      nullptr,
      nullptr,
      "Maximum Segment Size",
      "Window Scale",
      "Sack Permitted",
      "Sack",
      "Echo",
      "Echo Reply",
      "Time Stamp",
      "Partial Order Connection Permitted",
      "Partial Order Service Profile",
      nullptr,
      nullptr,
      nullptr,
      "TCP Alternate Checksum Request",
      "TCP Alternate Checksum Data",
      "Skeeter",
      "Bubba",
      "TCP Trailer Checksum",
      "MD5 Signature Option",
      "SCPS Capabilities",
      "Selective Nacks",
      "Record Boundaries",
      "Corruption Experienced",
      "SNAP",
      nullptr,
      "TCP Compression Filter",
  };
  const char* name = kind < sizeof kNames / sizeof kNames[0] ? kNames[kind] : nullptr;
  return name ? name : "Unknown";
}

// What of the header is captured. Byte 12 (the header length) implies the
// ports; fields are read one by one where the lines need them.
struct TcpHeader {
  bool haveSource, haveDestination, haveLength, haveFlags;
  WORD sourcePort, destinationPort;
  int headerLength;
  BYTE flags;
};

void SummarizeTcp(const TcpHeader& h, void* out) {
  SummaryRow* row = static_cast<SummaryRow*>(out);
  // Ports are appended whatever the enable byte.
  AppendPorts(row, h.haveSource ? &h.sourcePort : nullptr, h.haveDestination ? &h.destinationPort : nullptr);
  if (!g_enabled) return;
  qv::SetCell(row->protocol, "TCP");
  qv::SetCell(row->description, "%s", "");
  if (h.haveFlags)
    for (const FlagBit& f : kFlagBits)
      if (h.flags & f.bit) qv::AppendCell(row->description, "%s", f.word);
  if (row->description->text[0] == 0) qv::SetCell(row->description, "Segment");
}

// Named ports only: an unnamed one shows its number once.
void AddPortLine(qv::DetailList& list, int at, const char* label, WORD port) {
  char name[128];
  if (RetrieveIPPort(port, name, IP_NAME_STYLE_LONG))
    list.Add(at, 2, "%s%u\t%s", label, (unsigned)port, name);
  else
    list.Add(at, 2, "%s%u\t", label, (unsigned)port);
}

// The options area: n bytes from frame position pos. Every option moves the
// walk forward or ends it; no line reads a byte that was not captured.
void DecodeTcpOptions(qv::DetailList& list, const CaptureFrame* frame, int pos, int n) {
  while (n > 0 && !list.stopped) {
    BYTE kind;
    if (!qv::ReadU8(frame, pos, &kind)) return;
    if (kind == 0) {
      list.Group(&g_optionState, pos, 1, "Option\t\t\t\t\tEnd of Options");
      if (DetailLine* l = list.Add(pos, 1, "Option Length\t\t1")) qv::CloseDetailGroup(l);
      return;  // whatever follows
    }
    if (kind == 1) {
      list.Group(&g_optionState, pos, 1, "Option\t\t\t\t\tNo Op");
      if (DetailLine* l = list.Add(pos, 1, "Option Code\t\t\t%d", 1)) qv::CloseDetailGroup(l);
      pos += 1;
      n -= 1;
      continue;
    }
    const char* name = TcpOptionName(kind);
    BYTE length;
    if (!qv::ReadU8(frame, pos + 1, &length)) {
      // Cut by the capture after its kind: the group shows what there is.
      list.Group(&g_optionState, pos, 1, "Option\t\t\t\t\t%s", name);
      if (DetailLine* l = list.Add(pos, 1, "Option Code\t\t\t%d", kind)) qv::CloseDetailGroup(l);
      return;
    }
    list.Group(&g_optionState, pos, length, "Option\t\t\t\t\t%s", name);
    list.Add(pos, 1, "Option Code\t\t\t%d", kind);
    DetailLine* last = list.Add(pos + 1, 1, "Option Length\t\t%d", length);
    // The segment size needs both of its bytes inside the option.
    WORD value;
    if (kind == 2 && length >= 4 && qv::ReadBe16(frame, pos + 2, &value))
      last = list.Add(pos + 2, length - 2, "Option Value\t\t%d", value);
    if (!last) return;
    qv::CloseDetailGroup(last);
    // A length below 2 would not get past the option's own two bytes.
    if (length < 2) return;
    // An option that runs past the header ends the walk: n goes negative.
    pos += length;
    n -= length;
  }
}

void DetailTcp(const CaptureFrame* frame, const TcpHeader& h, int o, void* out) {
  qv::DetailList list(out);
  const int titleLength =
      h.haveLength ? h.headerLength : (int)std::min<int64_t>(qv::CapturedFrom(frame, o), kFixedHeader);
  if (!list.Group(&g_titleState, o, titleLength, "Transmission Control Protocol")) return;
  if (!h.haveSource) return;
  AddPortLine(list, o, "Source Port\t\t\t\t", h.sourcePort);
  if (!h.haveDestination) return;
  AddPortLine(list, o + 2, "Destination Port\t\t", h.destinationPort);
  DWORD number;
  if (!qv::ReadBe32(frame, o + 4, &number)) return;
  list.Add(o + 4, 4, "Sequence Number\t\t%u", number);
  if (!qv::ReadBe32(frame, o + 8, &number)) return;
  list.Add(o + 8, 4, "Ack Number\t\t\t\t%u", number);
  if (!h.haveLength) return;
  list.Add(o + 12, 1, "Header Size\t\t\t\t%u", (unsigned)h.headerLength);
  if (!h.haveFlags) return;
  list.Group(&g_flagsState, o + 13, 1, "Flags");
  DetailLine* last = nullptr;
  for (const FlagBit& f : kFlagBits) last = list.Add(o + 13, 1, "%s%s", f.label, (h.flags & f.bit) ? f.on : f.off);
  if (!last) return;
  qv::CloseDetailGroup(last);
  WORD value;
  if (!qv::ReadBe16(frame, o + 14, &value)) return;
  list.Add(o + 14, 2, "Window Size\t\t\t\t%u", (unsigned)value);
  if (!qv::ReadBe16(frame, o + 16, &value)) return;
  list.Add(o + 16, 2, "Checksum\t\t\t\t\t0x%04x", (unsigned)value);
  if (!qv::ReadBe16(frame, o + 18, &value)) return;
  list.Add(o + 18, 2, "Urgent Pointer\t\t\t%u", (unsigned)value);
  if (h.headerLength > kFixedHeader) DecodeTcpOptions(list, frame, o + kFixedHeader, h.headerLength - kFixedHeader);
}

DWORD QV_CALL ParseTcp(DWORD pass, CaptureFrame* frame, void* out) {
  const int o = frame->offset;
  qv::MarkFrame(&g_tcp, frame);
  if (pass > PASS_DETAIL) return 0;

  TcpHeader h = {};
  h.haveSource = qv::ReadBe16(frame, o, &h.sourcePort);
  h.haveDestination = qv::ReadBe16(frame, o + 2, &h.destinationPort);
  BYTE dataOffset = 0;
  h.haveLength = qv::ReadU8(frame, o + 12, &dataOffset);
  h.headerLength = (dataOffset >> 4) * 4;
  h.haveFlags = qv::ReadU8(frame, o + 13, &h.flags);

  // Every pass records the header, whatever the enable byte, so that DNS
  // over TCP decides on this frame in its counting and summary passes too.
  if (h.haveSource) LastTcpHeader = TcpHeaderRecord{1, h.sourcePort};

  void* next = out;
  switch (pass) {
    case PASS_COUNT:
      qv::CountProtocolFrame(&g_counters, frame);  // the header counts
      break;
    case PASS_SUMMARY:
      SummarizeTcp(h, out);
      break;
    default:
      if (g_enabled) DetailTcp(frame, h, o, out);
      next = static_cast<DetailLine**>(out) + 1;
      break;
  }
  // Without its header length a segment's payload cannot be found; a
  // segment with no payload reaches no child.
  if (!h.haveLength) return 0;
  frame->offset = o + h.headerLength;
  if (frame->offset >= frame->frameLength) return 0;
  FindPortChild(&g_children, h.destinationPort, h.sourcePort)(pass, frame, next);
  return 0;
}

}  // namespace

ProtocolDescriptor g_tcp = {{0, 0},     "IP-TCP", "Transmission Control Protocol",
                            &g_enabled, &g_color, PROTOCOL_PARENT | PROTOCOL_CHILD,
                            ControlTcp, ParseTcp, nullptr};

}  // namespace corvale
