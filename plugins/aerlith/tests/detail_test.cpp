// The detail tree of the 802.11 header: title, function, PLCP values, the
// frame-control pictures, WEP values, duration, address groups and sequence
// control, for each kind of frame, and how it ends on cut frames and when
// the host gives no line.
#include <string.h>

#include "detail_lines.h"

namespace aerlithtest {
namespace {

TEST(Detail, DataFrameWithFourAddresses) {
  AerlithHost h;
  const Bytes a4 = Hex("00a0c9000004");
  const Bytes frame = Build({.control = 0x08, .flags = 0x03, .duration = 0x0102, .address1 = kAccessPoint,
                             .address2 = kStation, .address3 = kOther, .address4 = a4, .sequence = 0x1235,
                             .body = Hex("aaaa03000000080045")});
  h.Decode(frame);
  ExpectLines(h.Lines(), Join({
                             {{"IEEE 802.11 MAC Protocol", 0, 30, OPEN}, {"Function\t\t\t\t\tData", 0, 1, 0}},
                             UnknownPlcp(),
                             FrameControl(0x08, "Data"),
                             Flags(0x03),
                             {{"Duration ID\t\t\t\t258", 2, 2, 0}},
                             Address("Receiver Address", 4, kAccessPoint, "Cisco"),
                             Address("Transmitter Address", 10, kStation, "Intel"),
                             Address("Destination Address", 16, kOther, ""),
                             Address("Source Address", 24, a4, "Intel"),
                             {{"Fragment\t\t\t\t\t[xxxxxxxx xxxx0101]\t5", 22, 2, 0},
                              {"Sequence\t\t\t\t\t[00010010 0011xxxx]\t291", 22, 2, CLOSE}},
                         }));
  EXPECT_TRUE(h.handOns.empty());  // a fifth fragment
}

// The address groups of each kind of frame, by their labels, and whether
// the fragment and sequence lines follow.
TEST(Detail, AddressLabelsByKind) {
  const Bytes body = Hex("0000");
  const struct {
    const char* name;
    Bytes frame;
    std::vector<std::string> labels;
    bool sequence;
  } cases[] = {
      {"data", Build({.flags = 0}), {"Destination Address", "Source Address", "BSSID"}, true},
      {"data to DS", Build({.flags = 1}), {"BSSID", "Source Address", "Destination Address"}, true},
      {"data from DS", Build({.flags = 2}), {"Destination Address", "BSSID", "Source Address"}, true},
      {"reserved data subtype", Build({.control = 0x98}), {"Destination Address", "Source Address", "BSSID"}, true},
      {"management, DS bits ignored", Build({.control = 0x90, .flags = 3}),
       {"Destination Address", "Source Address", "BSSID"}, true},
      {"PS-Poll", Control(0xA4, {kAccessPoint, kStation}), {"BSSID Address", "Transmitter Address"}, false},
      {"RTS", Control(0xB4, {kAccessPoint, kStation}), {"Receiver Address", "Transmitter Address"}, false},
      {"CTS", Control(0xC4, {kAccessPoint}), {"Receiver Address"}, false},
      {"ACK", Control(0xD4, {kAccessPoint}), {"Receiver Address"}, false},
      {"CF-END", Control(0xE4, {kAccessPoint, kStation}), {"Receiver Address", "BSSID"}, false},
      {"CF-END+CF-ACK", Control(0xF4, {kAccessPoint, kStation}), {"Receiver Address", "BSSID"}, false},
      {"block ack request", Build({.control = 0x84}), {"Address 1", "Address 2", "Address 3"}, true},
      {"action", Build({.control = 0xD0}), {"Address 1", "Address 2", "Address 3"}, true},
      {"reserved type", Build({.control = 0x0C}), {"Address 1", "Address 2", "Address 3"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AerlithHost h;
    h.Decode(c.frame);
    std::vector<std::string> labels;
    for (const qvhost::FlatLine& l : h.Lines())
      if (l.text.find("Address") != std::string::npos && l.text.find('\t') == std::string::npos)
        labels.push_back(l.text);
      else if (l.text == "BSSID")
        labels.push_back(l.text);
    EXPECT_EQ(labels, c.labels);
    EXPECT_EQ(qvtest::LinesStarting(h.Lines(), "Sequence\t").size(), c.sequence ? 1u : 0u);
  }
}

TEST(Detail, ControlFramesWholeTree) {
  AerlithHost h;
  h.Decode(Control(0xA4, {kAccessPoint, kStation}, 0xC001));
  ExpectLines(h.Lines(), Join({
                             {{"IEEE 802.11 MAC Protocol", 0, 16, OPEN}, {"Function\t\t\t\t\tPS-Poll", 0, 1, 0}},
                             UnknownPlcp(),
                             FrameControl(0xA4, "PS-Poll"),
                             Flags(0),
                             {{"Duration ID\t\t\t\t49153", 2, 2, 0}},
                             Address("BSSID Address", 4, kAccessPoint, "Cisco"),
                             Address("Transmitter Address", 10, kStation, "Intel", CLOSE + 1),
                         }));
  h.Decode(Control(0xD4, {kGroup}));
  ExpectLines(h.Lines(), Join({
                             {{"IEEE 802.11 MAC Protocol", 0, 10, OPEN}, {"Function\t\t\t\t\tACK", 0, 1, 0}},
                             UnknownPlcp(),
                             FrameControl(0xD4, "ACK"),
                             Flags(0),
                             {{"Duration ID\t\t\t\t0", 2, 2, 0}},
                             Address("Receiver Address", 4, kGroup, "", CLOSE + 1),
                         }));
}

TEST(Detail, FrameControlPictures) {
  AerlithHost h;
  h.Decode(Build({.control = 0x98, .flags = 0xA5, .body = Hex("0000 00000000")}));  // QoS and HT control
  ExpectLines(Section(h.Lines(), "Frame Control Byte 0", "Duration ID\t\t\t\t0"),
              Join({FrameControl(0x98, "Data [Reserved SubType]"), Flags(0xA5)}));
  EXPECT_EQ(h.Lines()[1].text, "Function\t\t\t\t\tData [Reserved SubType]");
  EXPECT_EQ(qvtest::LinesStarting(h.Lines(), "Sub-Type").at(0).text, "Sub-Type\t\t\t\t[1001xxxx]\tData [Reserved SubType]");
  EXPECT_EQ(qvtest::LinesStarting(h.Lines(), "Order").at(0).text, "Order\t\t\t\t\t[1xxxxxxx]\ton");
  ASSERT_EQ(h.handOns.size(), 3u);  // handed on all the same
  EXPECT_EQ(h.handOns[2].offset, 30);
  h.Decode(Build({.control = 0x07, .flags = 0x5A}));
  ExpectLines(Section(h.Lines(), "Frame Control Byte 0", "WEP Information"),
              Join({FrameControl(0x07, "Unknown"), Flags(0x5A)}));
}

// The PLCP group by the PHY type the host recorded; every line at 0, 0.
TEST(Detail, PlcpByPhyType) {
  const struct {
    const char* name;
    qvhost::FrameMedia radio;
    Lines lines;
  } cases[] = {
      {"DSSS, 11 Mbit/s, all service bits",
       Radio(110, 0x8C, 1234, 1),
       {{"PLCP Header", 0, 0, OPEN},
        {"PHY Type\t\t\t\tDirect Sequence Spread Spectrum (DSSS)", 0, 0, 0},
        {"Speed\t\t\t\t\t11 MB", 0, 0, 0},
        {"Service\t\t\t\t0x8C", 0, 0, OPEN},
        {"Length Bit\t\t[1xxxxxxx]\tOn", 0, 0, 0},
        {"Modulation Bit\t[xxxx1xxx]\tOn", 0, 0, 0},
        {"Locked Bit\t\t[xxxxx1xx]\tOn", 0, 0, CLOSE},
        {"Length\t\t\t\t1234 microseconds", 0, 0, CLOSE}}},
      {"DSSS, no service bit",
       Radio(10, 0x73, 0, 1),
       {{"PLCP Header", 0, 0, OPEN},
        {"PHY Type\t\t\t\tDirect Sequence Spread Spectrum (DSSS)", 0, 0, 0},
        {"Speed\t\t\t\t\t1 MB DBPSK", 0, 0, 0},
        {"Service\t\t\t\t0x73", 0, 0, OPEN},
        {"Length Bit\t\t[0xxxxxxx]\tOff", 0, 0, 0},
        {"Modulation Bit\t[xxxx0xxx]\tOff", 0, 0, 0},
        {"Locked Bit\t\t[xxxxx0xx]\tOff", 0, 0, CLOSE},
        {"Length\t\t\t\t0 microseconds", 0, 0, CLOSE}}},
      {"FHSS", Radio(20, 0, 0, 2), {{"PLCP Header", 0, 0, OPEN}, {"PHY Type\t\t\t\tFrequency-Hopping Spread Spectrum (FHSS)", 0, 0, CLOSE}}},
      {"infrared", Radio(20, 0, 0, 3), {{"PLCP Header", 0, 0, OPEN}, {"PHY Type\t\t\t\tInfrared (IR)", 0, 0, CLOSE}}},
      {"unknown", Radio(20, 0, 0, 7), UnknownPlcp()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AerlithHost h;
    h.media = c.radio;
    h.Decode(Build({}));
    ExpectLines(Section(h.Lines(), "PLCP Header", "Frame Control Byte 0"), c.lines);
  }
}

TEST(Detail, RateTexts) {
  const std::pair<BYTE, const char*> cases[] = {
      {10, "1 MB DBPSK"}, {20, "2 MB DQPSK"}, {55, "5.5 MB"}, {110, "11 MB"}, {0, "Unknown"}, {60, "Unknown"}};
  AerlithHost h;
  for (const auto& [rate, text] : cases) {
    h.media = Radio(rate, 0, 0, 1);
    h.Decode(Build({}), qvhost::RUN_DETAIL);
    EXPECT_EQ(qvtest::LinesStarting(h.Lines(), "Speed\t").at(0).text, std::string("Speed\t\t\t\t\t") + text);
  }
}

// The WEP group follows the frame's WEP bit, whatever the host recorded.
TEST(Detail, WepValuesOnlyWithTheWepBit) {
  AerlithHost h;
  const BYTE radio[20] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0x0C, 0x0D, 0xC0, 0xDE, 0xAD, 0xBE, 0xEF};
  memcpy(h.media.radioInfo, radio, sizeof radio);
  h.Decode(Build({.flags = 0x40}));
  ExpectLines(Section(h.Lines(), "WEP Information", "Duration ID\t\t\t\t0"),
              {{"WEP Information", 0, 0, OPEN},
               {"IV\t\t\t\t\t\t0XAB0C0D", 0, 0, 0},
               {"Key Index\t\t\t3", 0, 0, 0},
               {"CRC\t\t\t\t\t0Xdeadbeef", 0, 0, CLOSE}});
  h.Decode(Build({.flags = 0x00}));
  EXPECT_TRUE(Section(h.Lines(), "WEP Information").empty());
}

// Names from the name table join the address group.
TEST(Detail, LogicalNames) {
  AerlithHost h;
  h.table()->AddName("laptop", kStation.data(), 6, 0);
  h.table()->AddName("intel", kStation.data(), 3, 0);
  h.Decode(Control(0xC4, {kStation}));
  ExpectLines(Section(h.Lines(), "Receiver Address"),
              Address("Receiver Address", 4, kStation, "Intel", CLOSE + 1, "[laptop] [intel]"));
}

// A cut frame shows the fields it has and ends at the first it has not;
// the title covers what was captured (a data frame's, its header's).
TEST(Detail, CutFramesEndAtTheFirstMissingField) {
  const Bytes data = Build({.flags = 0x01, .body = Hex("aaaa03")});
  const struct {
    size_t captured;
    int title;
    const char* last;  // the last line's text
  } cases[] = {
      {0, 0, "IEEE 802.11 MAC Protocol"},
      {1, 1, "Sub-Type\t\t\t\t[0000xxxx]\tData"},
      {3, 3, "To DS\t\t\t\t\t[xxxxxxx1]\ton"},
      {4, 4, "Duration ID\t\t\t\t0"},
      {9, 9, "Duration ID\t\t\t\t0"},
      {10, 10, "Vendor Name\t\t\tCisco"},
      {22, 22, "Local Bit\t\t\t[xxxxxx1x xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]\ton"},
      {23, 23, "Local Bit\t\t\t[xxxxxx1x xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]\ton"},
      {24, 24, "Sequence\t\t\t\t\t[00000001 0010xxxx]\t18"},
      {27, 24, "Sequence\t\t\t\t\t[00000001 0010xxxx]\t18"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.captured);
    AerlithHost h;
    h.Decode(Bytes(data.begin(), data.begin() + (ptrdiff_t)c.captured), qvhost::RUN_ALL, (int)data.size());
    const auto lines = h.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].length, c.title);
    EXPECT_EQ(lines.back().text, c.last);
    EXPECT_TRUE(lines.back().flags & CLOSE);  // the title group ends there
  }
}

// A QoS data frame's title covers its QoS control and HT control fields
// too, as far as they are captured.
TEST(Detail, QosDataTitleCoversItsControlFields) {
  const struct {
    const char* name;
    Bytes frame;
    size_t captured;  // 0: all of it
    int title;
  } cases[] = {
      {"QoS data", Build({.control = 0x88, .body = Hex("0000 aaaa03")}), 0, 26},
      {"four addresses", Build({.control = 0x88, .flags = 0x03, .body = Hex("0000 aaaa03")}), 0, 32},
      {"HT control", Build({.control = 0x88, .flags = 0x80, .body = Hex("0000 00000000 aaaa03")}), 0, 30},
      {"QoS control cut", Build({.control = 0x88, .body = Hex("0000 aaaa03")}), 25, 25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AerlithHost h;
    const size_t n = c.captured ? c.captured : c.frame.size();
    h.Decode(Bytes(c.frame.begin(), c.frame.begin() + (ptrdiff_t)n), qvhost::RUN_DETAIL, (int)c.frame.size());
    ASSERT_FALSE(h.Lines().empty());
    EXPECT_EQ(h.Lines()[0].length, c.title);
  }
}

// Without a detail line the frame is still handed on, as every parent does
// (LLC-802.2 itself then hands on nothing).
TEST(Detail, FailedLineStillHandsOn) {
  AerlithHost h;
  const Bytes frame = Build({.body = Hex("aaaa03")});
  for (unsigned long failAt : {1ul, 2ul, 30ul}) {
    h.ClearRecords();
    h.host.FailDetailLineAt(failAt, true);
    h.Decode(frame, qvhost::RUN_DETAIL);
    h.host.FailDetailLineAt(0);
    EXPECT_EQ(h.Lines().size(), failAt - 1);
    ASSERT_EQ(h.handOns.size(), 1u);
    EXPECT_EQ(h.handOns[0].offset, 24);
  }
}

TEST(Detail, DisabledStillBuildsItsTree) {
  AerlithHost h;
  const Bytes frame = Control(0xD4, {kStation});
  h.Decode(frame);
  const std::string enabled = h.Trace();
  h.Enabled(kRoot) = 0;
  h.Decode(frame);
  EXPECT_FALSE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
  h.out.frameFlags |= FRAME_PROTOCOL_ENABLED;
  EXPECT_EQ(h.Trace(), enabled);
}

TEST(Detail, BoundedAndLineFailuresHandled) {
  AerlithHost h;
  h.media = Radio(20, 0x04, 300, 1);
  h.media.radioInfo[12] = 0x11;
  const Bytes frames[] = {
      Build({.flags = 0x43, .sequence = 0x1235, .body = Hex("aaaa0300000008004500")}),
      Control(0xB4, {kAccessPoint, kStation}),
      Build({.control = 0x98, .flags = 0x02}),
      Build({.control = 0x88, .flags = 0x83, .body = Hex("0000 00000000 aaaa0300000008004500")}),
  };
  for (const Bytes& frame : frames) {
    qvtest::ExpectBoundedAtEveryCut(h, kRoot, frame, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, kRoot, frame);
  }
}

}  // namespace
}  // namespace aerlithtest
