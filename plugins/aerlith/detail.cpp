// The detail tree of MAC-802.11: the radio (PLCP) values the host recorded,
// both frame-control bytes as bit pictures, the WEP values, the duration, one
// group per station address and the sequence control, then the body of
// management frames (bodies.cpp). A field that is not captured ends the
// lines; the title group is closed after the last line made.
#include <string.h>

#include "aerlith.h"

namespace aerlith {

namespace {

BYTE g_plcpState, g_serviceState, g_control0State, g_control1State, g_wepState;
BYTE g_addressState[4];

// ---------------------------------------------------------------- frame kinds
const char* const kManagementLabels[] = {"Destination Address", "Source Address", "BSSID"};
const char* const kPsPollLabels[] = {"BSSID Address", "Transmitter Address"};
const char* const kRtsLabels[] = {"Receiver Address", "Transmitter Address"};
const char* const kReceiverLabels[] = {"Receiver Address"};
const char* const kCfEndLabels[] = {"Receiver Address", "BSSID"};
const char* const kUnknownLabels[] = {"Address 1", "Address 2", "Address 3"};
// Data frames by the DS bits.
const char* const kDataLabels[4][4] = {
    {"Destination Address", "Source Address", "BSSID"},
    {"BSSID", "Source Address", "Destination Address"},
    {"Destination Address", "BSSID", "Source Address"},
    {"Receiver Address", "Transmitter Address", "Destination Address", "Source Address"},
};

// Management and control frames by frame control byte 0 & 0xFC.
struct KindRow {
  DWORD key;
  const char* name;
  const char* const* labels;
  int addresses;
  bool sequence;  // the fragment and sequence lines
};
constexpr KindRow kKinds[] = {
    {0, "Association Request", kManagementLabels, 3, true},
    {16, "Association Response", kManagementLabels, 3, true},
    {32, "Reassociation Request", kManagementLabels, 3, true},
    {48, "Reassociation Response", kManagementLabels, 3, true},
    {64, "Probe Request", kManagementLabels, 3, true},
    {80, "Probe Response", kManagementLabels, 3, true},
    {128, "Beacon", kManagementLabels, 3, true},
    {144, "ATIM", kManagementLabels, 3, true},
    {160, "Disassociation", kManagementLabels, 3, true},
    {176, "Authentication", kManagementLabels, 3, true},
    {192, "Deauthentication", kManagementLabels, 3, true},
    {164, "PS-Poll", kPsPollLabels, 2, false},
    {180, "RTS", kRtsLabels, 2, false},
    {196, "CTS", kReceiverLabels, 1, false},
    {212, "ACK", kReceiverLabels, 1, false},
    {228, "CF-END", kCfEndLabels, 2, false},
    {244, "CF-END+CF-ACK", kCfEndLabels, 2, false},
};
constexpr KindRow kUnknownKind = {0, "Unknown", kUnknownLabels, 3, true};

constexpr qv::Name kDataNameRows[] = {
    {8, "Data"},   {24, "Data+CF-ACK"}, {40, "Data+CF-POLL"}, {56, "Data+CF-ACK+CF-POLL"},
    {72, "Null"},  {88, "CF-ACK"},      {104, "CF-POLL"},     {120, "CF-ACK+CF-POLL"},
};
constexpr qv::NameTable kDataNames(kDataNameRows, "Data [Reserved SubType]");

KindRow KindOf(BYTE control, int dsBits) {
  if ((control & 0x0C) == TYPE_DATA) {
    const int addresses = dsBits == 3 ? 4 : 3;
    return {control & 0xFCu, kDataNames(control & 0xFC), kDataLabels[dsBits], addresses, true};
  }
  const KindRow* row = qv::FindRow<KindRow>(kKinds, control & 0xFC);
  return row ? *row : kUnknownKind;
}

const char* const kTypeNames[] = {"Management", "Control", "Data", "Reserved"};

// ---------------------------------------------------------------- radio
const char* RateText(BYTE rate) {
  switch (rate) {
    case 10: return "1 MB DBPSK";
    case 20: return "2 MB DQPSK";
    case 55: return "5.5 MB";
    case 110: return "11 MB";
    default: return "Unknown";
  }
}

// Every PLCP line describes no frame bytes: position 0, length 0.
void DetailPlcp(const BYTE* radio, qv::DetailList& list) {
  list.Group<"PLCP Header">(&g_plcpState, 0, 0);
  DWORD phyType;
  WORD plcpLength;
  memcpy(&phyType, radio + RADIO_PHY_TYPE, sizeof phyType);
  memcpy(&plcpLength, radio + RADIO_PLCP_LENGTH, sizeof plcpLength);
  const BYTE service = radio[RADIO_SERVICE];
  switch (phyType) {
    case 1:
      list.Add<"PHY Type\t\t\t\tDirect Sequence Spread Spectrum (DSSS)">(0, 0);
      list.Add<"Speed\t\t\t\t\t%s">(0, 0, RateText(radio[RADIO_RATE]));
      list.Group<"Service\t\t\t\t0x%02X">(&g_serviceState, 0, 0, service);
      list.Add<"Length Bit\t\t%s">(0, 0, service & 0x80 ? "[1xxxxxxx]\tOn"sv : "[0xxxxxxx]\tOff"sv);
      list.Add<"Modulation Bit\t%s">(0, 0, service & 0x08 ? "[xxxx1xxx]\tOn"sv : "[xxxx0xxx]\tOff"sv);
      list.Add<"Locked Bit\t\t%s">(0, 0, service & 0x04 ? "[xxxxx1xx]\tOn"sv : "[xxxxx0xx]\tOff"sv);
      list.Close();
      list.Add<"Length\t\t\t\t%d microseconds">(0, 0, plcpLength);
      break;
    case 2:
      list.Add<"PHY Type\t\t\t\tFrequency-Hopping Spread Spectrum (FHSS)">(0, 0);
      break;
    case 3:
      list.Add<"PHY Type\t\t\t\tInfrared (IR)">(0, 0);
      break;
    default:
      list.Add<"PHY Type\t\t\t\tUnknown">(0, 0);
      break;
  }
  list.Close();
}

void DetailWep(const BYTE* radio, qv::DetailList& list) {
  const BYTE* iv = radio + RADIO_WEP_IV;
  const BYTE* icv = radio + RADIO_WEP_ICV;
  list.Group<"WEP Information">(&g_wepState, 0, 0);
  list.Add<"IV\t\t\t\t\t\t0X%02X%02X%02X">(0, 0, iv[0], iv[1], iv[2]);
  list.Add<"Key Index\t\t\t%d">(0, 0, radio[RADIO_WEP_KEY_ID] >> 6);
  list.Add<"CRC\t\t\t\t\t0X%02x%02x%02x%02x">(0, 0, icv[0], icv[1], icv[2], icv[3]);
  list.Close();
}

// ---------------------------------------------------------------- header

void DetailFrameControl(BYTE control, BYTE flags, bool hasFlags, const char* function, int o, qv::DetailList& list) {
  list.Group<"Frame Control Byte 0">(&g_control0State, o, 1);
  list.Add<"Protocol Level\t\t[%s]\t%d">(o, 1, qv::Bits(control, 0x03, 8), control & 3);
  list.Add<"Type\t\t\t\t\t[%s]\t%s">(o, 1, qv::Bits(control, 0x0C, 8), kTypeNames[(control >> 2) & 3]);
  list.Add<"Sub-Type\t\t\t\t[%s]\t%s">(o, 1, qv::Bits(control, 0xF0, 8), function);
  list.Close();
  if (!hasFlags) return;
  static constexpr qv::FlagBit kFlagLines[] = {
      {0x80, "Order\t\t\t\t\t"},   {0x40, "WEP\t\t\t\t\t"},            {0x20, "More Data\t\t\t"},
      {0x10, "Power Mgmt\t\t\t"}, {0x08, "Retry\t\t\t\t\t"},          {0x04, "More Fragments\t\t"},
      {0x02, "From DS\t\t\t\t"},   {0x01, "To DS\t\t\t\t\t"},
  };
  list.Group<"Frame Control Byte 1">(&g_control1State, o + 1, 1);
  list.FlagLines<"%s[%s]\t%s">(o + 1, 1, flags, kFlagLines, {8}, {"on", "off"});
  list.Close();
}

void DetailStationAddress(qv::DetailList& list, const BYTE* address, const char* label, int at, BYTE* state) {
  list.Group<"%s">(state, at, kAddressLength, label);
  char hex[64];
  g_svc.FormatHexAddress(address, kAddressLength, hex);
  list.Add<"Hex Address\t\t\t%s">(at, kAddressLength, hex);
  const bool group = address[0] & 1;
  const bool local = address[0] & 2;
  list.Add<"Group Bit\t\t\t[xxxxxxx%c xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]\t%s">(at, 1, group ? '1' : '0',
                                                                                 group ? "on"sv : "off"sv);
  list.Add<"Local Bit\t\t\t[xxxxxx%cx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]\t%s">(at, 1, local ? '1' : '0',
                                                                                 local ? "on"sv : "off"sv);
  // The names buffer holds the 128 characters asked for and the NUL.
  char names[129];
  if (!list.stopped && g_svc.LookupAllNames(address, kAddressLength, names, 2, 128)) {
    names[sizeof names - 1] = 0;
    list.Add<"Logical Names\t\t[%s]">(at, kAddressLength, names);
  }
  char vendor[64];
  if (!list.stopped && !group && g_svc.RetrieveOUI(address, vendor, 2)) {
    vendor[sizeof vendor - 1] = 0;
    list.Add<"Vendor Name\t\t\t%s">(at, 3, vendor);
  }
  list.Close();
}

void DetailSequence(WORD s, int at, qv::DetailList& list) {
  const int n = s >> 4;
  list.Add<"Fragment\t\t\t\t\t[xxxxxxxx xxxx%s]\t%d">(at, 2, qv::NibbleBitsText(s & 0xF), s & 0xF);
  list.Add<"Sequence\t\t\t\t\t[%s%s %sxxxx]\t%d">(at, 2, qv::NibbleBitsText(n >> 8), qv::NibbleBitsText(n >> 4),
                                                  qv::NibbleBitsText(n), n);
}

// The lines after the title, as far as the header is captured.
void DetailHeader(const Header& h, const CaptureFrame* frame, qv::DetailList& list) {
  const int o = h.view.Offset();
  const BYTE control = h.Control();
  const KindRow kind = KindOf(control, h.DsBits());
  list.Add<"Function\t\t\t\t\t%s">(o, 1, kind.name);
  DetailPlcp(frame->radioInfo, list);
  DetailFrameControl(control, h.Flags(), h.HasFlags(), kind.name, o, list);
  if (!h.HasFlags()) return;
  if (h.Flags() & 0x40) DetailWep(frame->radioInfo, list);
  if (!h.view.Has(2, 2)) return;
  list.Add<"Duration ID\t\t\t\t%d">(o + 2, 2, h.view.Le16Or0(2));
  for (int i = 0; i < kind.addresses; i++) {
    const BYTE* address = h.Address(i + 1);
    if (!address || list.stopped) return;
    DetailStationAddress(list, address, kind.labels[i], o + Header::AddressAt(i + 1), &g_addressState[i]);
  }
  if (!kind.sequence) return;
  if (!h.HasSequence()) return;
  DetailSequence(h.Sequence(), o + 22, list);
  DetailBody(h, list);
}

}  // namespace

void Detail80211(qv::Layer& l, qv::DetailList& list) {
  CaptureFrame* frame = l.frame;
  frame->flags |= FRAME_WIRELESS_MEDIA;
  const Header h{l.header};
  // A data frame's title covers its header, anything else the whole frame;
  // either as far as it is captured.
  int length = (int)h.view.size();
  if (h.IsData() && h.Length() < length) length = h.Length();
  if (!list.Group<"IEEE 802.11 MAC Protocol">(&l.protocol.titleState, l.offset(), length)) return;
  if (h.HasControl()) DetailHeader(h, frame, list);
  list.Close();
}

}  // namespace aerlith
