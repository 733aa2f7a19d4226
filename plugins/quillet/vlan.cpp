// VLAN: the 4-byte 802.1Q tag after EtherType 0x8100. The inner payload goes
// on like MAC-802.3's: by EtherType through VLAN's own child table, or, for
// an 802.3 length, to NOVELL-IPX (raw IPX) or LLC-802.2.
#include "quillet.h"
#include "raw_ipx.h"

namespace quillet {

ProtocolParse g_vlanLlcCache;
ProtocolParse g_vlanIpxCache;

namespace {

const int kTagLength = 4;
const WORD kCfiBit = 0x1000;
const WORD kMaxFrameLength = 1500;  // inner values above this are EtherTypes

ChildTable g_children;
BYTE g_tciState, g_typeState;

// What of the tag is captured: the TCI, and the inner type or length.
struct Tag {
  bool haveTci;
  bool haveInner;
  WORD tci;
  WORD inner;
};

Tag ReadTag(const qv::View& h) {
  Tag tag = {};
  tag.haveTci = h.Be16(0, &tag.tci);
  tag.haveInner = tag.haveTci && h.Be16(2, &tag.inner);
  return tag;
}

void DetailVlan(qv::Layer& l, qv::DetailList& list) {
  const Tag tag = ReadTag(l.header);
  const int o = l.offset();
  if (!l.Title(list, kTagLength)) return;
  // A cut tag shows what it has; the title group is ended by the host.
  if (!tag.haveTci) return;
  const WORD tci = tag.tci;
  list.Group<"Tag Control Information">(&g_tciState, o, 2);
  list.Add<"Priority\t\t\t\t%s">(o, 2, qv::Bits(tci, 0xE000, 16));
  list.Add<"CFI\t\t\t\t\t%s">(o, 2, qv::Bits(tci, kCfiBit, 16));
  list.Add<"VID\t\t\t\t\t%s\t%d">(o, 2, qv::Bits(tci, 0x0FFF, 16), tci & 0xFFF);
  list.Close();
  if (list.stopped || !tag.haveInner) return;

  if (tag.inner <= kMaxFrameLength) {
    list.Add<"Frame Length\t\t\t%01u">(o + 2, 2, (unsigned)tag.inner);
  } else {
    const BYTE* type = l.header.Bytes(2, 2);  // captured: haveInner
    if (!list.Group<"Ether Type">(&g_typeState, o + 2, 2)) return;
    char name[128];
    if (qv::g_svc.RetrieveEtherType(type, name, 2)) {
      char hex[16];
      qv::g_svc.GetHexEtherType(type, hex);
      list.Add<"EtherType\t\t\t%s\t%s">(o + 2, 2, hex, name);
    } else {
      list.Add<"EtherType\t\t\t%s">(o + 2, 2, name);  // a miss leaves the hex text
    }
    list.Close();
  }
  list.Close();  // ends the title group
}

// Like MAC-802.3's: by EtherType through VLAN's own table, or for an 802.3
// length a trim and raw IPX or LLC. Nothing to choose a child by in a cut
// tag; a set CFI bit marks a non-canonical payload that no child decodes.
ProtocolParse HandOnVlan(qv::Layer& l) {
  const Tag tag = ReadTag(l.header);
  CaptureFrame* frame = l.frame;
  frame->offset = l.offset() + kTagLength;
  if (!tag.haveInner || (tag.tci & kCfiBit)) return nullptr;
  if (tag.inner > kMaxFrameLength) return qv::FindChildProtocol(&g_children, tag.inner);
  // The two bytes after the tag pick raw IPX wherever they were captured,
  // whatever the inner length says.
  const bool rawIpx = qv::StartsRawIpx(l.header, kTagLength);
  qv::TrimFrame(frame, (int64_t)l.offset() + kTagLength + tag.inner);
  return rawIpx ? g_vlanIpxCache : g_vlanLlcCache;
}

constexpr qv::Binding kBindings[] = {{"MAC-802.3", 0x8100}};
constexpr qv::Cache kCaches[] = {{"LLC-802.2", &g_vlanLlcCache}, {"NOVELL-IPX", &g_vlanIpxCache}};

}  // namespace

constexpr qv::ProtocolDecl kVlanDecl = {
    .nameId = "VLAN",
    .description = "IEEE 802.1q VLAN Protocol",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_PARENT,
    .statistics = {2, "802.1q"},
    .children = &g_children,
    .words = {"802.1q", "PDU"},
    .detail = DetailVlan,
    .handOn = HandOnVlan,
    .bindings = kBindings,
    .caches = kCaches,
};
qv::Protocol g_vlan = qv::Declare<g_vlan, kVlanDecl>();

}  // namespace quillet
