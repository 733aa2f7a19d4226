// Structure of the compiled name tables: order, no overlap, text bounds, the
// row counts of the EtherType tables and the OUI rows that are fixed.
#include <gtest/gtest.h>
#include <string.h>

#include <set>
#include <string>

#include "halvern.h"
#include "tables.h"

namespace {

using halvern::NameRow;
using halvern::PooledRow;

struct Shape {
  size_t rows = 0, ranges = 0, keys = 0, longest = 0;
};

// Ordered, disjoint, non-empty texts of printable ASCII no longer than max.
Shape CheckRows(const NameRow* rows, size_t count, uint32_t maxKey, size_t maxText) {
  Shape s;
  s.rows = count;
  for (size_t i = 0; i < count; i++) {
    const NameRow& r = rows[i];
    EXPECT_LE(r.first, r.last) << "row " << i;
    EXPECT_LE(r.last, maxKey) << "row " << i;
    if (i > 0) {
      EXPECT_LT(rows[i - 1].last, r.first) << "row " << i << " overlaps or is out of order";
    }
    size_t n = strlen(r.text);
    EXPECT_GT(n, 0u) << "row " << i;
    EXPECT_LE(n, maxText) << "row " << i << " \"" << r.text << "\"";
    for (const char* p = r.text; *p; p++) EXPECT_TRUE(*p >= ' ' && *p <= '~') << "row " << i << " \"" << r.text << "\"";
    s.ranges += r.first != r.last;
    s.keys += r.last - r.first + 1;
    s.longest = std::max(s.longest, n);
  }
  return s;
}

TEST(HalvernTables, SapNames) {
  Shape s = CheckRows(halvern::kSapNames, halvern::kSapNameCount, 0xFF, 29);
  EXPECT_EQ(s.rows, 26u);
  EXPECT_EQ(s.ranges, 0u);
  // Odd SAPs are group or response addresses; only FF is named.
  for (size_t i = 0; i < halvern::kSapNameCount; i++)
    if (halvern::kSapNames[i].first & 1) {
      EXPECT_EQ(halvern::kSapNames[i].first, 0xFFu);
    }
}

TEST(HalvernTables, EtherTypeShortNames) {
  // The longest short name fits the 23 bytes a caller provides for style 1.
  Shape s = CheckRows(halvern::kEtherTypeShortNames, halvern::kEtherTypeShortNamesCount, 0xFFFF, 22);
  EXPECT_EQ(s.rows, 182u);
  EXPECT_EQ(s.ranges, 23u);
  EXPECT_EQ(s.keys, 275u);
  EXPECT_EQ(s.longest, 22u);
  // Every value up to 0x05FF is an 802.3 length.
  EXPECT_GE(halvern::kEtherTypeShortNames[0].first, 0x0600u);
}

TEST(HalvernTables, EtherTypeLongTexts) {
  Shape s = CheckRows(halvern::kEtherTypeLongTexts, halvern::kEtherTypeLongTextsCount, 0xFFFF, 56);
  EXPECT_EQ(s.rows, 181u);
  EXPECT_EQ(s.ranges, 23u);
  EXPECT_EQ(s.keys, 274u);
  EXPECT_EQ(s.longest, 56u);
  EXPECT_GE(halvern::kEtherTypeLongTexts[0].first, 0x0600u);
}

TEST(HalvernTables, LongTextsHaveTheShortNameRowsSave8808) {
  size_t j = 0;
  for (size_t i = 0; i < halvern::kEtherTypeShortNamesCount; i++) {
    const NameRow& s = halvern::kEtherTypeShortNames[i];
    if (s.first == 0x8808) {
      EXPECT_EQ(s.last, 0x8808u);
      continue;
    }
    ASSERT_LT(j, halvern::kEtherTypeLongTextsCount);
    const NameRow& l = halvern::kEtherTypeLongTexts[j++];
    EXPECT_EQ(l.first, s.first) << s.text;
    EXPECT_EQ(l.last, s.last) << s.text;
  }
  EXPECT_EQ(j, halvern::kEtherTypeLongTextsCount);
}

// ---------------------------------------------------------------- OUIs

// The rows the lookups are known by; the generator keeps them exactly.
const struct {
  uint32_t first, last;
  const char* text;
} kPinned[] = {
    {0x000000, 0x000009, "Xerox"},
    {0x00000A, 0x00000A, "Omron Tateisi Electronics"},
    {0x00000B, 0x00000B, "Matrix"},
    {0x00000C, 0x00000C, "Cisco"},
    {0x000102, 0x000103, "3COM"},
    {0x000142, 0x000143, "Cisco"},
    {0x0001E6, 0x0001E7, "Hewlett-Packard"},
    {0x000255, 0x000255, "IBM"},
    {0x00AA00, 0x00AA02, "Intel"},
    {0x00D0BA, 0x00D0BC, "Cisco"},
    {0x00DD00, 0x00DD0F, "Ungermann-Bass"},
    {0x020701, 0x020701, "RACAL-Datacom"},
    {0x080020, 0x080020, "SUN Microsystems"},
    {0x08002B, 0x08002B, "DEC"},
    {0xAA0000, 0xAA0004, "DEC"},
};

const char* OuiText(const PooledRow& r) { return halvern::kOuiVendorTexts + r.text; }

bool IsPinned(const PooledRow& r) {
  for (const auto& p : kPinned)
    if (p.first == r.first) return true;
  return false;
}

TEST(HalvernTables, OuiRowsAreOrderedDisjointAndBounded) {
  const PooledRow* rows = halvern::kOuiVendors;
  const size_t count = halvern::kOuiVendorCount;
  ASSERT_GT(count, 0u);
  EXPECT_EQ(rows[0].first, 0x000000u);
  EXPECT_EQ(rows[count - 1].last, 0xAA0004u) << "the highest key";
  // Cp1252 leaves these unassigned.
  const std::set<unsigned> undefined = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
  for (size_t i = 0; i < count; i++) {
    const PooledRow& r = rows[i];
    ASSERT_LE(r.first, r.last) << "row " << i;
    if (i > 0) {
      ASSERT_LT(rows[i - 1].last, r.first) << "row " << i << " overlaps or is out of order";
    }
    ASSERT_LT(r.text, halvern::kOuiVendorTextsSize) << "row " << i;
    ASSERT_TRUE(r.text == 0 || halvern::kOuiVendorTexts[r.text - 1] == 0) << "row " << i << " points into a text";
    const char* text = OuiText(r);
    size_t n = strnlen(text, halvern::kOuiVendorTextsSize - r.text);
    ASSERT_LT(r.text + n, halvern::kOuiVendorTextsSize) << "row " << i << " runs off the texts";
    // With its NUL a text fits the 64 bytes a hit writes.
    EXPECT_GE(n, 1u) << "row " << i;
    EXPECT_LE(n, (size_t)HALVERN_OUI_TEXT_SIZE - 1) << "row " << i;
    EXPECT_NE(text[0], ' ') << "row " << i;
    EXPECT_NE(text[n - 1], ' ') << "row " << i;
    for (size_t k = 0; k < n; k++) {
      unsigned c = (unsigned char)text[k];
      EXPECT_TRUE(c >= 0x20 && c != 0x7F && !undefined.count(c)) << "row " << i << " byte " << k;
    }
    // Neighbouring keys under one text make one row (fixed rows stand alone).
    if (i > 0 && rows[i - 1].last + 1 == r.first && !IsPinned(r) && !IsPinned(rows[i - 1])) {
      EXPECT_STRNE(OuiText(rows[i - 1]), text) << "rows " << i - 1 << " and " << i << " should be one range";
    }
  }
}

TEST(HalvernTables, OuiFixedRowsStandExactly) {
  for (const auto& p : kPinned) {
    const PooledRow* r = halvern::FindRow(halvern::kOuiVendors, halvern::kOuiVendorCount, p.first);
    ASSERT_NE(r, nullptr) << std::hex << p.first;
    EXPECT_EQ(r->first, p.first) << p.text;
    EXPECT_EQ(r->last, p.last) << p.text;
    EXPECT_STREQ(OuiText(*r), p.text);
  }
}

TEST(HalvernTables, FindRowBisectsRangesAndGaps) {
  const NameRow rows[] = {{2, 2, "a"}, {5, 9, "b"}, {10, 10, "c"}, {20, 30, "d"}};
  const struct {
    uint32_t key;
    const char* text;
  } cases[] = {{0, nullptr},  {1, nullptr}, {2, "a"},  {3, nullptr},  {5, "b"},       {7, "b"},
               {9, "b"},      {10, "c"},    {11, nullptr}, {20, "d"}, {30, "d"},       {31, nullptr},
               {0xFFFFFFFFu, nullptr}};
  for (const auto& c : cases) {
    const NameRow* r = halvern::FindRow(rows, 4, c.key);
    if (c.text) {
      ASSERT_NE(r, nullptr) << c.key;
      EXPECT_STREQ(r->text, c.text) << c.key;
    } else {
      EXPECT_EQ(r, nullptr) << c.key;
    }
  }
  EXPECT_EQ(halvern::FindRow(rows, 0, 2), nullptr);
}

}  // namespace
