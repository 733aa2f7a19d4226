// Counting, station traffic, access points, the summary row and the
// hand-on of MAC-802.11.
#include <string.h>

#include "aerlith_host.h"
#include "name_entry.h"

namespace aerlithtest {
namespace {

std::string Text(const Bytes& address) {
  char text[32];
  snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", address[0], address[1], address[2], address[3],
           address[4], address[5]);
  return text;
}
const Bytes kNone = Hex("000000000000");

// Frames of each DS kind between four distinct stations, and the frames
// without a transmitter.
struct PairCase {
  const char* name;
  Bytes frame;
  Bytes destination, source;  // source kNone: the frame has none
};
std::vector<PairCase> PairCases() {
  const Bytes a1 = kAccessPoint, a2 = kStation, a3 = kOther, a4 = Hex("00a0c9000004");
  auto data = [&](BYTE flags) {
    return Build({.flags = flags, .address1 = a1, .address2 = a2, .address3 = a3, .address4 = a4});
  };
  return {
      {"no DS bit", data(0), a1, a2},
      {"to DS", data(1), a3, a2},
      {"from DS", data(2), a1, a3},
      {"both DS bits", data(3), a3, a4},
      {"management", Build({.control = 0xA0, .address1 = a1, .address2 = a2, .address3 = a3}), a1, a2},
      {"RTS", Control(0xB4, {a1, a2}), a1, a2},
      {"ACK", Control(0xD4, {a1}), a1, kNone},
      {"CTS", Control(0xC4, {a1}), a1, kNone},
  };
}

TEST(Counting, StationTrafficByTheDsBits) {
  AerlithHost h;
  for (const PairCase& c : PairCases()) {
    SCOPED_TRACE(c.name);
    h.host.ClearStations();
    h.Decode(c.frame, qvhost::RUN_COUNT);
    const auto stations = h.host.stations();
    ASSERT_EQ(stations.size(), 2u);
    ASSERT_EQ(stations.count(Text(c.destination)), 1u);
    ASSERT_EQ(stations.count(Text(c.source)), 1u);
    EXPECT_EQ(stations.at(Text(c.destination)).framesReceived, 1u);
    EXPECT_EQ(stations.at(Text(c.source)).framesSent, 1u);
    EXPECT_EQ(stations.at(Text(c.source)).bytesSent, c.frame.size());
  }
}

// A frame the host marks (mediaStatus not 0) adds no station traffic; one
// cut before its addresses adds none either, but both are counted.
TEST(Counting, StationTrafficOnlyFromGoodCapturedAddresses) {
  AerlithHost h;
  const Bytes data = Build({.flags = 3});
  h.media.status = 1;
  h.Decode(data, qvhost::RUN_COUNT);
  EXPECT_TRUE(h.host.stations().empty());
  h.media.status = 0;
  h.Decode(Bytes(data.begin(), data.begin() + 29), qvhost::RUN_COUNT, (int)data.size());
  EXPECT_TRUE(h.host.stations().empty());
  h.Decode(Hex("d400 0000 00a0c914"), qvhost::RUN_COUNT, 10);
  EXPECT_TRUE(h.host.stations().empty());
  EXPECT_EQ(h.Frames("IEEE 802.11"), 3u);
  EXPECT_EQ(h.Bytes64("IEEE 802.11"), 2 * data.size() + 10);
}

TEST(Counting, BeaconsReportTheirAccessPoint) {
  AerlithHost h;
  h.media.radioInfo[8] = 6;
  h.media.radioInfo[10] = 0xC4;  // -60 dBm
  h.media.radioInfo[11] = 0xA6;  // -90 dBm
  h.media.hostCookie[0] = 0x89abcdef;
  h.media.hostCookie[1] = 0x01234567;
  h.Decode(Beacon(Cat({Element(0, "home"), Element(1, Hex("82848b96"))}), 0x80, 0x0431));
  h.Decode(Beacon(Element(0, "home"), 0x80, 0x0421));
  ASSERT_EQ(h.host.bssEntries().size(), 1u);
  const qvhost::BssEntry& e = h.host.bssEntries()[0];
  EXPECT_EQ(Bytes(e.bssid, e.bssid + 6), kAccessPoint);
  EXPECT_EQ(e.ssid, "home");
  EXPECT_EQ(e.privacy, 1);
  EXPECT_EQ(e.channel, 6);
  EXPECT_EQ(e.signal, -60);
  EXPECT_EQ(e.noise, -90);
  EXPECT_EQ(e.timestamp, 0x0123456789abcdefull);
  EXPECT_EQ(e.beacons, 2u);
}

// The SSID reported: the first element's, only when it is an SSID, at most
// 63 bytes and never more than were captured.
TEST(Counting, AccessPointSsidAndWhenNoneIsReported) {
  const Bytes longSsid = Element(0, std::string(200, 'x'));
  Bytes beacon = Beacon(Element(0, "home"));
  Bytes otherBssid = beacon;
  otherBssid[16] ^= 1;
  const struct {
    const char* name;
    Bytes frame;
    size_t captured;  // 0: all of it
    DWORD mediaStatus;
    int reports;      // -1: none
    std::string ssid;
  } cases[] = {
      {"an SSID of 200 bytes", Beacon(longSsid), 0, 0, 1, std::string(63, 'x')},
      {"SSID cut by the capture", Beacon(Element(0, "homestead")), 38 + 5, 0, 1, "homes"},
      {"only the element's header captured", beacon, 38, 0, 1, ""},
      {"first element not an SSID", Beacon(Cat({Element(1, "abcd"), Element(0, "home")})), 0, 0, 1, ""},
      {"cut before the SSID element's length", beacon, 37, 0, -1, ""},
      {"address 2 is not address 3", otherBssid, 0, 0, -1, ""},
      {"the host says so", beacon, 0, 0x40000000, -1, ""},
      {"a probe response", Beacon(Element(0, "home"), 0x50), 0, 0, -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AerlithHost h;
    h.media.status = c.mediaStatus;
    const size_t n = c.captured ? c.captured : c.frame.size();
    h.Decode(Bytes(c.frame.begin(), c.frame.begin() + (ptrdiff_t)n), qvhost::RUN_COUNT, (int)c.frame.size());
    EXPECT_EQ(h.Frames("IEEE 802.11"), 1u);
    if (c.reports < 0) {
      EXPECT_TRUE(h.host.bssEntries().empty());
      continue;
    }
    ASSERT_EQ(h.host.bssEntries().size(), 1u);
    EXPECT_EQ(h.host.bssEntries()[0].ssid, c.ssid);
  }
}

TEST(Counting, HiddenBeaconsAreLeftUnmarked) {
  AerlithHost h;
  h.Flags() |= MT_HIDE_BEACONS;
  for (unsigned mask : {qvhost::RUN_COUNT, qvhost::RUN_SUMMARY}) {
    // Whole, or cut to its frame control byte.
    for (const Bytes& beacon : {Beacon(Element(0, "home")), Hex("80")}) {
      h.Decode(beacon, mask);
      EXPECT_FALSE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED) << mask << " " << beacon.size();
    }
    h.Decode(Beacon(Element(0, "home"), 0x50), mask);
    EXPECT_TRUE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
  }
  h.Decode(Beacon(Element(0, "home")), qvhost::RUN_SUMMARY);
  EXPECT_EQ(h.Protocol(), "IEEE 802.11");
  EXPECT_EQ(h.Description(), "");
  EXPECT_EQ(h.Destination(), "");
  EXPECT_EQ(h.Source(), "");
  EXPECT_EQ(h.host.bssEntries().size(), 1u);  // still reported
}

// Name learners find the source through the frame's flags: every pass of
// every frame marks it, enabled or not.
TEST(Passes, EveryPassMarksTheFrameWireless) {
  AerlithHost h;
  for (BYTE enabled : {1, 0}) {
    h.Enabled(kRoot) = enabled;
    for (unsigned mask : {qvhost::RUN_COUNT, qvhost::RUN_SUMMARY, qvhost::RUN_DETAIL})
      for (const Bytes& frame : {Build({}), Hex("c4"), Bytes{}}) {
        h.Decode(frame, mask);
        EXPECT_TRUE(h.out.frameFlags & FRAME_WIRELESS_MEDIA) << mask << " " << frame.size();
      }
  }
}

TEST(Summary, DescriptionsByFrameControl) {
  const std::pair<BYTE, const char*> cases[] = {
      {0x00, "Association Request"},    {0x08, "Data"},
      {0x10, "Association Response"},   {0x18, "Data+CF-ACK"},
      {0x20, "Reassociation Request"},  {0x28, "Data+CF-POLL"},
      {0x30, "Reassociation Response"}, {0x38, "Data+CF-ACK+CF-POLL"},
      {0x40, "Probe Request"},          {0x48, "Null"},
      {0x50, "Probe Response"},         {0x58, "CF-ACK"},
      {0x68, "CF-POLL"},                {0x78, "CF-ACK+CF-POLL"},
      {0x80, "Beacon"},                 {0x90, "ATIM"},
      {0xA0, "Disassociation"},         {0xA4, "PS-Poll"},
      {0xB0, "Authentication"},         {0xB4, "RTS"},
      {0xC0, "Deauthentication"},       {0xC4, "CTS"},
      {0xD4, "ACK"},                    {0xE4, "CF-END"},
      {0xF4, "CF-END+CF-ACK"},          {0xF5, "CF-END+CF-ACK"},  // the version bits do not count
      {0x98, "Unknown"},                {0x88, "Unknown"},
      {0xD0, "Unknown"},                {0x0C, "Unknown"},
  };
  AerlithHost h(false);
  h.Enabled(kRoot) = 0;  // the media root writes its cells all the same
  for (const auto& [control, text] : cases) {
    Bytes frame = Build({.control = control});
    h.Decode(frame, qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Protocol(), "IEEE 802.11") << (int)control;
    EXPECT_EQ(h.Description(), text) << (int)control;
  }
}

TEST(Summary, AddressCellsByTheDsBits) {
  AerlithHost h;
  h.Flags() |= MT_RAW_ADDRESSES;
  for (const PairCase& c : PairCases()) {
    SCOPED_TRACE(c.name);
    h.Decode(c.frame, qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Destination(), Text(c.destination));
    EXPECT_EQ(h.Source(), c.source == kNone ? "" : Text(c.source));
  }
}

TEST(Summary, NamesColoursAndVendors) {
  AerlithHost h;
  auto add = [&](const char* name, const Bytes& address, COLORREF destination, COLORREF source) {
    auto* e = static_cast<pallisand::NameEntry*>(h.table()->AddName(name, address.data(), 6, 0));
    ASSERT_NE(e, nullptr);
    e->destinationColor = destination;
    e->sourceColor = source;
  };
  add("laptop", kStation, 0x11, 0x22);
  const Bytes toAccessPoint = Build({.address1 = kAccessPoint, .address2 = kStation});
  h.Decode(toAccessPoint, qvhost::RUN_SUMMARY);
  EXPECT_EQ(h.Source(), "laptop");
  EXPECT_EQ(h.Destination(), "00-00-0C-07-AC-01");
  EXPECT_EQ(h.out.textColor, 0x22u);
  EXPECT_EQ(h.Flags() & (MT_SOURCE_NAMED | MT_DESTINATION_NAMED), MT_SOURCE_NAMED);

  // The destination's colour wins.
  add("ap", kAccessPoint, 0x33, 0x44);
  h.Decode(toAccessPoint, qvhost::RUN_SUMMARY);
  EXPECT_EQ(h.Destination(), "ap");
  EXPECT_EQ(h.out.textColor, 0x33u);
  EXPECT_EQ(h.Flags() & (MT_SOURCE_NAMED | MT_DESTINATION_NAMED), MT_SOURCE_NAMED | MT_DESTINATION_NAMED);

  // Numbers only: no name, no NAMED flag; the colours still count.
  h.Flags() |= MT_RAW_ADDRESSES;
  h.Decode(toAccessPoint, qvhost::RUN_SUMMARY);
  EXPECT_EQ(h.Destination(), "00-00-0C-07-AC-01");
  EXPECT_EQ(h.Source(), "00-A0-C9-14-C8-29");
  EXPECT_EQ(h.Flags() & (MT_SOURCE_NAMED | MT_DESTINATION_NAMED), 0u);
  EXPECT_EQ(h.out.textColor, 0x33u);

  // The vendor in place of the first three bytes of an address without a
  // name; an address of no known vendor stays hex.
  h.Flags() |= MT_SHOW_VENDOR;
  h.Decode(Build({.address1 = kOther, .address2 = kStation}), qvhost::RUN_SUMMARY);
  EXPECT_EQ(h.Source(), "Intel-14-C8-29");
  EXPECT_EQ(h.Destination(), "02-00-00-00-00-07");
}

// A cut frame's row: the protocol always, the description once frame
// control is captured, each address cell once its address is, and the
// fragment number once the sequence control is.
TEST(Summary, CutFramesFillTheCellsTheyHave) {
  const Bytes toDs = Build({.flags = 0x01, .sequence = 0x0123});  // destination address 3, source address 2
  const Bytes ack = Control(0xD4, {kStation});
  const std::string station = Text(kStation), other = Text(kOther);
  const struct {
    Bytes frame;
    size_t captured;
    const char* description;
    std::string destination, source;
  } cases[] = {
      {toDs, 0, "", "", ""},
      {toDs, 1, "Data", "", ""},
      {toDs, 2, "Data", "", ""},
      {toDs, 15, "Data", "", ""},
      {toDs, 16, "Data", "", station},
      {toDs, 21, "Data", "", station},
      {toDs, 22, "Data", other, station},
      {toDs, 23, "Data", other, station},
      {toDs, 24, "Data Fragment 3", other, station},
      {ack, 9, "ACK", "", ""},
      {ack, 10, "ACK", station, ""},
  };
  AerlithHost h;
  h.Flags() |= MT_RAW_ADDRESSES;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.frame[0]) + " cut to " + std::to_string(c.captured));
    h.Decode(Bytes(c.frame.begin(), c.frame.begin() + (ptrdiff_t)c.captured), qvhost::RUN_SUMMARY,
             (int)c.frame.size());
    EXPECT_EQ(h.Protocol(), "IEEE 802.11");
    EXPECT_EQ(h.Description(), c.description);
    EXPECT_EQ(h.Destination(), c.destination);
    EXPECT_EQ(h.Source(), c.source);
  }
}

