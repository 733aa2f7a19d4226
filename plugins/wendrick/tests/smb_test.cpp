// MS-SMB: the header, the names of commands, classes and codes, the
// parameter words of commands without a decoder, the transaction lines and
// the mailslot routing, and messages cut short.
#include <algorithm>
#include <span>

#include "smb_builder.h"
#include "smb_lines.h"

namespace wendricktest {
namespace {

// The lines of the crafted host announcement's transaction, from the
// parameter block on.
const Lines kMailslotTransaction = {
    {"Parameters\t\t\t\t17 Words", 32, 1, 0},
    {"Parameters\t\t\t\t0 Bytes", 33, 2, 0},
    {"Data\t\t\t\t\t\t44 Bytes", 35, 2, 0},
    {"Max Parameters\t\t\t0 Bytes", 37, 2, 0},
    {"Max Data\t\t\t\t\t0 Bytes", 39, 2, 0},
    {"Max Setup\t\t\t\t0 Words", 41, 1, 0},
    {"Timeout\t\t\t\t\t0 Milleseconds", 45, 4, 0},
    {"Current Parameters", 51, 4, OPEN},
    {"Size\t\t\t\t\t0 Bytes", 51, 2, 0},
    {"Offset\t\t\t\t86 Bytes", 53, 2, CLOSE},
    {"Current Data", 55, 4, OPEN},
    {"Size\t\t\t\t\t44 Bytes", 55, 2, 0},
    {"Offset\t\t\t\t86 Bytes", 57, 2, CLOSE},
    {"Setup Words", 59, 8, OPEN},
    {"Count\t\t\t\t\t3 Words", 59, 1, 0},
    {"Word 0\t\t\t\t0x0001", 61, 2, 0},
    {"Word 1\t\t\t\t0x0001", 63, 2, 0},
    {"Word 2\t\t\t\t0x0002", 65, 2, CLOSE},
    {"Total Bytes\t\t\t\t61", 67, 2, 0},
    {"Transaction Name\t\t\\MAILSLOT\\BROWSE", 69, 1, CLOSE},
};

TEST(Smb, MailslotTransactionReachesTheBrowserInSummaryAndDetail) {
  WendrickHost h;
  h.DecodePayload("MS-SMB", kHostAnnouncement);
  ExpectLines(h.Lines(0), HeaderLines({.function = "Transaction", .titleLength = 86}) + kMailslotTransaction);
  // The Browser's list follows, from the byte behind the name's NUL.
  const auto browser = h.Lines(1);
  ASSERT_FALSE(browser.empty());
  EXPECT_EQ(browser[0].text, "Browser Protocol");
  EXPECT_EQ(browser[0].offset, 86);
  EXPECT_EQ(h.Protocol(), "BROWSER");
  EXPECT_EQ(h.Description(), "Host Announcement NAS1");
  // Counting hands on to DefaultParse at the header: the Browser counts nothing.
  ASSERT_EQ(h.handOns.size(), 1u);
  EXPECT_EQ(h.handOns[0].pass, PASS_COUNT);
  EXPECT_EQ(h.handOns[0].offset, 0);
  EXPECT_EQ(h.Frames("SMB"), 1u);
  EXPECT_EQ(h.Bytes64("SMB"), 130u);
  EXPECT_EQ(h.Frames("BROWSER"), 0u);
}

TEST(Smb, SummaryNamesTheCommandAndItsDirection) {
  struct Case {
    BYTE command, flags;
    const char* description;
  };
  const Case cases[] = {
      {0x2B, 0x18, "Echo Request"},
      {0x2B, 0x98, "Echo Response"},
      {0x26, 0x00, "Trasaction Secondary Request/Response Request"},
      {0xFF, 0x80, "None Response"},
      {0x21, 0x00, "Unknown Function Request"},
      {0x03, 0x00, "Create file Request"},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    h.Run("MS-SMB", Cat({SmbHeader(c.command, c.flags), SmbBlock({})}));
    EXPECT_EQ(h.Protocol(), "SMB");
    EXPECT_EQ(h.Description(), c.description);
  }
}

TEST(Smb, ErrorClassesAndCodes) {
  struct Case {
    BYTE errorClass;
    WORD code;
    const char* classText;
    const char* codeText;
  };
  const Case cases[] = {
      {0, 0, "Success", "Success"},
      {0, 5, "Success", "Unknown"},  // class 0 has no table of its own
      {0, 84, "Success", "Message has been buffered"},
      {0, 0xFFFF, "Success", "Unknown"},
      {2, 84, "Server File System", "Message has been buffered"},
      {4, 85, "Xenix", "Message has been logged"},
      {7, 86, "Unknown", "Message displayed"},
      {5, 3, "Unknown", "Unknown"},
      {1, 2, "Server OS", "File not found"},
      {1, 19, "Server OS", "Unknown"},  // a hardware code, not a DOS one
      {1, 234, "Server OS", "More data to return"},
      {2, 0xFFFF, "Server File System", "Function not supported"},
      {2, 91, "Server File System", "Invalid UID"},
      {3, 36, "Hardware", "Exceeding share buffer"},
      {4, 260, "Xenix", "Access control list full"},
      {0xE2, 5, "iRMX", "Unknown"},
      {0xFF, 1, "Incorrect SMB format", "Unknown"},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.errorClass) + "/" + std::to_string(c.code));
    h.Run("MS-SMB", Cat({SmbHeader(0x2B, 0x98, 0x0001, c.errorClass, c.code), SmbBlock({})}));
    const auto lines = h.Texts(0);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[2], std::string("Error Class\t\t\t\t") + c.classText);
    EXPECT_EQ(lines[4], std::string("Error Code\t\t\t\t") + c.codeText);
  }
}

