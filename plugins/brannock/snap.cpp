// LLC-SNAP: the 5-byte SNAP header (OUI, EtherType) in LLC UI frames with
// SAP 0xAA. It has no table of its own: the payload goes on through
// MAC-802.3's, so whatever binds under an EtherType is reached over SNAP too.
#include "brannock.h"

namespace brannock {

namespace {

enum : int { kHeaderLength = 5 };

void DetailSnap(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  if (!l.Title(list, (int)h.Sub(0, kHeaderLength).size())) return;

  char hex[8];
  char name[64];
  const BYTE* oui = h.Bytes(0, 3);
  if (!oui) return;
  g_svc.GetHexOUI(oui, hex);
  DetailLine* line;
  if (g_svc.RetrieveOUI(oui, name, 2)) {
    name[sizeof name - 1] = 0;
    line = list.Add<"Authority\t\t\t\t%s\t%s">(o, 3, hex, name);
  } else {
    line = list.Add<"Authority\t\t\t\t%s">(o, 3, hex);
  }
  if (!line) return;

  const BYTE* type = h.Bytes(3, 2);
  if (!type) return;
  g_svc.GetHexEtherType(type, hex);
  if (g_svc.RetrieveEtherType(type, name, 2))
    list.Add<"EtherType\t\t\t\t%s\t\t%s">(o + 3, 2, hex, name);
  else
    list.Add<"EtherType\t\t\t\t%s">(o + 3, 2, hex);
  list.Close();
}

// On through MAC-802.3's table by EtherType; without its EtherType the
// header names no child.
ProtocolParse HandOnSnap(qv::Layer& l) {
  WORD type;
  if (!l.header.Be16(3, &type)) return nullptr;
  l.frame->offset = l.offset() + kHeaderLength;
  return qv::FindChildProtocol(&g_macChildren, type);
}

constexpr qv::Binding kBindings[] = {{"LLC-802.2", 0xAA}};

}  // namespace

constexpr qv::ProtocolDecl kSnapDecl = {
    .nameId = "LLC-SNAP",
    .description = "IEEE Sub-Network Access Protocol",
    .control = qv::CONTROL_LEAF,
    .statistics = {2, "IEEE SNAP"},
    .words = {"IEEE SNAP", "Frame"},
    .detail = DetailSnap,
    .handOn = HandOnSnap,
    .bindings = kBindings,
};
qv::Protocol g_snap = qv::Declare<g_snap, kSnapDecl>();

}  // namespace brannock
