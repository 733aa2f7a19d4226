// The lookups as the parsers meet them: through the built library, both by
// the monitor-table slots it fills and by its exported names.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "halvern.h"
#include "tables.h"
#include "testhost.h"

namespace {

using qvtest::TestHost;

const BYTE kUntouched = 0xA5;

// The six lookups of one source (table slots or exported names).
struct Lookups {
  const char* source;
  RetrieveKeyProc RetrieveEtherType;
  RetrieveKeyProc RetrieveOUI;
  RetrieveNumberProc RetrieveLSap;
  GetHexKeyProc GetHexEtherType;
  GetHexKeyProc GetHexOUI;
  GetHexNumberProc GetHexLSap;
};

void* Symbol(void* handle, const char* name) {
  void* p = dlsym(handle, name);
  EXPECT_NE(p, nullptr) << name << " is not exported";
  return p;
}

Lookups Exported(void* handle) {
  return Lookups{"exports",
                 reinterpret_cast<RetrieveKeyProc>(Symbol(handle, "RetrieveEtherType")),
                 reinterpret_cast<RetrieveKeyProc>(Symbol(handle, "RetrieveOUI")),
                 reinterpret_cast<RetrieveNumberProc>(Symbol(handle, "RetrieveLSap")),
                 reinterpret_cast<GetHexKeyProc>(Symbol(handle, "GetHexEtherType")),
                 reinterpret_cast<GetHexKeyProc>(Symbol(handle, "GetHexOUI")),
                 reinterpret_cast<GetHexNumberProc>(Symbol(handle, "GetHexLSap"))};
}

Lookups Slots(const MonitorTable* t) {
  return Lookups{"table slots", t->RetrieveEtherType, t->RetrieveOUI, t->RetrieveLSap,
                 t->GetHexEtherType,   t->GetHexOUI,   t->GetHexLSap};
}

// A written buffer: the text up to its NUL, how many bytes were touched.
struct Written {
  std::string text;
  size_t touched;
};

// Runs a call on a buffer pre-filled with kUntouched and reports the text and
// the extent of what the call wrote.
template <typename Call>
Written Write(Call call) {
  BYTE buffer[128];
  memset(buffer, kUntouched, sizeof buffer);
  call(reinterpret_cast<char*>(buffer));
  size_t touched = sizeof buffer;
  while (touched > 0 && buffer[touched - 1] == kUntouched) touched--;
  const char* text = reinterpret_cast<const char*>(buffer);
  return Written{std::string(text, strnlen(text, sizeof buffer)), touched};
}

// Halvern loaded and started, with both ways to reach its lookups.
class Halvern : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.loadErrors.empty()) << host.loadErrors.front();
    ASSERT_EQ(host.host.libraries().size(), 1u);
    sources = {Slots(host.table()), Exported(host.host.libraries()[0].handle)};
  }

  TestHost host{{"halvern"}};
  std::vector<Lookups> sources;
};

// ---------------------------------------------------------------- attach

TEST_F(Halvern, AttachFillsTheSixSlotsWithTheExports) {
  EXPECT_TRUE(host.messages.empty());
  const Lookups& slots = sources[0];
  const Lookups& exports = sources[1];
  EXPECT_EQ(slots.RetrieveEtherType, exports.RetrieveEtherType);
  EXPECT_EQ(slots.RetrieveOUI, exports.RetrieveOUI);
  EXPECT_EQ(slots.RetrieveLSap, exports.RetrieveLSap);
  EXPECT_EQ(slots.GetHexEtherType, exports.GetHexEtherType);
  EXPECT_EQ(slots.GetHexOUI, exports.GetHexOUI);
  EXPECT_EQ(slots.GetHexLSap, exports.GetHexLSap);
  // Halvern registers nothing.
  EXPECT_TRUE(host.host.protocols().empty());
}

// ---------------------------------------------------------------- EtherTypes

struct EtherTypeCase {
  BYTE bytes[2];
  int style;
  const char* text;
  BYTE named;
};