// Each bit of the flags and of the extended flags turns its own line, and
// only it, from its clear text to its set text.
TEST(Smb, FlagLinesShowEachBitBothWays) {
  struct Bit {
    WORD bit;
    const char* set;  // the whole line, set and clear
    const char* clear;
  };
  const Bit flags[] = {
      {0x80, "Direction\t\t\tServer to Client", "Direction\t\t\tClient to Server"},
      {0x08, "File Names\t\t\tNot case sensitive", "File Names\t\t\tCase sensitive"},
      {0x01, "Lock and Read\t\tUsed", "Lock and Read\t\tNot used"},
  };
  const Bit extended[] = {
      {0x8000, "Strings are\t\t\tUnicode", "Strings are\t\t\tASCII"},
      {0x4000, "Errors are\t\t\t32 Bits", "Errors are\t\t\t16 Bits"},
      {0x2000, "Reads are\t\t\tPermitted with Execute-Permission", "Reads are\t\t\tPermitted only with Read-Permission"},
      {0x1000, "DFS Resolution\t\tOn", "DFS Resolution\t\tOff"},
      {0x0800, "Security\t\t\t\tExtended Security Supported", "Security\t\t\t\tExtended Security Not Supported"},
      {0x0002, "Attributes\t\t\tExtended Attributes Supported", "Attributes\t\t\tExtended Attributes Not Supported"},
      {0x0001, "Long FileNames\t\tSupported", "Long FileNames\t\tNot Supported"},
  };
  // The group's lines with `value`: heading, then one line per bit.
  const auto group = [](const char* heading, int at, int length, std::span<const Bit> bits, unsigned value) {
    Lines lines = {{heading, at, length, OPEN}};
    for (const Bit& b : bits) lines.push_back({(value & b.bit) ? b.set : b.clear, at, length, 0});
    lines.back().flags = CLOSE;
    return lines;
  };
  WendrickHost h;
  for (const std::span<const Bit> bits : {std::span<const Bit>(flags), std::span<const Bit>(extended)}) {
    const bool inFlags = bits.data() == flags;
    for (const Bit& b : bits) {
      // The bit alone, no bit, every bit but it.
      for (unsigned value : {(unsigned)b.bit, 0u, 0xFFFFu & ~b.bit}) {
        SCOPED_TRACE(std::string(b.set) + " " + std::to_string(value));
        const BYTE f = inFlags ? (BYTE)value : 0;
        const WORD f2 = inFlags ? 0 : (WORD)value;
        h.Run("MS-SMB", Cat({SmbHeader(0x2B, f, f2), SmbBlock({})}));
        const auto lines = h.Lines(0);
        ASSERT_GE(lines.size(), 17u);
        ExpectLines({lines.begin() + 5, lines.begin() + 9}, group("Flags", 9, 1, flags, f));
        ExpectLines({lines.begin() + 9, lines.begin() + 17}, group("Extended Flags", 10, 2, extended, f2));
      }
    }
  }
}

