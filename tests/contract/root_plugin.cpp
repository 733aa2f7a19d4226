// A small parent protocol that exercises the plug-in contract end to end:
// header = key byte, payload length byte. Key 0x33 nests the root in itself,
// key 0xFF hands on through a cache of TEST-LEAF.
#include "plugin.h"

namespace {

ChildTable g_children;
ProtocolParse g_leafCache;
uint64_t g_keyed = 0;
BYTE g_keyState;

StatisticsCounter g_keyedCounter = {nullptr, "Keyed Frames", &g_keyed, 0};

constexpr qv::Binding kBindings[] = {{"TEST-ROOT", 0x33}};
constexpr qv::Cache kCaches[] = {{"TEST-LEAF", &g_leafCache}};

void CountRoot(qv::Layer& l) {
  qv::CountProtocolFrame(&l.protocol.counters, l.frame);
  if (l.header.Has(0, 2) && l.header.U8Or0(0) != 0) g_keyed++;
}

void DetailRoot(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  l.Title(list, 2);
  if (!h.Has(0, 2)) return;
  list.Group(&g_keyState, h.Offset(), 1, "Key\t\t\t%02X", h.U8Or0(0));
  list.Add(h.Offset(1), 1, "Length\t\t\t%u", h.U8Or0(1));
  list.Close();
}

ProtocolParse HandOnRoot(qv::Layer& l) {
  BYTE key, length;
  if (!l.header.U8(0, &key) || !l.header.U8(1, &length)) return nullptr;
  qv::TrimFrame(l.frame, (int64_t)l.offset() + 2 + length);
  l.frame->offset = l.offset() + 2;
  return key == 0xFF ? g_leafCache : qv::FindChildProtocol(&g_children, key);
}

}  // namespace

constexpr qv::ProtocolDecl kRootDecl = {
    .nameId = "TEST-ROOT",
    .description = "Contract Test Root",
    .flags = PROTOCOL_PARENT,
    .control = qv::CONTROL_PARENT,
    .statistics = {1, "Test Root", &g_keyedCounter},
    .children = &g_children,
    .words = {"ROOT", "Root frame"},
    .count = CountRoot,
    .detail = DetailRoot,
    .handOn = HandOnRoot,
    .bindings = kBindings,
    .caches = kCaches,
};
qv::Protocol g_root = qv::Declare<g_root, kRootDecl>();

namespace {

qv::Protocol* const kProtocols[] = {&g_root};
const qv::PluginInfo kPlugin = {"Contractroot has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
