// CISCO-TDP: the fixed header of Tag Distribution Protocol packets, TCP and
// UDP port 711. A leaf.
#include "quillet.h"

namespace quillet {

namespace {

void DetailTdp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  if (!l.Title(list, (int)h.size())) return;
  // A short packet shows the fields it has.
  WORD version, length;
  DWORD identifier;
  if (!h.Be16(0, &version) || !list.Add<"Version\t\t\t\t\t%d">(h.Offset(), 2, version)) return;
  if (!h.Be16(2, &length) || !list.Add<"Length\t\t\t\t\t%d">(h.Offset(2), 2, length)) return;
  if (!h.Be32(4, &identifier)) return;
  list.Add<"Identifier\t\t\t\t%d">(h.Offset(4), 4, (int32_t)identifier);
  list.Close();
}

constexpr qv::Binding kBindings[] = {{"IP-TCP", 711}, {"IP-UDP", 711}};

}  // namespace

constexpr qv::ProtocolDecl kTdpDecl = {
    .nameId = "CISCO-TDP",
    .description = "Tag Distribution Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {2, "TDP"},
    .words = {"TDP", "Packet"},
    .detail = DetailTdp,
    .bindings = kBindings,
};
qv::Protocol g_tdp = qv::Declare<g_tdp, kTdpDecl>();

}  // namespace quillet
