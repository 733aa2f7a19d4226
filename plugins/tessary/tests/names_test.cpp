// The name tables of NCP and SAP, read without a host: the rows that matter
// pinned, and each table's size found by asking for every code.
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "tessary.h"

namespace {

using tessary::NcpFunctionName;

// The name of a request with the given function, subfunction at its place.
std::string Request(BYTE function, BYTE subfunction = 0) {
  BYTE request[10] = {0x22, 0x22, 1, 5, 2, 1, function, 0, 1, 0};
  const int at = tessary::NcpSubfunctionAt(function);
  if (at) request[at] = subfunction;
  char text[160];
  EXPECT_TRUE(NcpFunctionName(qv::View::Over(request, sizeof request), text, sizeof text));
  return text;
}

TEST(NcpNames, FunctionsAndSubfunctions) {
  const struct {
    BYTE function, subfunction;
    const char* text;
  } rows[] = {
      {1, 0, "File set lock (old)"},
      {72, 0, "Read From a File"},
      {110, 0, "Lock physical record set"},
      {34, 1, "TTS Begin Transaction"},  // at byte 7
      {22, 1, "Get directory path"},     // at byte 9, after the length
      {87, 2, "Initialize Search "},     // the trailing blank stays
      {23, 5, "Get Station\x92s Logged Info (old)"},  // 0x92, the Windows-1252 apostrophe
      {22, 32, "Scan volume\x92s user disk restrictions"},
      {23, 230, "Get Object\x92s Remaining Disk Space"},
      {123, 32, "Get Media Manager Object Children\x92s List"},
      {23, 254, "Clear Connection Number"},
      {131, 7, "RPC Execute NCF File"},
      {90, 136, "RTDM Request"},
      {17, 4, "valid function code = 17, invalid subfunction code = 4"},
      {22, 153, "valid function code = 22, invalid subfunction code = 153"},
      {123, 255, "valid function code = 123, invalid subfunction code = 255"},
      {15, 0, "invalid function code = 15"},
      {0, 0, "invalid function code = 0"},
      {255, 0, "invalid function code = 255"},
  };
  for (const auto& r : rows) EXPECT_EQ(Request(r.function, r.subfunction), r.text);
}

// 54 function names and 16 subfunction tables of the sizes below; each
// table's miss names its own function code.
TEST(NcpNames, TableSizes) {
  const std::map<int, std::pair<int, int>> tables = {
      {17, {9, 7}},   {21, {9, 8}},   {22, {9, 50}}, {23, {9, 141}}, {32, {7, 5}},   {34, {7, 11}},
      {35, {9, 19}},  {36, {9, 7}},   {86, {7, 5}},  {87, {7, 41}},  {90, {9, 13}},  {104, {7, 8}},
      {111, {7, 5}},  {114, {9, 5}},  {123, {9, 51}}, {131, {9, 7}},
  };
  int functions = 0;
  for (int f = 0; f < 256; f++) {
    SCOPED_TRACE(f);
    const auto table = tables.find(f);
    ASSERT_EQ(tessary::NcpSubfunctionAt((BYTE)f), table == tables.end() ? 0 : table->second.first);
    if (table == tables.end()) {
      if (Request((BYTE)f) != "invalid function code = " + std::to_string(f)) functions++;
      continue;
    }
    const std::string miss = "valid function code = " + std::to_string(f) + ", invalid subfunction code = ";
    int rows = 0;
    for (int s = 0; s < 256; s++) {
      const std::string text = Request((BYTE)f, (BYTE)s);
      if (text == miss + std::to_string(s))
        continue;
      EXPECT_EQ(text.find("valid function code"), std::string::npos) << s;
      rows++;
    }
    EXPECT_EQ(rows, table->second.second);
  }
  EXPECT_EQ(functions, 54);
}

// The codes a name needs must have been captured.
TEST(NcpNames, CodesNotCaptured) {
  const BYTE request[] = {0x22, 0x22, 1, 5, 2, 1, 23, 0, 1};
  char text[128] = "unchanged";
  EXPECT_FALSE(NcpFunctionName(qv::View::Over(request, 6), text, sizeof text));
  EXPECT_FALSE(NcpFunctionName(qv::View::Over(request, 9), text, sizeof text));  // subfunction at 9
  EXPECT_STREQ(text, "unchanged");
  const BYTE tts[] = {0x22, 0x22, 1, 5, 2, 1, 34, 1};
  EXPECT_TRUE(NcpFunctionName(qv::View::Over(tts, sizeof tts), text, sizeof text));
  EXPECT_STREQ(text, "TTS Begin Transaction");
}

TEST(NcpNames, CompletionCodes) {
  const struct {
    BYTE code;
    const char* text;
  } rows[] = {
      {0x00, "Success"},
      {0x7F, "Error waiting for lock"},
      {0x8E, "Error --  all files in use"},  // two blanks, as the text has them
      {0x9C, "Error -- invalid path"},
      {0xFF, "Error locking/unlocking, no files found, bad parameter or failure"},
      {0x11, "Unknown completion code = 11"},
      {0xAB, "Unknown completion code = ab"},
  };
  char text[128];
  for (const auto& r : rows) {
    tessary::NcpCompletionCodeText(r.code, text, sizeof text);
    EXPECT_STREQ(text, r.text);
  }
  int named = 0;
  for (int c = 0; c < 256; c++) {
    tessary::NcpCompletionCodeText((BYTE)c, text, sizeof text);
    if (std::string(text).rfind("Unknown completion code", 0) != 0) named++;
  }
  EXPECT_EQ(named, 89);
}

TEST(SapNames, ServiceTypes) {
  const struct {
    WORD type;
    const char* text;
  } rows[] = {
      {0x0004, "File Server"},
      {0xFFFF, "Any Service"},
      {0x1234, "Unknown Service Type"},
      {0x0000, "Unknown Service Type"},
      {0x0098, "Netware Access Server"},
      {0x009B, "Netware Access Server"},
      {0x067B, "Microsoft File and Print Sharing for NetWare"},
      {0x067C, "Microsoft File and Print Sharing for NetWare"},
      {0x0880, "Intel Netport PRO"},
      {0x0881, "Intel Netport PRO"},
      {0x0116, "CSA CM  (f/Communications Executive)"},
      {0x0327, "Microsoft Diagnostiocs"},
      {0x030A, "Galacticomm's Worldgroup Server"},  // a plain apostrophe here
      {0x85BE, "Cisco Enhanced Interior Routing Protocol (EIGRP)"},
  };
  for (const auto& r : rows) EXPECT_STREQ(tessary::SapServiceTypeName(r.type), r.text) << r.type;
  int named = 0;
  for (int t = 0; t < 0x10000; t++)
    if (std::string(tessary::SapServiceTypeName((WORD)t)) != "Unknown Service Type") named++;
  EXPECT_EQ(named, 187);
}

}  // namespace
