// IP-RTP: recognised by its port and counted; the payload is not decoded.
// One title line, in the slot after the protocol's own.
#include "selkirt.h"

namespace selkirt {

namespace {

// The title over the captured bytes from the protocol's offset (none when a
// cut parent left the offset past them), closed at once.
void DetailRtp(qv::Layer& l, qv::DetailList& list) {
  l.Title(list, (int)l.header.size());
  list.Close();
}

constexpr qv::Binding kRtpBindings[] = {{"IP-UDP", 5004}, {"IP-TCP", 5004}};

}  // namespace

constexpr qv::ProtocolDecl kRtpDecl = {
    .nameId = "IP-RTP",
    .description = "Real-Time Transport Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {4, "RTP"},
    .options = qv::DETAIL_NEXT_LIST,
    .words = {"RTP", "Packet"},
    .detail = DetailRtp,
    .bindings = kRtpBindings,
};
qv::Protocol g_rtp = qv::Declare<g_rtp, kRtpDecl>();

}  // namespace selkirt
