// Two protocols of a second library: a leaf bound under TEST-ROOT by name id
// (keys 0x11 and 0x22), and a minimal-form protocol under key 0x66 whose
// lines land in the slot after its own.
#include "plugin.h"

namespace {

BYTE g_enabled = 1, g_miniEnabled = 1;
DWORD g_color = 0, g_miniColor = 0;
qv::Counters g_leaf;
StatisticsEntry g_stats = {nullptr, 7, "Test Leaf", &g_leaf.frames, &g_leaf.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};
BYTE g_titleState;

DWORD QV_CALL ParseLeaf(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlLeaf(DWORD, CTRLARG, CTRLARG, CTRLARG, CTRLARG);
CTRLARG QV_CALL ControlMini(DWORD, CTRLARG, CTRLARG, CTRLARG, CTRLARG);

ProtocolDescriptor g_descriptor = {{0, 0}, "TEST-LEAF", "Contract Test Leaf", &g_enabled, &g_color, PROTOCOL_CHILD,
                                   ControlLeaf, ParseLeaf, nullptr};
DWORD QV_CALL ParseMini(DWORD pass, CaptureFrame* frame, void* out);
ProtocolDescriptor g_mini = {{0, 0}, "TEST-MINI", "Contract Test Minimal", &g_miniEnabled, &g_miniColor, 0,
                             ControlMini, ParseMini, nullptr};

void InitLeaf() {
  qv::BindUnder("TEST-ROOT", 0x11, ParseLeaf, ControlLeaf);
  qv::BindUnder("TEST-ROOT", 0x22, ParseLeaf, ControlLeaf);
}

const qv::Protocol g_protocol = {&g_descriptor, qv::CONTROL_LEAF, nullptr, g_statistics, 1, InitLeaf};
void InitMini() { qv::BindUnder("TEST-ROOT", 0x66, ParseMini, ControlMini); }
const qv::Protocol g_miniProtocol = {&g_mini, qv::CONTROL_MINIMAL, nullptr, nullptr, 0, InitMini};

CTRLARG QV_CALL ControlLeaf(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}
CTRLARG QV_CALL ControlMini(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_miniProtocol, command, a1, a2, a3, a4);
}

void CountLeaf(const BYTE*, CaptureFrame* frame, void*) { qv::CountProtocolFrame(&g_leaf, frame); }

void SummarizeLeaf(const BYTE*, CaptureFrame* frame, void* out) {
  if (!g_enabled) return;
  SummaryRow* row = static_cast<SummaryRow*>(out);
  qv::SetCell(row->protocol, "LEAF");
  qv::SetCell(row->description, "Leaf of %lld bytes", (long long)qv::CapturedFrom(frame, frame->offset));
}

void DetailLeaf(const BYTE*, CaptureFrame* frame, void* out) {
  qv::DetailList list(out);
  int at = frame->offset;
  int64_t n = qv::CapturedFrom(frame, at);
  if (!list.Group(&g_titleState, at, (int)n, "Contract Test Leaf")) return;
  list.Add(at, (int)n, "Payload\t\t%lld bytes", (long long)n);
  if (const BYTE* p = qv::FrameBytes(frame, at, n)) list.HexDump("Payload", p, (int)n, at);
}

const qv::LeafRoutines g_routines = {&g_descriptor, CountLeaf, SummarizeLeaf, DetailLeaf};

DWORD QV_CALL ParseLeaf(DWORD pass, CaptureFrame* frame, void* out) {
  return qv::ParseLeafProtocol(g_routines, pass, frame, out);
}

void DetailMini(const BYTE*, CaptureFrame* frame, void* out) {
  qv::DetailList list(out);
  list.Add(frame->offset, (int)qv::CapturedFrom(frame, frame->offset), "Contract Test Minimal");
}
const qv::LeafRoutines g_miniRoutines = {&g_mini, nullptr, nullptr, DetailMini};
DWORD QV_CALL ParseMini(DWORD pass, CaptureFrame* frame, void* out) {
  return qv::ParseLeafProtocolNextList(g_miniRoutines, pass, frame, out);
}

ProtocolDescriptor* const g_descriptors[] = {&g_descriptor, &g_mini};
const qv::PluginInfo g_plugin = {"Contractleaf has mismatched Monitor Table version!\nPlease verify your installation.",
                                 g_descriptors, 2, nullptr, 0, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(g_plugin, type, table);
}
