// The AndX commands: their decoders, the chain of blocks behind the first,
// and every way a chain can point where it must not.
#include "smb_builder.h"
#include "smb_lines.h"

namespace wendricktest {
namespace {

Lines AndXHeader(int at, int words, const std::string& secondary, int next) {
  return {
      {"Word Count\t\t\t\t" + std::to_string(words), at, 1, 0},
      {"Secondary Command\t\t" + secondary, at + 1, 1, 0},
      {"Reserved\t\t\t\t\t0", at + 2, 1, 0},
      {"Offset to Next\t\t\t" + std::to_string(next), at + 3, 2, 0},
  };
}

// A chained block's list: its title, the command it was chained as, its
// AndX header.
Lines ChainedBlock(int at, int titleLength, const std::string& command) {
  return {{"Server Message Block Protocol", at, titleLength, OPEN}, {"Function\t\t\t\t\t" + command, 0, 0, 0}};
}

const Lines kSessionSetupLines = {
    {"Max Buffer Size\t\t4356", 37, 2, 0}, {"Max Mpx Count\t\t\t50", 39, 2, 0},
    {"VC Number\t\t\t\t0", 41, 2, 0},      {"Session Key\t\t\t\t305419896", 43, 4, 0},
    {"Password Length\t\t1", 47, 2, 0},    {"Reserved\t\t\t\t\t0", 49, 4, 0},
    {"Byte Count\t\t\t\t28", 53, 2, 0},
};

// Session Setup chained to Tree Connect: two lists, then DefaultParse in
// the list behind them, with the frame at the last block.
TEST(AndX, ChainOfTwo) {
  WendrickHost h;
  h.DecodePayload("MS-SMB", kSessionSetupTreeConnect);
  ExpectLines(h.Lines(0), HeaderLines({.function = "Session Setup and X", .titleLength = 83}) +
                              AndXHeader(32, 10, "Tree Connect and X", 83) + kSessionSetupLines);
  ExpectLines(h.Lines(1), ChainedBlock(83, 32, "Tree Connect and X") + AndXHeader(83, 4, "None", 0));
  EXPECT_EQ(h.Description(), "Session Setup and X Request");
  EXPECT_EQ(h.DefaultSlot(), 2);
  EXPECT_EQ(DefaultCalls().back().offset, 83);
  // Counting and summary leave the frame at the header.
  ASSERT_EQ(DefaultCalls().size(), 3u);
  EXPECT_EQ(DefaultCalls()[0].offset, 0);
  EXPECT_EQ(DefaultCalls()[1].offset, 0);
}

// A hop is followed only forward, past its block's words and byte count,
// and only to a block inside the capture; a block of a command other than
// the eight AndX commands is listed and ends the chain; so does command 0;
// and no more than eight blocks are chained.
TEST(AndX, ChainGoesOnlyForwardWithinTheCapture) {
  struct Case {
    const char* name;
    const Crafted& frame;
    size_t lists;       // lists SMB made
    int firstTitle;     // length of the first list's title
    int defaultAt;      // where DefaultParse gets the frame in the detail pass
    std::string last;   // the last line of the last list
  };
  const Case cases[] = {
      {"at itself", kChainAtItself, 1, 83, 0, "Byte Count\t\t\t\t28"},
      {"into its own words", kChainIntoItsWords, 1, 115, 0, "Byte Count\t\t\t\t28"},
      {"past the capture", kChainPastCapture, 1, 83, 0, "Byte Count\t\t\t\t28"},
      {"backwards from the second block", kChainBackwards, 2, 83, 83, "Offset to Next\t\t\t32"},
      {"to a command without AndX", kChainToOtherCommand, 2, 83, 83, "Function\t\t\t\t\tClose File"},
      {"command 0", kChainEndsAtZero, 1, 90, 0, "Byte Count\t\t\t\t28"},
      {"eleven blocks", kLongChain, 9, 39, 95, "Offset to Next\t\t\t95"},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.DecodePayload("MS-SMB", c.frame);
    ASSERT_EQ(h.out.depth, c.lists);
    EXPECT_EQ(h.Lines(0)[0].length, c.firstTitle);
    EXPECT_EQ(h.Texts(c.lists - 1).back(), c.last);
    EXPECT_EQ(h.DefaultSlot(), (long)c.lists);
    EXPECT_EQ(DefaultCalls().back().offset, c.defaultAt);
  }
  // The chained lists of the long chain: each block from its own offset.
  h.DecodePayload("MS-SMB", kLongChain);
  for (int i = 1; i <= 8; i++) {
    const int at = 32 + 7 * i;
    ExpectLines(h.Lines(i), ChainedBlock(at, 109 - at, "User Log Off and X") +
                                AndXHeader(at, 2, "User Log Off and X", at + 7));
  }
}

// An error response has no words: its word count alone, and no chain,
// whatever the bytes behind it.
TEST(AndX, ErrorResponseShowsOnlyItsWordCount) {
  WendrickHost h;
  h.DecodePayload("MS-SMB", kErrorResponse);
  ExpectLines(h.Lines(0), HeaderLines({.function = "Session Setup and X",
                                       .titleLength = 35,
                                       .response = true,
                                       .errorClass = "Server File System",
                                       .errorCode = "Bad password"}) +
                              Lines{{"Word Count\t\t\t\t0", 32, 1, 0}});
  EXPECT_EQ(h.Description(), "Session Setup and X Response");

  // A word count of 1 holds the secondary command, not the offset: no hop.
  h.Run("MS-SMB", Cat({SmbHeader(0x2E, 0x98), SmbBlock(Hex("75 00")), Hex("04 ff 00 00 00 00 00 00")}));
  EXPECT_EQ(h.Texts(0).back(), "Reserved\t\t\t\t\t0");
  EXPECT_EQ(h.out.depth, 1u);
}

// Session Setup responses and the other AndX commands show the AndX header
// alone.
TEST(AndX, OtherDecodersShowTheAndXHeader) {
  WendrickHost h;
  for (BYTE command : {0x24, 0x2D, 0x2E, 0x2F, 0x74, 0x75}) {
    for (BYTE flags : {0x18, 0x98}) {
      SCOPED_TRACE(std::to_string(command) + " " + std::to_string(flags));
      h.Run("MS-SMB", Cat({SmbHeader(command, flags), SmbBlock(Hex("ff 00 00 00 01 00 02 00"), Hex("aa bb"))}));
      ExpectLines(qvtest::LinesFrom(h.Lines(0), "Word Count"), AndXHeader(32, 4, "None", 0));
    }
  }
  h.Run("MS-SMB", Cat({SmbHeader(0x73, 0x98), SmbBlock(Hex("ff 00 00 00 01 00"), Hex("aa bb"))}));
  ExpectLines(qvtest::LinesFrom(h.Lines(0), "Word Count"), AndXHeader(32, 3, "None", 0));
}

Lines FlagLines(int at, int length, const std::vector<std::pair<std::string, bool>>& flags, DWORD last = CLOSE) {
  Lines lines;
  for (const auto& [label, on] : flags) lines.push_back({label + (on ? "On" : "Off"), at, length, 0});
  lines.back().flags = last;
  return lines;
}

TEST(AndX, NtCreateRequest) {
  WendrickHost h;
  h.DecodePayload("MS-SMB", kNtCreateAscii);
  const Lines want =
      AndXHeader(32, 24, "None", 0) +
      Lines{{"Reserved\t\t\t\t\t0", 37, 1, 0}, {"Name Length\t\t\t\t12", 38, 2, 0}, {"Creation Flags", 40, 4, OPEN}} +
      FlagLines(40, 4, {{"OpLock\t\t\t\t", true}, {"Batch OpLock\t\t", true}, {"Directory\t\t\t", false}}) +
      Lines{{"Root FID\t\t\t\t\t0", 44, 4, 0}, {"Desired Access", 48, 4, OPEN}, {"Specific Bits\t\t0000", 48, 2, 0}} +
      FlagLines(48, 4,
                {{"Delete\t\t\t\t", false},
                 {"Read Control\t\t", false},
                 {"Write DAC\t\t\t", false},
                 {"Write Owner\t\t\t", false},
                 {"Synchronize\t\t\t", false},
                 {"System\t\t\t\t", false},
                 {"Maximum\t\t\t\t", true},
                 {"All\t\t\t\t\t", false},
                 {"Execute\t\t\t\t", false},
                 {"Write\t\t\t\t\t", false},
                 {"Read\t\t\t\t\t", false}}) +
      Lines{{"Allocation Size\t\t4096", 52, 8, 0}, {"Extended File Attributes", 60, 4, OPEN}} +
      FlagLines(60, 4,
                {{"Read Only\t\t\t", true},
                 {"Hidden\t\t\t\t", true},
                 {"System\t\t\t\t", true},
                 {"Directory\t\t\t", false},
                 {"Archive\t\t\t\t", true},
                 {"Normal\t\t\t\t", false},
                 {"Temporary\t\t\t", false},
                 {"Compressed\t\t\t", false},
                 {"Random Access\t\t", false},
                 {"No Buffering\t\t", false},
                 {"Write Thru\t\t\t", false},
                 {"Posix\t\t\t\t\t", false},
                 {"Backup\t\t\t\t", false},
                 {"Delete\t\t\t\t", false},
                 {"Sequential\t\t\t", false}}) +
      Lines{{"Share Access", 64, 4, OPEN}} +
      FlagLines(64, 4, {{"Read Share\t\t\t", true}, {"Write Share\t\t\t", true}, {"Delete Share\t\t", true}}) +
      Lines{{"Create Disposition\t0x00000001", 68, 4, 0},
            {"Create Options\t\t\t0x00000040", 72, 4, 0},
            {"Impersonation Level\t0x00000002", 76, 4, 0},
            {"Security Flags", 80, 1, OPEN}} +
      FlagLines(80, 1, {{"Context\t\t\t\t", true}, {"Effective\t\t\t", true}}) +
      Lines{{"Byte Count\t\t\t\t12", 81, 2, 0}, {"File Name\t\t\t\t\\REPORT.TXT", 83, 12, CLOSE}};
  ExpectLines(qvtest::LinesFrom(h.Lines(0), "Word Count"), want);
  EXPECT_EQ(h.Lines(0)[0].length, 95);  // no chain: the whole message

  // In Unicode the name starts behind a pad byte and becomes Windows-1252.
  h.DecodePayload("MS-SMB", kNtCreateUnicode);
  const auto lines = h.Lines(0);
  EXPECT_EQ(lines.back().text, "File Name\t\t\t\t\\Documents\\Caf\xe9 No\xebl \x80.txt");
  EXPECT_EQ(lines.back().offset, 83);
  EXPECT_EQ(lines.back().length, 52);
}

TEST(AndX, NtCreateResponse) {
  WendrickHost h;
  h.DecodePayload("MS-SMB", kNtCreateResponse);
  ExpectLines(qvtest::LinesFrom(h.Lines(0), "Word Count"),
              AndXHeader(32, 34, "None", 0) + Lines{{"Oplock\t\t\t\t\t2", 37, 1, 0},
                                                   {"FID\t\t\t\t\t\t16391", 38, 2, 0},
                                                   {"Byte Count\t\t\t\t0", 101, 2, CLOSE}});
  EXPECT_EQ(h.Description(), "NT Create and X Response");
}

// An NT Create request naming `name` (its bytes as given) with a declared
// name length.
Bytes NtCreate(const Bytes& name, int nameLength, bool unicode) {
  Bytes words = Hex("ff 00 00 00 00");
  Put16(words, (unsigned)nameLength);
  words.resize(48, 0);
  return Cat({SmbHeader(0xA2, 0x18, unicode ? 0x8001 : 0x0001), SmbBlock(words, Cat({Bytes(unicode ? 1 : 0, 0), name}))});
}
Bytes Units(std::initializer_list<unsigned> units) {
  Bytes b;
  for (unsigned u : units) Put16(b, u);
  return b;
}

// Each flag bit of an NT Create request turns its own line, and only it,
// "On": the creation flags, the desired access, the file attributes, the
// share access and the security flags.
TEST(AndX, NtCreateFlagBits) {
  struct Flag {
    DWORD bit;
    const char* label;
  };
  struct Group {
    const char* heading;
    int at, size;  // in the parameter block
    std::vector<Flag> flags;
  };
  const Group groups[] = {
      {"Creation Flags", 8, 4, {{0x2, "OpLock\t\t\t\t"}, {0x4, "Batch OpLock\t\t"}, {0x8, "Directory\t\t\t"}}},
      {"Desired Access",
       16,
       4,
       {{0x10000, "Delete\t\t\t\t"},
        {0x20000, "Read Control\t\t"},
        {0x40000, "Write DAC\t\t\t"},
        {0x80000, "Write Owner\t\t\t"},
        {0x100000, "Synchronize\t\t\t"},
        {0x1000000, "System\t\t\t\t"},
        {0x2000000, "Maximum\t\t\t\t"},
        {0x10000000, "All\t\t\t\t\t"},
        {0x20000000, "Execute\t\t\t\t"},
        {0x40000000, "Write\t\t\t\t\t"},
        {0x80000000, "Read\t\t\t\t\t"}}},
      {"Extended File Attributes",
       28,
       4,
       {{0x1, "Read Only\t\t\t"},
        {0x2, "Hidden\t\t\t\t"},
        {0x4, "System\t\t\t\t"},
        {0x10, "Directory\t\t\t"},
        {0x20, "Archive\t\t\t\t"},
        {0x80, "Normal\t\t\t\t"},
        {0x100, "Temporary\t\t\t"},
        {0x800, "Compressed\t\t\t"},
        {0x10000000, "Random Access\t\t"},
        {0x20000000, "No Buffering\t\t"},
        {0x80000000, "Write Thru\t\t\t"},
        {0x1000000, "Posix\t\t\t\t\t"},
        {0x2000000, "Backup\t\t\t\t"},
        {0x4000000, "Delete\t\t\t\t"},
        {0x8000000, "Sequential\t\t\t"}}},
      {"Share Access", 32, 4, {{0x1, "Read Share\t\t\t"}, {0x2, "Write Share\t\t\t"}, {0x4, "Delete Share\t\t"}}},
      {"Security Flags", 48, 1, {{0x1, "Context\t\t\t\t"}, {0x2, "Effective\t\t\t"}}},
  };
  WendrickHost h;
  for (const Group& g : groups) {
    for (const Flag& on : g.flags) {
      SCOPED_TRACE(std::string(g.heading) + " " + on.label);
      Bytes frame = NtCreate(Text("a"), 1, false);
      for (int i = 0; i < g.size; i++) frame[32 + g.at + i] = (BYTE)(on.bit >> (8 * i));
      h.Run("MS-SMB", frame);
      Lines want = {{g.heading, 32 + g.at, g.size, OPEN}};
      if (g.at == 16) want.push_back({"Specific Bits\t\t0000", 48, 2, 0});
      for (const Flag& f : g.flags) want.push_back({f.label + std::string(&f == &on ? "On" : "Off"), 32 + g.at, g.size, 0});
      want.back().flags = CLOSE;
      const auto lines = qvtest::LinesFrom(h.Lines(0), g.heading);
      ASSERT_GE(lines.size(), want.size());
      ExpectLines({lines.begin(), lines.begin() + (ptrdiff_t)want.size()}, want);
    }
  }
}

// UTF-16 names become Windows-1252 of our own making: every character that
// has a byte there gets it, others '?', one per character; the name ends at
// its first NUL, at its declared length or at the capture; a line shows at
// most 128 characters, whatever the name's 16-bit length says.
TEST(AndX, FileNameConversion) {
  struct Case {
    const char* name;
    Bytes frame;
    std::string text;
  };
  const std::string label = "File Name\t\t\t\t";
  const Bytes longName(600, 'a');
  Bytes longUnits;
  for (int i = 0; i < 300; i++) Put16(longUnits, 0xE9);
  const Case cases[] = {
      {"euro, Y diaeresis, unassigned 0x81", NtCreate(Units({0x20AC, 0x0178, 0x0081}), 6, true), "\x80\x9f\x81"},
      {"Latin-1", NtCreate(Units({0xE9, 0xFF, 0xA0}), 6, true), "\xe9\xff\xa0"},
      {"no Windows-1252 byte", NtCreate(Units({0x4E2D, 0x0100, 0x0080}), 6, true), "???"},
      {"surrogate pair is one character", NtCreate(Units({0xD83D, 0xDE00, 'x'}), 6, true), "?x"},
      {"lone surrogates", NtCreate(Units({0xDC00, 0xD800, 'A'}), 6, true), "??A"},
      {"NUL ends the name", NtCreate(Units({'a', 'b', 0, 'c'}), 8, true), "ab"},
      {"declared length ends the name", NtCreate(Units({'a', 'b', 'c'}), 5, true), "ab"},
      {"ASCII NUL", NtCreate(Text(std::string("ab\0cd", 5)), 5, false), "ab"},
      {"ASCII declared length", NtCreate(Text("abcdef"), 3, false), "abc"},
      {"ASCII bytes kept", NtCreate(Text("\x80\xe9"), 2, false), "\x80\xe9"},
      {"long Unicode name", NtCreate(longUnits, 600, true), std::string(115, '\xe9')},
      {"long ASCII name", NtCreate(longName, 600, false), std::string(115, 'a')},
      {"name longer than the capture", NtCreate(Units({'a', 'b'}), 65535, true), "ab"},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.Run("MS-SMB", c.frame);
    const auto lines = h.Lines(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, label + c.text);
    EXPECT_LE(lines.back().text.size(), 128u);
  }
}

TEST(AndX, BoundedAndLineFailures) {
  WendrickHost h;
  for (const Crafted* c : {&kSessionSetupTreeConnect, &kChainBackwards, &kChainToOtherCommand, &kLongChain,
                           &kErrorResponse, &kNtCreateUnicode, &kNtCreateAscii, &kNtCreateResponse}) {
    h.ExpectBoundedAndLineFailuresHandled("MS-SMB", WendrickHost::Payload(*c));
  }
}

}  // namespace
}  // namespace wendricktest
