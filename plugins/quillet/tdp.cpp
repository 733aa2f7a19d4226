// CISCO-TDP: the fixed header of Tag Distribution Protocol packets, TCP and
// UDP port 711. A leaf.
#include "quillet.h"

namespace quillet {

namespace {

BYTE g_enabled = 1;
DWORD g_color = 0;
qv::Counters g_counters;
BYTE g_titleState;

StatisticsEntry g_stats = {nullptr, 2, "TDP", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};

DWORD QV_CALL ParseTdp(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlTdp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitTdp() {
  qv::BindUnder("IP-TCP", 711, ParseTdp, ControlTdp);
  qv::BindUnder("IP-UDP", 711, ParseTdp, ControlTdp);
}

const qv::Protocol g_protocol = {&g_tdp, qv::CONTROL_LEAF, nullptr, g_statistics, 1, InitTdp};

CTRLARG QV_CALL ControlTdp(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

void CountTdp(const BYTE*, CaptureFrame* frame, void*) { qv::CountProtocolFrame(&g_counters, frame); }

void SummarizeTdp(const BYTE*, CaptureFrame*, void* out) {
  if (!g_enabled) return;
  SummaryRow* row = static_cast<SummaryRow*>(out);
  qv::SetCell(row->protocol, "TDP");
  qv::SetCell(row->description, "Packet");
}

void DetailTdp(const BYTE*, CaptureFrame* frame, void* out) {
  qv::DetailList list(out);
  const int o = frame->offset;
  if (!list.Group(&g_titleState, o, (int)qv::CapturedFrom(frame, o), "Tag Distribution Protocol")) return;
  // A short packet shows the fields it has.
  WORD version = 0, length = 0;
  DWORD identifier = 0;
  if (!qv::ReadBe16(frame, o, &version) || !list.Add(o, 2, "Version\t\t\t\t\t%d", version)) return;
  if (!qv::ReadBe16(frame, o + 2, &length) || !list.Add(o + 2, 2, "Length\t\t\t\t\t%d", length)) return;
  if (!qv::ReadBe32(frame, o + 4, &identifier)) return;
  if (DetailLine* line = list.Add(o + 4, 4, "Identifier\t\t\t\t%d", (int32_t)identifier)) qv::CloseDetailGroup(line);
}

const qv::LeafRoutines g_routines = {&g_tdp, CountTdp, SummarizeTdp, DetailTdp};

DWORD QV_CALL ParseTdp(DWORD pass, CaptureFrame* frame, void* out) {
  return qv::ParseLeafProtocol(g_routines, pass, frame, out);
}

}  // namespace

ProtocolDescriptor g_tdp = {{0, 0}, "CISCO-TDP", "Tag Distribution Protocol", &g_enabled, &g_color,
                            PROTOCOL_CHILD, ControlTdp, ParseTdp, nullptr};

}  // namespace quillet