const EtherTypeCase kEtherTypeCases[] = {
    {{0x08, 0x00}, 1, "IP", TRUE},
    {{0x08, 0x00}, 2, "DOD Internet Protocol", TRUE},
    {{0x08, 0x00}, 0, "", FALSE},
    {{0x08, 0x00}, 3, "0800", FALSE},
    {{0x08, 0x00}, -1, "0800", FALSE},
    {{0x08, 0x00}, 0x101, "0800", FALSE},
    {{0x08, 0x06}, 1, "ARP", TRUE},
    {{0x08, 0x06}, 2, "IP Address Resolution Protocol (ARP)", TRUE},
    {{0x81, 0x37}, 1, "IPX", TRUE},
    {{0x81, 0x37}, 2, "Novell NetWare IPX", TRUE},
    {{0x86, 0xDD}, 1, "IPV6", TRUE},
    {{0x86, 0xDD}, 2, "IP version 6", TRUE},
    {{0x81, 0x00}, 1, "IEEE 802.1q", TRUE},
    {{0x81, 0x00}, 2, "IEEE802.1q VLAN", TRUE},
    // The one key with a short name and no long text.
    {{0x88, 0x08}, 1, "802.3x Pause", TRUE},
    {{0x88, 0x08}, 2, "8808", FALSE},
    // Ranges: both ends and the keys just outside.
    {{0x10, 0x00}, 2, "Berkeley Trailer Negotiation", TRUE},
    {{0x10, 0x01}, 2, "Berkeley Trailer Encapsulation for IP", TRUE},
    {{0x10, 0x05}, 1, "IP Trailer", TRUE},
    {{0x10, 0x05}, 2, "Berkeley Trailer Encapsulation for IP", TRUE},
    {{0x10, 0x0F}, 2, "Berkeley Trailer Encapsulation for IP", TRUE},
    {{0x10, 0x10}, 1, "1010", FALSE},
    {{0x80, 0xA3}, 1, "Nixdorf", TRUE},
    {{0x80, 0xA4}, 1, "Siemens", TRUE},
    {{0x80, 0xA4}, 2, "Siemens Gammasonics Inc.", TRUE},
    {{0x80, 0xB3}, 1, "Siemens", TRUE},
    {{0x80, 0xB3}, 2, "Siemens Gammasonics Inc.", TRUE},
    {{0x80, 0xB4}, 1, "80B4", FALSE},
    {{0x80, 0xB4}, 2, "80B4", FALSE},
    // Gaps between named neighbours.
    {{0x70, 0x04}, 1, "7004", FALSE},
    {{0x70, 0x04}, 2, "7004", FALSE},
    {{0x70, 0x06}, 1, "7006", FALSE},
    {{0x70, 0x08}, 2, "7008", FALSE},
    // 802.3 lengths and the ends of the key space.
    {{0x05, 0xDC}, 1, "05DC", FALSE},
    {{0x05, 0xDC}, 2, "05DC", FALSE},
    {{0x00, 0x00}, 1, "0000", FALSE},
    {{0x00, 0x00}, 2, "0000", FALSE},
    {{0x05, 0xFF}, 1, "05FF", FALSE},
    {{0x06, 0x00}, 1, "XNS IDP", TRUE},
    {{0xFF, 0x00}, 2, "BBN VITAL-LanBridge", TRUE},
    {{0xFF, 0xFF}, 1, "FFFF", FALSE},
    {{0x0A, 0xBC}, 2, "0ABC", FALSE},
    // Spellings kept as they stand.
    {{0x0B, 0xAF}, 2, "Banyon VINES Echo", TRUE},
    {{0x3C, 0x03}, 2, "3Com NBP Connect repsonse", TRUE},
    {{0x80, 0x37}, 2, "Novel Netware", TRUE},
    {{0x88, 0x63}, 1, "PPOE-D", TRUE},
    {{0x88, 0x64}, 1, "PPOE-S", TRUE},
    // The longest texts.
    {{0x80, 0x3C}, 1, "DEC DNS Naming Service", TRUE},
    {{0x80, 0x48}, 2, "DEC Availability Manager for Distributed Systems DECamds", TRUE},
};

TEST_F(Halvern, RetrieveEtherTypeEdgeCases) {
  for (const Lookups& l : sources) {
    for (const EtherTypeCase& c : kEtherTypeCases) {
      SCOPED_TRACE(testing::Message() << l.source << ": " << std::hex << (c.bytes[0] << 8 | c.bytes[1])
                                      << " style " << std::dec << c.style);
      BYTE named = 0xEE;
      Written w = Write([&](char* text) { named = l.RetrieveEtherType(c.bytes, text, c.style); });
      EXPECT_EQ(w.text, c.text);
      EXPECT_EQ(named, c.named);
      // The text and its NUL, nothing more.
      EXPECT_EQ(w.touched, strlen(c.text) + 1);
    }
  }
}

