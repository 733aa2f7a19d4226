// The library entry and the name table services.
#include <dlfcn.h>
#include <errno.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <random>

#include "names_fixture.h"

namespace names_test {
namespace {

using PallisandStore = NamesTest;

// ---------------------------------------------------------------- entry

struct Slot {
  const char* name;
  size_t offset;
};
#define SLOT(field) Slot{#field, offsetof(MonitorTable, field)}
const Slot kSlots[] = {
    SLOT(ReserveNameEntries), SLOT(ClearNameTable), SLOT(ShowNameTable),  SLOT(ShowHostColors),
    SLOT(ViewNameTable),      SLOT(AddFlaggedName), SLOT(AddName),        SLOT(LookupName),
    SLOT(LookupAllNames),     SLOT(DeleteName),     SLOT(PurgeNames),     SLOT(SaveNameFile),
    SLOT(LoadNameFile),       SLOT(FormatHexAddress), SLOT(FormatDottedAddress), SLOT(FillNameCombo),
    SLOT(GetAddressOfName),
};
#undef SLOT

void* SlotAt(const MonitorTable* t, size_t offset) {
  void* p;
  memcpy(&p, reinterpret_cast<const char*>(t) + offset, sizeof p);
  return p;
}

bool InPallisand(void* function) {
  Dl_info info;
  if (!dladdr(function, &info) || !info.dli_fname) return false;
  std::string file = info.dli_fname;
  return file.size() >= 15 && file.compare(file.size() - 15, 15, "libpallisand.so") == 0;
}

DWORD Control(qvtest::TestHost& h, DWORD type) {
  return h.host.libraries().at(0).control(type, h.table(), 0, 0, 0);
}

TEST(PallisandEntry, OnlyAttachFillsTheSeventeenSlots) {
  qvtest::TestHost h({"pallisand"}, false);
  ASSERT_TRUE(h.loadErrors.empty());
  MonitorTable before = *h.table();
  for (DWORD type : {1u, 2u, 3u, 99u}) {
    EXPECT_EQ(Control(h, type), 0u);
    EXPECT_EQ(memcmp(&before, h.table(), sizeof before), 0) << "type " << type;
  }
  EXPECT_EQ(Control(h, DLLC_ATTACH), 0u);
  MonitorTable after = *h.table();
  for (const Slot& s : kSlots) {
    EXPECT_TRUE(InPallisand(SlotAt(&after, s.offset))) << s.name;
    memcpy(reinterpret_cast<char*>(&after) + s.offset, reinterpret_cast<char*>(&before) + s.offset, sizeof(void*));
  }
  EXPECT_EQ(memcmp(&before, &after, sizeof before), 0) << "a field outside the name slots changed";
  EXPECT_TRUE(h.messages.empty());
}

class PallisandVersion : public ::testing::TestWithParam<DWORD> {};

TEST_P(PallisandVersion, MismatchShowsTheMessageAndStaysInert) {
  std::string path = qvtest::PluginPath("pallisand");
  {
    qvtest::TestHost h({"pallisand"}, false);
    ASSERT_TRUE(h.loadErrors.empty());
    h.table()->version = GetParam();
    MonitorTable before = *h.table();
    EXPECT_EQ(Control(h, DLLC_ATTACH), 0u);
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].title, "Quorvane Network Monitor Error");
    EXPECT_EQ(h.messages[0].text, "Pallisand has mismatched Monitor Table version!\nPlease verify your installation.");
    // Inert for good: a later good table changes nothing and shows nothing.
    h.table()->version = MONITOR_TABLE_VERSION;
    before.version = MONITOR_TABLE_VERSION;
    EXPECT_EQ(Control(h, DLLC_ATTACH), 0u);
    EXPECT_EQ(memcmp(&before, h.table(), sizeof before), 0);
    EXPECT_EQ(h.messages.size(), 1u);
  }
  // The library goes with its host, so the next test gets a fresh one.
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Versions, PallisandVersion, ::testing::Values(275u, 277u, 0u));