// Commands without a decoder show their words; the title covers the words,
// and DefaultParse gets the frame at the byte count.
TEST(Smb, ParameterWords) {
  WendrickHost h;
  h.DecodePayload("MS-SMB", kEcho);
  ExpectLines(h.Lines(0), HeaderLines({.function = "Echo", .titleLength = 35}) + Lines{
                                                                                      {"Parameter Words", 32, 3, OPEN},
                                                                                      {"Word Count\t\t\t1", 32, 1, 0},
                                                                                      {"Word 0\t\t\t\t0x0001", 33, 2, CLOSE},
                                                                                  });
  EXPECT_EQ(h.DefaultSlot(), 1);
  ASSERT_EQ(h.handOns.size(), 3u);
  for (const HandOn& c : h.handOns) EXPECT_EQ(c.offset, c.pass == PASS_DETAIL ? 35 : 0) << c.pass;

  h.DecodePayload("MS-SMB", kNegotiate);
  ExpectLines(h.Lines(0), HeaderLines({.function = "Negotiate Protocol", .titleLength = 33}) +
                              Lines{
                                  {"Parameter Words", 32, 1, OPEN},
                                  {"Word Count\t\t\t0", 32, 1, CLOSE},
                              });
}

// Each command is listed by the layout of its words: the eight AndX
// commands by their AndX header, the transaction by its own words, every
// other code, named or not, by its parameter words.
TEST(Smb, EveryCommandIsListedByItsLayout) {
  const BYTE andX[] = {0x24, 0x2D, 0x2E, 0x2F, 0x73, 0x74, 0x75, 0xA2};
  WendrickHost h;
  for (int code = 0; code < 256; code++) {
    SCOPED_TRACE(code);
    h.Run("MS-SMB", Cat({SmbHeader((BYTE)code), SmbBlock(Hex("ff 00 00 00 00 00"))}));
    const auto texts = h.Texts(0);
    ASSERT_GT(texts.size(), 28u);  // the title and the header's lines first
    const bool isAndX = std::find(std::begin(andX), std::end(andX), code) != std::end(andX);
    const char* first = isAndX ? "Word Count\t\t\t\t3" : code == 0x25 ? "Parameters\t\t\t\t3 Words" : "Parameter Words";
    EXPECT_EQ(texts[28], first);
  }
}

// A transaction's name leads to Browser or Netlogon by its exact text; the
// routed protocol gets the frame behind the name's terminator.
TEST(Smb, MailslotNames) {
  struct Case {
    std::string name;
    const char* protocol;  // of the summary: where the frame went
  };
  const Case cases[] = {
      {"\\MAILSLOT\\BROWSE", "BROWSER"},
      {"\\MAILSLOT\\NET\\NETLOGON", "NETLOGON"},
      {"\\MAILSLOT\\NET\\NTLOGON", "NETLOGON"},
      {"\\MAILSLOT\\NET\\GETDC", "NETLOGON"},
      {"\\MAILSLOT\\NET\\GETDC5A3", "NETLOGON"},
      {"\\mailslot\\browse", "SMB"},
      {"\\MAILSLOT\\BROWSER", "SMB"},
      {"\\MAILSLOT\\NET\\NETLOGONS", "SMB"},
      {"\\MAILSLOT\\NET\\GETD", "SMB"},
      {"\\PIPE\\LANMAN", "SMB"},
      {"", "SMB"},
  };
  const Bytes data = Hex("07 00 41 42 43 00");
  WendrickHost h;
  for (bool unicode : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name + (unicode ? " in Unicode" : ""));
      const Bytes name = unicode ? Utf16Name(std::u16string(c.name.begin(), c.name.end()), true) : AsciiName(c.name);
      h.Run("MS-SMB", Transaction(name, data, unicode));
      EXPECT_EQ(h.Protocol(), c.protocol);
      const int behindName = 69 + (int)name.size();
      const auto lines = h.Lines(0);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines[0].length, behindName);
      EXPECT_EQ(lines.back().text, "Transaction Name\t\t" + c.name);
      if (std::string(c.protocol) == "SMB") {
        EXPECT_EQ(h.DefaultSlot(), 1);
        EXPECT_EQ(DefaultCalls().back().offset, behindName);
      } else {
        ASSERT_FALSE(h.Lines(1).empty());
        EXPECT_EQ(h.Lines(1)[0].offset, behindName);
      }
    }
  }
}