// ---------------------------------------------------------------- OUIs

struct OuiCase {
  BYTE bytes[3];
  const char* text;
  BYTE named;
};

const OuiCase kOuiCases[] = {
    {{0x00, 0x00, 0x00}, "Xerox", TRUE},
    {{0x00, 0x00, 0x05}, "Xerox", TRUE},
    {{0x00, 0x00, 0x09}, "Xerox", TRUE},
    {{0x00, 0x00, 0x0A}, "Omron Tateisi Electronics", TRUE},
    {{0x00, 0x00, 0x0B}, "Matrix", TRUE},
    {{0x00, 0x00, 0x0C}, "Cisco", TRUE},
    {{0x00, 0x01, 0x43}, "Cisco", TRUE},
    {{0x00, 0x01, 0xE7}, "Hewlett-Packard", TRUE},
    {{0x00, 0x02, 0x55}, "IBM", TRUE},
    {{0x00, 0xAA, 0x02}, "Intel", TRUE},
    {{0x00, 0xDD, 0x0F}, "Ungermann-Bass", TRUE},
    {{0x02, 0x07, 0x01}, "RACAL-Datacom", TRUE},
    {{0x08, 0x00, 0x20}, "SUN Microsystems", TRUE},
    {{0x08, 0x00, 0x2B}, "DEC", TRUE},
    {{0xAA, 0x00, 0x00}, "DEC", TRUE},
    {{0xAA, 0x00, 0x04}, "DEC", TRUE},
    // Past the highest key nothing is named; the hex text is upper-case.
    {{0xAA, 0x00, 0x05}, "AA0005", FALSE},
    {{0xAB, 0xCD, 0xEF}, "ABCDEF", FALSE},
    {{0xFF, 0xFF, 0xFF}, "FFFFFF", FALSE},
};

TEST_F(Halvern, RetrieveOUIHitsFillSixtyFourBytesMissesWriteHex) {
  for (const Lookups& l : sources) {
    for (const OuiCase& c : kOuiCases) {
      SCOPED_TRACE(testing::Message() << l.source << ": " << c.text);
      for (int style : {1, 2, 0, 7}) {
        BYTE named = 0xEE;
        BYTE buffer[80];
        memset(buffer, kUntouched, sizeof buffer);
        named = l.RetrieveOUI(c.bytes, reinterpret_cast<char*>(buffer), style);
        EXPECT_EQ(named, c.named);
        EXPECT_STREQ(reinterpret_cast<char*>(buffer), c.text);
        size_t n = strlen(c.text);
        size_t end = c.named ? HALVERN_OUI_TEXT_SIZE : n + 1;
        for (size_t i = n; i < end; i++) ASSERT_EQ(buffer[i], 0) << "byte " << i;
        for (size_t i = end; i < sizeof buffer; i++) ASSERT_EQ(buffer[i], kUntouched) << "byte " << i;
      }
    }
  }
}

// ---------------------------------------------------------------- SAPs

struct SapRow {
  DWORD sap;
  const char* text;
};

const SapRow kSaps[] = {
    {0x00, "Null LSAP"},
    {0x02, "LLC Sublayer Management"},
    {0x04, "SNA Path Control"},
    {0x06, "IP"},
    {0x08, "SNA"},
    {0x0C, "SNA"},
    {0x0E, "PROWAY"},
    {0x10, "Netware"},
    {0x18, "Texas Instruments"},
    {0x42, "IEEE 802.1"},
    {0x4E, "EIA RS-511"},
    {0x7E, "ISO 8208"},
    {0x80, "XNS"},
    {0x86, "Nestar"},
    {0x8E, "PROWAY"},
    {0x98, "ARP"},
    {0xAA, "SNAP"},
    {0xBC, "VINES"},
    {0xE0, "Netware"},
    {0xF0, "NetBIOS"},
    {0xF4, "IBM LAN Management"},
    {0xF8, "IBM Remote Program Load (RPL)"},
    {0xFA, "Ungermann-Bass"},
    {0xFC, "RPL"},
    {0xFE, "ISO Network Layer Protocol"},
    {0xFF, "Global LSAP"},
};