// Without Qt the windows are not built; with it, this program runs no
// QApplication for them.
TEST_F(PallisandStore, WindowsThatCannotOpenSaySoAndAnswerAsNotCreated) {
#ifdef QV_PALLISAND_WINDOWS
  const std::string why = " needs the host's window system, which is not running.";
#else
  const std::string why = " is not available in this build.";
#endif
  PlatWindow owner{};
  EXPECT_EQ(t->ShowNameTable(&owner, 5), FALSE);
  EXPECT_EQ(t->ViewNameTable(&owner, 5), -1);
  EXPECT_EQ(t->ShowHostColors(nullptr, 5), -1);
  ASSERT_EQ(h.messages.size(), 3u);
  EXPECT_EQ(h.messages[0].text, "The name table window" + why);
  EXPECT_EQ(h.messages[1].text, "The name table window" + why);
  EXPECT_EQ(h.messages[2].text, "The host display color coding window" + why);
  for (const qvtest::Message& m : h.messages) EXPECT_EQ(m.title, "Quorvane Network Monitor Error");
  EXPECT_FALSE(Changed());
}

#ifdef QV_PALLISAND_WINDOWS
// The windows are a module beside the plug-in, loaded when one is first
// asked for: a plug-in without it names what it could not load.
TEST(PallisandWindowModule, APlugInWithoutItNamesTheModuleAndOpensNoWindow) {
  const std::string folder = std::string(getenv("QUORVANE_CONFIG_DIR")) + "/no-window-module";
  ASSERT_EQ(system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "' && cp '" + qvtest::PluginPath("pallisand") +
                    "' '" + folder + "/'")
                       .c_str()),
            0);
  qvtest::TestHost h({"pallisand"}, true, folder);
  ASSERT_TRUE(h.loadErrors.empty()) << h.loadErrors[0];
  PlatWindow owner{};
  EXPECT_EQ(h.table()->ShowNameTable(&owner, 0), FALSE);
  EXPECT_EQ(h.table()->ShowHostColors(nullptr, 0), -1);
  const std::string missing = folder + "/pallisand-windows.so: cannot open shared object file";
  ASSERT_EQ(h.messages.size(), 2u);
  EXPECT_EQ(h.messages[0].text.rfind("The name table window cannot be opened: " + missing, 0), 0u) << h.messages[0].text;
  EXPECT_EQ(h.messages[1].text.rfind("The host display color coding window cannot be opened: " + missing, 0), 0u)
      << h.messages[1].text;
  EXPECT_EQ(h.messages[0].title, "Quorvane Network Monitor Error");
}
#endif

// ---------------------------------------------------------------- insert

TEST_F(PallisandStore, AddFillsTheEntry) {
  SetClock(10, 20, 30, 456);
  NameEntry* e = Add("Router1", "00A0C914C829", 42);
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(Changed());
  EXPECT_STREQ(e->name, "Router1");
  EXPECT_EQ(AddressHex(e), "00A0C914C829");
  EXPECT_EQ(e->addressLength, 6);
  for (int i = 6; i < pallisand::kMaxAddressLength; i++) EXPECT_EQ(e->address[i], 0) << i;
  EXPECT_EQ(e->value, 42);
  EXPECT_EQ(e->flagged, 0);
  EXPECT_EQ(e->group, 0);
  EXPECT_EQ(e->locked, 0);
  EXPECT_EQ(e->destinationColor, 0u);
  EXPECT_EQ(e->sourceColor, 0u);
  EXPECT_EQ(e->accessCount, 0);
  EXPECT_EQ(pallisand::FileTimeTicks(e->lastAccessed), 0u);
  EXPECT_EQ(pallisand::FileTimeTicks(e->created), Ticks(10, 20, 30, 456));
  EXPECT_EQ(e->next, nullptr);

  NameEntry* f = AddFlagged("Server", "0800", -3);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->flagged, 1);
  EXPECT_EQ(f->value, -3);
  EXPECT_EQ(e->next, f);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Router1", "Server"}));
}

TEST_F(PallisandStore, GroupFlagComesFromTheFirstAddressByte) {
  struct Case {
    const char* hex;
    BYTE group;
  } cases[] = {{"01005E000001", 1}, {"00A0C914C829", 0}, {"FF", 1}, {"FE", 0}, {"", 0}};
  int i = 0;
  for (const Case& c : cases) {
    std::string name = "N" + std::to_string(i++);
    NameEntry* e = Add(name.c_str(), c.hex);
    ASSERT_NE(e, nullptr) << c.hex;
    EXPECT_EQ(e->group, c.group) << c.hex;
  }
  // Length 0 reads no address byte at all.
  NameEntry* e = static_cast<NameEntry*>(t->AddName("Nothing", nullptr, 0, 0));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->group, 0);
  EXPECT_EQ(e->addressLength, 0);
}

