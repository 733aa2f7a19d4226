// The texts of the name table windows' rows and the editor's address field.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "dialogs.h"
#include "window_text.h"
#include "testhost.h"

namespace {

using pallisand::NameEntry;
using qvtest::Bytes;
using qvtest::Hex;

TEST(PallisandWindowText, AddressesShowEveryByte) {
  const struct {
    const char* hex;
    const char* text;
  } cases[] = {
      {"", ""},
      {"0a", "0A"},
      {"00a0c914c829", "00-A0-C9-14-C8-29"},
      // No 16-byte limit here, unlike the summary columns.
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "00-01-02-03-04-05-06-07-08-09-0A-0B-0C-0D-0E-0F-10-11-12-13-14-15-16-17-18-19-1A-1B-1C-1D-1E-1F"},
  };
  for (const auto& c : cases) {
    Bytes a = Hex(c.hex);
    char text[pallisand::kAddressTextSize];
    memset(text, 'x', sizeof text);
    pallisand::AddressText(a.data(), (int)a.size(), text);
    EXPECT_STREQ(text, c.text);
  }
}

TEST(PallisandWindowText, FlagsReadGroupFlaggedLocked) {
  const struct {
    BYTE group, flagged, locked;
    const char* text;
  } cases[] = {
      {0, 0, 0, "   "}, {1, 0, 0, "G  "}, {0, 1, 0, " P "}, {0, 0, 1, "  L"}, {1, 1, 1, "GPL"}, {1, 0, 1, "G L"},
  };
  for (const auto& c : cases) {
    NameEntry e = {};
    e.group = c.group;
    e.flagged = c.flagged;
    e.locked = c.locked;
    char text[pallisand::kFlagsTextSize];
    pallisand::FlagsText(e, text);
    EXPECT_STREQ(text, c.text);
  }
}

TEST(PallisandWindowText, TimesAreMonthDayYearThenTimeToTheMillisecond) {
  const struct {
    plat::SYSTEMTIME time;
    const char* text;
  } cases[] = {
      {{2024, 2, 4, 29, 12, 34, 56, 789}, "02:29:2024  12:34:56:789"},
      {{1601, 1, 1, 1, 0, 0, 0, 0}, "01:01:1601  00:00:00:000"},
      {{2003, 11, 0, 9, 7, 5, 3, 1}, "11:09:2003  07:05:03:001"},
  };
  for (const auto& c : cases) {
    plat::FILETIME ft;
    ASSERT_TRUE(plat::SystemTimeToFileTime(&c.time, &ft));
    char text[pallisand::kTimeTextSize];
    pallisand::TimeText(ft, text);
    EXPECT_STREQ(text, c.text);
  }
}

TEST(PallisandWindowText, EditorAddressesDropSeparatorsAndReadHexPairs) {
  const struct {
    const char* typed;
    pallisand::AddressCheck check;
    const char* bytes;
  } cases[] = {
      {"00.a0 c9-14-C8-29", pallisand::ADDRESS_OK, "00a0c914c829"},
      {"00-00-00-00-00-00", pallisand::ADDRESS_OK, "000000000000"},
      {"\tff", pallisand::ADDRESS_OK, "ff"},
      {"0123456789abcdefABCDEF012345678", pallisand::ADDRESS_BAD_DIGITS, ""},  // 31 digits: odd
      {"0123456789abcdefABCDEF0123456789", pallisand::ADDRESS_OK, "0123456789abcdefabcdef0123456789"},
      {"00-A0-C", pallisand::ADDRESS_BAD_DIGITS, ""},
      {"00-G0", pallisand::ADDRESS_BAD_DIGITS, ""},
      {"00:A0", pallisand::ADDRESS_BAD_DIGITS, ""},
      {"", pallisand::ADDRESS_EMPTY, ""},
      // Only separators: no bytes, which would match every address.
      {" - . \t-", pallisand::ADDRESS_EMPTY, ""},
  };
  for (const auto& c : cases) {
    BYTE address[pallisand::kMaxAddressLength];
    memset(address, 0xEE, sizeof address);
    int length = -1;
    EXPECT_EQ(pallisand::ParseAddress(c.typed, address, &length), c.check) << c.typed;
    Bytes want = Hex(c.bytes);
    if (c.check != pallisand::ADDRESS_OK) want.clear();
    EXPECT_EQ(length, (int)want.size()) << c.typed;
    EXPECT_EQ(Bytes(address, address + want.size()), want) << c.typed;
    // The rest of the field is zero, as the duplicate test reads all of it.
    for (size_t i = want.size(); i < sizeof address; i++) ASSERT_EQ(address[i], 0) << c.typed << " byte " << i;
  }
}

TEST(PallisandWindowText, ToolTipsOfTheToolbarButtons) {
  const struct {
    int id;
    const char* tip;
  } cases[] = {{pallisand::CMD_ADD, "Add a new name mapping"},     {pallisand::CMD_DELETE, "Delete a name mapping"},
               {pallisand::CMD_EDIT, "Edit a name mapping"},       {pallisand::CMD_LOCK, "Lock a name mapping"},
               {pallisand::CMD_UNLOCK, "Unlock a name mapping"},   {pallisand::CMD_NONE, "Unknown control"},
               {pallisand::CMD_DESTINATION, "Unknown control"}};
  for (const auto& c : cases) EXPECT_STREQ(pallisand::ToolTipText(c.id), c.tip) << c.id;
}

}  // namespace
