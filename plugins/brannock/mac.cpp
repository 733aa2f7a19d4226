// MAC-802.3: the Ethernet media root. Decodes the 14-byte header, counts
// frames by kind and destination, fills the address cells and hands the
// payload on by EtherType, or for 802.3 length frames to NOVELL-IPX (raw
// IPX) or LLC-802.2.
#include <string.h>

#include <algorithm>

#include "brannock.h"
#include "raw_ipx.h"

namespace brannock {

namespace {

enum : int {
  kAddressLength = 6,
  kHeaderLength = 14,
  kMaxLength = 1500,  // type/length values up to here are 802.3 lengths
};

// Per kind of frame: its frames by destination. MAC-802.3's own counters
// are those of 802.3 frames.
struct Destinations {
  uint64_t directed;
  uint64_t multicast;
  uint64_t broadcast;
};
Destinations g_ieee, g_dix;
qv::Counters g_dixCounters, g_rawIpx;

StatisticsCounter g_ieeeBroadcast = {nullptr, "Broadcast Frames", &g_ieee.broadcast, 0};
StatisticsCounter g_ieeeMulticast = {&g_ieeeBroadcast, "Multicast Frames", &g_ieee.multicast, 0};
StatisticsCounter g_ieeeDirected = {&g_ieeeMulticast, "Directed Frames", &g_ieee.directed, 0};
StatisticsCounter g_dixBroadcast = {nullptr, "Broadcast Frames", &g_dix.broadcast, 0};
StatisticsCounter g_dixMulticast = {&g_dixBroadcast, "Multicast Frames", &g_dix.multicast, 0};
StatisticsCounter g_dixDirected = {&g_dixMulticast, "Directed Frames", &g_dix.directed, 0};

StatisticsEntry g_dixStats = {nullptr, 1, "DIX", &g_dixCounters.frames, &g_dixCounters.bytes, &g_dixDirected};
StatisticsEntry g_rawIpxStats = {nullptr, 3, "Raw IPX", &g_rawIpx.frames, &g_rawIpx.bytes, nullptr};
StatisticsEntry* const kMoreStatistics[] = {&g_dixStats, &g_rawIpxStats};

BYTE g_destinationState, g_sourceState, g_etherTypeState;

// What of the header is captured. A frame too short for its type/length
// field is taken as an 802.3 frame: nothing says it is DIX.
struct MacHeader {
  // From the header on: the layer's own view, not a copy. A copy reads the
  // view's fields two at a time, just after the parse entry wrote them one
  // at a time, and waits for those writes to land.
  const qv::View& view;
  bool hasType;
  WORD type;