// A Unicode name that begins with its backslash has no pad byte.
TEST(Smb, UnicodeNameWithoutPad) {
  WendrickHost h;
  const Bytes name = Utf16Name(u"\\MAILSLOT\\BROWSE", false);
  h.Run("MS-SMB", Transaction(name, Hex("0e 00"), true));
  EXPECT_EQ(h.Description(), "Reset Browser State ");
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Lines(1)[0].offset, 69 + 34);

  h.DecodePayload("MS-SMB", kUnicodeHostAnnouncement);
  EXPECT_EQ(h.Description(), "Host Announcement NAS2");
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Lines(1)[0].offset, 70 + 32 + 2);  // pad, name, terminator
}

// The name's text keeps 127 characters; the frame still moves past all of
// it. In Unicode each unit keeps its low byte.
TEST(Smb, LongAndWideNames) {
  WendrickHost h;
  const std::string longName = "\\MAILSLOT\\" + std::string(200, 'Q');
  h.Run("MS-SMB", Transaction(AsciiName(longName), Hex("01 02")));
  EXPECT_EQ(h.Lines(0).back().text, "Transaction Name\t\t" + longName.substr(0, 127));
  EXPECT_EQ(DefaultCalls().back().offset, 69 + 211);

  h.Run("MS-SMB", Transaction(Utf16Name(u"\\MAILSLOT\\\u0142\u0141", true), {}, true));
  EXPECT_EQ(h.Lines(0).back().text, "Transaction Name\t\t\\MAILSLOT\\BA");
}

// A name whose terminator was not captured leads nowhere and moves
// nothing; it is not shown.
TEST(Smb, UnterminatedNamesLeadToDefaultParse) {
  const Bytes browse = AsciiName("\\MAILSLOT\\BROWSE");
  struct Case {
    const char* name;
    Bytes frame;
  };
  const Bytes full = Transaction(browse, Hex("0e 00"));
  const Bytes wide = Transaction(Utf16Name(u"\\MAILSLOT\\BROWSE", true), {}, true);
  const Case cases[] = {
      {"capture ends inside the name", Bytes(full.begin(), full.begin() + 80)},
      {"capture ends before the NUL", Bytes(full.begin(), full.begin() + 69 + 16)},
      {"capture ends inside the Unicode terminator", Bytes(wide.begin(), wide.end() - 1)},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.Run("MS-SMB", c.frame);
    EXPECT_EQ(h.Protocol(), "SMB");
    EXPECT_EQ(h.Lines(0).back().text.rfind("Total Bytes", 0), 0u) << h.Lines(0).back().text;
    EXPECT_EQ(h.Lines(0)[0].length, (int)c.frame.size());
    ASSERT_EQ(DefaultCalls().size(), 3u);
    for (const DefaultCall& d : DefaultCalls()) EXPECT_EQ(d.offset, 0);
  }
}

// The name runs to its terminator within the captured bytes, whatever the
// byte count says: a count that ends inside the name, at its NUL or at 0
// still routes it, and the frame moves past the terminator.
TEST(Smb, NameTerminatorIsLookedForInTheCapture) {
  const Bytes browse = AsciiName("\\MAILSLOT\\BROWSE");
  const Bytes wide = Utf16Name(u"\\MAILSLOT\\BROWSE", true);
  struct Case {
    const char* name;
    Bytes frame;
    int behindName;
  };
  const Case cases[] = {
      {"byte count ends inside the name", Transaction(browse, Hex("0e 00"), false, 10), 69 + 17},
      {"byte count ends at the NUL", Transaction(browse, Hex("0e 00"), false, 16), 69 + 17},
      {"byte count 0", Transaction(browse, Hex("0e 00"), false, 0), 69 + 17},
      {"Unicode terminator behind the byte count", Transaction(wide, Hex("0e 00"), true, 34), 69 + 35},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.Run("MS-SMB", c.frame);
    EXPECT_EQ(h.Protocol(), "BROWSER");
    EXPECT_EQ(h.Description(), "Reset Browser State ");
    EXPECT_EQ(h.Lines(0).back().text, "Transaction Name\t\t\\MAILSLOT\\BROWSE");
    EXPECT_EQ(h.Lines(0)[0].length, c.behindName);
    ASSERT_FALSE(h.Lines(1).empty());
    EXPECT_EQ(h.Lines(1)[0].offset, c.behindName);
  }
}

