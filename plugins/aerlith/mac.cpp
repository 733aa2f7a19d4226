// MAC-802.11: the wireless media root. Counts frames and station traffic,
// reports access points seen in beacons, fills the summary row and hands
// data frames on to LLC-802.2. Every field is read through the bounded view,
// so a frame cut anywhere is counted and shows what it has.
#include <string.h>

#include <array>
#include <utility>

#include "aerlith.h"

namespace aerlith {

namespace {

// ---------------------------------------------------------------- frame types
// The host's filter list: the protocol, three categories and their frame
// types; each frame type shares its category's flag byte.
BYTE g_protocolFlag = 1, g_managementFlag = 1, g_controlFlag = 1, g_dataFlag = 1;

FrameTypeItem g_items[] = {
    {"IEEE 802.11 Protocol", &g_protocolFlag, 0},
    {"Management Frames", &g_managementFlag, 1},
    {"Association Request", &g_managementFlag, 2},
    {"Association Response", &g_managementFlag, 2},
    {"Reassociation Request", &g_managementFlag, 2},
    {"Reassociation Response", &g_managementFlag, 2},
    {"Probe Request", &g_managementFlag, 2},
    {"Probe Response", &g_managementFlag, 2},
    {"Beacon", &g_managementFlag, 2},
    {"Atim", &g_managementFlag, 2},
    {"Disassociation", &g_managementFlag, 2},
    {"Authentication", &g_managementFlag, 2},
    {"Deauthentication", &g_managementFlag, 2},
    {"Control Frames", &g_controlFlag, 1},
    {"PS-Poll", &g_controlFlag, 2},
    {"RTS", &g_controlFlag, 2},
    {"CTS", &g_controlFlag, 2},
    {"ACK", &g_controlFlag, 2},
    {"CF-End", &g_controlFlag, 2},
    {"CF-End + CF-Ack", &g_controlFlag, 2},
    {"Data Frames", &g_dataFlag, 1},
    {"Data", &g_dataFlag, 2},
    {"Data + CF-Ack", &g_dataFlag, 2},
    {"Data + CF-Poll", &g_dataFlag, 2},
    {"Data + CF-Ack + CF-Poll", &g_dataFlag, 2},
    {"Null Data", &g_dataFlag, 2},
    {"CF-Ack", &g_dataFlag, 2},
    {"CF-Poll ", &g_dataFlag, 2},
    {"CF-Ack + CF+Poll", &g_dataFlag, 2},
};
constexpr size_t kItems = sizeof g_items / sizeof g_items[0];
static_assert(kItems == 29);

template <size_t... I>
constexpr auto ItemList(std::index_sequence<I...>) {
  return std::array<FrameTypeItem*, kItems + 1>{&g_items[I]..., nullptr};
}
std::array<FrameTypeItem*, kItems + 1> g_frameTypes = ItemList(std::make_index_sequence<kItems>());

// ---------------------------------------------------------------- summary words
constexpr qv::Name kDescriptionRows[] = {
    {0, "Association Request"},
    {8, "Data"},
    {16, "Association Response"},
    {24, "Data+CF-ACK"},
    {32, "Reassociation Request"},
    {40, "Data+CF-POLL"},
    {48, "Reassociation Response"},
    {56, "Data+CF-ACK+CF-POLL"},
    {64, "Probe Request"},
    {72, "Null"},
    {80, "Probe Response"},
    {88, "CF-ACK"},
    {104, "CF-POLL"},
    {120, "CF-ACK+CF-POLL"},
    {128, "Beacon"},
    {144, "ATIM"},
    {160, "Disassociation"},
    {164, "PS-Poll"},
    {176, "Authentication"},
    {180, "RTS"},
    {192, "Deauthentication"},
    {196, "CTS"},
    {212, "ACK"},
    {228, "CF-END"},
    {244, "CF-END+CF-ACK"},
};
constexpr qv::NameTable kDescriptions(kDescriptionRows, "Unknown");

const BYTE kNoAddress[kAddressLength] = {};

ProtocolParse g_llcCache;

// Frames decoded here carry their source at no fixed place: name learners
// must not take data + 6.
void MarkWireless(CaptureFrame* frame) { frame->flags |= FRAME_WIRELESS_MEDIA; }

// ---------------------------------------------------------------- counting

// A beacon's access point, reported when the fixed fields and the first
// element's header (38 bytes) are captured. The SSID comes from the first
// element only when it is one, cut at 63 bytes and at the capture.
void ReportAccessPoint(const Header& h, const CaptureFrame* frame) {
  if (!g_svc.AddBssEntry || (frame->mediaStatus & 0x40000000u) || !h.view.Has(0, 38)) return;
  const BYTE* bssid = h.Address(2);
  if (memcmp(bssid, h.Address(3), kAddressLength) != 0) return;
  char ssid[64] = {};
  if (h.view.U8Or0(36) == 0) {
    int length = h.view.U8Or0(37);
    if (length > 63) length = 63;
    h.view.Copy(38, length, reinterpret_cast<BYTE*>(ssid));
  }
  int privacy = (h.view.Le16Or0(34) & 0x0010) ? 1 : 0;
  const BYTE* radio = frame->radioInfo;
  g_svc.AddBssEntry(bssid, ssid, radio[RADIO_BSS_INFO_8], radio[RADIO_BSS_INFO_10], radio[RADIO_BSS_INFO_11], 0,
                    privacy, frame->hostCookie[0], frame->hostCookie[1]);
}

void Count80211(qv::Layer& l) {
  CaptureFrame* frame = l.frame;
  MarkWireless(frame);
  qv::CountProtocolFrame(&l.protocol.counters, frame);
  const Header h{l.header};
  // A beacon is left unmarked from its first byte on, as in the summary.
  if (h.HasControl() && h.Control() == FRAME_BEACON && (qv::TableFlags() & MT_HIDE_BEACONS))
    frame->flags &= ~FRAME_PROTOCOL_ENABLED;
  if (!h.HasFlags()) return;
  if (frame->mediaStatus == 0 && g_svc.AddStationTraffic) {
    const AddressPair pair = AddressesByDs(h.DsBits());
    const BYTE* destination = h.Address(pair.destination);
    const BYTE* source = h.HasSource() ? h.Address(pair.source) : kNoAddress;
    if (destination && source) g_svc.AddStationTraffic(destination, source, kAddressLength, 1, frame->frameLength);
  }
  if (h.Control() == FRAME_BEACON) ReportAccessPoint(h, frame);
}

// ---------------------------------------------------------------- summary

// One address cell: a name from the name table, else (when asked) the vendor
// in place of the first three bytes, else hex. Returns whether it got a name.
bool AddressCell(const BYTE* address, SummaryCell* cell, BYTE useName, COLORREF* colour1, COLORREF* colour2) {
  cell->text[0] = 0;
  bool named = g_svc.LookupName(address, kAddressLength, useName, cell->text, 1, colour1, colour2) != 0;
  if (named || !(qv::TableFlags() & MT_SHOW_VENDOR)) return named;
  char vendor[64];
  if (!g_svc.RetrieveOUI(address, vendor, 1)) return false;
  vendor[sizeof vendor - 1] = 0;
  // Spliced in a buffer of its own: the cell is both the source and the
  // target. 00-00-0C-12-34-56 keeps "-12-34-56" behind the vendor.
  char spliced[SUMMARY_TEXT_SIZE];
  const size_t used = strnlen(cell->text, sizeof cell->text);
  qv::FormatText(spliced, sizeof spliced, "%s%.*s", vendor, used > 8 ? (int)(used - 8) : 0, cell->text + 8);
  qv::SetCellText(cell, spliced);
  return false;
}

void Summarize80211(qv::Layer& l, SummaryRow* row) {
  CaptureFrame* frame = l.frame;
  MarkWireless(frame);
  qv::SetCellText(row->protocol, "IEEE 802.11");
  const Header h{l.header};
  if (!h.HasControl()) return;
  if (h.Control() == FRAME_BEACON && (qv::TableFlags() & MT_HIDE_BEACONS)) {
    frame->flags &= ~FRAME_PROTOCOL_ENABLED;
    return;
  }
  qv::SetCellText(row->description, kDescriptions(h.Kind()));
  qv::ClearTableFlags(MT_DESTINATION_NAMED | MT_SOURCE_NAMED);
  if (h.HasFlags()) {
    const AddressPair pair = AddressesByDs(h.DsBits());
    const BYTE useName = (qv::TableFlags() & MT_RAW_ADDRESSES) ? 0 : 1;
    COLORREF colour1 = 0, colour2 = 0;
    const BYTE* source = h.HasSource() ? h.Address(pair.source) : nullptr;
    if (source) {
      if (AddressCell(source, row->source, useName, &colour1, &colour2)) qv::SetTableFlags(MT_SOURCE_NAMED);
      if (colour2) frame->textColor = colour2;
    }
    // The destination's colour wins when both have one.
    if (const BYTE* destination = h.Address(pair.destination)) {
      if (AddressCell(destination, row->destination, useName, &colour1, &colour2))
        qv::SetTableFlags(MT_DESTINATION_NAMED);
      if (colour1) frame->textColor = colour1;
    }
  }
  if (h.IsData() && h.HasSequence() && h.Fragment() != 0) qv::AppendCell(row->description, " Fragment %d", h.Fragment());
}

// ---------------------------------------------------------------- hand-on

// Data frames whose first fragment this is go to LLC-802.2 behind a fully
// captured header (QoS fields included); the detail pass moves past the
// header in every frame. A protected body is ciphertext and an aggregate
// holds no LLC header in front: neither is handed on.
ProtocolParse HandOn80211(qv::Layer& l) {
  const Header h{l.header};
  CaptureFrame* frame = l.frame;
  if (l.pass == PASS_DETAIL) frame->offset = l.offset() + h.Length();
  if (!h.IsData() || !h.Whole() || h.Fragment() != 0 || h.Protected() || h.Aggregate()) return nullptr;
  frame->offset = l.offset() + h.Length();
  return g_llcCache;
}

constexpr qv::Cache kCaches[] = {{"LLC-802.2", &g_llcCache}};

}  // namespace

AddressPair AddressesByDs(int dsBits) {
  static const AddressPair kPairs[4] = {{1, 2}, {3, 2}, {1, 3}, {3, 4}};
  return kPairs[dsBits & 3];
}

constexpr qv::ProtocolDecl kMac80211Decl = {
    .nameId = "MAC-802.11",
    .description = "IEEE 802.11 Protocol",
    .flags = PROTOCOL_PARENT,
    .control = qv::CONTROL_MINIMAL,
    .statistics = {1, "IEEE 802.11"},
    // The media root fills its cells and builds its tree whether or not it
    // is enabled.
    .options = qv::SUMMARY_ALWAYS | qv::DETAIL_ALWAYS,
    .count = Count80211,
    .summary = Summarize80211,
    .detail = Detail80211,
    .handOn = HandOn80211,
    .caches = kCaches,
    .frameTypes = g_frameTypes.data(),
};
qv::Protocol g_mac80211 = qv::Declare<g_mac80211, kMac80211Decl>();

}  // namespace aerlith