TEST_F(PallisandStore, ExistingNameIsReturnedUnchanged) {
  NameEntry* e = Add("ROUTER", "00A0C9", 1);
  ASSERT_NE(e, nullptr);
  ClearChanged();
  EXPECT_EQ(Add("router", "112233", 9), e);
  EXPECT_EQ(AddFlagged("Router", "445566", 8), e);
  EXPECT_STREQ(e->name, "ROUTER");
  EXPECT_EQ(AddressHex(e), "00A0C9");
  EXPECT_EQ(e->value, 1);
  EXPECT_EQ(e->flagged, 0);
  EXPECT_FALSE(Changed());
  EXPECT_EQ(Names(), std::vector<std::string>{"ROUTER"});
}

TEST_F(PallisandStore, InputTheRecordOrTheFileCannotHoldIsRefused) {
  const std::string n31(31, 'x'), n32(32, 'y');
  Bytes a33(33, 0x02);
  struct Case {
    const char* what;
    const char* name;
    const BYTE* address;
    int length;
  } refused[] = {
      {"empty name", "", a33.data(), 6},
      {"no name", nullptr, a33.data(), 6},
      {"32 characters", n32.c_str(), a33.data(), 6},
      {"length -1", "Minus", a33.data(), -1},
      {"length 33", "Long", a33.data(), 33},
      {"line feed", "Lab\n3", a33.data(), 6},
      {"carriage return", "Lab\r3", a33.data(), 6},
      {"no address", "Null", nullptr, 6},
  };
  for (const Case& c : refused) {
    EXPECT_EQ(t->AddName(c.name, c.address, c.length, 0), nullptr) << c.what;
    EXPECT_EQ(t->AddFlaggedName(c.name, c.address, c.length, 0), nullptr) << c.what;
  }
  EXPECT_FALSE(Changed());
  EXPECT_TRUE(Names().empty());

  // The limits themselves are fine, and so is a comma, which names learnt
  // from the wire may hold.
  NameEntry* e = static_cast<NameEntry*>(t->AddName(n31.c_str(), a33.data(), 32, 0));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::string(e->name), n31);
  EXPECT_EQ(e->addressLength, 32);
  e = static_cast<NameEntry*>(t->AddName("LAB,3<20>", a33.data(), 6, 0));
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "LAB,3<20>");
}

TEST_F(PallisandStore, NoMemoryLeavesTheTableAsItWas) {
  ASSERT_NE(Add("First", "01"), nullptr);
  ClearChanged();
  plat::SetAllocFailure(1);
  EXPECT_EQ(Add("Second", "02"), nullptr);
  plat::SetAllocFailure(0);
  EXPECT_FALSE(Changed());
  EXPECT_EQ(Names(), std::vector<std::string>{"First"});
  EXPECT_NE(Add("Second", "02"), nullptr);
}

// ---------------------------------------------------------------- lookups

struct LookupCase {
  const char* what;
  const char* address;
  BYTE useName;
  const char* text;
  BYTE result;
  COLORREF destination;
  COLORREF source;
  const char* counted;  // the entry whose access is counted, or null
};

class PallisandLookup : public NamesTest {
 protected:
  void SetUp() override {
    NamesTest::SetUp();
    NameEntry* prefix = entries["Prefix"] = Add("Prefix", "00A0C9");
    prefix->destinationColor = 0x0000FF;
    prefix->sourceColor = 0x00FF00;
    entries["Station"] = Add("Station", "00A0C9112233");
    entries["Station"]->destinationColor = 7;
    entries["Long"] = Add("Long", "02000000000102");
    entries["Other"] = Add("Other", "08002B010203");
  }

  NameEntry* Entry(const char* name) { return entries.at(name); }

  std::map<std::string, NameEntry*> entries;
};

