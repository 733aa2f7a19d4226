// MAC-802.3: header decode, counting, summary cells and hand-on.
#include <string.h>

#include "fixture.h"

namespace brannocktest {
namespace {

const DWORD OPEN = DETAIL_GROUP_OPEN;
const DWORD CLOSE = DETAIL_GROUP_CLOSE;

const char kGroupOff[] = "Group Address Bit\toff [xxxxxxx0 xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]";
const char kGroupOn[] = "Group Address Bit\ton [xxxxxxx1 xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]";
const char kLocalOff[] = "Local Address Bit\toff [xxxxxx0x xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]";
const char kLocalOn[] = "Local Address Bit\ton [xxxxxx1x xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]";

// One address group as MAC-802.3 writes it; names and vendor only when given.
Lines AddressGroup(const char* label, int at, const std::string& hex, bool group, bool local,
                   const std::string& names = "", const std::string& vendor = "") {
  Lines w = {{label, at, 6, OPEN},
             {"Hex Address\t\t\t" + hex, at, 6, 0},
             {group ? kGroupOn : kGroupOff, at, 1, 0},
             {local ? kLocalOn : kLocalOff, at, 1, 0}};
  if (!names.empty()) w.push_back({"Logical Name(s)\t[" + names + "]", at, 6, 0});
  if (!vendor.empty()) w.push_back({"Vendor Name\t\t\t" + vendor, at, 3, 0});
  w.back().flags = CLOSE;
  return w;
}

using MacTest = BrannockTest;
BRANNOCK_CONFIGS(MacTest);

TEST_P(MacTest, DixFrameDecodesAndGoesOnByEtherType) {
  Bytes frame = Ether(kHost, kCisco, 0x0800, Hex("45 00 00 14"));
  h->Decode("MAC-802.3", frame);

  EXPECT_EQ(h->Destination(), "00-A0-C9-14-C8-29");
  EXPECT_EQ(h->Source(), "00-00-0C-07-AC-01");
  EXPECT_EQ(h->Protocol(), Named("IP", "0800"));
  EXPECT_EQ(h->Description(), "Frame");
  EXPECT_TRUE(h->out.frameFlags & FRAME_PROTOCOL_ENABLED);
  EXPECT_EQ(h->table()->flags & (MT_DESTINATION_NAMED | MT_SOURCE_NAMED), 0u);

  ExpectLines(h->Lines(0),
             Join({{{"Ethernet II (DIX) Media Access Control", 0, 14, OPEN}},
                   AddressGroup("Destination Address", 0, "00-A0-C9-14-C8-29", false, false, "", Named("Intel", "")),
                   AddressGroup("Source Address", 6, "00-00-0C-07-AC-01", false, false, "", Named("Cisco", "")),
                   {{"Ether Type", 12, 2, OPEN},
                    {Named("Ether Type\t\t\t0800\tDOD Internet Protocol", "Ether Type\t\t\t0800"), 12, 2, CLOSE}}}));
  ExpectDefaultInEveryPass(*h, 14, 60, 60);

  EXPECT_EQ(h->Frames("DIX"), 1u);
  EXPECT_EQ(h->Bytes64("DIX"), 60u);
  EXPECT_EQ(h->Frames("IEEE 802.3"), 0u);
  EXPECT_EQ(h->Frames("Raw IPX"), 0u);
  ASSERT_EQ(h->host.stations().count("00-00-0C-07-AC-01"), 1u);
  EXPECT_EQ(h->host.stations().at("00-00-0C-07-AC-01").framesSent, 1u);
  EXPECT_EQ(h->host.stations().at("00-00-0C-07-AC-01").bytesSent, 60u);
  EXPECT_EQ(h->host.stations().at("00-A0-C9-14-C8-29").framesReceived, 1u);
}

// Where the payload goes and with which lengths, for the type/length values
// and payloads that decide it.
TEST_P(MacTest, TypeOrLengthDecidesTheChildAndTheTrim) {
  const Bytes llcUi = Hex("06 06 03");  // UI to an unbound SAP: LLC-802.2 hands it to DefaultParse
  const Bytes ipx = Hex("ff ff 00 20");
  struct Case {
    const char* what;
    WORD type;
    Bytes payload;
    size_t size;
    int wire;  // -1: the captured size
    // expected
    bool dix;
    int nextOffset;  // -1: DefaultParse is not reached
    int nextFrameLength, nextCapturedLength;
    uint64_t rawIpxFrames, rawIpxBytes, llcFrames, llcBytes;
    const char* protocolNamed;
    const char* protocolHex;
  };
  const Case cases[] = {
      {"1500 is a length", 0x05DC, llcUi, 60, -1, false, 17, 60, 60, 0, 0, 1, 46, "IEEE 802.2", "IEEE 802.2"},
      {"1501 is an EtherType", 0x05DD, llcUi, 60, -1, true, 14, 60, 60, 0, 0, 0, 0, "05DD", "05DD"},
      {"length 46 in 64 bytes is cut to 60", 0x002E, llcUi, 64, -1, false, 17, 60, 60, 0, 0, 1, 46, "IEEE 802.2",
       "IEEE 802.2"},
      {"length 46 in 60 bytes keeps them", 0x002E, llcUi, 60, -1, false, 17, 60, 60, 0, 0, 1, 46, "IEEE 802.2",
       "IEEE 802.2"},
      {"a length past the capture lowers the wire length only", 0x0100, llcUi, 60, 300, false, 17, 270, 60, 0, 0, 1,
       256, "IEEE 802.2", "IEEE 802.2"},
      {"raw IPX in an 802.3 frame", 0x0030, ipx, 60, -1, false, 14, 60, 60, 1, 46, 0, 0, "0030", "0030"},
      {"raw IPX in a DIX frame goes by its EtherType", 0x8137, ipx, 60, -1, true, 14, 60, 60, 1, 46, 0, 0, "IPX",
       "8137"},
      {"FF FF inside a length of 2 is raw IPX", 0x0002, ipx, 60, -1, false, 14, 16, 16, 1, 46, 0, 0, "0002", "0002"},
      // The two bytes after the header decide whatever the length says: a
      // length of 1 or 0 followed by FF FF is raw IPX too (with 1 or 0 bytes).
      {"FF FF past a length of 1 is raw IPX", 0x0001, ipx, 60, -1, false, 14, 15, 15, 1, 46, 0, 0, "0001", "0001"},
      {"FF FF past a length of 0 is raw IPX", 0x0000, ipx, 60, -1, false, 14, 14, 14, 1, 46, 0, 0, "0000", "0000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.reset();
    std::string skip;
    h = MakeHost(names(), &skip);
    Bytes frame = Ether(kHost, kCisco, c.type, c.payload, c.size);
    h->Decode("MAC-802.3", frame, qvhost::RUN_ALL, c.wire);
    int wire = c.wire < 0 ? (int)c.size : c.wire;

    if (c.nextOffset < 0)
      EXPECT_TRUE(h->defaultParses.empty());
    else
      ExpectDefaultInEveryPass(*h, c.nextOffset, c.nextFrameLength, c.nextCapturedLength);
    EXPECT_EQ(h->Frames("DIX"), c.dix ? 1u : 0u);
    EXPECT_EQ(h->Frames("IEEE 802.3"), c.dix ? 0u : 1u);
    EXPECT_EQ(h->Bytes64(c.dix ? "DIX" : "IEEE 802.3"), (uint64_t)wire);
    EXPECT_EQ(h->Frames("Raw IPX"), c.rawIpxFrames);
    EXPECT_EQ(h->Bytes64("Raw IPX"), c.rawIpxBytes);
    EXPECT_EQ(h->Frames("IEEE 802.2"), c.llcFrames);
    EXPECT_EQ(h->Bytes64("IEEE 802.2"), c.llcBytes);
    EXPECT_EQ(h->Protocol(), names() ? c.protocolNamed : c.protocolHex);

    auto lines = h->Lines(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text, c.dix ? "Ethernet II (DIX) Media Access Control" : "IEEE 802.3 Media Access Control");
    if (c.dix) {
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[lines.size() - 2].text, "Ether Type");
      EXPECT_EQ(lines.back().flags, CLOSE);
    } else {
      // The title group stays open after the length line.
      char text[64];
      snprintf(text, sizeof text, "Frame Length\t\t\t%u", c.type);
      ExpectLines({lines.back()}, {{text, 12, 2, 0}});
    }
  }
}

TEST_P(MacTest, EtherTypeLineWithAndWithoutAName) {
  h->Decode("MAC-802.3", Ether(kHost, kCisco, 0x8864, {}));
  auto lines = h->Lines(0);
  ExpectLines({lines.end() - 2, lines.end()},
             {{"Ether Type", 12, 2, OPEN},
              {Named("Ether Type\t\t\t8864\tPoint-to-Point over Ethernet Session", "Ether Type\t\t\t8864"), 12, 2,
               CLOSE}});
  h->Decode("MAC-802.3", Ether(kHost, kCisco, 0x9ABC, {}));
  lines = h->Lines(0);
  ExpectLines({lines.end() - 2, lines.end()}, {{"Ether Type", 12, 2, OPEN}, {"Ether Type\t\t\t9ABC", 12, 2, CLOSE}});
  EXPECT_EQ(h->Protocol(), "9ABC");
}

// Every frame is counted once by its destination, under its own kind.
TEST_P(MacTest, FramesAreCountedByDestination) {
  struct Case {
    const char* destination;
    const char* counter;
  };
  const Case cases[] = {
      {"00 a0 c9 14 c8 29", "Directed Frames"},   {"02 00 00 00 00 01", "Directed Frames"},
      {"01 00 5e 00 00 01", "Multicast Frames"},  {"ff ff ff ff ff fe", "Multicast Frames"},
      {"03 00 00 00 00 01", "Multicast Frames"},  {"ff ff ff ff ff ff", "Broadcast Frames"},
  };
  const char* kCounters[] = {"Directed Frames", "Multicast Frames", "Broadcast Frames"};
  for (const Case& c : cases) {
    for (WORD type : {(WORD)0x0800, (WORD)0x0026}) {
      SCOPED_TRACE(std::string(c.destination) + (type == 0x0800 ? " DIX" : " 802.3"));
      h.reset();
      std::string skip;
      h = MakeHost(names(), &skip);
      h->Decode("MAC-802.3", Ether(c.destination, kHost, type, Hex("f0 f0 03")));
      const char* kind = type == 0x0800 ? "DIX" : "IEEE 802.3";
      const char* other = type == 0x0800 ? "IEEE 802.3" : "DIX";
      for (const char* counter : kCounters) {
        EXPECT_EQ(h->Counter(kind, counter), strcmp(counter, c.counter) == 0 ? 1u : 0u) << counter;
        EXPECT_EQ(h->Counter(other, counter), 0u) << counter;
      }
    }
  }
}

TEST_P(MacTest, BroadcastAndLocalAddressBits) {
  // A group address gets no vendor line; a local individual one does.
  h->Decode("MAC-802.3", Ether(kBroadcast, "02 07 01 00 00 01", 0x0800, {}));
  auto lines = h->Lines(0);
  ExpectLines({lines.begin() + 1, lines.end() - 2},
             Join({AddressGroup("Destination Address", 0, "FF-FF-FF-FF-FF-FF", true, true),
                   AddressGroup("Source Address", 6, "02-07-01-00-00-01", false, true, "",
                                Named("RACAL-Datacom", ""))}));
  EXPECT_EQ(h->Counter("DIX", "Broadcast Frames"), 1u);
}

// Stations come back frame after frame; addresses that end alike, seen in
// turn, each keep their own hex text and vendor.
TEST_P(MacTest, StationsSeenAgainKeepTheirOwnTexts) {
  const char* intel = "00 A0 C9 00 00 01";
  const char* cisco = "00 00 0C 00 00 01";
  for (int round = 0; round < 2; round++) {
    h->Decode("MAC-802.3", Ether(intel, cisco, 0x0800, {}));
    auto lines = h->Lines(0);
    ExpectLines({lines.begin() + 1, lines.end() - 2},
               Join({AddressGroup("Destination Address", 0, "00-A0-C9-00-00-01", false, false, "", Named("Intel", "")),
                     AddressGroup("Source Address", 6, "00-00-0C-00-00-01", false, false, "", Named("Cisco", ""))}));
    h->Decode("MAC-802.3", Ether(cisco, kBroadcast, 0x0800, {}));
    lines = h->Lines(0);
    ExpectLines({lines.begin() + 1, lines.end() - 2},
               Join({AddressGroup("Destination Address", 0, "00-00-0C-00-00-01", false, false, "", Named("Cisco", "")),
                     AddressGroup("Source Address", 6, "FF-FF-FF-FF-FF-FF", true, true)}));
  }
}

TEST_P(MacTest, ShowVendorPrefixesUnnamedAddresses) {
  h->table()->flags |= MT_SHOW_VENDOR;
  h->Decode("MAC-802.3", Ether(kCisco, "ac de 48 00 00 80", 0x0800, {}));
  EXPECT_EQ(h->Destination(), Named("Cisco-07-AC-01", "00-00-0C-07-AC-01"));
  EXPECT_EQ(h->Source(), "AC-DE-48-00-00-80");  // no vendor for AC-DE-48
  EXPECT_EQ(h->table()->flags & (MT_DESTINATION_NAMED | MT_SOURCE_NAMED), 0u);
}

// A failing AllocDetailLine ends MAC-802.3's list at that line, with the
// lines made so far as they were; the payload is still handed on, and the
// next layer (allocating again) gets its lines.
TEST_P(MacTest, AllocDetailLineFailingMidListKeepsTheLinesMadeSoFar) {
  Bytes frame = Ether(kHost, kCisco, 0x0026, Hex("f0 f0 03"));
  h->Decode("MAC-802.3", frame);
  const auto full = h->Lines(0);
  const auto llcLines = h->Lines(1);
  ASSERT_GE(full.size(), 10u);
  ASSERT_FALSE(llcLines.empty());
  for (size_t n = 1; n <= full.size(); n++) {
    SCOPED_TRACE("failing line " + std::to_string(n));
    h->host.FailDetailLineAt(n);
    h->Decode("MAC-802.3", frame, qvhost::RUN_DETAIL);
    auto got = h->Lines(0);
    ASSERT_EQ(got.size(), n - 1);
    for (size_t i = 0; i < got.size(); i++) {
      EXPECT_EQ(got[i].text, full[i].text);
      EXPECT_EQ(got[i].flags, full[i].flags) << got[i].text;
    }
    EXPECT_EQ(h->Lines(1).size(), llcLines.size());
  }
}

// ---------------------------------------------------------------- names

TEST_F(NamesTest, NamesFlagsAndVendorsInTheAddressCells) {
  AddName(*h, "ROUTER", Hex(kCisco));
  struct Case {
    DWORD flags;
    const char* destination;
    const char* source;
    DWORD named;
  };
  const Case cases[] = {
      {0, "ROUTER", "00-A0-C9-14-C8-29", MT_DESTINATION_NAMED},
      {MT_RAW_ADDRESSES, "00-00-0C-07-AC-01", "00-A0-C9-14-C8-29", 0},
      {MT_SHOW_VENDOR, "ROUTER", "Intel-14-C8-29", MT_DESTINATION_NAMED},
      {MT_RAW_ADDRESSES | MT_SHOW_VENDOR, "Cisco-07-AC-01", "Intel-14-C8-29", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    // Both bits start set: the summary clears them first.
    h->table()->flags = c.flags | MT_DESTINATION_NAMED | MT_SOURCE_NAMED;
    h->Decode("MAC-802.3", Ether(kCisco, kHost, 0x0800, {}));
    EXPECT_EQ(h->Destination(), c.destination);
    EXPECT_EQ(h->Source(), c.source);
    EXPECT_EQ(h->table()->flags & (MT_DESTINATION_NAMED | MT_SOURCE_NAMED), c.named);
  }
  // The same name as the source sets the source bit only.
  h->table()->flags = 0;
  h->Decode("MAC-802.3", Ether(kHost, kCisco, 0x0800, {}));
  EXPECT_EQ(h->Source(), "ROUTER");
  EXPECT_EQ(h->table()->flags & (MT_DESTINATION_NAMED | MT_SOURCE_NAMED), MT_SOURCE_NAMED);
}

// The destination's entry gives its destination colour, the source's entry
// its source colour, and the source's wins.
TEST_F(NamesTest, NameColoursColourTheRow) {
  AddColouredName(*h, "ROUTER", Hex(kCisco), 0x0000FF, 0x00FF00);
  AddColouredName(*h, "HOST", Hex(kHost), 0x0000AA, 0);
  struct Case {
    const char* destination;
    const char* source;
    DWORD colour;
  };
  const Case cases[] = {
      {kCisco, "02 00 00 00 00 09", 0x0000FF},  // destination colour of the destination
      {"02 00 00 00 00 09", kCisco, 0x00FF00},  // source colour of the source
      {kHost, kCisco, 0x00FF00},                // both: the source's wins
      {kCisco, kHost, 0x0000FF},                // the source has no source colour
      {kHost, "02 00 00 00 00 09", 0x0000AA},
      {"02 00 00 00 00 09", kHost, 0},          // a destination colour does not colour a source
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.destination) + " <- " + c.source);
    h->Decode("MAC-802.3", Ether(c.destination, c.source, 0x0800, {}));
    EXPECT_EQ(h->out.textColor, c.colour);
  }
}

TEST_F(NamesTest, LogicalNamesLineListsEveryMatchingName) {
  AddName(*h, "CISCO-OUI", Hex("00 00 0c"));
  AddName(*h, "ROUTER", Hex(kCisco));
  h->Decode("MAC-802.3", Ether(kHost, kCisco, 0x0800, {}));
  EXPECT_EQ(h->Source(), "CISCO-OUI");  // the first match names the cell
  auto lines = h->Lines(0);
  ExpectLines({lines.begin() + 6, lines.end() - 2},
             AddressGroup("Source Address", 6, "00-00-0C-07-AC-01", false, false, "[CISCO-OUI] [ROUTER]", "Cisco"));
}

// The list is cut at 128 characters (then its last character goes), so the
// line reaches 145 characters and no more.
TEST_F(NamesTest, LogicalNamesLineIsBoundedTo145Characters) {
  std::string expected;
  for (int i = 0; i < 6; i++) {
    std::string name = std::string(30, 'A' + i) + std::to_string(i);
    AddName(*h, name.c_str(), Hex(kCisco));
    expected += "[" + name + "] ";
  }
  h->Decode("MAC-802.3", Ether(kHost, kCisco, 0x0800, {}));
  std::string line;
  for (const auto& l : h->Lines(0))
    if (l.text.rfind("Logical Name(s)", 0) == 0 && l.offset == 6) line = l.text;
  ASSERT_EQ(line.size(), 145u);
  EXPECT_EQ(line, "Logical Name(s)\t[" + expected.substr(0, 127) + "]");
}

}  // namespace
}  // namespace brannocktest
