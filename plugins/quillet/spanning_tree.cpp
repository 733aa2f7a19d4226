// IEEE 802.1: spanning tree BPDUs under LLC SAP 0x42. A leaf.
#include "quillet.h"

namespace quillet {

namespace {

// The configuration BPDU, field by field. Identifiers are 8 bytes: a 2-byte
// priority and a 6-byte address; the other fields are big-endian numbers.
struct Field {
  int at;
  int size;
  const char* format;
};
constexpr Field kFields[] = {
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

void DetailSpanningTree(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  if (!l.Title(list, (int)h.size())) return;
  for (const Field& f : kFields) {
    // A topology change BPDU has 4 bytes: the lines end at the captured end.
    const BYTE* p = h.Bytes(f.at, f.size);
    if (!p) return;
    const int at = h.Offset(f.at);
    switch (f.size) {
      case 1:
        list.Add(at, f.size, f.format, p[0]);
        break;
      case 2:
        list.Add(at, f.size, f.format, h.Be16(f.at));
        break;
      case 4:
        list.Add(at, f.size, f.format, (int32_t)h.Be32(f.at));
        break;
      default:
        list.Add(at, f.size, f.format, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
        break;
    }
    if (list.stopped) return;
  }
  list.Close();  // the Forward Delay line ends the title group
}

constexpr qv::Binding kBindings[] = {{"LLC-802.2", 0x42}};

}  // namespace

qv::Protocol g_spanningTree = qv::Declare<g_spanningTree>({
    .nameId = "IEEE 802.1",
    .description = "IEEE 802.1 Spanning Tree Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_MINIMAL,
    .statistics = {2, "IEEE 802.1"},
    .words = {"IEEE 802.1", "BPDU"},
    .detail = DetailSpanningTree,
    .bindings = kBindings,
});

}  // namespace quillet