TEST_F(PallisandLookup, LookupName) {
  const LookupCase cases[] = {
      {"an entry matches every address it begins", "00A0C9445566", 1, "Prefix", TRUE, 0xFF, 0xFF00, "Prefix"},
      {"the first match wins", "00A0C9112233", 1, "Prefix", TRUE, 0xFF, 0xFF00, "Prefix"},
      {"exact length", "00A0C9", 1, "Prefix", TRUE, 0xFF, 0xFF00, "Prefix"},
      {"an entry longer than the address does not match", "00A0", 1, "00-A0", FALSE, 0, 0, nullptr},
      {"one byte short of a long entry", "020000000001", 1, "02-00-00-00-00-01", FALSE, 0, 0, nullptr},
      {"longer than the entry", "0200000000010203", 1, "Long", TRUE, 0, 0, "Long"},
      {"useName 0 writes hex but hands out colours", "00A0C9112233", 0, "00-A0-C9-11-22-33", FALSE, 0xFF, 0xFF00,
       "Prefix"},
      {"no mapping", "0A0B0C0D0E0F", 1, "0A-0B-0C-0D-0E-0F", FALSE, 0, 0, nullptr},
      {"20 bytes without a mapping", "0A0B0C0D0E0F101112131415161718191A1B1C1D", 1,
       "0A-0B-0C-0D-0E-0F-10-11-12-13-14-15-16-17-18-19...", FALSE, 0, 0, nullptr},
      {"empty address", "", 1, "", FALSE, 0, 0, nullptr},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.what);
    int before = c.counted ? Entry(c.counted)->accessCount : 0;
    // The caller's bytes, exactly as many as it says: nothing past them may be read.
    Bytes hex = Hex(c.address);
    std::unique_ptr<BYTE[]> address(new BYTE[hex.size()]);
    std::copy(hex.begin(), hex.end(), address.get());
    char text[128];
    memset(text, 'z', sizeof text);
    COLORREF destination = 0xDEAD, source = 0xBEEF;
    EXPECT_EQ(t->LookupName(address.get(), (int)hex.size(), c.useName, text, 0, &destination, &source), c.result);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(destination, c.destination);
    EXPECT_EQ(source, c.source);
    if (c.counted) {
      EXPECT_EQ(Entry(c.counted)->accessCount, before + 1);
    }
  }
  EXPECT_EQ(Entry("Station")->accessCount, 0);
  EXPECT_EQ(Entry("Other")->accessCount, 0);
}

TEST_F(PallisandLookup, AccessesAreCountedAndTimed) {
  NameEntry* e = Entry("Other");
  Bytes a = Hex("08002B010203");
  char text[64];
  COLORREF d, s;
  SetClock(12, 0, 1, 2);
  t->LookupName(a.data(), 6, 0, text, 0, &d, &s);
  EXPECT_EQ(e->accessCount, 1);
  EXPECT_EQ(pallisand::FileTimeTicks(e->lastAccessed), Ticks(12, 0, 1, 2));
  SetClock(13, 0, 0, 0);
  t->LookupAllNames(a.data(), 6, text, 0, 63);
  EXPECT_EQ(e->accessCount, 2);
  EXPECT_EQ(pallisand::FileTimeTicks(e->lastAccessed), Ticks(13, 0, 0, 0));

  // The count stops at its largest value instead of turning negative.
  e->accessCount = INT32_MAX;
  t->LookupName(a.data(), 6, 1, text, 0, &d, &s);
  t->LookupAllNames(a.data(), 6, text, 0, 63);
  EXPECT_EQ(e->accessCount, INT32_MAX);
}

TEST_F(PallisandLookup, EntryOfLengthZeroMatchesEveryAddress) {
  ASSERT_NE(t->AddName("Anything", nullptr, 0, 0), nullptr);
  char text[128];
  COLORREF d, s;
  Bytes a = Hex("AABBCC");
  EXPECT_EQ(t->LookupName(a.data(), 3, 1, text, 0, &d, &s), TRUE);
  EXPECT_STREQ(text, "Anything");
  EXPECT_EQ(t->LookupName(nullptr, 0, 1, text, 0, &d, &s), TRUE);
  EXPECT_STREQ(text, "Anything");
  Bytes b = Hex("00A0C9112233");
  EXPECT_EQ(t->LookupAllNames(b.data(), 6, text, 0, 127), TRUE);
  EXPECT_STREQ(text, "[Prefix] [Station] [Anything]");
}