// The setup words, the byte count and the name follow by the setup count,
// within the capture, also where the word count leaves the setup words out
// (14 words and 3 setup words, as some senders of host announcements make
// them); a setup count whose words were not captured routes nothing.
TEST(Smb, SetupWordsAreReadByTheSetupCount) {
  Bytes outside = WendrickHost::Payload(kHostAnnouncement);
  ASSERT_EQ(outside[32], 17);
  outside[32] = 14;
  WendrickHost h;
  h.Run("MS-SMB", outside);
  EXPECT_EQ(h.Description(), "Host Announcement NAS1");
  Lines transaction = kMailslotTransaction;
  transaction[0].text = "Parameters\t\t\t\t14 Words";
  ExpectLines(h.Lines(0), HeaderLines({.function = "Transaction", .titleLength = 86}) + transaction);
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Lines(1)[0].offset, 86);

  // Setup count 0: the count alone, the byte count right behind it.
  h.Run("MS-SMB", Cat({SmbHeader(0x25), SmbBlock(Bytes(28, 0), Cat({AsciiName("\\MAILSLOT\\BROWSE"), Hex("0e 00")}))}));
  EXPECT_EQ(h.Description(), "Reset Browser State ");
  ExpectLines(qvtest::LinesFrom(h.Lines(0), "Setup Words"), {
                                                                {"Setup Words", 59, 2, OPEN},
                                                                {"Count\t\t\t\t\t0 Words", 59, 1, CLOSE},
                                                                {"Total Bytes\t\t\t\t19", 61, 2, 0},
                                                                {"Transaction Name\t\t\\MAILSLOT\\BROWSE", 63, 1, CLOSE},
                                                            });
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Lines(1)[0].offset, 80);

  // 200 setup words, of which the capture holds a few.
  Bytes many = WendrickHost::Payload(kHostAnnouncement);
  many[59] = 200;
  h.Run("MS-SMB", many);
  EXPECT_EQ(h.Description(), "Transaction Request");
  EXPECT_EQ(h.Protocol(), "SMB");
  const auto setup = qvtest::LinesFrom(h.Lines(0), "Setup Words");
  ASSERT_FALSE(setup.empty());
  EXPECT_EQ(setup[0].length, (int)many.size() - 59);
  EXPECT_EQ(setup.back().text, "Word 33\t\t\t\t0x6567");  // "ge", the last two captured
  EXPECT_EQ(DefaultCalls().back().offset, 0);
}

// A response with the words of a request is routed as a request is.
TEST(Smb, ResponseWithFullWordsIsRouted) {
  WendrickHost h;
  Bytes response = WendrickHost::Payload(kHostAnnouncement);
  response[9] |= 0x80;
  h.Run("MS-SMB", response);
  EXPECT_EQ(h.Protocol(), "BROWSER");
  EXPECT_EQ(h.Description(), "Host Announcement NAS1");
  ExpectLines(h.Lines(0), HeaderLines({.function = "Transaction", .titleLength = 86, .response = true}) +
                              kMailslotTransaction);
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Lines(1)[0].offset, 86);
}

// Requests and responses are read alike in the request's layout, but only
// as far as the words reach: a response of 10 words ends at its 20th byte,
// and an error response of no words shows its word count alone.
TEST(Smb, TransactionLinesStayInsideTheWords) {
  WendrickHost h;
  h.Run("MS-SMB", Cat({SmbHeader(0x25, 0x98), SmbBlock(Bytes(20, 0), Cat({AsciiName("\\MAILSLOT\\BROWSE"), Hex("0e 00")}))}));
  EXPECT_EQ(h.Texts(0).back(), "Size\t\t\t\t\t0 Bytes");  // Current Parameters, at 19
  EXPECT_EQ(h.Protocol(), "SMB");

  h.Run("MS-SMB", Cat({SmbHeader(0x25, 0x98, 0x0001, 1, 5), SmbBlock({}), Hex("5c 4d 41 49")}));
  EXPECT_EQ(h.Texts(0).back(), "Parameters\t\t\t\t0 Words");
  EXPECT_EQ(h.Lines(0)[0].length, 39);
}

