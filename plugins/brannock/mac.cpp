// MAC-802.3: the Ethernet media root. Decodes the 14-byte header, counts
// frames by kind and destination, fills the address cells and hands the
// payload on by EtherType, or for 802.3 length frames to NOVELL-IPX (raw
// IPX) or LLC-802.2.
#include <string.h>

#include <algorithm>

#include "brannock.h"

namespace brannock {

namespace {

enum : int {
  kAddressLength = 6,
  kHeaderLength = 14,
  kMaxLength = 1500,  // type/length values up to here are 802.3 lengths
};

BYTE g_enabled = 1;
DWORD g_color = 0;

// Per kind of frame: its frames and bytes, and its frames by destination.
struct KindCounters {
  qv::Counters all;
  uint64_t directed;
  uint64_t multicast;
  uint64_t broadcast;
};
KindCounters g_ieee, g_dix;
qv::Counters g_rawIpx;

StatisticsCounter g_ieeeBroadcast = {nullptr, "Broadcast Frames", &g_ieee.broadcast, 0};
StatisticsCounter g_ieeeMulticast = {&g_ieeeBroadcast, "Multicast Frames", &g_ieee.multicast, 0};
StatisticsCounter g_ieeeDirected = {&g_ieeeMulticast, "Directed Frames", &g_ieee.directed, 0};
StatisticsCounter g_dixBroadcast = {nullptr, "Broadcast Frames", &g_dix.broadcast, 0};
StatisticsCounter g_dixMulticast = {&g_dixBroadcast, "Multicast Frames", &g_dix.multicast, 0};
StatisticsCounter g_dixDirected = {&g_dixMulticast, "Directed Frames", &g_dix.directed, 0};

StatisticsEntry g_ieeeStats = {nullptr, 1, "IEEE 802.3", &g_ieee.all.frames, &g_ieee.all.bytes, &g_ieeeDirected};
StatisticsEntry g_dixStats = {nullptr, 1, "DIX", &g_dix.all.frames, &g_dix.all.bytes, &g_dixDirected};
StatisticsEntry g_rawIpxStats = {nullptr, 3, "Raw IPX", &g_rawIpx.frames, &g_rawIpx.bytes, nullptr};
StatisticsEntry* const g_statistics[] = {&g_ieeeStats, &g_dixStats, &g_rawIpxStats};

BYTE g_titleState, g_destinationState, g_sourceState, g_etherTypeState;

// What of the header is captured. A frame too short for its type/length
// field is taken as an 802.3 frame: nothing says it is DIX.
struct MacHeader {
  const BYTE* bytes;  // data + offset
  int offset;
  int64_t captured;   // bytes present from offset on
  bool hasType;
  WORD type;