struct AllNamesCase {
  const char* what;
  const char* address;
  unsigned max;
  const char* text;
  BYTE result;
  int stationCount;  // accesses counted on Station
};

TEST_F(PallisandLookup, LookupAllNames) {
  const AllNamesCase cases[] = {
      {"every match in brackets", "00A0C9112233", 128, "[Prefix] [Station]", TRUE, 1},
      {"the text reaches max with the first name", "00A0C9112233", 9, "[Prefix]", TRUE, 0},
      {"a cut name loses its last character", "00A0C9112233", 12, "[Prefix] [S", TRUE, 1},
      {"one match", "00A0C9FFFFFF", 128, "[Prefix]", TRUE, 0},
      {"no match", "0A0B0C0D0E0F", 128, "0A-0B-0C-0D-0E-0F", FALSE, 0},
      {"the hex text is bounded by max", "0A0B0C0D0E0F", 5, "0A-0B", FALSE, 0},
      {"the hex text just fits", "0A0B0C0D0E0F", 17, "0A-0B-0C-0D-0E-0F", FALSE, 0},
      {"the hex text one past max", "0A0B0C0D0E0F", 16, "0A-0B-0C-0D-0E-0", FALSE, 0},
      {"max 0", "0A0B0C0D0E0F", 0, "", FALSE, 0},
      {"an entry longer than the address does not match", "00A0", 128, "00-A0", FALSE, 0},
  };
  for (const AllNamesCase& c : cases) {
    SCOPED_TRACE(c.what);
    NameEntry* station = Entry("Station");
    station->accessCount = 0;
    Bytes hex = Hex(c.address);
    std::unique_ptr<BYTE[]> address(new BYTE[hex.size()]);
    std::copy(hex.begin(), hex.end(), address.get());
    // The caller's buffer holds max + 1 bytes.
    std::unique_ptr<char[]> text(new char[c.max + 1]);
    EXPECT_EQ(t->LookupAllNames(address.get(), (int)hex.size(), text.get(), 0, c.max), c.result);
    EXPECT_STREQ(text.get(), c.text);
    EXPECT_EQ(station->accessCount, c.stationCount);
  }
}

// Lookups go through an index of the addresses: whatever adds, deletes,
// purges and clears came before, they must find the entry the walk of the
// list in order finds, count the access on it alone, and list the same names.
TEST_F(PallisandStore, LookupsFindTheFirstMatchInListOrderThroughEveryChange) {
  struct Mapping {
    std::string name;
    Bytes address;
    NameEntry* entry;
  };
  std::vector<Mapping> model;  // the active list, in order
  std::mt19937 random(26);
  // Few byte values and short lengths, so that prefixes and equal addresses
  // abound; lengths on both sides of 8 bytes, where the index changes its way
  // of comparing.
  auto address = [&](int length) {
    Bytes a((size_t)length);
    for (BYTE& b : a) b = (BYTE)(random() % 2);
    return a;
  };
  auto begins = [](const Bytes& whole, const Bytes& part) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
  };
  int made = 0, found = 0, foundLong = 0;
  for (int step = 0; step < 3000; step++) {
    unsigned op = random() % 100;
    if (op < 45 || model.empty()) {
      Mapping m{"n" + std::to_string(made++), address(random() % 40 == 0 ? 0 : random() % 3 ? 1 + (int)(random() % 6) : 7 + (int)(random() % 5)), nullptr};
      m.entry = static_cast<NameEntry*>((random() % 4 ? t->AddName : t->AddFlaggedName)(
          m.name.c_str(), m.address.data(), (int)m.address.size(), 0));
      ASSERT_NE(m.entry, nullptr);
      model.push_back(m);
    } else if (op < 60) {
      size_t i = random() % model.size();
      t->DeleteName(model[i].name.c_str());
      model.erase(model.begin() + (long)i);
    } else if (op < 61) {
      t->PurgeNames(1, 0);  // keeps the flagged entries, in their order
      std::erase_if(model, [](const Mapping& m) { return !m.entry->flagged; });
    } else if (op == 61 && step > 2000) {
      t->ClearNameTable();
      model.clear();
    } else {
      Bytes a = address((int)(random() % 14));
      SCOPED_TRACE("step " + std::to_string(step) + ", address of " + std::to_string(a.size()) + " bytes");
      const Mapping* first = nullptr;
      std::string all;
      for (const Mapping& m : model) {
        if (!begins(a, m.address)) continue;
        if (!first) first = &m;
        all += (all.empty() ? "[" : " [") + m.name + "]";
      }
      int before = first ? first->entry->accessCount : 0;
      char text[4096];
      COLORREF d, s;
      ASSERT_EQ(t->LookupName(a.data(), (int)a.size(), 1, text, 0, &d, &s), first ? TRUE : FALSE);
      if (first) {
        found++;
        if (first->address.size() > 8) foundLong++;
        ASSERT_STREQ(text, first->name.c_str());
        ASSERT_EQ(first->entry->accessCount, before + 1);
        ASSERT_EQ(t->LookupAllNames(a.data(), (int)a.size(), text, 0, sizeof text - 1), TRUE);
        ASSERT_EQ(text, all);
      }
    }
  }
  // The walk met matches of both kinds of address.
  EXPECT_GT(found, 100);
  EXPECT_GT(foundLong, 0);
}