TEST(Summary, FragmentsAreNamedAndKept) {
  AerlithHost h;
  h.Decode(Build({.sequence = 0x0123}));
  EXPECT_EQ(h.Description(), "Data Fragment 3");
  EXPECT_TRUE(h.handOns.empty());
  // A management frame's fragment number changes nothing.
  h.Decode(Build({.control = 0xA0, .sequence = 0x0123, .body = Hex("0300")}), qvhost::RUN_SUMMARY);
  EXPECT_EQ(h.Description(), "Disassociation");
}

// What each frame hands to LLC-802.2, in each pass: only data frames whose
// first fragment this is, in clear, behind a header captured in full (QoS
// data with its QoS and HT control fields).
TEST(HandOn, DataFramesWithTheirWholeHeader) {
  const Bytes payload = Hex("aaaa0300000008004500");
  const Bytes fourAddresses = Build({.flags = 3, .body = payload});
  const Bytes data = Build({.body = payload});
  const Bytes qos = Build({.control = 0x88, .body = Cat({Hex("0500"), payload})});
  const struct {
    const char* name;
    Bytes frame;
    size_t captured;  // 0: all of it
    int offset;       // where LLC-802.2 starts; -1: nothing handed on
  } cases[] = {
      {"data", data, 0, 24},
      {"four addresses", fourAddresses, 0, 30},
      {"reserved data subtype (QoS data + CF-Ack)", Build({.control = 0x98, .body = Cat({Hex("0000"), payload})}), 0,
       26},
      {"QoS data, behind its QoS control", qos, 0, 26},
      {"QoS data, four addresses", Build({.control = 0x88, .flags = 3, .body = Cat({Hex("0000"), payload})}), 0, 32},
      {"QoS data with HT control", Build({.control = 0x88, .flags = 0x80, .body = Cat({Hex("0000 0000000c"), payload})}),
       0, 30},
      {"QoS data + CF-Ack + CF-Poll", Build({.control = 0xB8, .body = Cat({Hex("0000"), payload})}), 0, 26},
      {"QoS null", Build({.control = 0xC8, .body = Hex("0700")}), 0, 26},
      {"data with the Order bit has no HT control", Build({.flags = 0x80, .body = payload}), 0, 24},
      {"QoS control cut", qos, 25, -1},
      {"aggregate MSDUs", Build({.control = 0x88, .body = Cat({Hex("8000"), payload})}), 0, -1},
      {"protected data", Build({.flags = 0x40, .body = payload}), 0, -1},
      {"protected QoS data", Build({.control = 0x88, .flags = 0x42, .body = Cat({Hex("0000"), payload})}), 0, -1},
      {"null data", Build({.control = 0x48}), 0, 24},
      {"header only", data, 24, 24},
      {"header cut", data, 23, -1},
      {"address 4 cut", fourAddresses, 29, -1},
      {"third fragment", Build({.sequence = 0x0123, .body = payload}), 0, -1},
      {"management", Build({.control = 0x00, .body = payload}), 0, -1},
      {"control", Control(0xB4, {kAccessPoint, kStation}), 0, -1},
      {"frame control only", Hex("08"), 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AerlithHost h;
    const size_t n = c.captured ? c.captured : c.frame.size();
    h.Decode(Bytes(c.frame.begin(), c.frame.begin() + (ptrdiff_t)n), qvhost::RUN_ALL, (int)c.frame.size());
    if (c.offset < 0) {
      EXPECT_TRUE(h.handOns.empty());
      continue;
    }
    ASSERT_EQ(h.handOns.size(), 3u);
    for (DWORD pass = 0; pass < 3; pass++) {
      const qvtest::HandOn& o = h.handOns[pass];
      EXPECT_EQ(o.to, "LLC-802.2");
      EXPECT_EQ(o.pass, pass);
      EXPECT_EQ(o.offset, c.offset);
      EXPECT_EQ(o.capturedLength, (int)n);
      EXPECT_EQ(o.frameLength, (int)c.frame.size());
    }
    EXPECT_EQ(h.handOns[2].slot, 1);
  }
}

// The detail pass moves past the header of every frame; the others only for
// the frames they hand on.
TEST(HandOn, OffsetAfterEachPass) {
  AerlithHost h;
  const struct {
    Bytes frame;
    int count, detail;
  } cases[] = {
      {Beacon(Element(0, "home")), 0, 24},
      {Build({.sequence = 0x0121}), 0, 24},
      {Build({.flags = 3}), 30, 30},
      {Build({.control = 0x88, .body = Hex("0000")}), 26, 26},
      {Build({.flags = 0x40, .body = Hex("01020300")}), 0, 24},
      {Control(0xD4, {kStation}), 0, 24},
  };
  for (const auto& c : cases) {
    h.Decode(c.frame, qvhost::RUN_COUNT);
    EXPECT_EQ(h.host.currentFrame()->offset, c.count);
    h.Decode(c.frame, qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.host.currentFrame()->offset, c.count);
    h.Decode(c.frame, qvhost::RUN_DETAIL);
    EXPECT_EQ(h.host.currentFrame()->offset, c.detail);
  }
}

}  // namespace
}  // namespace aerlithtest
