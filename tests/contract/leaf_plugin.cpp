// Two protocols of a second library: a leaf bound under TEST-ROOT by name id
// (keys 0x11 and 0x22), and a minimal-form protocol under key 0x66 whose
// lines land in the slot after its own.
#include "plugin.h"

namespace {

constexpr qv::Binding kLeafBindings[] = {{"TEST-ROOT", 0x11}, {"TEST-ROOT", 0x22}};
constexpr qv::Binding kMiniBindings[] = {{"TEST-ROOT", 0x66}};

void SummarizeLeaf(qv::Layer& l, SummaryRow* row) {
  qv::SetCell(row->protocol, "LEAF");
  qv::SetCell(row->description, "Leaf of %lld bytes", (long long)l.header.size());
}

void DetailLeaf(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int n = (int)h.size();
  if (!l.Title(list, n)) return;
  list.Add(h.Offset(), n, "Payload\t\t%d bytes", n);
  if (const BYTE* p = h.Bytes(0, n)) list.HexDump("Payload", p, n, h.Offset());
}

void DetailMini(qv::Layer& l, qv::DetailList& list) {
  list.Add(l.offset(), (int)l.header.size(), "Contract Test Minimal");
}

}  // namespace

constexpr qv::ProtocolDecl kLeafDecl = {
    .nameId = "TEST-LEAF",
    .description = "Contract Test Leaf",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "Test Leaf"},
    .summary = SummarizeLeaf,
    .detail = DetailLeaf,
    .bindings = kLeafBindings,
};
qv::Protocol g_leaf = qv::Declare<g_leaf, kLeafDecl>();

constexpr qv::ProtocolDecl kMiniDecl = {
    .nameId = "TEST-MINI",
    .description = "Contract Test Minimal",
    .control = qv::CONTROL_MINIMAL,
    .options = qv::DETAIL_NEXT_LIST,
    .detail = DetailMini,
    .bindings = kMiniBindings,
};
qv::Protocol g_mini = qv::Declare<g_mini, kMiniDecl>();

namespace {

qv::Protocol* const kProtocols[] = {&g_leaf, &g_mini};
const qv::PluginInfo kPlugin = {"Contractleaf has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