TEST_F(Halvern, RetrieveLSapNamesExactlyTheTwentySixSaps) {
  for (const Lookups& l : sources) {
    SCOPED_TRACE(l.source);
    for (DWORD sap = 0; sap < 0x100; sap++) {
      const SapRow* row = nullptr;
      for (const SapRow& r : kSaps)
        if (r.sap == sap) row = &r;
      char hex[3];
      snprintf(hex, sizeof hex, "%02X", (unsigned)sap);
      const char* want = row ? row->text : hex;
      // Only the low byte counts.
      for (DWORD high : {0x000u, 0x100u, 0xFFFFFF00u}) {
        BYTE named = 0xEE;
        Written w = Write([&](char* text) { named = l.RetrieveLSap(high | sap, text, 2); });
        EXPECT_EQ(w.text, want) << std::hex << (high | sap);
        EXPECT_EQ(named, row ? TRUE : FALSE) << std::hex << (high | sap);
        EXPECT_EQ(w.touched, strlen(want) + 1);
      }
    }
  }
}

// ---------------------------------------------------------------- hex forms

TEST_F(Halvern, HexFormsAreUpperCaseWithLeadingZeros) {
  struct HexCase {
    BYTE bytes[3];
    const char* etherType;  // first two bytes
    const char* oui;
  };
  const HexCase cases[] = {
      {{0x86, 0xDD, 0x00}, "86DD", "86DD00"},
      {{0x0A, 0xBC, 0xDE}, "0ABC", "0ABCDE"},
      {{0x08, 0x00, 0x2B}, "0800", "08002B"},  // named or not
      {{0x00, 0xA0, 0xC9}, "00A0", "00A0C9"},
      {{0x00, 0x00, 0x00}, "0000", "000000"},
      {{0xFF, 0xFF, 0xFF}, "FFFF", "FFFFFF"},
  };
  const struct {
    DWORD sap;
    const char* text;
  } saps[] = {{0x0B, "0B"}, {0xAA, "AA"}, {0x1FE, "FE"}, {0xFFFFFF00u, "00"}};
  for (const Lookups& l : sources) {
    SCOPED_TRACE(l.source);
    for (const HexCase& c : cases) {
      Written e = Write([&](char* text) { l.GetHexEtherType(c.bytes, text); });
      EXPECT_EQ(e.text, c.etherType);
      EXPECT_EQ(e.touched, 5u);
      Written o = Write([&](char* text) { l.GetHexOUI(c.bytes, text); });
      EXPECT_EQ(o.text, c.oui);
      EXPECT_EQ(o.touched, 7u);
    }
    for (const auto& s : saps) {
      Written w = Write([&](char* text) { l.GetHexLSap(s.sap, text); });
      EXPECT_EQ(w.text, s.text);
      EXPECT_EQ(w.touched, 3u);
    }
  }
}

// ---------------------------------------------------------------- whole tables

// Reference search: a plain scan of the rows.
template <typename Row>
const Row* Scan(const Row* rows, size_t count, uint32_t key) {
  for (size_t i = 0; i < count; i++)
    if (rows[i].first <= key && key <= rows[i].last) return &rows[i];
  return nullptr;
}

TEST_F(Halvern, EveryEtherTypeFindsWhatAScanFinds) {
  const Lookups& l = sources[0];
  const struct {
    int style;
    const halvern::NameRow* rows;
    size_t count;
  } tables[] = {{1, halvern::kEtherTypeShortNames, halvern::kEtherTypeShortNamesCount},
                {2, halvern::kEtherTypeLongTexts, halvern::kEtherTypeLongTextsCount}};
  // Every key twice in a row, in three orders: up, down, and by steps of
  // 256 (keys that share their low bits in turn). The lookups keep recent
  // rows, and a kept row must be the key's own.
  auto keyAt = [](int order, uint32_t i) -> uint32_t {
    if (order == 0) return i;
    if (order == 1) return 0xFFFF - i;
    return (i << 8 | i >> 8) & 0xFFFF;
  };
  for (const auto& t : tables) {
    for (uint32_t step = 0; step < 6 * 0x10000; step++) {
      const uint32_t key = keyAt((int)(step / 0x20000), step / 2 % 0x10000);
      const BYTE bytes[2] = {(BYTE)(key >> 8), (BYTE)key};
      char text[64], hex[8];
      BYTE named = l.RetrieveEtherType(bytes, text, t.style);
      const halvern::NameRow* row = Scan(t.rows, t.count, key);
      snprintf(hex, sizeof hex, "%04X", key);
      ASSERT_EQ(named, row ? TRUE : FALSE) << std::hex << key << " style " << t.style;
      ASSERT_STREQ(text, row ? row->text : hex) << std::hex << key << " style " << t.style;
    }
  }
}

