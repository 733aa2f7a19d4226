// IEEE 802.1: spanning tree BPDUs under LLC SAP 0x42. A leaf.
#include "quillet.h"

namespace quillet {

namespace {

BYTE g_enabled = 1;
DWORD g_color = 0;
qv::Counters g_counters;
BYTE g_titleState;

StatisticsEntry g_stats = {nullptr, 2, "IEEE 802.1", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};

DWORD QV_CALL ParseSpanningTree(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlSpanningTree(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitSpanningTree() { qv::BindUnder("LLC-802.2", 0x42, ParseSpanningTree, ControlSpanningTree); }

const qv::Protocol g_protocol = {&g_spanningTree, qv::CONTROL_MINIMAL, nullptr, g_statistics, 1, InitSpanningTree};

CTRLARG QV_CALL ControlSpanningTree(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

// The configuration BPDU, field by field. Identifiers are 8 bytes: a 2-byte
// priority and a 6-byte address; the other fields are big-endian numbers.
struct Field {
  int at;
  int size;
  const char* format;
};
const Field kFields[] = {
    {0, 2, "Protocol ID\t\t\t\t%d"},
    {2, 1, "Version\t\t\t\t\t%d"},
    {3, 1, "Type\t\t\t\t\t\t%d"},
    {4, 1, "Flags\t\t\t\t\t\t%d"},
    {5, 8, "Root\t\t\t\t\t\t%02X-%02X  %02X-%02X-%02X-%02X-%02X-%02X"},
    {13, 4, "Path Cost\t\t\t\t%d"},
    {17, 8, "Bridge ID\t\t\t\t%02X-%02X  %02X-%02X-%02X-%02X-%02X-%02X"},
    {25, 2, "Port ID\t\t\t\t\t%d"},
    {27, 2, "Age\t\t\t\t\t\t%d"},
    {29, 2, "Maximum Age\t\t\t\t%d"},
    {31, 2, "Hello Time\t\t\t\t%d"},
    {33, 2, "Forward Delay\t\t\t%d"},
};

void CountSpanningTree(const BYTE*, CaptureFrame* frame, void*) { qv::CountProtocolFrame(&g_counters, frame); }

void SummarizeSpanningTree(const BYTE*, CaptureFrame*, void* out) {
  if (!g_enabled) return;
  SummaryRow* row = static_cast<SummaryRow*>(out);
  qv::SetCell(row->protocol, "IEEE 802.1");
  qv::SetCell(row->description, "BPDU");
}

void DetailSpanningTree(const BYTE*, CaptureFrame* frame, void* out) {
  qv::DetailList list(out);
  const int o = frame->offset;
  if (!list.Group(&g_titleState, o, (int)qv::CapturedFrom(frame, o), "IEEE 802.1 Spanning Tree Protocol")) return;
  DetailLine* line = nullptr;
  for (const Field& f : kFields) {
    // A topology change BPDU has 4 bytes: the lines end at the captured end.
    const BYTE* p = qv::FrameBytes(frame, (int64_t)o + f.at, f.size);
    if (!p) return;
    switch (f.size) {
      case 1:
        line = list.Add(o + f.at, f.size, f.format, p[0]);
        break;
      case 2:
        line = list.Add(o + f.at, f.size, f.format, (p[0] << 8) | p[1]);
        break;
      case 4:
        line = list.Add(o + f.at, f.size, f.format,
                        (int32_t)(((DWORD)p[0] << 24) | ((DWORD)p[1] << 16) | ((DWORD)p[2] << 8) | p[3]));
        break;
      default:
        line = list.Add(o + f.at, f.size, f.format, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
        break;
    }
    if (!line) return;
  }
  qv::CloseDetailGroup(line);  // the Forward Delay line ends the title group
}

const qv::LeafRoutines g_routines = {&g_spanningTree, CountSpanningTree, SummarizeSpanningTree, DetailSpanningTree};

DWORD QV_CALL ParseSpanningTree(DWORD pass, CaptureFrame* frame, void* out) {
  return qv::ParseLeafProtocol(g_routines, pass, frame, out);
}

}  // namespace

ProtocolDescriptor g_spanningTree = {{0, 0}, "IEEE 802.1", "IEEE 802.1 Spanning Tree Protocol", &g_enabled, &g_color,
                                     PROTOCOL_CHILD, ControlSpanningTree, ParseSpanningTree, nullptr};

}  // namespace quillet
