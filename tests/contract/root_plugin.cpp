// A small parent protocol that exercises the plug-in contract end to end:
// header = key byte, payload length byte. Key 0x33 nests the root in itself,
// key 0xFF hands on through a cache of TEST-LEAF.
#include "plugin.h"

namespace {

BYTE g_enabled = 1;
DWORD g_color = 0;
ChildTable g_children;
ProtocolParse g_leafCache;
qv::Counters g_root;
uint64_t g_keyed = 0;
BYTE g_titleState, g_keyState;

StatisticsCounter g_keyedCounter = {nullptr, "Keyed Frames", &g_keyed, 0};
StatisticsEntry g_stats = {nullptr, 1, "Test Root", &g_root.frames, &g_root.bytes, &g_keyedCounter};
StatisticsEntry* const g_statistics[] = {&g_stats};

DWORD QV_CALL ParseRoot(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlRoot(DWORD, CTRLARG, CTRLARG, CTRLARG, CTRLARG);

ProtocolDescriptor g_descriptor = {{0, 0}, "TEST-ROOT", "Contract Test Root", &g_enabled, &g_color,
                                   PROTOCOL_PARENT, ControlRoot, ParseRoot, nullptr};

void InitRoot() {
  qv::BindUnder("TEST-ROOT", 0x33, ParseRoot, ControlRoot);
  qv::CacheParse("TEST-LEAF", &g_leafCache);
}

const qv::Protocol g_protocol = {&g_descriptor, qv::CONTROL_PARENT, &g_children, g_statistics, 1, InitRoot};

CTRLARG QV_CALL ControlRoot(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

DWORD QV_CALL ParseRoot(DWORD pass, CaptureFrame* frame, void* out) {
  int at = frame->offset;
  qv::MarkFrame(&g_descriptor, frame);
  BYTE key = 0, length = 0;
  bool whole = qv::ReadU8(frame, at, &key) && qv::ReadU8(frame, at + 1, &length);
  switch (pass) {
    case PASS_COUNT:
      qv::CountProtocolFrame(&g_root, frame);
      if (whole && key != 0) g_keyed++;
      break;
    case PASS_SUMMARY:
      if (g_enabled) {
        SummaryRow* row = static_cast<SummaryRow*>(out);
        qv::SetCell(row->protocol, "ROOT");
        qv::SetCell(row->description, "Root frame");
      }
      break;
    case PASS_DETAIL:
      if (g_enabled) {
        qv::DetailList list(out);
        list.Group(&g_titleState, at, 2, "Contract Test Root");
        if (whole) {
          list.Group(&g_keyState, at, 1, "Key\t\t\t%02X", key);
          if (DetailLine* l = list.Add(at + 1, 1, "Length\t\t\t%u", length)) qv::CloseDetailGroup(l);
        }
      }
      break;
    default:
      return 0;
  }
  if (!whole) return 0;
  int64_t end = (int64_t)at + 2 + length;
  if (end < frame->frameLength) frame->frameLength = (int32_t)end;
  if (end < frame->capturedLength) frame->capturedLength = (int32_t)end;
  frame->offset = at + 2;
  void* next = pass == PASS_DETAIL ? static_cast<DetailLine**>(out) + 1 : out;
  ProtocolParse child = key == 0xFF ? g_leafCache : qv::FindChildProtocol(&g_children, key);
  child(pass, frame, next);
  return 0;
}

ProtocolDescriptor* const g_descriptors[] = {&g_descriptor};
ProtocolParse* const g_caches[] = {&g_leafCache};
const qv::PluginInfo g_plugin = {"Contractroot has mismatched Monitor Table version!\nPlease verify your installation.",
                                 g_descriptors, 1, g_caches, 1, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(g_plugin, type, table);
}