TEST_F(Halvern, EveryOuiRowIsFoundAtItsEndsAndNotBeyond) {
  const Lookups& l = sources[0];
  const halvern::PooledRow* rows = halvern::kOuiVendors;
  const size_t count = halvern::kOuiVendorCount;
  for (size_t i = 0; i < count; i++) {
    for (int64_t key : {(int64_t)rows[i].first - 1, (int64_t)rows[i].first, (int64_t)rows[i].last,
                        (int64_t)rows[i].last + 1}) {
      if (key < 0) continue;
      const BYTE bytes[3] = {(BYTE)(key >> 16), (BYTE)(key >> 8), (BYTE)key};
      char text[HALVERN_OUI_TEXT_SIZE], hex[8];
      BYTE named = l.RetrieveOUI(bytes, text, 2);
      const halvern::PooledRow* row = nullptr;
      if (key >= rows[i].first && key <= rows[i].last)
        row = &rows[i];
      else if (i > 0 && key <= rows[i - 1].last)
        row = &rows[i - 1];
      else if (i + 1 < count && key >= rows[i + 1].first)
        row = &rows[i + 1];
      snprintf(hex, sizeof hex, "%06X", (unsigned)key);
      ASSERT_EQ(named, row ? TRUE : FALSE) << std::hex << key;
      ASSERT_STREQ(text, row ? halvern::kOuiVendorTexts + row->text : hex) << std::hex << key;
    }
  }
}

// ---------------------------------------------------------------- exports alone

TEST(HalvernExports, WorkWithoutAnyControlCall) {
  TestHost host({"halvern"}, false);
  ASSERT_TRUE(host.loadErrors.empty()) << host.loadErrors.front();
  Lookups l = Exported(host.host.libraries()[0].handle);
  const BYTE ip[2] = {0x08, 0x00}, xerox[3] = {0x00, 0x00, 0x05};
  char text[HALVERN_OUI_TEXT_SIZE];
  EXPECT_EQ(l.RetrieveEtherType(ip, text, 2), TRUE);
  EXPECT_STREQ(text, "DOD Internet Protocol");
  EXPECT_EQ(l.RetrieveOUI(xerox, text, 1), TRUE);
  EXPECT_STREQ(text, "Xerox");
  EXPECT_EQ(l.RetrieveLSap(0x1AA, text, 2), TRUE);
  EXPECT_STREQ(text, "SNAP");
}

// ---------------------------------------------------------------- DLLControl

// A private copy of the library, so that its globals (table pointer, inert
// flag) start fresh whatever other tests did.
class PrivateHalvern {
 public:
  explicit PrivateHalvern(const std::string& tag) {
    namespace fs = std::filesystem;
    path_ = fs::path(testing::TempDir()) / ("libhalvern-" + tag + "-" + std::to_string(getpid()) + ".so");
    fs::copy_file(qvtest::PluginPath("halvern"), path_, fs::copy_options::overwrite_existing);
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) control = reinterpret_cast<DLLControlProc>(dlsym(handle_, "DLLControl"));
  }
  ~PrivateHalvern() {
    if (handle_) dlclose(handle_);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  void* handle() const { return handle_; }

  DLLControlProc control = nullptr;

 private:
  std::filesystem::path path_;
  void* handle_ = nullptr;
};

std::vector<qvtest::Message> g_messages;
int RecordMessage(HWND owner, const char* text, const char* title, DWORD style, void*) {
  EXPECT_EQ(owner, nullptr);
  EXPECT_EQ(style, plat::MB_OK);
  g_messages.push_back(qvtest::Message{title, text});
  return plat::IDOK;
}

