// PPP, IPCP and PPP-COMP: a title and little more. The control protocols
// are bound under MAC-802.3 by their PPP protocol numbers used as
// EtherTypes; PPP itself is bound nowhere. Each hands the frame on to
// DefaultParse with offset unchanged.
// PPP is RFC 1661, IPCP RFC 1332, the compression protocol RFC 1962.
#include "dorrow.h"

namespace dorrow {

ProtocolParse HandOnUnmoved(qv::Layer&) { return g_svc.DefaultParse; }

namespace {

// PPP reads no byte of its packet: its lines carry no position or length,
// and its data length is the packet's length on the wire, none when a
// parent has trimmed the frame below the offset.
void DetailPpp(qv::Layer& l, qv::DetailList& list) {
  const int64_t dataLength = (int64_t)l.frame->frameLength - l.offset();
  list.Group<"Point-To-Point Protocol">(&l.protocol.titleState, 0, 0);
  list.Text(0, 0, "Function Type\t\tFunction");
  list.Add<"Data Length\t\t\t%01d">(0, 0, (int)(dataLength > 0 ? dataLength : 0));
  list.Close();
}

// One line over the captured bytes from the offset (none when the offset
// lies past them), a group that ends on itself.
void DetailTitleOnly(qv::DetailList& list, qv::Layer& l, const char* text) {
  if (list.Group<"%s">(&l.protocol.titleState, l.offset(), (int)l.header.size(), text)) list.Close();
}

void DetailIpcp(qv::Layer& l, qv::DetailList& list) { DetailTitleOnly(list, l, "IPCP Protocol"); }
void DetailComp(qv::Layer& l, qv::DetailList& list) { DetailTitleOnly(list, l, "PPP Compression Protocol"); }

constexpr qv::Binding kIpcpBindings[] = {{"MAC-802.3", 0x8021}};
constexpr qv::Binding kCompBindings[] = {{"MAC-802.3", 0x80FD}};

}  // namespace

constexpr qv::ProtocolDecl kPppDecl = {
    .nameId = "PPP",
    .description = "Point-to-Point Protocol",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_MINIMAL,
    .statistics = {2, "Point-to-Point Protocol"},
    .words = {"PPP", "Packet"},
    .detail = DetailPpp,
    .handOn = HandOnUnmoved,
};
qv::Protocol g_ppp = qv::Declare<g_ppp, kPppDecl>();

constexpr qv::ProtocolDecl kIpcpDecl = {
    .nameId = "IPCP",
    .description = "Point-to-Point IP Control Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_MINIMAL,
    .statistics = {2, "Point-to-Point IP Control Protocol"},
    .words = {"IPCP", "Packet"},
    .detail = DetailIpcp,
    .handOn = HandOnUnmoved,
    .bindings = kIpcpBindings,
};
qv::Protocol g_ipcp = qv::Declare<g_ipcp, kIpcpDecl>();

constexpr qv::ProtocolDecl kCompDecl = {
    .nameId = "PPP-COMP",
    .description = "PPP Compression Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_MINIMAL,
    .statistics = {2, "PPP Compression Protocol"},
    .words = {"Compression", "Packet"},
    .detail = DetailComp,
    .handOn = HandOnUnmoved,
    .bindings = kCompBindings,
};
qv::Protocol g_comp = qv::Declare<g_comp, kCompDecl>();

}  // namespace dorrow
