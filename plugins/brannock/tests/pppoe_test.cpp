// PPOE: session and discovery headers and the discovery tag walk.
#include "fixture.h"

namespace brannocktest {
namespace {

const DWORD OPEN = DETAIL_GROUP_OPEN;
const DWORD CLOSE = DETAIL_GROUP_CLOSE;

Bytes Discovery(const char* code, const Bytes& tags, size_t pad = 60) {
  Bytes header = Hex("11");
  header.push_back(Hex(code)[0]);
  header.push_back(0x00);
  header.push_back(0x00);
  header.push_back((BYTE)(tags.size() >> 8));
  header.push_back((BYTE)tags.size());
  return Ether(kBroadcast, kHost, 0x8863, Cat({header, tags}), pad);
}

// Header lines of a discovery frame at offset 14 with this code and length.
Lines DiscoveryHeader(int titleLength, const std::string& code, int length, DWORD lengthFlags = 0) {
  return {{"Point-to-Point over Ethernet", 14, titleLength, OPEN},
          {"Packet Stage\t\t\tDiscovery Packet", 14, 6, 0},
          {"Version\t\t\t\t\t1", 14, 1, 0},
          {"Type\t\t\t\t\t\t1", 14, 1, 0},
          {"Code\t\t\t\t\t\t" + code, 15, 1, 0},
          {"Session ID\t\t\t\t0", 16, 2, 0},
          {"Length\t\t\t\t\t" + std::to_string(length), 18, 2, lengthFlags}};
}

using PpoeTest = BrannockTest;
BRANNOCK_CONFIGS(PpoeTest);

TEST_P(PpoeTest, SessionFrameShowsSixHeaderLines) {
  h->Decode("MAC-802.3", Ether(kHost, kCisco, 0x8864, Hex("11 00 12 34 00 02 c0 21")));
  EXPECT_EQ(h->Protocol(), "PPOE-Sess");
  EXPECT_EQ(h->Description(), "Data");
  ExpectLines(h->Lines(1), {{"Point-to-Point over Ethernet", 14, 6, OPEN},
                           {"Packet Stage\t\t\tSession Packet", 14, 6, 0},
                           {"Version\t\t\t\t\t1", 14, 1, 0},
                           {"Type\t\t\t\t\t\t1", 14, 1, 0},
                           {"Code\t\t\t\t\t\tData", 15, 1, 0},
                           {"Session ID\t\t\t\t4660", 16, 2, 0},
                           {"Length\t\t\t\t\t2", 18, 2, CLOSE}});
  // PPOE never moves offset: DefaultParse gets the frame at its header.
  ExpectDefaultInEveryPass(*h, 14, 60, 60);
  EXPECT_EQ(h->Frames("Point-to-Point over Ethernet"), 1u);
  EXPECT_EQ(h->Bytes64("Point-to-Point over Ethernet"), 46u);
}

TEST_P(PpoeTest, DiscoveryTagsEmptyAndLongerThanSixteenBytes) {
  Bytes hostUnique = Hex("01 03 00 14");
  for (BYTE i = 0; i < 20; i++) hostUnique.push_back(i);
  h->Decode("MAC-802.3", Discovery("09", Cat({Hex("01 01 00 00"), hostUnique})));
  EXPECT_EQ(h->Protocol(), "PPOE-Disc");
  EXPECT_EQ(h->Description(), "Active Discovery Initiation");
  ExpectLines(h->Lines(1),
             Join({DiscoveryHeader(46, "Active Discovery Initiation", 28),
                   {{"PPOE Tag", 20, 4, OPEN},
                    {"Tag Type\t\t\t\tService Name", 20, 2, 0},
                    {"Tag Length\t\t\t0", 22, 2, CLOSE},
                    {"PPOE Tag", 24, 24, OPEN},
                    {"Tag Type\t\t\t\tHost Unique", 24, 2, 0},
                    {"Tag Length\t\t\t20", 26, 2, 0},
                    {"Tag Value\t\t\t00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ", 28, 20, CLOSE}}}));
  ExpectDefaultInEveryPass(*h, 14, 60, 60);
}

TEST_P(PpoeTest, EndOfListEndsTheWalk) {
  h->Decode("MAC-802.3", Discovery("07", Hex("01 02 00 03 69 73 70  00 00 00 00  01 01 00 00")));
  ExpectLines(h->Lines(1), Join({DiscoveryHeader(46, "Active Discovery Offer", 15),
                                {{"PPOE Tag", 20, 7, OPEN},
                                 {"Tag Type\t\t\t\tAccess Concentrator Name", 20, 2, 0},
                                 {"Tag Length\t\t\t3", 22, 2, 0},
                                 {"Tag Value\t\t\tisp", 24, 3, CLOSE},
                                 {"PPOE Tag", 27, 4, OPEN},
                                 {"Tag Type\t\t\t\tEnd of List", 27, 2, 0},
                                 {"Tag Length\t\t\t0", 29, 2, CLOSE}}}));
}

// The walk stays within the declared length and the captured bytes: a tag
// that runs past them shows what of it is there (its value cut, its header
// fields as far as they go) and ends the walk.
TEST_P(PpoeTest, TagsThatDoNotFitEndTheWalk) {
  struct Case {
    const char* what;
    Bytes frame;
    int wire;
    Lines tagLines;
  };
  const Lines firstTag = {{"PPOE Tag", 20, 8, OPEN},
                          {"Tag Type\t\t\t\tService Name", 20, 2, 0},
                          {"Tag Length\t\t\t4", 22, 2, 0},
                          {"Tag Value\t\t\tabcd", 24, 4, CLOSE}};
  // A Service Name tag, then a Host Unique tag of 16 bytes.
  Bytes tags = Hex("01 01 00 04 61 62 63 64  01 03 00 10 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10");
  Bytes longLength = Discovery("19", tags, 0);
  longLength[18] = 0x01;  // payload length 256, more than was captured
  longLength[19] = 0x00;
  Bytes cut(longLength.begin(), longLength.begin() + 36);  // the second tag's value is cut short
  Bytes shortLength = Discovery("19", tags);
  shortLength[19] = 10;  // the second tag passes the declared length
  Bytes tiny = Discovery("19", tags);
  tiny[19] = 3;  // not even a tag header
  const Case cases[] = {
      {"the payload length passes the capture", cut, 300,
       Join({firstTag,
             {{"PPOE Tag", 28, 8, OPEN},  // as far as it was captured
              {"Tag Type\t\t\t\tHost Unique", 28, 2, 0},
              {"Tag Length\t\t\t16", 30, 2, 0},
              {"Tag Value\t\t\t01 02 03 04 ", 32, 4, CLOSE}}})},
      {"a tag passes the payload length", shortLength, -1,
       Join({firstTag, {{"PPOE Tag", 28, 2, OPEN}, {"Tag Type\t\t\t\tHost Unique", 28, 2, CLOSE}}})},
      {"no room for a tag header", tiny, -1,
       {{"PPOE Tag", 20, 3, OPEN}, {"Tag Type\t\t\t\tService Name", 20, 2, CLOSE}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h->Decode("MAC-802.3", c.frame, qvhost::RUN_ALL, c.wire);
    auto lines = h->Lines(1);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0].length, (int)c.frame.size() - 14);
    ExpectLines({lines.begin() + 7, lines.end()}, c.tagLines);
    // Without tags the Length line ends the title group.
    EXPECT_EQ(lines.back().flags & CLOSE, CLOSE) << lines.back().text;
  }
}

TEST_P(PpoeTest, CodeNames) {
  struct Case {
    const char* code;
    const char* name;
  };
  const Case cases[] = {{"07", "Active Discovery Offer"},
                        {"09", "Active Discovery Initiation"},
                        {"19", "Active Discovery Request"},
                        {"65", "Active Discovery Session Confirmation"},
                        {"a7", "Active Discovery Terminate"},
                        {"00", "Unknown Code"},
                        {"55", "Unknown Code"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    h->Decode("MAC-802.3", Discovery(c.code, {}));
    EXPECT_EQ(h->Description(), c.name);
    ExpectLines(h->Lines(1), DiscoveryHeader(46, c.name, 0, CLOSE));
  }
}

// Text tags show their value as text, cut so that the line keeps within 127
// characters; the others show their first 16 bytes in hex.
TEST_P(PpoeTest, TagTypesAndValues) {
  struct Case {
    WORD type;
    const char* name;
    bool text;
  };
  const Case cases[] = {{0x0101, "Service Name", true},
                        {0x0102, "Access Concentrator Name", true},
                        {0x0103, "Host Unique", false},
                        {0x0104, "Access Concentrator Cookie", false},
                        {0x0105, "Vendor Specific", false},
                        {0x0110, "Relay Session ID", false},
                        {0x0201, "Service Name Error", true},
                        {0x0202, "Access Concentrator Error", true},
                        {0x0203, "Generic Error", true},
                        {0x1234, "Unknown", false}};
  for (const Case& c : cases) {
    for (size_t length : {1u, 115u, 116u, 117u, 200u}) {
      SCOPED_TRACE(std::string(c.name) + " of " + std::to_string(length));
      Bytes tag = {(BYTE)(c.type >> 8), (BYTE)c.type, 0, (BYTE)length};
      for (size_t i = 0; i < length; i++) tag.push_back((BYTE)('A' + i % 26));
      h->Decode("MAC-802.3", Discovery("09", tag));
      std::string value = "Tag Value\t\t\t";
      if (c.text) {
        // A 128-character line stands; one that would pass it is cut to 127.
        for (size_t i = 0; i < (length > 116 ? 115 : length); i++) value += (char)('A' + i % 26);
      } else {
        for (size_t i = 0; i < std::min<size_t>(length, 16); i++) {
          char hex[4];
          snprintf(hex, sizeof hex, "%02X ", 'A' + (unsigned)(i % 26));
          value += hex;
        }
      }
      auto lines = h->Lines(1);
      ASSERT_EQ(lines.size(), 11u);
      ExpectLines({lines.begin() + 7, lines.end()},
                 {{"PPOE Tag", 20, (int)length + 4, OPEN},
                  {std::string("Tag Type\t\t\t\t") + c.name, 20, 2, 0},
                  {"Tag Length\t\t\t" + std::to_string(length), 22, 2, 0},
                  {value, 24, (int)length, CLOSE}});
      EXPECT_LE(lines.back().text.size(), 128u);
    }
  }
}

TEST_P(PpoeTest, DisabledPpoeStillGoesToDefaultParse) {
  *Find("PPOE")->enabled = 0;
  h->Decode("MAC-802.3", Discovery("09", Hex("01 01 00 00")));
  EXPECT_EQ(h->Frames("Point-to-Point over Ethernet"), 1u);
  EXPECT_EQ(h->Protocol(), Named("PPOE-D", "8863"));
  EXPECT_EQ(h->Description(), "Frame");
  EXPECT_TRUE(h->Lines(1).empty());
  ExpectDefaultInEveryPass(*h, 14, 60, 60);
}

// A failing line inside a tag still ends the tag's group; before a tag it
// leaves the lines as they are. PPOE hands on in either case.
TEST_P(PpoeTest, FailedDetailLineInsideATagClosesIt) {
  Bytes frame = Discovery("09", Hex("01 01 00 02 61 62"));
  h->Decode("MAC-802.3", frame);
  const size_t mac = h->Lines(0).size();
  const auto full = h->Lines(1);
  ASSERT_EQ(full.size(), 11u);
  struct Case {
    size_t failing;  // PPOE's line that fails, from 1
    DWORD lastFlags;
  };
  const Case cases[] = {{8, 0}, {9, OPEN | CLOSE}, {10, CLOSE}, {11, CLOSE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    h->defaultParses.clear();
    h->host.FailDetailLineAt(mac + c.failing);
    h->Decode("MAC-802.3", frame, qvhost::RUN_DETAIL);
    auto got = h->Lines(1);
    ASSERT_EQ(got.size(), c.failing - 1);
    for (size_t i = 0; i + 1 < got.size(); i++) EXPECT_EQ(got[i].flags, full[i].flags) << got[i].text;
    EXPECT_EQ(got.back().flags, c.lastFlags) << got.back().text;
    EXPECT_EQ(h->defaultParses.size(), 1u);
  }
}

}  // namespace
}  // namespace brannocktest