// ---------------------------------------------------------------- texts

TEST_F(PallisandStore, AddressTexts) {
  struct Case {
    const char* data;
    const char* hex;
    const char* dotted;
  } cases[] = {
      {"", "", ""},
      {"0a", "0A", "10"},
      {"00A0C914C829", "00-A0-C9-14-C8-29", "0.160.201.20.200.41"},
      {"C0A80001", "C0-A8-00-01", "192.168.0.1"},
      {"000102030405060708090A0B0C0D0E", "00-01-02-03-04-05-06-07-08-09-0A-0B-0C-0D-0E",
       "0.1.2.3.4.5.6.7.8.9.10.11.12.13.14"},
      {"FF0102030405060708090A0B0C0D0EFF", "FF-01-02-03-04-05-06-07-08-09-0A-0B-0C-0D-0E-FF...",
       "255.1.2.3.4.5.6.7.8.9.10.11.12.13.14.255..."},
      {"FF0102030405060708090A0B0C0D0EFF1011121314", "FF-01-02-03-04-05-06-07-08-09-0A-0B-0C-0D-0E-FF...",
       "255.1.2.3.4.5.6.7.8.9.10.11.12.13.14.255..."},
  };
  for (const Case& c : cases) {
    Bytes a = Hex(c.data);
    char text[80];
    memset(text, 'z', sizeof text);
    t->FormatHexAddress(a.data(), (int)a.size(), text);
    EXPECT_STREQ(text, c.hex) << c.data;
    memset(text, 'z', sizeof text);
    t->FormatDottedAddress(a.data(), (int)a.size(), text);
    EXPECT_STREQ(text, c.dotted) << c.data;
  }
  // Every byte value in every place of an address, and nothing written past
  // the NUL.
  for (unsigned b = 0; b < 256; b++) {
    const BYTE a[4] = {(BYTE)b, 7, (BYTE)b, (BYTE)b};
    char want[32], text[32];
    memset(text, 'z', sizeof text);
    snprintf(want, sizeof want, "%02X-07-%02X-%02X", b, b, b);
    t->FormatHexAddress(a, 4, text);
    EXPECT_STREQ(text, want);
    EXPECT_EQ(text[strlen(want) + 1], 'z') << b;
    memset(text, 'z', sizeof text);
    snprintf(want, sizeof want, "%u.7.%u.%u", b, b, b);
    t->FormatDottedAddress(a, 4, text);
    EXPECT_STREQ(text, want);
    EXPECT_EQ(text[strlen(want) + 1], 'z') << b;
  }
}

// ---------------------------------------------------------------- delete, purge, free list

