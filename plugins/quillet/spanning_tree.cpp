// IEEE 802.1: spanning tree BPDUs under LLC SAP 0x42. A leaf.
// The BPDU encoding is that of IEEE 802.1D, clause 9.
#include "quillet.h"

namespace quillet {

namespace {

// The configuration BPDU, field by field. Identifiers are 8 bytes: a 2-byte
// priority and a 6-byte address; the other fields are big-endian numbers.
template <qv::literal::Format F>
void Identifier(qv::FieldLines& f, int at) {
  const BYTE* p = f.v.Bytes(at, 8);
  if (f.Check(p != nullptr)) f.Add<F>(at, 8, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
}

void DetailSpanningTree(qv::Layer& l, qv::DetailList& list) {
  if (!l.Title(list, (int)l.header.size())) return;
  // A topology change BPDU has 4 bytes: the lines end at the captured end.
  qv::FieldLines f(list, l.header);
  f.Number<"Protocol ID\t\t\t\t%d">(0, 2);
  f.Number<"Version\t\t\t\t\t%d">(2, 1);
  f.Number<"Type\t\t\t\t\t\t%d">(3, 1);
  f.Number<"Flags\t\t\t\t\t\t%d">(4, 1);
  Identifier<"Root\t\t\t\t\t\t%02X-%02X  %02X-%02X-%02X-%02X-%02X-%02X">(f, 5);
  f.Number<"Path Cost\t\t\t\t%d">(13, 4);
  Identifier<"Bridge ID\t\t\t\t%02X-%02X  %02X-%02X-%02X-%02X-%02X-%02X">(f, 17);
  f.Number<"Port ID\t\t\t\t\t%d">(25, 2);
  f.Number<"Age\t\t\t\t\t\t%d">(27, 2);
  f.Number<"Maximum Age\t\t\t\t%d">(29, 2);
  f.Number<"Hello Time\t\t\t\t%d">(31, 2);
  f.Number<"Forward Delay\t\t\t%d">(33, 2);
  f.Close();  // the Forward Delay line ends the title group
}

constexpr qv::Binding kBindings[] = {{"LLC-802.2", 0x42}};

}  // namespace

constexpr qv::ProtocolDecl kSpanningTreeDecl = {
    .nameId = "IEEE 802.1",
    .description = "IEEE 802.1 Spanning Tree Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_MINIMAL,
    .statistics = {2, "IEEE 802.1"},
    .words = {"IEEE 802.1", "BPDU"},
    .detail = DetailSpanningTree,
    .bindings = kBindings,
};
qv::Protocol g_spanningTree = qv::Declare<g_spanningTree, kSpanningTreeDecl>();

}  // namespace quillet