  bool HasDestination() const { return view.Has(0, kAddressLength); }
  bool HasSource() const { return view.Has(kAddressLength, kAddressLength); }
  bool IsDix() const { return hasType && type > kMaxLength; }
  const BYTE* Destination() const { return view.Bytes(0, kAddressLength); }
  const BYTE* Source() const { return view.Bytes(kAddressLength, kAddressLength); }
  // FF FF after the header (raw IPX's checksum), in either kind of frame and
  // whatever an 802.3 length says: the bytes are read where they were captured.
  bool RawIpx() const { return qv::StartsRawIpx(view, kHeaderLength); }
};

// Read by each pass and hand-on of every frame: kept inline.
[[gnu::always_inline]] inline MacHeader ReadHeader(const qv::View& view) {
  MacHeader h{view, false, 0};
  h.hasType = view.Be16(12, &h.type);
  return h;
}

// Every field is read before any counter is written: a counter's write
// could be a write of the layer's view, as far as the compiler knows.
void CountMac(qv::Layer& l) {
  const MacHeader h = ReadHeader(l.header);
  const CaptureFrame* frame = l.frame;
  const int64_t length = frame->frameLength;
  const bool dix = h.IsDix();
  const BYTE* destination = h.Destination();
  const BYTE* source = h.Source();
  const bool rawIpx = h.RawIpx();
  qv::CountBytes(dix ? &g_dixCounters : &l.protocol.counters, length);
  if (destination) {
    Destinations& kind = dix ? g_dix : g_ieee;
    // Broadcast is the group address of all ones: only a group address is
    // compared with it.
    static const BYTE kBroadcast[kAddressLength] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if (!(destination[0] & 1))
      kind.directed++;
    else if (memcmp(destination, kBroadcast, kAddressLength) == 0)
      kind.broadcast++;
    else
      kind.multicast++;
  }
  if (rawIpx) qv::CountBytes(&g_rawIpx, length - kHeaderLength);
  if (source && g_table->AddStationTraffic)
    g_table->AddStationTraffic(destination, source, kAddressLength, 1, (int)length);
}

// One address cell: a name from the name table, else (when asked) the vendor
// in place of the first three bytes, else hex. Returns whether it got a name.
[[gnu::noinline]] void PutVendor(const BYTE* address, SummaryCell* cell) {
  char vendor[64];
  if (!g_svc.RetrieveOUI(address, vendor, 1)) return;
  vendor[sizeof vendor - 1] = 0;
  char hex[SUMMARY_TEXT_SIZE];
  memcpy(hex, cell->text, sizeof hex);
  hex[sizeof hex - 1] = 0;
  // 00-00-0C-12-34-56 keeps "-12-34-56" behind the vendor.
  const char* rest = strlen(hex) > 8 ? hex + 8 : "";
  qv::SetCell(cell, "%s%s", vendor, rest);
}
bool SummarizeAddress(const BYTE* address, SummaryCell* cell, BYTE useName, bool vendor, COLORREF* destinationColor,
                      COLORREF* sourceColor) {
  cell->text[0] = 0;
  bool found = g_svc.LookupName(address, kAddressLength, useName, cell->text, 1, destinationColor, sourceColor) != 0;
  if (!found && vendor) PutVendor(address, cell);
  return found;
}

// The table's flags are read once: the raw-address and vendor options
// hold for the row, and the two named bits are written once, as they end.
void SummarizeMac(qv::Layer& l, SummaryRow* row) {
  const MacHeader h = ReadHeader(l.header);
  const DWORD flags = qv::TableFlags();
  const BYTE useName = (flags & MT_RAW_ADDRESSES) ? 0 : 1;
  const bool vendor = (flags & MT_SHOW_VENDOR) != 0;
  DWORD named = 0;
  COLORREF colour1 = 0, colour2 = 0;
  row->destination->text[0] = 0;
  row->source->text[0] = 0;
  row->protocol->text[0] = 0;
  if (const BYTE* destination = h.Destination()) {
    if (SummarizeAddress(destination, row->destination, useName, vendor, &colour1, &colour2))
      named |= MT_DESTINATION_NAMED;
    if (colour1) l.frame->textColor = colour1;
  }
  if (const BYTE* source = h.Source()) {
    if (SummarizeAddress(source, row->source, useName, vendor, &colour1, &colour2)) named |= MT_SOURCE_NAMED;
    if (colour2) l.frame->textColor = colour2;
  }
  qv::SetTableBits(MT_DESTINATION_NAMED | MT_SOURCE_NAMED, named);
  if (const BYTE* type = h.view.Bytes(12, 2)) g_svc.RetrieveEtherType(type, row->protocol->text, 1);
  qv::SetCellText(row->description, "Frame");
}

// The texts of an address that follow from its bytes alone: the hex text
// (formatting) and the vendor (Halvern's table is compiled in); likewise an
// EtherType's. The names of addresses are looked up every time: the name
// table changes, and counts each look-up.
using AddressTexts = KeptTexts<kAddressLength, FormatAddressProc, RetrieveKeyProc, 64, 64>;
AddressTexts g_addressTexts[256];

// Only individual addresses are given a vendor.
const AddressTexts& TextsOf(const BYTE* address) {
  AddressTexts& t = g_addressTexts[(address[5] ^ address[4] * 5 ^ address[3] * 17) & 255];
  if (t.Holds(address, g_svc.FormatHexAddress, g_svc.RetrieveOUI)) return t;
  t.hexService(address, kAddressLength, t.hex);
  t.named = !(address[0] & 1) && t.nameService(address, t.name, 2);
  t.Measure();
  return t;
}

using TypeTexts = KeptTexts<2, GetHexKeyProc, RetrieveKeyProc, 8, 128>;
TypeTexts g_typeTexts[16];

const TypeTexts& TextsOfType(const BYTE* type) {
  TypeTexts& t = g_typeTexts[(type[0] ^ type[1]) & 15];
  if (t.Holds(type, g_svc.GetHexEtherType, g_svc.RetrieveEtherType)) return t;
  t.hexService(type, t.hex);
  t.named = t.nameService(type, t.name, 2);
  t.Measure();
  return t;
}

// One address group; false when the host gave no line, and then the group
// is left as it stands.
bool AddressGroup(qv::DetailList& list, const BYTE* address, int at, LabelId label, BYTE* state) {
  if (!list.Group<"%s">(state, at, kAddressLength, Label(label))) return false;
  const AddressTexts& texts = TextsOf(address);
  list.Add<"%s\t\t\t%s">(at, kAddressLength, Label(LABEL_HEX_ADDRESS), texts.Hex());
  bool group = address[0] & 1;
  list.Add<"%s\t%s">(at, 1, Label(LABEL_GROUP_BIT), Label(group ? LABEL_GROUP_ON : LABEL_GROUP_OFF));
  list.Add<"%s\t%s">(at, 1, Label(LABEL_LOCAL_BIT), Label(address[0] & 2 ? LABEL_LOCAL_ON : LABEL_LOCAL_OFF));
  // The names buffer holds the 128 characters asked for and the NUL.
  char names[129];
  if (!list.stopped && g_svc.LookupAllNames(address, kAddressLength, names, 2, 128)) {
    names[sizeof names - 1] = 0;
    list.Add<"%s\t[%s]">(at, kAddressLength, Label(LABEL_LOGICAL_NAMES), names);
  }
  if (!list.stopped && texts.named) list.Add<"%s\t\t\t%s">(at, 3, Label(LABEL_VENDOR_NAME), texts.Name());
  list.Close();
  return !list.stopped;
}

void DetailMac(qv::Layer& l, qv::DetailList& list) {
  const MacHeader h = ReadHeader(l.header);
  const int o = l.offset();
  if (!list.Group<"%s">(&l.protocol.titleState, o, (int)h.view.Sub(0, kHeaderLength).size(),
                        h.IsDix() ? "Ethernet II (DIX) Media Access Control"sv : "IEEE 802.3 Media Access Control"sv))
    return;
  if (!h.HasDestination() || !AddressGroup(list, h.Destination(), o, LABEL_DESTINATION, &g_destinationState)) return;
  if (!h.HasSource() || !AddressGroup(list, h.Source(), o + kAddressLength, LABEL_SOURCE, &g_sourceState)) return;
  if (!h.hasType) return;
  if (!h.IsDix()) {
    // The title group stays open; the host ends it.
    list.Add<"Frame Length\t\t\t%01u">(o + 12, 2, (unsigned)h.type);
    return;
  }
  if (!list.Group<"%s">(&g_etherTypeState, o + 12, 2, Label(LABEL_ETHER_TYPE))) return;
  const TypeTexts& type = TextsOfType(h.view.Bytes(12, 2));
  if (type.named)
    list.Add<"%s\t\t\t%s\t%s">(o + 12, 2, Label(LABEL_ETHER_TYPE), type.Hex(), type.Name());
  else
    list.Add<"%s\t\t\t%s">(o + 12, 2, Label(LABEL_ETHER_TYPE), type.Hex());
  list.Close();
}

// By EtherType; an 802.3 length trims the frame and picks raw IPX or LLC.
// Without its type/length field a frame has nothing to hand on.
ProtocolParse HandOnMac(qv::Layer& l) {
  const MacHeader h = ReadHeader(l.header);
  if (!h.hasType) return nullptr;
  CaptureFrame* frame = l.frame;
  if (h.IsDix()) {
    frame->offset = l.offset() + kHeaderLength;
    return qv::FindChildProtocol(&g_macChildren, h.type);
  }
  qv::TrimFrame(frame, (int64_t)l.offset() + kHeaderLength + h.type);
  frame->offset = l.offset() + kHeaderLength;
  return h.RawIpx() ? g_ipxCache : g_llcCache;
}

constexpr qv::Cache kCaches[] = {{"LLC-802.2", &g_llcCache}, {"NOVELL-IPX", &g_ipxCache}};

}  // namespace

ChildTable g_macChildren;
ProtocolParse g_llcCache;
ProtocolParse g_ipxCache;

constexpr qv::ProtocolDecl kMacDecl = {
    .nameId = "MAC-802.3",
    .description = "IEEE 802.3 Media Access Control",
    .flags = PROTOCOL_PARENT,
    .control = qv::CONTROL_PARENT,
    .statistics = {1, "IEEE 802.3", &g_ieeeDirected},
    .options = qv::SUMMARY_ALWAYS,  // the media root fills its cells whether or not it is enabled
    .children = &g_macChildren,
    .count = CountMac,
    .summary = SummarizeMac,
    .detail = DetailMac,
    .handOn = HandOnMac,
    .caches = kCaches,
    .moreStatistics = kMoreStatistics,
};
qv::Protocol g_mac = qv::Declare<g_mac, kMacDecl>();

}  // namespace brannock