TEST_F(PallisandStore, DeletedEntryIsReusedByTheNextAdd) {
  Add("Alpha", "01");
  NameEntry* beta = Add("Beta", "02");
  Add("Gamma", "03");
  ClearChanged();
  t->DeleteName("BETA");
  EXPECT_TRUE(Changed());
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Gamma"}));
  unsigned long allocations = plat::LocalAllocCount();
  NameEntry* delta = Add("Delta", "04");
  EXPECT_EQ(delta, beta);
  EXPECT_EQ(plat::LocalAllocCount(), allocations);
  EXPECT_STREQ(delta->name, "Delta");
  EXPECT_EQ(AddressHex(delta), "04");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Gamma", "Delta"}));
}

TEST_F(PallisandStore, DeletingAnUnknownNameChangesNothing) {
  Add("Alpha", "01");
  ClearChanged();
  t->DeleteName("Alpha2");
  t->DeleteName("");
  EXPECT_FALSE(Changed());
  EXPECT_EQ(Names(), std::vector<std::string>{"Alpha"});
}

TEST_F(PallisandStore, DeletingTheLastEntryKeepsTheTailRight) {
  Add("A", "01");
  Add("B", "02");
  t->DeleteName("B");
  Add("C", "03");
  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "C"}));
  t->DeleteName("C");
  t->DeleteName("A");
  EXPECT_TRUE(Names().empty());
  Add("D", "04");
  Add("E", "05");
  EXPECT_EQ(Names(), (std::vector<std::string>{"D", "E"}));
}

TEST_F(PallisandStore, TakingTheOnlyFreeEntryThenDeletingKeepsBothListsRight) {
  unsigned long allocations = plat::LocalAllocCount();
  EXPECT_EQ(t->ReserveNameEntries(1), 0u);
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 1);
  NameEntry* a = Add("A", "01");  // the reserved entry
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 1);
  Add("B", "02");  // the free list is empty again: a new one
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 2);
  t->DeleteName("A");
  EXPECT_EQ(Add("C", "03"), a);
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 2);
  Add("D", "04");
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 3);
  EXPECT_EQ(Names(), (std::vector<std::string>{"B", "C", "D"}));
}

TEST_F(PallisandStore, PurgeRules) {
  struct Case {
    BYTE keepFlagged, keepLocked;
    std::vector<std::string> kept;
  } cases[] = {
      {0, 0, {}},
      {0, 1, {"Locked"}},
      {1, 0, {"Flagged", "Both"}},
      {1, 1, {"Flagged", "Locked", "Both"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "keep flagged " << (int)c.keepFlagged << ", locked " << (int)c.keepLocked);
    t->ClearNameTable();
    NameEntry* all[] = {Add("Plain", "01"), AddFlagged("Flagged", "02"), Add("Locked", "03"), AddFlagged("Both", "04")};
    all[2]->locked = 1;
    all[3]->locked = 1;
    ClearChanged();
    t->PurgeNames(c.keepFlagged, c.keepLocked);
    EXPECT_TRUE(Changed());
    EXPECT_EQ(Names(), c.kept);

    // Dropped entries went to the free list in table order; new names take them.
    std::vector<NameEntry*> dropped;
    for (NameEntry* e : all)
      if (std::find(c.kept.begin(), c.kept.end(), e->name) == c.kept.end()) dropped.push_back(e);
    unsigned long allocations = plat::LocalAllocCount();
    for (size_t i = 0; i < dropped.size(); i++) {
      std::string name = "New" + std::to_string(i);
      EXPECT_EQ(Add(name.c_str(), "05"), dropped[i]) << name;
    }
    EXPECT_EQ(plat::LocalAllocCount(), allocations);
  }
}

// Thousands of names, so that the names are found through a table that has
// grown and lost entries many times: an existing name, in any case, always
// comes back as its entry, and a removed one can be added again.
TEST_F(PallisandStore, NamesStayUniqueThroughManyAddsDeletesAndPurges) {
  const int n = 3000;
  auto name = [](int i, bool upper) { return std::string(upper ? "HOST-" : "host-") + std::to_string(i); };
  std::map<int, NameEntry*> present;
  for (int i = 0; i < n; i++) present[i] = Add(name(i, false).c_str(), "0A");
  for (int i = 0; i < n; i += 3) {
    t->DeleteName(name(i, true).c_str());
    present.erase(i);
  }
  for (int i = 1; i < n; i += 3) present[i]->locked = 1;
  for (int i = 2; i < n; i += 9) present[i]->flagged = 1;
  t->PurgeNames(1, 1);  // drops the names neither locked nor flagged
  for (auto it = present.begin(); it != present.end();)
    it = it->second->locked || it->second->flagged ? std::next(it) : present.erase(it);

  for (int round = 0; round < 2; round++) {
    for (int i = 0; i < n; i++) {
      SCOPED_TRACE(name(i, true));
      NameEntry* e = Add(name(i, true).c_str(), "0C");
      ASSERT_NE(e, nullptr);
      auto it = present.find(i);
      if (it != present.end()) {
        EXPECT_EQ(e, it->second);
      } else {
        EXPECT_STREQ(e->name, name(i, true).c_str());
        present[i] = e;
      }
    }
    EXPECT_EQ(Names().size(), (size_t)n);
  }
  t->ClearNameTable();
  EXPECT_STREQ(Add(name(7, true).c_str(), "0A")->name, "HOST-7");
  EXPECT_EQ(Names().size(), 1u);
}

TEST_F(PallisandStore, ClearNameTableGivesEverythingBackAndKeepsTheMark) {
  Add("A", "01");
  Add("B", "02");
  t->DeleteName("A");
  t->ReserveNameEntries(2);
  for (bool changed : {true, false}) {
    changed ? SetChanged() : ClearChanged();
    t->ClearNameTable();
    EXPECT_EQ(Changed(), changed);
    EXPECT_TRUE(Names().empty());
  }
  unsigned long allocations = plat::LocalAllocCount();
  Add("C", "03");  // no spare entry is left
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 1);
}

