// VLAN: the 4-byte 802.1Q tag after EtherType 0x8100. The inner payload goes
// on like MAC-802.3's: by EtherType through VLAN's own child table, or, for
// an 802.3 length, to NOVELL-IPX (raw IPX) or LLC-802.2.
#include <string.h>

#include "quillet.h"

namespace quillet {

ProtocolParse g_vlanLlcCache;
ProtocolParse g_vlanIpxCache;

namespace {

const int kTagLength = 4;
const WORD kCfiBit = 0x1000;
const WORD kMaxFrameLength = 1500;  // inner values above this are EtherTypes

BYTE g_enabled = 1;
DWORD g_color = 0;
ChildTable g_children;
qv::Counters g_counters;
BYTE g_titleState, g_tciState, g_typeState;

StatisticsEntry g_stats = {nullptr, 2, "802.1q", &g_counters.frames, &g_counters.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_stats};

DWORD QV_CALL ParseVlan(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlVlan(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitVlan() {
  qv::BindUnder("MAC-802.3", 0x8100, ParseVlan, ControlVlan);
  qv::CacheParse("LLC-802.2", &g_vlanLlcCache);
  qv::CacheParse("NOVELL-IPX", &g_vlanIpxCache);
}

const qv::Protocol g_protocol = {&g_vlan, qv::CONTROL_PARENT, &g_children, g_statistics, 1, InitVlan};

CTRLARG QV_CALL ControlVlan(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

// What of the tag is captured: the TCI, and the inner type or length.
struct Tag {
  bool haveTci;
  bool haveInner;
  WORD tci;
  WORD inner;
};

void SummarizeVlan(void* out) {
  if (!g_enabled) return;
  SummaryRow* row = static_cast<SummaryRow*>(out);
  qv::SetCell(row->protocol, "802.1q");
  qv::SetCell(row->description, "PDU");
}

void DetailVlan(const CaptureFrame* frame, int o, const Tag& tag, void* out) {
  qv::DetailList list(out);
  if (!list.Group(&g_titleState, o, kTagLength, "IEEE 802.1q VLAN Protocol")) return;
  // A cut tag shows what it has; the title group is ended by the host.
  if (!tag.haveTci) return;
  const WORD tci = tag.tci;
  list.Group(&g_tciState, o, 2, "Tag Control Information");
  list.Add(o, 2, "Priority\t\t\t\t%.3sxxxxx xxxxxxxx", qv::NibbleBitsText(tci >> 12));
  list.Add(o, 2, "CFI\t\t\t\t\txxx%cxxxx xxxxxxxx", (tci & kCfiBit) ? '1' : '0');
  DetailLine* vid = list.Add(o, 2, "VID\t\t\t\t\txxxx%s %s%s\t%d", qv::NibbleBitsText(tci >> 8),
                             qv::NibbleBitsText(tci >> 4), qv::NibbleBitsText(tci), tci & 0xFFF);
  if (!vid) return;
  qv::CloseDetailGroup(vid);
  if (!tag.haveInner) return;

  DetailLine* last;
  if (tag.inner <= kMaxFrameLength) {
    last = list.Add(o + 2, 2, "Frame Length\t\t\t%01u", (unsigned)tag.inner);
  } else {
    const BYTE* type = qv::FrameBytes(frame, o + 2, 2);  // captured: haveInner
    if (!type || !list.Group(&g_typeState, o + 2, 2, "Ether Type")) return;
    char name[128];
    if (qv::g_svc.RetrieveEtherType(type, name, 2)) {
      char hex[16];
      qv::g_svc.GetHexEtherType(type, hex);
      last = list.Add(o + 2, 2, "EtherType\t\t\t%s\t%s", hex, name);
    } else {
      last = list.Add(o + 2, 2, "EtherType\t\t\t%s", name);  // a miss leaves the hex text
    }
    if (last) qv::CloseDetailGroup(last);
  }
  if (last) qv::CloseDetailGroup(last);  // ends the title group
}

DWORD QV_CALL ParseVlan(DWORD pass, CaptureFrame* frame, void* out) {
  const int o = frame->offset;
  qv::MarkFrame(&g_vlan, frame);
  Tag tag = {};
  tag.haveTci = qv::ReadBe16(frame, o, &tag.tci);
  tag.haveInner = tag.haveTci && qv::ReadBe16(frame, o + 2, &tag.inner);

  void* next = out;
  switch (pass) {
    case PASS_COUNT:
      qv::CountProtocolFrame(&g_counters, frame);  // before any trim
      break;
    case PASS_SUMMARY:
      SummarizeVlan(out);
      break;
    case PASS_DETAIL:
      if (g_enabled) DetailVlan(frame, o, tag, out);
      next = static_cast<DetailLine**>(out) + 1;
      break;
    default:
      return 0;
  }
  frame->offset = o + kTagLength;

  // Nothing to choose a child by in a cut tag; a set CFI bit marks a
  // non-canonical payload that no child decodes.
  if (!tag.haveInner || (tag.tci & kCfiBit)) return 0;

  if (tag.inner > kMaxFrameLength) {
    qv::FindChildProtocol(&g_children, tag.inner)(pass, frame, next);
    return 0;
  }
  const int64_t end = (int64_t)o + kTagLength + tag.inner;
  if (end < frame->frameLength) frame->frameLength = (int32_t)end;
  if (end < frame->capturedLength) frame->capturedLength = (int32_t)end;
  // The raw IPX test reads only what the trim left captured.
  BYTE b0 = 0, b1 = 0;
  const bool rawIpx = qv::ReadU8(frame, frame->offset, &b0) && qv::ReadU8(frame, frame->offset + 1, &b1) &&
                      b0 == 0xFF && b1 == 0xFF;
  (rawIpx ? g_vlanIpxCache : g_vlanLlcCache)(pass, frame, next);
  return 0;
}

}  // namespace

ProtocolDescriptor g_vlan = {{0, 0}, "VLAN", "IEEE 802.1q VLAN Protocol", &g_enabled, &g_color,
                             PROTOCOL_PARENT | PROTOCOL_CHILD, ControlVlan, ParseVlan, nullptr};

}  // namespace quillet
