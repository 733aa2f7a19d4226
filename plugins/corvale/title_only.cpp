// IP-EGP, RADIUS and IP-TFTP: recognised, counted and named, their contents
// not decoded. Each shows one title line whose group is empty.
#include "corvale.h"

namespace corvale {

namespace {

// The title over the captured bytes from the protocol's offset, closed at
// once; a frame cut before the protocol gives a title of no bytes.
void TitleOnly(qv::Layer& l, qv::DetailList& list) {
  l.Title(list, (int)l.header.size());
  list.Close();
}

// Nothing captured behind the IP header: no line.
void DetailEgp(qv::Layer& l, qv::DetailList& list) {
  if (!l.header.empty()) TitleOnly(l, list);
}

constexpr qv::Binding kEgpBindings[] = {{"DOD-IP", 8}};
constexpr qv::Binding kRadiusBindings[] = {{"IP-UDP", 1812}, {"IP-TCP", 1812}};
constexpr qv::Binding kTftpBindings[] = {{"IP-UDP", 69}};

}  // namespace

constexpr qv::ProtocolDecl kTftpDecl = {
    .nameId = "IP-TFTP",
    .description = "Trivial File Transfer Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "TFTP"},
    .words = {"TFTP", "Packet"},
    .detail = TitleOnly,
    .bindings = kTftpBindings,
};
qv::Protocol g_tftp = qv::Declare<g_tftp, kTftpDecl>();

constexpr qv::ProtocolDecl kEgpDecl = {
    .nameId = "IP-EGP",
    .description = "Exterior Gateway Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {3, "EGP"},
    .words = {"EGP", "Packet"},
    .detail = DetailEgp,
    .bindings = kEgpBindings,
};
qv::Protocol g_egp = qv::Declare<g_egp, kEgpDecl>();

// A parent by its flags, with no child table: it answers the leaf commands,
// and its line goes to the slot after its own.
constexpr qv::ProtocolDecl kRadiusDecl = {
    .nameId = "RADIUS",
    .description = "Remote Authentication Dial In User Service Protocol",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {3, "Radius"},
    .options = qv::DETAIL_NEXT_LIST,
    .words = {"Radius", "Packet"},
    .detail = TitleOnly,
    .bindings = kRadiusBindings,
};
qv::Protocol g_radius = qv::Declare<g_radius, kRadiusDecl>();

}  // namespace corvale
