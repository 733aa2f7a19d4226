// IEEE 802.1: spanning tree BPDUs under LLC SAP 0x42. A leaf.
#include "quillet.h"

namespace quillet {

namespace {

// The configuration BPDU, field by field. Identifiers are 8 bytes: a 2-byte
// priority and a 6-byte address; the other fields are big-endian numbers.
// A field's line; false when the field is not captured or the host gave no
// line, which ends the lines.
template <int At, int Size, qv::literal::Format F>
bool FieldLine(qv::DetailList& list, const qv::View& h) {
  const BYTE* p = h.Bytes(At, Size);
  if (!p) return false;
  const int at = h.Offset(At);
  if constexpr (Size == 1)
    list.Add<F>(at, Size, p[0]);
  else if constexpr (Size == 2)
    list.Add<F>(at, Size, h.Be16(At));
  else if constexpr (Size == 4)
    list.Add<F>(at, Size, (int32_t)h.Be32(At));
  else
    list.Add<F>(at, Size, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
  return !list.stopped;
}

constexpr bool (*const kFields[])(qv::DetailList&, const qv::View&) = {
    FieldLine<0, 2, "Protocol ID\t\t\t\t%d">,
    FieldLine<2, 1, "Version\t\t\t\t\t%d">,
    FieldLine<3, 1, "Type\t\t\t\t\t\t%d">,
    FieldLine<4, 1, "Flags\t\t\t\t\t\t%d">,
    FieldLine<5, 8, "Root\t\t\t\t\t\t%02X-%02X  %02X-%02X-%02X-%02X-%02X-%02X">,
    FieldLine<13, 4, "Path Cost\t\t\t\t%d">,
    FieldLine<17, 8, "Bridge ID\t\t\t\t%02X-%02X  %02X-%02X-%02X-%02X-%02X-%02X">,
    FieldLine<25, 2, "Port ID\t\t\t\t\t%d">,
    FieldLine<27, 2, "Age\t\t\t\t\t\t%d">,
    FieldLine<29, 2, "Maximum Age\t\t\t\t%d">,
    FieldLine<31, 2, "Hello Time\t\t\t\t%d">,
    FieldLine<33, 2, "Forward Delay\t\t\t%d">,
};

void DetailSpanningTree(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  if (!l.Title(list, (int)h.size())) return;
  // A topology change BPDU has 4 bytes: the lines end at the captured end.
  for (auto line : kFields)
    if (!line(list, h)) return;
  list.Close();  // the Forward Delay line ends the title group
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
