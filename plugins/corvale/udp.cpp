// IP-UDP: the 8-byte UDP header; the payload goes to the child bound under
// the destination port, else under the source port.
#include "corvale.h"

namespace corvale {

namespace {

const int kHeaderLength = 8;

BYTE g_enabled = 1;
DWORD g_color = 0;
ChildTable g_children;
qv::Counters g_counters;
BYTE g_titleState;

StatisticsEntry g_stats = {nullptr, 4, "UDP", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};

DWORD QV_CALL ParseUdp(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlUdp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitUdp() { qv::BindUnder("DOD-IP", 17, ParseUdp, ControlUdp); }

const qv::Protocol g_protocol = {&g_udp, qv::CONTROL_PARENT, &g_children, g_statistics, 1, InitUdp};

CTRLARG QV_CALL ControlUdp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

struct UdpHeader {
  bool haveSource, haveDestination;
  WORD sourcePort, destinationPort;
};

void SummarizeUdp(const UdpHeader& h, void* out) {
  SummaryRow* row = static_cast<SummaryRow*>(out);
  // Ports are appended whatever the enable byte.
  AppendPorts(row, h.haveSource ? &h.sourcePort : nullptr, h.haveDestination ? &h.destinationPort : nullptr);
  if (!g_enabled) return;
  qv::SetCell(row->protocol, "UDP");
  qv::SetCell(row->description, "Datagram");
}

// An unnamed port shows its number twice: the lookup writes the number.
DetailLine* AddPortLine(qv::DetailList& list, int at, const char* label, WORD port) {
  char name[128];
  RetrieveIPPort(port, name, IP_NAME_STYLE_LONG);
  return list.Add(at, 2, "%s%u\t%s", label, (unsigned)port, name);
}

void DetailUdp(const CaptureFrame* frame, const UdpHeader& h, int o, void* out) {
  qv::DetailList list(out);
  if (!list.Group(&g_titleState, o, kHeaderLength, "User Datagram Protocol")) return;
  if (!h.haveSource) return;
  AddPortLine(list, o, "Source Port\t\t\t\t", h.sourcePort);
  if (!h.haveDestination) return;
  AddPortLine(list, o + 2, "Destination Port\t\t", h.destinationPort);
  WORD value;
  if (!qv::ReadBe16(frame, o + 4, &value)) return;
  list.Add(o + 4, 2, "Datagram Length\t\t%u", (unsigned)value);
  if (!qv::ReadBe16(frame, o + 6, &value)) return;
  list.Add(o + 6, 2, "Checksum\t\t\t\t\t0x%04x", (unsigned)value);
}

DWORD QV_CALL ParseUdp(DWORD pass, CaptureFrame* frame, void* out) {
  const int o = frame->offset;
  qv::MarkFrame(&g_udp, frame);
  UdpHeader h = {};
  h.haveSource = qv::ReadBe16(frame, o, &h.sourcePort);
  h.haveDestination = qv::ReadBe16(frame, o + 2, &h.destinationPort);

  void* next = out;
  switch (pass) {
    case PASS_COUNT:
      qv::CountProtocolFrame(&g_counters, frame);  // the header counts
      break;
    case PASS_SUMMARY:
      SummarizeUdp(h, out);
      break;
    case PASS_DETAIL:
      if (g_enabled) DetailUdp(frame, h, o, out);
      next = static_cast<DetailLine**>(out) + 1;
      break;
    default:
      return 0;
  }
  // Without its ports a datagram has no child. With them it goes on even
  // when nothing follows the header.
  if (!h.haveDestination) return 0;
  frame->offset = o + kHeaderLength;
  FindPortChild(&g_children, h.destinationPort, h.sourcePort)(pass, frame, next);
  return 0;
}

}  // namespace

ProtocolDescriptor g_udp = {{0, 0},     "IP-UDP", "User Datagram Protocol",
                            &g_enabled, &g_color, PROTOCOL_PARENT | PROTOCOL_CHILD,
                            ControlUdp, ParseUdp, nullptr};

}  // namespace corvale