// With MS-SMB off no line stays, but mailslots still reach their protocol:
// the one line taken to check that the host has lines is given back. When
// it has none, nothing is routed.
TEST(Smb, DisabledStillRoutesMailslots) {
  WendrickHost h;
  h.Enabled("MS-SMB") = 0;
  const unsigned long freed = h.host.detailLinesFreedByPlugins();
  h.DecodePayload("MS-SMB", kHostAnnouncement);
  EXPECT_TRUE(h.Lines(0).empty());
  EXPECT_EQ(h.host.detailLinesFreedByPlugins(), freed + 1);
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Lines(1)[0].offset, 86);
  EXPECT_EQ(h.Description(), "Host Announcement NAS1");
  EXPECT_EQ(h.Frames("SMB"), 1u);  // counting is not gated

  h.host.FailDetailLineAt(1, true);
  h.DecodePayload("MS-SMB", kHostAnnouncement, qvhost::RUN_DETAIL);
  h.host.FailDetailLineAt(0);
  EXPECT_EQ(h.DefaultSlot(), 1);
  EXPECT_EQ(DefaultCalls().back().offset, 0);
}

// The host giving no line for one of the lines that show where a message
// leads (a mailslot's name, an AndX header) leaves the frame at the header
// for DefaultParse; a line missing after them changes nothing of where the
// frame goes. The title keeps what the bytes say.
TEST(Smb, LinesMissingBeforeTheWayOnRouteNothing) {
  struct Case {
    const char* name;
    const Crafted& frame;
    const char* failed;     // the line the host gives no line for
    long defaultSlot;
    int defaultAt;
    const char* nextTitle;  // the first line of list 1, or null
  };
  const Case cases[] = {
      {"mailslot name", kHostAnnouncement, "Transaction Name\t\t\\MAILSLOT\\BROWSE", 1, 0, nullptr},
      {"setup word", kHostAnnouncement, "Word 1\t\t\t\t0x0001", 1, 0, nullptr},
      {"secondary command", kSessionSetupTreeConnect, "Secondary Command\t\tTree Connect and X", 1, 0, nullptr},
      {"offset to next", kSessionSetupTreeConnect, "Offset to Next\t\t\t83", 1, 0, nullptr},
      {"after the AndX header", kSessionSetupTreeConnect, "Max Buffer Size\t\t4356", 2, 83,
       "Server Message Block Protocol"},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.DecodePayload("MS-SMB", c.frame);
    const std::vector<std::string> texts = h.Texts(0);
    const auto failed = std::find(texts.begin(), texts.end(), c.failed);
    ASSERT_NE(failed, texts.end());
    // The title is the first line taken.
    h.host.FailDetailLineAt((unsigned long)(failed - texts.begin()) + 1);
    h.DecodePayload("MS-SMB", c.frame);
    h.host.FailDetailLineAt(0);
    ASSERT_EQ(h.Texts(0).size(), (size_t)(failed - texts.begin()));
    EXPECT_EQ(h.DefaultSlot(), c.defaultSlot);
    EXPECT_EQ(DefaultCalls().back().offset, c.defaultAt);
    if (c.nextTitle) {
      ASSERT_FALSE(h.Lines(1).empty());
      EXPECT_EQ(h.Lines(1)[0].text, c.nextTitle);
    } else {
      EXPECT_TRUE(h.Lines(1).empty());
    }
  }
}

// A message cut anywhere shows its lines up to the first field that is not
// captured; the title never claims more than was captured.
TEST(Smb, CutMessages) {
  WendrickHost h;
  const Bytes echo = WendrickHost::Payload(kEcho);
  struct Case {
    size_t cut;
    const char* last;  // the last line shown
  };
  const Case cases[] = {
      {4, "Server Message Block Protocol"},
      {8, "Reserved\t\t\t\t\t0"},
      {9, "Error Code\t\t\t\tSuccess"},
      {11, "Lock and Read\t\tNot used"},
      {15, "Word 0\t\t\t\t0"},  // the reserved words so far
      {31, "User ID\t\t\t\t\t0"},
      {32, "Multiplex ID\t\t\t0"},
      {34, "Word Count\t\t\t1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cut);
    h.Run("MS-SMB", Bytes(echo.begin(), echo.begin() + (ptrdiff_t)c.cut));
    const auto lines = h.Lines(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, c.last);
    EXPECT_EQ(lines[0].length, (int)c.cut);
  }
}

TEST(Smb, BoundedAndLineFailures) {
  WendrickHost h;
  for (const Crafted* c : {&kHostAnnouncement, &kUnicodeHostAnnouncement, &kNetlogonQuery, &kEcho, &kNegotiate}) {
    h.ExpectBoundedAndLineFailuresHandled("MS-SMB", WendrickHost::Payload(*c));
  }
}

}  // namespace
}  // namespace wendricktest