class HalvernControl : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    plat::SetMessageSink(RecordMessage, nullptr);
    memset(&table, 0x5A, sizeof table);
    table.version = MONITOR_TABLE_VERSION;
  }
  void TearDown() override { plat::SetMessageSink(nullptr, nullptr); }

  MonitorTable table;
};

TEST_F(HalvernControl, AttachWritesOnlyTheSixSlots) {
  PrivateHalvern lib("attach");
  ASSERT_NE(lib.control, nullptr) << dlerror();
  MonitorTable before;
  memcpy(&before, &table, sizeof table);
  EXPECT_EQ(lib.control(DLLC_ATTACH, &table, 0, 0, 0), 0u);
  EXPECT_TRUE(g_messages.empty());
  Lookups exports = Exported(lib.handle());
  EXPECT_EQ(table.RetrieveEtherType, exports.RetrieveEtherType);
  EXPECT_EQ(table.RetrieveOUI, exports.RetrieveOUI);
  EXPECT_EQ(table.RetrieveLSap, exports.RetrieveLSap);
  EXPECT_EQ(table.GetHexEtherType, exports.GetHexEtherType);
  EXPECT_EQ(table.GetHexOUI, exports.GetHexOUI);
  EXPECT_EQ(table.GetHexLSap, exports.GetHexLSap);
  const size_t from = offsetof(MonitorTable, RetrieveEtherType), to = offsetof(MonitorTable, RetrieveIPProtocol);
  EXPECT_EQ(memcmp(&table, &before, from), 0);
  EXPECT_EQ(memcmp(reinterpret_cast<BYTE*>(&table) + to, reinterpret_cast<BYTE*>(&before) + to, sizeof table - to),
            0);
}

TEST_F(HalvernControl, OtherTypesDoNothing) {
  PrivateHalvern lib("types");
  ASSERT_NE(lib.control, nullptr) << dlerror();
  MonitorTable before;
  memcpy(&before, &table, sizeof table);
  for (DWORD type : {(DWORD)DLLC_GET_SERVICES, (DWORD)DLLC_REGISTER, 3u, 0xFFFFFFFFu}) {
    EXPECT_EQ(lib.control(type, &table, 0, 0, 0), 0u) << type;
    EXPECT_EQ(memcmp(&table, &before, sizeof table), 0) << type;
  }
  EXPECT_TRUE(g_messages.empty());
  // Still able to attach afterwards.
  lib.control(DLLC_ATTACH, &table, 0, 0, 0);
  EXPECT_EQ(table.RetrieveOUI, Exported(lib.handle()).RetrieveOUI);
}

TEST_F(HalvernControl, WrongVersionShowsTheMessageOnceAndGoesInert) {
  for (DWORD version : {275u, 277u, 0u}) {
    SCOPED_TRACE(version);
    g_messages.clear();
    PrivateHalvern lib("version" + std::to_string(version));
    ASSERT_NE(lib.control, nullptr) << dlerror();
    MonitorTable bad, badBefore;
    memcpy(&bad, &table, sizeof table);
    bad.version = version;
    memcpy(&badBefore, &bad, sizeof bad);
    EXPECT_EQ(lib.control(DLLC_ATTACH, &bad, 0, 0, 0), 0u);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].title, "Quorvane Network Monitor Error");
    EXPECT_EQ(g_messages[0].text, "Halvern has mismatched Monitor Table version!\nPlease verify your installation.");
    EXPECT_EQ(memcmp(&bad, &badBefore, sizeof bad), 0) << "a mismatched table gets no slots";

    // Inert from now on: a good table is left alone, and no second message.
    MonitorTable before;
    memcpy(&before, &table, sizeof table);
    for (DWORD type : {(DWORD)DLLC_ATTACH, (DWORD)DLLC_GET_SERVICES, (DWORD)DLLC_REGISTER})
      EXPECT_EQ(lib.control(type, &table, 0, 0, 0), 0u);
    EXPECT_EQ(memcmp(&table, &before, sizeof table), 0);
    EXPECT_EQ(g_messages.size(), 1u);

    // The lookups themselves keep working.
    const BYTE ip[2] = {0x08, 0x00};
    char text[32];
    EXPECT_EQ(Exported(lib.handle()).RetrieveEtherType(ip, text, 1), TRUE);
    EXPECT_STREQ(text, "IP");
  }
}

}  // namespace