TEST_F(PallisandStore, ReserveNameEntries) {
  unsigned long allocations = plat::LocalAllocCount();
  EXPECT_EQ(t->ReserveNameEntries(0), 0u);
  EXPECT_EQ(t->ReserveNameEntries(-4), 0u);
  EXPECT_EQ(plat::LocalAllocCount(), allocations);
  EXPECT_EQ(t->ReserveNameEntries(3), 0u);
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 3);
  for (const char* n : {"A", "B", "C"}) Add(n, "01");
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 3);

  // A failed allocation ends the call with the error; the entries made so far stay.
  plat::SetAllocFailure(2);
  EXPECT_EQ(t->ReserveNameEntries(3), (DWORD)ENOMEM);
  plat::SetAllocFailure(0);
  allocations = plat::LocalAllocCount();
  Add("D", "01");
  EXPECT_EQ(plat::LocalAllocCount(), allocations);
  Add("E", "01");
  EXPECT_EQ(plat::LocalAllocCount(), allocations + 1);
}

// ---------------------------------------------------------------- combo, address of a name

TEST_F(PallisandStore, FillNameComboListsTheTableAndSelectsTheFirst) {
  pallisand::ComboBox combo;
  combo.items = {"stale"};
  t->FillNameCombo(combo.hwnd());
  EXPECT_TRUE(combo.items.empty());
  EXPECT_EQ(combo.selection, -1);
  Add("One", "01");
  Add("Two", "02");
  t->FillNameCombo(combo.hwnd());
  EXPECT_EQ(combo.items, (std::vector<std::string>{"One", "Two"}));
  EXPECT_EQ(combo.selection, 0);
}

TEST_F(PallisandStore, GetAddressOfName) {
  Add("Router", "00A0C914C829");
  std::string full(64, 'A');
  Add("Full", full.c_str());  // 32 bytes of 0xAA
  struct Case {
    const char* name;
    int length;
    const char* expected;  // then zeros up to length
  } cases[] = {
      {"router", 6, "00A0C914C829"},
      {"Router", 3, "00A0C9"},
      {"Router", 8, "00A0C914C829"},
      {"Nobody", 6, ""},
      // At most the 32 bytes of the field; the rest of the caller's bytes are zeros.
      {"Full", 40, "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<BYTE> buffer(c.length + 4, 0xEE);
    t->GetAddressOfName(c.name, buffer.data(), c.length);
    Bytes want = Hex(c.expected);
    want.resize(c.length, 0);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.length), want);
    EXPECT_EQ(buffer[c.length], 0xEE) << "wrote past the caller's length";
  }
}

}  // namespace
}  // namespace names_test
