// The shared parser routines on their own.
#include <gtest/gtest.h>
#include <inttypes.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "plugin.h"

namespace {

DWORD QV_CALL ParseA(DWORD, CaptureFrame*, void*) { return 0; }
DWORD QV_CALL ParseB(DWORD, CaptureFrame*, void*) { return 0; }
DWORD QV_CALL ParseC(DWORD, CaptureFrame*, void*) { return 0; }
DWORD QV_CALL Fallback(DWORD, CaptureFrame*, void*) { return 0; }

struct ChildTableTest : ::testing::Test {
  void SetUp() override {
    memset(&table, 0, sizeof table);
    qv::g_svc.DefaultParse = Fallback;
  }
  void TearDown() override { qv::FreeChildTable(&table); }
  ChildTable table;
};

TEST_F(ChildTableTest, KeysSharingABucketFindTheirOwnEntries) {
  EXPECT_EQ(qv::ChildBucket(0x0800), 8u);
  EXPECT_EQ(qv::ChildBucket(0x0008), 8u);
  EXPECT_EQ(qv::ChildBucket(0x01020304), 10u);
  qv::AddChildProtocol(&table, 0x0800, ParseA, nullptr);
  qv::AddChildProtocol(&table, 0x0008, ParseB, nullptr);
  EXPECT_EQ(qv::FindChildProtocol(&table, 0x0800), ParseA);
  EXPECT_EQ(qv::FindChildProtocol(&table, 0x0008), ParseB);
  EXPECT_EQ(qv::FindChildProtocol(&table, 0x0080), Fallback);  // never bound: never 0
}

TEST_F(ChildTableTest, NewestBindingOfAKeyWinsAndBothStayListed) {
  ChildEntry* a = qv::AddChildProtocol(&table, 0x8100, ParseA, nullptr);
  ChildEntry* b = qv::AddChildProtocol(&table, 0x8100, ParseB, nullptr);
  ChildEntry* c = qv::AddChildProtocol(&table, 7, ParseC, nullptr);
  EXPECT_EQ(qv::FindChildProtocol(&table, 0x8100), ParseB);
  EXPECT_EQ(qv::NextChildProtocol(&table, nullptr), c);
  EXPECT_EQ(qv::NextChildProtocol(&table, c), b);
  EXPECT_EQ(qv::NextChildProtocol(&table, b), a);
  EXPECT_EQ(qv::NextChildProtocol(&table, a), nullptr);
}

TEST_F(ChildTableTest, EmptyAndFreedTablesListNothing) {
  EXPECT_EQ(qv::NextChildProtocol(&table, nullptr), nullptr);
  for (DWORD k = 0; k < 600; k++) qv::AddChildProtocol(&table, k * 37, ParseA, nullptr);
  qv::FreeChildTable(&table);
  EXPECT_EQ(qv::NextChildProtocol(&table, nullptr), nullptr);
  for (ChildEntry* head : table.buckets) EXPECT_EQ(head, nullptr);
  EXPECT_EQ(qv::FindChildProtocol(&table, 37), Fallback);
}

TEST_F(ChildTableTest, FailedAllocationDropsTheBinding) {
  plat::SetAllocFailure(1);
  EXPECT_EQ(qv::AddChildProtocol(&table, 5, ParseA, nullptr), nullptr);
  EXPECT_EQ(qv::FindChildProtocol(&table, 5), Fallback);
  EXPECT_EQ(qv::NextChildProtocol(&table, nullptr), nullptr);
}

TEST(SharedRoutines, NibbleBits) {
  const struct {
    int value;
    const char* text;
  } cases[] = {{0, "0000"}, {5, "0101"}, {0xF, "1111"}, {0x1F, "1111"}, {0x10, "0000"}, {-1, "1111"}};
  for (const auto& c : cases) EXPECT_STREQ(qv::NibbleBitsText(c.value), c.text) << c.value;
}

TEST(SharedRoutines, CloseDetailGroupCountsExtraCloses) {
  DetailLine line = {};
  qv::CloseDetailGroup(&line);
  EXPECT_EQ(line.flags, DETAIL_GROUP_CLOSE);
  qv::CloseDetailGroup(&line);
  EXPECT_EQ(line.flags, DETAIL_GROUP_CLOSE | 1u);
  qv::CloseDetailGroup(&line);
  EXPECT_EQ(line.flags, DETAIL_GROUP_CLOSE | 2u);
  line.flags = DETAIL_GROUP_OPEN;
  qv::CloseDetailGroup(&line);
  EXPECT_EQ(line.flags, DETAIL_GROUP_OPEN | DETAIL_GROUP_CLOSE);
}

TEST(SharedRoutines, CountingNeverSubtractsBytes) {
  std::vector<BYTE> storage(sizeof(CaptureFrame) + 64);
  CaptureFrame* f = reinterpret_cast<CaptureFrame*>(storage.data());
  qv::Counters c = {};
  const struct {
    int frameLength, offset;
    uint64_t bytes;
  } cases[] = {{60, 14, 46}, {14, 14, 0}, {10, 14, 0}, {-5, 0, 0}};
  uint64_t total = 0;
  for (const auto& k : cases) {
    f->frameLength = k.frameLength;
    f->offset = k.offset;
    qv::CountProtocolFrame(&c, f);
    total += k.bytes;
  }
  EXPECT_EQ(c.frames, 4u);
  EXPECT_EQ(c.bytes, total);
}

// A frame of capturedLength bytes whose buffer holds more: what lies past
// the capture must never be read.
struct TestFrame {
  explicit TestFrame(const char* bytes, int captured) : storage(sizeof(CaptureFrame) + 64, 0xEE) {
    f = reinterpret_cast<CaptureFrame*>(storage.data());
    f->capturedLength = captured;
    f->frameLength = 64;
    memcpy(f->data, bytes, strlen(bytes));
  }
  std::vector<BYTE> storage;
  CaptureFrame* f;
};

TEST(SharedRoutines, ViewsStopAtTheCapturedEnd) {
  TestFrame t("\x12\x34\x56\x78\x9a", 4);
  const qv::View v = qv::View::At(t.f, 0);
  WORD w = 0;
  DWORD d = 0;
  BYTE b = 0;
  EXPECT_EQ(v.size(), 4);
  EXPECT_TRUE(v.Be16(2, &w));
  EXPECT_EQ(w, 0x5678);
  EXPECT_FALSE(v.Be16(3, &w));
  EXPECT_EQ(v.Be16Or0(3), 0);  // the value form gives 0 for what is not captured
  EXPECT_TRUE(v.Be32(0, &d));
  EXPECT_EQ(d, 0x12345678u);
  EXPECT_TRUE(v.Le32(0, &d));
  EXPECT_EQ(d, 0x78563412u);
  EXPECT_EQ(v.Le16Or0(1), 0x5634);
  EXPECT_FALSE(v.Be32(1, &d));
  EXPECT_FALSE(v.U8(-1, &b));
  EXPECT_FALSE(v.U8(4, &b));
  EXPECT_EQ(v.Bytes(0, 5), nullptr);
  EXPECT_EQ(v.Bytes(2, -1), nullptr);
  EXPECT_EQ(v.Left(3), 1);
  EXPECT_EQ(v.Left(9), 0);
  EXPECT_FALSE(v.Has(0x7FFFFFFF, 0x7FFFFFFF));
  EXPECT_EQ(v.Find(0, 0x56), 2);
  EXPECT_EQ(v.Find(0, 0x9a), -1);  // past the capture

  // A view from an offset past the capture is empty but keeps its offset.
  const qv::View past = qv::View::At(t.f, 10);
  EXPECT_TRUE(past.empty());
  EXPECT_EQ(past.Offset(2), 12);
  BYTE copy[8] = {};
  EXPECT_EQ(v.Copy(2, 8, copy), 2);
  EXPECT_EQ(copy[1], 0x78);
}

TEST(SharedRoutines, SubRangesEndAtTheRecordOrTheCapture) {
  TestFrame t("\x01\x02\x03\x04\x05\x06\x07\x08", 6);
  const qv::View frame = qv::View::At(t.f, 1);  // bytes 1 .. 5 are captured
  struct Case {
    int64_t at, count;
    int64_t size;  // what the sub-range holds
    int offset;    // its frame offset
  };
  const Case cases[] = {
      {0, 2, 2, 1},    // inside
      {2, 100, 3, 3},  // a length that lies is cut at the capture
      {4, 1, 1, 5},    // the last captured byte
      {5, 3, 0, 6},    // starts at the captured end
      {9, 3, 0, 10},   // starts past it
      {1, -4, 0, 2},   // a negative length is empty
  };
  for (const Case& c : cases) {
    const qv::View sub = frame.Sub(c.at, c.count);
    EXPECT_EQ(sub.size(), c.size) << c.at << "+" << c.count;
    EXPECT_EQ(sub.Offset(), c.offset) << c.at << "+" << c.count;
  }
  // A sub-range of a sub-range never grows past its parent.
  EXPECT_EQ(frame.Sub(1, 2).Sub(0, 50).size(), 2);
  EXPECT_EQ(frame.Sub(1, 2).Be16Or0(1), 0);

  // A cursor takes fields in order and never moves over what is not there.
  qv::Cursor c(frame.Sub(0, 4));
  BYTE b;
  WORD w;
  EXPECT_TRUE(c.U8(&b));
  EXPECT_EQ(b, 0x02);
  EXPECT_TRUE(c.Be16(&w));
  EXPECT_EQ(w, 0x0304);
  EXPECT_FALSE(c.Be16(&w));
  EXPECT_EQ(c.at(), 3);
  const qv::View rest = c.Take(10);
  EXPECT_EQ(rest.size(), 1);
  EXPECT_EQ(rest.Offset(), 4);
  EXPECT_FALSE(c.More());
}

TEST(SharedRoutines, FramesTrimToADeclaredEnd) {
  TestFrame t("", 40);
  t.f->frameLength = 60;
  qv::TrimFrame(t.f, 80);  // past the frame: nothing changes
  EXPECT_EQ(t.f->frameLength, 60);
  EXPECT_EQ(t.f->capturedLength, 40);
  qv::TrimFrame(t.f, 50);
  EXPECT_EQ(t.f->frameLength, 50);
  EXPECT_EQ(t.f->capturedLength, 40);
  qv::TrimFrame(t.f, 20);
  EXPECT_EQ(t.f->frameLength, 20);
  EXPECT_EQ(t.f->capturedLength, 20);
}

constexpr qv::Name kSorted[] = {{1, "one"}, {5, "five"}, {9, "nine"}, {300, "three hundred"}};
constexpr qv::Name kUnsorted[] = {{9, "nine"}, {1, "one"}, {9, "second nine"}};

TEST(SharedRoutines, NameTablesFallBack) {
  constexpr qv::NameTable sorted(kSorted, "Unknown");
  constexpr qv::NameTable unsorted(kUnsorted, "Other");
  for (DWORD key : {1u, 5u, 9u, 300u}) EXPECT_TRUE(sorted.Has(key)) << key;
  EXPECT_STREQ(sorted(300), "three hundred");
  EXPECT_STREQ(sorted(0), "Unknown");
  EXPECT_STREQ(sorted(6), "Unknown");
  EXPECT_STREQ(sorted(0xFFFFFFFF), "Unknown");
  EXPECT_STREQ(unsorted(9), "nine");  // the first row of a key
  EXPECT_STREQ(unsorted(1), "one");
  EXPECT_STREQ(unsorted(2), "Other");
}

// The compiled index of byte keys gives, for every byte, what the table does.
TEST(SharedRoutines, ByteKeyTextsAreTheTablesTexts) {
  constexpr qv::NameTable sorted(kSorted, "Unknown"), unsorted(kUnsorted, "Other");
  constexpr qv::ByteKeyTexts sortedTexts(kSorted, "Unknown"), unsortedTexts(kUnsorted, "Other");
  for (unsigned key = 0; key < 256; key++) {
    EXPECT_EQ(sortedTexts((BYTE)key), sorted(key)) << key;
    EXPECT_EQ(unsortedTexts((BYTE)key), unsorted(key)) << key;
  }
}

TEST(SharedRoutines, BitPictures) {
  struct Case {
    uint64_t value, mask;
    int bits, group;
    const char* text;
  } cases[] = {
      {0x20, 0x20, 8, 4, "xx1x xxxx"},
      {0x00, 0x20, 8, 4, "xx0x xxxx"},
      {0x1ABC, 0x1FFF, 16, 4, "xxx1 1010 1011 1100"},
      {0x2005, 0x0FFF, 16, 8, "xxxx0000 00000101"},
      {0xA000, 0xE000, 16, 8, "101xxxxx xxxxxxxx"},
      {0x40, 0x40, 32, 8, "xxxxxxxx xxxxxxxx xxxxxxxx x1xxxxxx"},
      {0x45, 0xF0, 8, 4, "0100 xxxx"},
      {0x155, 0x1FF, 9, 4, "1 0101 0101"},  // the first group short
      {0x3, 0x3, 5, 7, "xxx11"},
      {0xABC, 0xFFF, 12, 8, "1010 10111100"},  // whole nibbles, the first group short
      {0xFFF000, 0xFFFFFF, 24, 12, "111111111111 000000000000"},
      {0x5, 0xF, 4, 8, "0101"},
      {0x8000000000000001ull, 0x8000000000000001ull, 64, 4,
       "1xxx xxxx xxxx xxxx xxxx xxxx xxxx xxxx xxxx xxxx xxxx xxxx xxxx xxxx xxxx xxx1"},  // the longest picture
      {5, 7, 3, 0, "101"},  // no groups
      {5, 7, 0, 4, ""},
      {0xAB, 0xFF, 70, 8, "xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx 10101011"},
      // One-bit groups outgrow the text: cut at its 79 characters.
      {0xF0F0F0F0F0F0F0F0ull, ~0ull, 64, 1, "1 1 1 1 0 0 0 0 1 1 1 1 0 0 0 0 1 1 1 1 0 0 0 0 1 1 1 1 0 0 0 0 1 1 1 1 0 0 0 0"},
  };
  for (const Case& c : cases) {
    const qv::BitText t = qv::BitPicture(c.value, c.mask, c.bits, c.group);
    EXPECT_STREQ(t.text, c.text);
    EXPECT_EQ(t.length, strlen(c.text)) << c.text;  // what a literal format copies
  }
}

TEST(SharedRoutines, DecimalTextIsWhatPercentUWrites) {
  for (unsigned value : {0u, 7u, 10u, 99u, 100u, 65535u, 1000000000u, 4294967295u}) {
    char want[16], got[16];
    memset(got, '#', sizeof got);
    snprintf(want, sizeof want, "%u", value);
    EXPECT_EQ(qv::DecimalText(value, got), (int)strlen(want)) << value;
    EXPECT_STREQ(got, want);
  }
}

TEST(SharedRoutines, FormattingIsBounded) {
  char small[8];
  EXPECT_EQ(qv::FormatText(small, sizeof small, "%s", "0123456789"), 7);
  EXPECT_STREQ(small, "0123456");
  EXPECT_EQ(qv::AppendText(small, sizeof small, "more"), 7);
  EXPECT_STREQ(small, "0123456");
  char buf[16] = "ab";
  EXPECT_EQ(qv::AppendText(buf, sizeof buf, "-%d", 42), 5);
  EXPECT_STREQ(buf, "ab-42");
  SummaryCell cell = {};
  std::string longText(400, 'x');
  EXPECT_EQ(qv::SetCell(&cell, "%s", longText.c_str()), SUMMARY_TEXT_SIZE - 1);
  EXPECT_EQ(qv::AppendCell(&cell, ":%d", 80), SUMMARY_TEXT_SIZE - 1);
}

// The cell writers of the summaries write what the formatter writes, cut at
// the cell's size, behind any text the cell holds, including a full cell
// with no NUL at all.
TEST(SharedRoutines, CellWritersMatchTheFormatter) {
  const std::string longText(300, 'y');
  // Lengths of each size of copy the writers make, and cut ones.
  const char* texts[] = {"", "IP", "Frame", "Ack Push ", "Local Master Announce", longText.c_str(),
                         longText.c_str() + 45, nullptr};
  for (size_t held : {(size_t)0, (size_t)9, (size_t)200, (size_t)254, (size_t)255, (size_t)256}) {
    SummaryCell start;
    memset(&start, '#', sizeof start);
    memset(start.text, 'h', held);
    if (held < sizeof start.text) start.text[held] = 0;
    auto check = [&](const char* what, auto viaFormatter, auto direct) {
      SummaryCell want = start, got = start;
      viaFormatter(&want);
      direct(&got);
      EXPECT_EQ(memcmp(&want, &got, sizeof want), 0) << what << " behind " << held;
    };
    for (const char* text : texts) {
      std::string what = text ? std::to_string(strlen(text)) + " characters" : "null";
#if defined(__GNUC__) && !defined(__clang__)  // a warning clang does not know
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-overflow"
#endif
      check(("set " + what).c_str(), [&](SummaryCell* c) { qv::SetCell(c, "%s", text); },
            [&](SummaryCell* c) { qv::SetCellText(c, text); });
      check(("append " + what).c_str(), [&](SummaryCell* c) { qv::AppendCell(c, "%s", text); },
            [&](SummaryCell* c) { qv::AppendCellText(c, text); });
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    }
    check("literal", [](SummaryCell* c) { qv::SetCell(c, "Datagram"); },
          [](SummaryCell* c) { qv::SetCellText(c, "Datagram"); });
    check("appended literal", [](SummaryCell* c) { qv::AppendCell(c, " Response"); },
          [](SummaryCell* c) { qv::AppendCellText(c, " Response"); });
    for (unsigned port : {0u, 7u, 80u, 443u, 1030u, 10000u, 65535u, 4294967295u})
      check(("port " + std::to_string(port)).c_str(), [&](SummaryCell* c) { qv::AppendCell(c, ":%u", port); },
            [&](SummaryCell* c) { qv::AppendCellNumber(c, ':', port); });
  }
}

// The formatter's own conversions must print exactly what the C library does,
// whole or cut to the buffer.
TEST(SharedRoutines, FormatterMatchesTheCLibrary) {
  char want[300], got[300];
#define CHECK_FORMAT(...)                                                         \
  do {                                                                            \
    for (size_t size : {sizeof got, (size_t)1, (size_t)5, (size_t)12}) {           \
      snprintf(want, size, __VA_ARGS__);                                          \
      int n = qv::FormatText(got, size, __VA_ARGS__);                             \
      EXPECT_STREQ(got, want) << #__VA_ARGS__ << " in " << size;                  \
      EXPECT_EQ((size_t)n, strlen(want)) << #__VA_ARGS__ << " in " << size;       \
    }                                                                             \
  } while (0)
  CHECK_FORMAT("plain words");
  CHECK_FORMAT("%d|%i|%u|%x|%X", -42, 7, 4000000000u, 0xbeefu, 0xbeefu);
  CHECK_FORMAT("%05d|%-5d|%5d|%.3d|%.0d|%.0u", -42, 42, 42, 7, 0, 0u);
  CHECK_FORMAT("%02X-%04x-%08X|%2x", 5u, 0xabu, 0xdeadbeefu, 0x1fu);
  CHECK_FORMAT("%ld|%lu|%lld|%llu|%zu", -1L, 3000000000UL, -9000000000000LL, 18446744073709551615ULL,
               (size_t)12345);
  // Wider arguments, to see them cut to char and short as the C library does.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
  CHECK_FORMAT("%hhu|%hu|%hd|%hhx", 300u, 70000u, 40000, 0x1ffu);
#pragma GCC diagnostic pop
  CHECK_FORMAT("%" PRIu64 "|%" PRId64, (uint64_t)12345678901234ULL, (int64_t)-5);
  CHECK_FORMAT("%s|%-8s|%8s|%.3s|%-6.2s|", "text", "left", "right", "cut here", "ab");
  CHECK_FORMAT("%c%c|%3c|%-3c|", 'a', 'b', 'c', 'd');
  CHECK_FORMAT("100%%|%d%%", 5);
  CHECK_FORMAT("Label\t\t\t%s\t%s", "0800", "DOD Internet Protocol");
  const std::string line(296, 'v');  // runs past the largest buffer
  CHECK_FORMAT("%s%s|%s", "", "Destination Address", line.c_str());
  // Widths and precisions from the arguments; negative ones mean left and none.
  CHECK_FORMAT("%.*s|%*s|%-*s|%*s|%.*s|%*.*s|", 3, "counted", 6, "right", 6, "left", -6, "minus", -1, "whole", 5, 2,
               "both");
  CHECK_FORMAT("%*d|%-*u|%.*d|%0*x|%.*u", 5, -42, 4, 7u, 4, 3, 6, 0xabu, 0, 0u);
  CHECK_FORMAT("%.*s%.*s", 2, "ab", 600, "past the fast path's bound");
  CHECK_FORMAT("%+d|%#x|% d|%*d|%.2f", 5, 255u, 3, 4, 9, 1.5);  // left to the C library
  CHECK_FORMAT("%ls|%s", L"wide", "narrow");
  const char* volatile none = nullptr;  // hidden from the compiler's own format checks
  CHECK_FORMAT("[%s]", (const char*)none);
#undef CHECK_FORMAT
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

// The text and the length the C library gives for a format and its
// arguments, in buffers of 1, 5, 12 and 300 bytes. A failed call (-1) keeps
// what it wrote, up to its first NUL.
template <class... Args>
void ExpectLibraryText(const char* format, Args... args) {
  for (size_t size : {(size_t)1, (size_t)5, (size_t)12, (size_t)300}) {
    char want[300], got[300];
    memset(want, '#', sizeof want);
    memset(got, '#', sizeof got);
    int n = snprintf(want, size, format, args...);
    size_t length = n < 0 ? strnlen(want, size - 1) : std::min((size_t)n, size - 1);
    EXPECT_EQ(qv::FormatText(got, size, format, args...), (int)length) << format << " in " << size;
    EXPECT_EQ(memcmp(got, want, length + 1), 0)
        << format << " in " << size << ": [" << std::string(got, length) << "] for [" << std::string(want, length) << "]";
  }
}

// What once went to the C library for the arguments it was given: the fast
// path now prints them itself.
TEST(SharedRoutines, NullTextsAndCountedWidthsAsTheCLibraryPrintsThem) {
  const char* none = nullptr;
  for (const char* format : {"%s", "[%s]", "[%.5s]", "[%.6s]", "[%.0s]", "[%10s]", "[%-10.3s]", "%s%s"})
    ExpectLibraryText(format, none, none);
  for (int precision : {-1, 0, 2, 5, 6, 9}) ExpectLibraryText("[%.*s]", precision, none);
  for (int width : {0, 1, -1, 8, -8, 511, 512, -512, 4096, -4096, 100000, -100000, 1 << 20, -(1 << 20)}) {
    ExpectLibraryText("%*s|", width, "xyz");
    ExpectLibraryText("ab%-*s|", width, "xyz");
    ExpectLibraryText("[%*.*s]", width, 2, "xyz");
    ExpectLibraryText("%*s|", width, none);
    ExpectLibraryText("%*d|%s", width, -42, "after");
    ExpectLibraryText("%-*u|", width, 7u);
    ExpectLibraryText("%0*x|", width, 0xabu);
    ExpectLibraryText("%*c|", width, 'q');
  }
  for (int precision : {-600, -1, 0, 3, 511, 512, 100000, INT_MAX}) ExpectLibraryText("%.*s|", precision, "counted");
  const std::string line(296, 'v');
  for (const char* text : {"", "0123456789", line.c_str()}) ExpectLibraryText("%s", text);  // the whole text
  ExpectLibraryText("%5%|%-%|%d", 3);                                                    // '%' takes no width
  ExpectLibraryText("%c%5s|", 0, "nul");  // a NUL is counted, as the library counts it
}

// Past INT_MAX bytes the C library fails the call (-1) and keeps what it
// wrote: the bound's worth of padding, or nothing after a NUL written first.
// It pads byte by byte, seconds for each of these: its results are written
// out here.
TEST(SharedRoutines, TextsPastIntMaxEndAsTheCLibraryLeavesThem) {
  const int volatile most = INT_MAX, least = INT_MIN;  // hidden from the compiler's own format checks
  char t[5][12];
  const struct {
    int n;
    const char* text;
  } cases[] = {
      {qv::FormatText(t[0], 12, "%*s|", most, "x"), "           "},
      {qv::FormatText(t[1], 12, "ab%-*s|", least, "xyz"), "abxyz      "},
      {qv::FormatText(t[2], 12, "%d%*d|", 7, most - 1, 1), "7          "},
      {qv::FormatText(t[3], 12, "%*d|", most - 1, 1), "           "},  // INT_MAX bytes: not past
      {qv::FormatText(t[4], 12, "%c%*s", 0, most, ""), ""},           // what it wrote ends at the NUL
  };
  for (size_t i = 0; i < std::size(cases); i++) {
    EXPECT_EQ(cases[i].n, (int)strlen(cases[i].text)) << i;
    EXPECT_STREQ(t[i], cases[i].text) << i;
  }
}

// Parsed formats are kept by address only for formats that cannot change:
// one in writable memory is read anew on every call.
TEST(SharedRoutines, FormatsInWritableMemoryAreReadAnew) {
  static char kept[16];
  char onStack[16];
  for (char* format : {kept, onStack}) {
    const struct {
      const char* format;
      const char* text;
    } cases[] = {{"%u|%s", "255|a"}, {"%x-%s!", "ff-a!"}, {"<%5u>%s", "<  255>a"}, {"%+d%s", "+255a"}, {"%u|%s", "255|a"}};
    for (const auto& c : cases) {
      char text[32];
      strcpy(format, c.format);
      EXPECT_EQ(qv::FormatText(text, sizeof text, format, 255u, "a"), (int)strlen(c.text)) << c.format;
      EXPECT_STREQ(text, c.text) << c.format;
    }
  }
}

// Read-only formats, more than the table of parsed formats holds: the ones
// it keeps and the ones it does not format alike, the first time and again.
constexpr size_t kManyFormats = 5000;
constexpr auto kFormatPool = [] {
  std::array<char, 5 * kManyFormats> pool{};
  for (size_t i = 0; i < kManyFormats; i++) {
    pool[5 * i] = "<[(-"[i % 4];
    pool[5 * i + 1] = '%';
    pool[5 * i + 2] = "uxXd"[i / 4 % 4];
    pool[5 * i + 3] = '>';
  }
  return pool;
}();

TEST(SharedRoutines, FormatsPastTheKeptOnesFormatAlike) {
  for (int round = 0; round < 2; round++) {
    for (size_t i = 0; i < kManyFormats; i++) {
      const char* format = &kFormatPool[5 * i];
      char want[16], got[16];
      snprintf(want, sizeof want, format, (unsigned)i * 2654435761u);
      EXPECT_EQ(qv::FormatText(got, sizeof got, format, (unsigned)i * 2654435761u), (int)strlen(want)) << format;
      ASSERT_STREQ(got, want) << format << " " << round;
    }
  }
}

// A literal format writes what the formatter writes for the same format
// and arguments, whole or cut to the buffer; a text given as a view or a
// bit picture, what its characters write.
template <qv::literal::Format F, class... Args>
void ExpectAsFormatted(const Args&... args) {
  auto plain = [](const auto& a) {
    if constexpr (std::is_same_v<std::decay_t<decltype(a)>, std::string_view>)
      return a.data();
    else if constexpr (std::is_same_v<std::decay_t<decltype(a)>, qv::BitText>)
      return a.text;
    else
      return a;
  };
  (void)plain;  // a format without arguments
  for (size_t size : {(size_t)1, (size_t)5, (size_t)12, (size_t)DETAIL_TEXT_SIZE, (size_t)300}) {
    char want[300], got[300];
    memset(want, '#', sizeof want);
    memset(got, '#', sizeof got);
    int n = qv::FormatText(want, size, F.text, plain(args)...);
    EXPECT_EQ(qv::FormatLiteral<F>(got, size, args...), n) << F.text << " in " << size;
    EXPECT_EQ(memcmp(got, want, sizeof got), 0) << F.text << " in " << size << ": [" << got << "] for [" << want << "]";
  }
}

TEST(SharedRoutines, LiteralFormatsWriteWhatTheFormatterWrites) {
  const std::string line(296, 'v');
  const char* none = nullptr;
  ExpectAsFormatted<"plain words">();
  ExpectAsFormatted<"%d|%i|%u|%x|%X">(-42, 7, 4000000000u, 0xbeefu, 0xbeefu);
  ExpectAsFormatted<"%d|%d|%u|%u|%x|%X">(INT_MIN, INT_MAX, 0u, UINT_MAX, 0u, UINT_MAX);
  ExpectAsFormatted<"%02X-%04x-%08X|%01u|%0d|%03d|%04d|%016x">(5u, 0xabu, 0xdeadbeefu, 0u, -3, -5, 42, 1u);
  ExpectAsFormatted<"%u %u %u %u %u %u %u %u %u %u">(9u, 10u, 99u, 100u, 999u, 1000u, 99999u, 100000u, 999999999u,
                                                     1000000000u);
  // Narrow arguments, promoted as through an argument list.
  ExpectAsFormatted<"%d|%u|%d|%u|%x|%d">((BYTE)200, (WORD)65535, (signed char)-1, (signed char)-1, (short)-2, true);
  ExpectAsFormatted<"%s|%s|%.3s|%.*s|%.*s|%.6s|%.5s|%.0s">("text", none, "cut here", 2, "ab", -1, "whole", none, none,
                                                           "gone");
  ExpectAsFormatted<"%c%c|100%%|%d%%|%%">('a', 'b', 5);
  ExpectAsFormatted<"Label\t\t\t%s\t%s">("0800", line.c_str());
  ExpectAsFormatted<"%s%s|%u">("", line.c_str(), 12345u);
  ExpectAsFormatted<"%s|%.4s|%.*s|[%s]">(std::string_view("view"), std::string_view("counted"), 3,
                                         std::string_view(line), qv::BitPicture(0x20, 0x20, 8, 4));
  // A picture written in place is the picture, whole or cut; so is one that
  // is not of whole bytes, or is asked for with a precision.
  const qv::Bits pictures[] = {{0x20, 0x20, 8, 4},    {0x1ABC, 0x1FFF, 16, 4}, {0xA000, 0xE000, 16}, {0x40, 0x40, 32},
                               {~0ull, ~0ull, 64, 4}, {0xABC, 0xFFF, 12, 8},   {0x155, 0x1FF, 9, 4}};
  for (const qv::Bits& b : pictures) {
    for (size_t size : {(size_t)1, (size_t)12, (size_t)60, (size_t)DETAIL_TEXT_SIZE}) {
      char want[DETAIL_TEXT_SIZE], got[DETAIL_TEXT_SIZE];
      memset(want, '#', sizeof want);
      memset(got, '#', sizeof got);
      const qv::BitText t = qv::BitPicture(b.value, b.mask, b.bits, b.group);
      EXPECT_EQ(qv::FormatLiteral<"[%s]|%.7s">(got, size, b, b), qv::FormatLiteral<"[%s]|%.7s">(want, size, t, t));
      EXPECT_EQ(memcmp(got, want, sizeof got), 0) << t.text << " in " << size;
    }
  }
}

#pragma GCC diagnostic pop

// Detail lines as the host gives them, zero-filled, from a pool of the
// test's: `give` of them, then none.
struct DetailLinesTest : ::testing::Test {
  void SetUp() override {
    saved = qv::g_svc.AllocDetailLine;
    qv::g_svc.AllocDetailLine = Alloc;
    pool.assign(64, DetailLine{});
    given = 0;
    give = pool.size();
  }
  void TearDown() override { qv::g_svc.AllocDetailLine = saved; }
  static DetailLine* QV_CALL Alloc() { return given < give ? &pool[given++] : nullptr; }
  // The list's lines, as text, offset and length.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const DetailLine* l = head; l; l = l->next)
      lines.push_back(std::string(l->text) + " @" + std::to_string(l->offset) + "+" + std::to_string(l->length));
    return lines;
  }

  static inline std::vector<DetailLine> pool;
  static inline size_t given, give;
  AllocDetailLineProc saved = nullptr;
  DetailLine* head = nullptr;
  qv::DetailList list{&head};
};

// A quoted text keeps the whole line within the bound, stops at a NUL and
// at the count it is given, and never reads past that count.
TEST_F(DetailLinesTest, QuotesKeepTheLineWithinTheBound) {
  const std::string label = "Name\t\t";  // 6 characters: 122 are left for the text
  EXPECT_EQ(qv::LineRoom(label.c_str()), qv::kLineBound - 6);
  EXPECT_EQ(qv::LineRoom(std::string(200, 'l').c_str()), 0);
  const std::string text(300, 'x');
  list.Quote(10, 300, label.c_str(), text.c_str(), 300);
  list.Quote(10, 121, label.c_str(), text.c_str(), 121);
  list.Quote(10, 5, label.c_str(), "ab\0cd", 5);
  char unended[3] = {'a', 'b', 'c'};  // no NUL: only the three are read
  list.Quote(10, 3, label.c_str(), unended, 3);
  list.Quote(10, 3, label.c_str(), unended, -1);
  list.Quote(0, 0, std::string(200, 'l').c_str(), "x", 1);
  EXPECT_EQ(Lines(), (std::vector<std::string>{label + std::string(122, 'x') + " @10+300",
                                                label + std::string(121, 'x') + " @10+121", label + "ab @10+5",
                                                label + "abc @10+3", label + " @10+3",
                                                std::string(qv::kLineBound, 'l') + " @0+0"}));
}

// Each flag's line shows its label, then its word and picture in the order
// the call gives them, over the same bytes.
TEST_F(DetailLinesTest, FlagLinesShowEachFlagInTheOrderGiven) {
  static constexpr qv::FlagBit kFlags[] = {{0x80, "High "}, {0x01, "Low "}};
  list.FlagLines<"%s%s">(4, 1, 0x81, kFlags, {"On", "Off"});
  list.FlagLines<"%s%s[%s]">(4, 2, 0x0100, kFlags, {"set", "clear"}, {16, 4});
  list.FlagLines<"%s[%s] %s">(4, 1, 0x01, kFlags, {8}, {"on", "off"});
  EXPECT_EQ(Lines(), (std::vector<std::string>{"High On @4+1", "Low On @4+1",
                                                "High clear[xxxx xxxx 0xxx xxxx] @4+2",
                                                "Low clear[xxxx xxxx xxxx xxx0] @4+2", "High [0xxxxxxx] off @4+1",
                                                "Low [xxxxxxx1] on @4+1"}));
  // A refused line ends the rest.
  give = given + 1;
  list.FlagLines<"%s%s">(4, 1, 0, kFlags, {"On", "Off"});
  EXPECT_TRUE(list.stopped);
  EXPECT_EQ(Lines().size(), 7u);
}

// The first field that is not captured ends the lines, even where later
// fields are; so does a line the host does not give. The groups then stay
// open.
TEST_F(DetailLinesTest, FieldLinesEndAtTheFirstFieldNotThere) {
  TestFrame t("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  const qv::View record = qv::View::At(t.f, 2);  // bytes 2 .. 7
  static BYTE state;
  qv::FieldLines f(list, record);
  EXPECT_TRUE(f.Group<"Record">(&state, 0, 6));
  EXPECT_TRUE(f.Number<"One %u">(0, 1));
  EXPECT_TRUE(f.Number<"Two %04x">(1, 2));
  EXPECT_FALSE(f.Number<"Three %u">(3, 3));  // no such width: ends them too
  EXPECT_FALSE(f.Number<"Four %u">(0, 4));   // captured, but after the end
  f.Close();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Record @2+6", "One 3 @2+1", "Two 0405 @3+2"}));
  EXPECT_EQ(head->next->next->flags, 0u);

  head = nullptr;
  list = qv::DetailList(&head);
  qv::FieldLines g(list, record);
  EXPECT_TRUE(g.Number<"Four %08X">(0, 4));
  EXPECT_FALSE(g.Field<"Past %d">(4, 4, 0));  // runs past the capture
  EXPECT_FALSE(g.Number<"Last %d">(5, 1));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Four 03040506 @2+4"}));

  head = nullptr;
  list = qv::DetailList(&head);
  give = given + 1;
  qv::FieldLines h(list, record);
  EXPECT_TRUE(h.Field<"First %d">(0, 1, 1));
  EXPECT_FALSE(h.Field<"Refused %d">(1, 1, 2));
  EXPECT_FALSE(h.ok());
  give = pool.size();
  EXPECT_FALSE(h.Number<"Given %d">(2, 1));  // the host would give one again: the lines stay ended
  EXPECT_EQ(Lines(), (std::vector<std::string>{"First 1 @2+1"}));
}

}  // namespace