  bool HasDestination() const { return captured >= kAddressLength; }
  bool HasSource() const { return captured >= 2 * kAddressLength; }
  bool IsDix() const { return hasType && type > kMaxLength; }
};

MacHeader ReadHeader(const CaptureFrame* frame) {
  MacHeader h;
  h.offset = frame->offset;
  h.bytes = frame->data + frame->offset;
  h.captured = qv::CapturedFrom(frame, frame->offset);
  h.type = 0;
  h.hasType = qv::ReadBe16(frame, (int64_t)h.offset + 12, &h.type);
  return h;
}

// Where the payload's bytes end: a length frame's declared end, or the
// captured end, whichever comes first.
int64_t PayloadEnd(const CaptureFrame* frame, const MacHeader& h) {
  int64_t end = frame->capturedLength;
  if (!h.IsDix()) end = std::min<int64_t>(end, (int64_t)h.offset + kHeaderLength + h.type);
  return end;
}

// A payload that starts FF FF is raw IPX (its checksum field); only bytes
// that belong to the payload count.
bool StartsRawIpx(const CaptureFrame* frame, const MacHeader& h) {
  int64_t at = (int64_t)h.offset + kHeaderLength;
  return h.hasType && at + 2 <= PayloadEnd(frame, h) && frame->data[at] == 0xFF && frame->data[at + 1] == 0xFF;
}

void CountMac(CaptureFrame* frame, const MacHeader& h) {
  KindCounters& kind = h.IsDix() ? g_dix : g_ieee;
  qv::CountBytes(&kind.all, frame->frameLength);
  if (h.HasDestination()) {
    static const BYTE kBroadcast[kAddressLength] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (memcmp(h.bytes, kBroadcast, kAddressLength) == 0)
      kind.broadcast++;
    else if (h.bytes[0] & 1)
      kind.multicast++;
    else
      kind.directed++;
  }
  if (StartsRawIpx(frame, h)) qv::CountBytes(&g_rawIpx, (int64_t)frame->frameLength - kHeaderLength);
  if (h.HasSource() && g_table->AddStationTraffic)
    g_table->AddStationTraffic(h.bytes, h.bytes + kAddressLength, kAddressLength, 1, frame->frameLength);
}

// One address cell: a name from the name table, else (when asked) the vendor
// in place of the first three bytes, else hex. Returns whether it got a name.
bool SummarizeAddress(const BYTE* address, SummaryCell* cell, BYTE useName, COLORREF* destinationColor,
                      COLORREF* sourceColor) {
  cell->text[0] = 0;
  bool found = g_svc.LookupName(address, kAddressLength, useName, cell->text, 1, destinationColor, sourceColor) != 0;
  if (found || !(qv::TableFlags() & MT_SHOW_VENDOR)) return found;
  char vendor[64];
  if (!g_svc.RetrieveOUI(address, vendor, 1)) return false;
  vendor[sizeof vendor - 1] = 0;
  char hex[SUMMARY_TEXT_SIZE];
  memcpy(hex, cell->text, sizeof hex);
  hex[sizeof hex - 1] = 0;
  // 00-00-0C-12-34-56 keeps "-12-34-56" behind the vendor.
  const char* rest = strlen(hex) > 8 ? hex + 8 : "";
  qv::SetCell(cell, "%s%s", vendor, rest);
  return false;
}

void SummarizeMac(CaptureFrame* frame, const MacHeader& h, SummaryRow* row) {
  qv::ClearTableFlags(MT_DESTINATION_NAMED | MT_SOURCE_NAMED);
  BYTE useName = (qv::TableFlags() & MT_RAW_ADDRESSES) ? 0 : 1;
  COLORREF colour1 = 0, colour2 = 0;
  row->destination->text[0] = 0;
  row->source->text[0] = 0;
  row->protocol->text[0] = 0;
  if (h.HasDestination()) {
    if (SummarizeAddress(h.bytes, row->destination, useName, &colour1, &colour2))
      qv::SetTableFlags(MT_DESTINATION_NAMED);
    if (colour1) frame->textColor = colour1;
  }
  if (h.HasSource()) {
    if (SummarizeAddress(h.bytes + kAddressLength, row->source, useName, &colour1, &colour2))
      qv::SetTableFlags(MT_SOURCE_NAMED);
    if (colour2) frame->textColor = colour2;
  }
  if (h.hasType) g_svc.RetrieveEtherType(h.bytes + 12, row->protocol->text, 1);
  qv::SetCell(row->description, "Frame");
}

// One address group; null when the host gave no line, and then the group
// is left as it stands.
DetailLine* AddressGroup(qv::DetailList& list, const BYTE* address, int at, LabelId label, BYTE* state) {
  if (!list.Group(state, at, kAddressLength, "%s", Label(label))) return nullptr;
  char hex[64];
  g_svc.FormatHexAddress(address, kAddressLength, hex);
  if (!list.Add(at, kAddressLength, "%s\t\t\t%s", Label(LABEL_HEX_ADDRESS), hex)) return nullptr;
  bool group = address[0] & 1;
  if (!list.Add(at, 1, "%s\t%s", Label(LABEL_GROUP_BIT), Label(group ? LABEL_GROUP_ON : LABEL_GROUP_OFF)))
    return nullptr;
  DetailLine* last = list.Add(at, 1, "%s\t%s", Label(LABEL_LOCAL_BIT),
                              Label(address[0] & 2 ? LABEL_LOCAL_ON : LABEL_LOCAL_OFF));
  if (!last) return nullptr;
  // The names buffer holds the 128 characters asked for and the NUL.
  char names[129];
  if (g_svc.LookupAllNames(address, kAddressLength, names, 2, 128)) {
    names[sizeof names - 1] = 0;
    if (!(last = list.Add(at, kAddressLength, "%s\t[%s]", Label(LABEL_LOGICAL_NAMES), names))) return nullptr;
  }
  char vendor[64];
  if (!group && g_svc.RetrieveOUI(address, vendor, 2)) {
    vendor[sizeof vendor - 1] = 0;
    if (!(last = list.Add(at, 3, "%s\t\t\t%s", Label(LABEL_VENDOR_NAME), vendor))) return nullptr;
  }
  last->flags = DETAIL_GROUP_CLOSE;
  return last;
}

void DetailMac(const MacHeader& h, void* out) {
  qv::DetailList list(out);
  const int o = h.offset;
  int titleLength = (int)std::min<int64_t>(kHeaderLength, h.captured);
  if (!list.Group(&g_titleState, o, titleLength, "%s",
                  h.IsDix() ? "Ethernet II (DIX) Media Access Control" : "IEEE 802.3 Media Access Control"))
    return;
  if (!h.HasDestination() || !AddressGroup(list, h.bytes, o, LABEL_DESTINATION, &g_destinationState)) return;
  if (!h.HasSource() ||
      !AddressGroup(list, h.bytes + kAddressLength, o + kAddressLength, LABEL_SOURCE, &g_sourceState))
    return;
  if (!h.hasType) return;
  if (!h.IsDix()) {
    // The title group stays open; the host ends it.
    list.Add(o + 12, 2, "Frame Length\t\t\t%01u", (unsigned)h.type);
    return;
  }
  if (!list.Group(&g_etherTypeState, o + 12, 2, "%s", Label(LABEL_ETHER_TYPE))) return;
  const BYTE* type = h.bytes + 12;
  char hex[8];
  g_svc.GetHexEtherType(type, hex);
  char name[128];
  DetailLine* line = g_svc.RetrieveEtherType(type, name, 2)
                         ? list.Add(o + 12, 2, "%s\t\t\t%s\t%s", Label(LABEL_ETHER_TYPE), hex, name)
                         : list.Add(o + 12, 2, "%s\t\t\t%s", Label(LABEL_ETHER_TYPE), hex);
  if (line) line->flags = DETAIL_GROUP_CLOSE;
}

DWORD QV_CALL ParseMac(DWORD pass, CaptureFrame* frame, void* out);
CTRLARG QV_CALL ControlMac(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

void InitMac() {
  qv::CacheParse("LLC-802.2", &g_llcCache);
  qv::CacheParse("NOVELL-IPX", &g_ipxCache);
}

const qv::Protocol g_protocol = {&g_macDescriptor, qv::CONTROL_PARENT, &g_macChildren, g_statistics,
                                 sizeof g_statistics / sizeof g_statistics[0], InitMac};

CTRLARG QV_CALL ControlMac(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4) {
  return qv::RunControl(g_protocol, command, a1, a2, a3, a4);
}

DWORD QV_CALL ParseMac(DWORD pass, CaptureFrame* frame, void* out) {
  const MacHeader h = ReadHeader(frame);
  qv::MarkFrame(&g_macDescriptor, frame);
  switch (pass) {
    case PASS_COUNT:
      CountMac(frame, h);
      break;
    case PASS_SUMMARY:
      // The media root fills its cells whether or not it is enabled.
      SummarizeMac(frame, h, static_cast<SummaryRow*>(out));
      break;
    case PASS_DETAIL:
      if (g_enabled) DetailMac(h, out);
      break;
    default:
      return 0;
  }
  // Without its type/length field a frame has nothing to hand on.
  if (!h.hasType) return 0;
  void* next = ChildOut(pass, out);
  if (h.IsDix()) {
    ProtocolParse child = qv::FindChildProtocol(&g_macChildren, h.type);
    frame->offset = h.offset + kHeaderLength;
    child(pass, frame, next);
    return 0;
  }
  int64_t end = (int64_t)h.offset + kHeaderLength + h.type;
  if (end < frame->frameLength) frame->frameLength = (int32_t)end;
  if (end < frame->capturedLength) frame->capturedLength = (int32_t)end;
  frame->offset = h.offset + kHeaderLength;
  // Test the payload's first two bytes only where they are still captured.
  const BYTE* payload = qv::FrameBytes(frame, frame->offset, 2);
  ProtocolParse child = payload && payload[0] == 0xFF && payload[1] == 0xFF ? g_ipxCache : g_llcCache;
  child(pass, frame, next);
  return 0;
}

}  // namespace

ChildTable g_macChildren;
ProtocolParse g_llcCache;
ProtocolParse g_ipxCache;

ProtocolDescriptor g_macDescriptor = {{0, 0},    "MAC-802.3", "IEEE 802.3 Media Access Control",
                                      &g_enabled, &g_color,   PROTOCOL_PARENT,
                                      ControlMac, ParseMac,   nullptr};

}  // namespace brannock
