// The shared parser routines on their own.
#include <gtest/gtest.h>
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

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

TEST(SharedRoutines, BoundedReadsStopAtTheCapturedEnd) {
  std::vector<BYTE> storage(sizeof(CaptureFrame) + 8);
  CaptureFrame* f = reinterpret_cast<CaptureFrame*>(storage.data());
  f->capturedLength = 4;
  memcpy(f->data, "\x12\x34\x56\x78", 4);
  WORD w = 0;
  DWORD d = 0;
  BYTE b = 0;
  EXPECT_TRUE(qv::ReadBe16(f, 2, &w));
  EXPECT_EQ(w, 0x5678);
  EXPECT_FALSE(qv::ReadBe16(f, 3, &w));
  EXPECT_TRUE(qv::ReadBe32(f, 0, &d));
  EXPECT_EQ(d, 0x12345678u);
  EXPECT_TRUE(qv::ReadLe32(f, 0, &d));
  EXPECT_EQ(d, 0x78563412u);
  EXPECT_FALSE(qv::ReadBe32(f, 1, &d));
  EXPECT_FALSE(qv::ReadU8(f, -1, &b));
  EXPECT_FALSE(qv::ReadU8(f, 4, &b));
  EXPECT_EQ(qv::FrameBytes(f, 0, 5), nullptr);
  EXPECT_EQ(qv::FrameBytes(f, 2, -1), nullptr);
  EXPECT_EQ(qv::CapturedFrom(f, 3), 1);
  EXPECT_EQ(qv::CapturedFrom(f, 9), 0);
  EXPECT_FALSE(qv::Captured(f, 0x7FFFFFFF, 0x7FFFFFFF));
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
  CHECK_FORMAT("%+d|%#x|% d|%*d|%.2f", 5, 255u, 3, 4, 9, 1.5);  // left to the C library
  CHECK_FORMAT("%ls|%s", L"wide", "narrow");
  const char* volatile none = nullptr;  // hidden from the compiler's own format checks
  CHECK_FORMAT("[%s]", (const char*)none);
#undef CHECK_FORMAT
}

}  // namespace
