// PPP-PAP packets decoded from offset 0: header, the user name and password
// groups of an Authenticate-Request, the data dump of the other codes, and
// the bounds of the two length-prefixed groups.
#include <string.h>

#include "dorrow_host.h"

namespace dorrowtest {
namespace {

const char kPap[] = "PPP-PAP";

Lines Head(int titleLength, const char* code, int identifier, int length, DWORD lengthFlags = 0) {
  return {{"PAP Protocol", 0, titleLength, OPEN},
          {std::string("Code\t\t\t\t\t\t") + code, 0, 1, 0},
          {"Identifier\t\t\t\t" + std::to_string(identifier), 1, 1, 0},
          {"Length\t\t\t\t\t" + std::to_string(length), 2, 2, lengthFlags}};
}

Bytes Text(const char* s) { return Bytes(s, s + strlen(s)); }

// A length-prefixed group at `at`: the length byte, then a dump of the bytes
// captured of what it counts. Its last line ends the group and `closes` more.
Lines Group(const char* title, const char* label, int at, int lengthByte, const Bytes& value, DWORD closes = 0) {
  Lines lines = {{title, at, (int)value.size(), OPEN}, {"Length\t\t\t\t" + std::to_string(lengthByte), at, 1, CLOSE + closes}};
  if (value.empty()) return lines;
  lines.back().flags = 0;
  return lines + Dump(label, at + 1, value, 1 + closes);
}

TEST(Pap, AuthenticateRequestShowsNameAndPassword) {
  DorrowHost h;
  h.Decode(kPap, qvtest::Cat({Hex("01 07 00 13 05"), Text("alice"), Hex("08"), Text("secret12")}));
  ExpectLines(h.Lines(0), Head(19, "Authentication Request", 7, 19) +
                              Group("User Name", "Name", 4, 5, Text("alice")) +
                              Group("User Password", "Password", 10, 8, Text("secret12"), 1));
  EXPECT_EQ(h.Protocol(), "PAP");
  EXPECT_EQ(h.Description(), "Authentication Request");
  EXPECT_EQ(h.Frames("PPP Password Authentication Protocol"), 1u);
}

// Every group holds only the bytes captured of it; a name or password of
// one byte is shown like any other; a capture that ends with the name shows
// no password group and leaves the title open.
TEST(Pap, RequestGroupsEndAtTheCapture) {
  struct Case {
    const char* name;
    Bytes packet;
    Lines groups;
    DWORD lengthFlags;
  };
  const Case cases[] = {
      {"one-byte name and password",
       Hex("01 01 00 08 01 61 01 62"),
       Group("User Name", "Name", 4, 1, Text("a")) + Group("User Password", "Password", 6, 1, Text("b"), 1), 0},
      {"capture ends after the name",
       qvtest::Cat({Hex("01 01 00 13 05"), Text("alice")}),
       Group("User Name", "Name", 4, 5, Text("alice")), 0},
      {"capture ends after a one-byte name", Hex("01 01 00 08 01 61"), Group("User Name", "Name", 4, 1, Text("a")), 0},
      {"name longer than the capture", Hex("01 01 00 20 09 61 62 63"), Group("User Name", "Name", 4, 9, Text("abc")), 0},
      {"name length byte alone", Hex("01 01 00 20 09"), Group("User Name", "Name", 4, 9, {}), 0},
      {"password longer than the capture",
       Hex("01 01 00 20 01 61 09 78 79"),
       Group("User Name", "Name", 4, 1, Text("a")) + Group("User Password", "Password", 6, 9, Text("xy"), 1), 0},
      {"password length byte alone",
       Hex("01 01 00 20 01 61 09"),
       Group("User Name", "Name", 4, 1, Text("a")) + Group("User Password", "Password", 6, 9, {}, 1), 0},
      {"empty name and password",
       Hex("01 01 00 06 00 00"),
       Group("User Name", "Name", 4, 0, {}) + Group("User Password", "Password", 5, 0, {}, 1), 0},
      {"nothing after the header", Hex("01 01 00 04"), {}, CLOSE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DorrowHost h;
    h.Decode(kPap, c.packet);
    ExpectLines(h.Lines(0), Head((int)c.packet.size(), "Authentication Request", 1, c.packet[3], c.lengthFlags) + c.groups);
  }
}

// Other codes dump everything after the header, up to the captured end.
TEST(Pap, OtherCodesDumpTheirData) {
  struct Case {
    BYTE code;
    const char* text;
  };
  const Case cases[] = {{2, "Authentication Ack"}, {3, "Authentication Nak"}, {0, "Unknown"}, {7, "Unknown"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    DorrowHost h;
    const Bytes data = qvtest::Cat({Hex("0e"), Text("Login is fine.")});
    h.Decode(kPap, qvtest::Cat({Bytes{c.code, 9, 0, 19}, data}));
    ExpectLines(h.Lines(0), Head(19, c.text, 9, 19) + Dump("Data", 4, data, 1));
    EXPECT_EQ(h.Description(), c.text);
  }
  // No data: the Length line ends the title group.
  DorrowHost h;
  h.Decode(kPap, Hex("02 09 00 04"));
  ExpectLines(h.Lines(0), Head(4, "Authentication Ack", 9, 4, CLOSE));
}

TEST(Pap, ShortPacketsShowTheirTitleOnly) {
  for (size_t size : {0, 1, 3}) {
    SCOPED_TRACE(size);
    DorrowHost h;
    const Bytes ack = Hex("02 01 00 04");
    h.Decode(kPap, Bytes(ack.begin(), ack.begin() + (ptrdiff_t)size));
    ExpectLines(h.Lines(0), {{"PAP Protocol", 0, (int)size, OPEN}});
  }
  DorrowHost h;
  h.Decode(kPap, {});
  EXPECT_EQ(h.Protocol(), "PAP");
  EXPECT_EQ(h.Description(), "Unknown");
}

const Bytes kRequest = Hex("01 07 00 13 05 61 6c 69 63 65 08 73 65 63 72 65 74 31 32");

TEST(Pap, NothingIsReadPastTheCapture) {
  DorrowHost h;
  for (const Bytes& packet : {kRequest, Hex("01 01 00 20 09 61 62 63"), Hex("03 01 00 09 04 6e 6f 70 65")})
    qvtest::ExpectBoundedAtEveryCut(h, kPap, packet, {.linesWithinCapture = true});
}

// Dumps end their own group (see the same check of LCP).
TEST(Pap, LinesStopWhenTheHostGivesNone) {
  DorrowHost h;
  qvtest::ExpectLineFailuresHandled(h, kPap, Hex("01 01 00 06 00 00"));
  qvtest::ExpectLineFailuresHandled(h, kPap, kRequest, {.keepsCloses = false});
  qvtest::ExpectLineFailuresHandled(h, kPap, Hex("03 01 00 09 04 6e 6f 70 65"), {.keepsCloses = false});
}

// PAP goes by the captured bytes, not by its length field: behind
// MAC-802.3 an Ack's dump shows the Ethernet padding.
TEST(Pap, FromTheEthernetRootTheDumpShowsThePadding) {
  NEED_BRANNOCK();
  EthernetHost h;
  h.Decode("MAC-802.3", EthernetFrame(0xC023, Hex("02 01 00 05 00")));
  const auto lines = h.Lines(1);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0].text, "PAP Protocol");
  EXPECT_EQ(lines[0].length, 46);
  EXPECT_EQ(lines[4].text, "Data");
  EXPECT_EQ(lines[4].offset, 18);
  EXPECT_EQ(lines[4].length, 42);
  EXPECT_EQ(h.Description(), "Authentication Ack");
}

}  // namespace
}  // namespace dorrowtest
