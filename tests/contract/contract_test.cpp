// The plug-in contract end to end: two libraries through the real host.
#include <dlfcn.h>
#include <string.h>

#include "testhost.h"

using qvtest::Bytes;
using qvtest::Hex;
using qvtest::Line;
using qvtest::TestHost;

namespace {

const std::string kDir = QV_CONTRACT_DIR;

struct ContractHost : TestHost {
  ContractHost() : TestHost({"contractroot", "contractleaf"}, true, kDir) {}
};

uint64_t Frames(const TestHost& h, const char* name) { return *h.Statistics(name)->frames; }
uint64_t Bytes64(const TestHost& h, const char* name) { return *h.Statistics(name)->bytes; }

std::vector<DWORD> ChildKeys(ProtocolDescriptor* parent) {
  std::vector<DWORD> keys;
  CTRLARG e = 0;
  while ((e = parent->control(PCTL_NEXT_CHILD, e, 0, 0, 0)) != 0) keys.push_back(((ChildEntry*)e)->key);
  return keys;
}

void WriteColor(const char* nameId, const Bytes& value) {
  HKEY key = nullptr;
  ASSERT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, qvhost::Host::SettingsKeyPath(), true, &key), 0);
  ASSERT_EQ(plat::RegSetValue(key, nameId, plat::REG_BINARY, value.data(), (DWORD)value.size()), 0);
  plat::RegCloseKey(key);
}

Bytes ReadSetting(const char* nameId) {
  HKEY key = nullptr;
  Bytes value(64);
  DWORD type = 0, size = (DWORD)value.size();
  if (plat::RegOpenKey(plat::HKEY_CURRENT_USER, qvhost::Host::SettingsKeyPath(), false, &key) != 0) return {};
  LONG rc = plat::RegQueryValue(key, nameId, &type, value.data(), &size);
  plat::RegCloseKey(key);
  if (rc != 0) return {};
  value.resize(size);
  return value;
}

}  // namespace

TEST(Contract, StartUpRegistersBindsAndCountsInOrder) {
  ContractHost h;
  ASSERT_TRUE(h.loadErrors.empty());
  ASSERT_EQ(h.host.protocols().size(), 3u);
  EXPECT_STREQ(h.host.protocols()[0]->nameId, "TEST-ROOT");
  EXPECT_STREQ(h.host.protocols()[1]->nameId, "TEST-LEAF");
  EXPECT_STREQ(h.host.protocols()[2]->nameId, "TEST-MINI");
  ASSERT_NE(h.Statistics("Test Root"), nullptr);
  ASSERT_NE(h.Statistics("Test Leaf"), nullptr);

  ProtocolDescriptor* root = h.host.Find("TEST-ROOT");
  ProtocolDescriptor* leaf = h.host.Find("TEST-LEAF");
  // Newest first: the leaf bound 0x11 then 0x22; the root bound 0x33 itself
  // and the minimal protocol 0x66, in whichever order the host initialised them.
  std::vector<DWORD> keys = ChildKeys(root);
  ASSERT_EQ(keys.size(), 4u);
  std::vector<DWORD> leafKeys;
  for (DWORD k : keys)
    if (k == 0x11 || k == 0x22) leafKeys.push_back(k);
  EXPECT_EQ(leafKeys, (std::vector<DWORD>{0x22, 0x11}));
  EXPECT_EQ(root->control(PCTL_FIND_CHILD, 0x11, 0, 0, 0), (CTRLARG)leaf->parse);
  EXPECT_EQ(root->control(PCTL_FIND_CHILD, 0x44, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);

  // Control forms: a leaf answers 6 with itself and ignores the parent
  // commands; the minimal form answers 6 with 0; unknown commands give 0.
  EXPECT_EQ(leaf->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)leaf);
  EXPECT_EQ(leaf->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  EXPECT_EQ(leaf->control(PCTL_ADD_CHILD, 5, (CTRLARG)leaf->parse, (CTRLARG)leaf->control, 0), 0u);
  EXPECT_EQ(h.host.Find("TEST-MINI")->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), 0u);
  EXPECT_EQ(root->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)root);
  EXPECT_EQ(root->control(4, 0, 0, 0, 0), 0u);
  EXPECT_EQ(root->control(7, 0, 0, 0, 0), 0u);
}

TEST(Contract, FramePassesThroughParentAndLeaf) {
  ContractHost h;
  // root(key 0x11, length 4) + 4 leaf bytes + 2 bytes of padding
  Bytes frame = Hex("11 04 de ad be ef 00 00");
  h.Decode("TEST-ROOT", frame);

  EXPECT_EQ(Frames(h, "Test Root"), 1u);
  EXPECT_EQ(Bytes64(h, "Test Root"), 8u);
  EXPECT_EQ(Frames(h, "Test Leaf"), 1u);
  EXPECT_EQ(Bytes64(h, "Test Leaf"), 4u);  // trimmed to the declared length
  EXPECT_EQ(*h.Statistics("Test Root")->counters->value, 1u);

  EXPECT_EQ(h.Protocol(), "LEAF");
  EXPECT_EQ(h.Description(), "Leaf of 4 bytes");
  EXPECT_TRUE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);

  auto lines = h.Lines();
  qvtest::ExpectLines(h.Lines(0), {
                                      {"Contract Test Root", 0, 2, DETAIL_GROUP_OPEN},
                                      {"Key\t\t\t11", 0, 1, DETAIL_GROUP_OPEN},
                                      {"Length\t\t\t4", 1, 1, DETAIL_GROUP_CLOSE},
                                  });
  auto leafLines = h.Lines(1);
  ASSERT_GE(leafLines.size(), 3u);
  EXPECT_EQ(leafLines[0].text, "Contract Test Leaf");
  EXPECT_EQ(leafLines[1].text, "Payload\t\t4 bytes");
  EXPECT_EQ(leafLines[2].text, "Payload");  // the host's hex dump group
  EXPECT_TRUE(h.defaultParses.empty());
}

TEST(Contract, UnboundKeyAndMissingCacheGoToDefaultParse) {
  // Without the leaf library, key 0xFF's cache keeps DefaultParse.
  TestHost h({"contractroot"}, true, kDir);
  h.Decode("TEST-ROOT", Hex("ff 02 01 02"));
  ASSERT_EQ(h.defaultParses.size(), 3u);
  for (DWORD pass = 0; pass < 3; pass++) {
    EXPECT_EQ(h.defaultParses[pass].pass, pass);
    EXPECT_EQ(h.defaultParses[pass].offset, 2);
    EXPECT_EQ(h.defaultParses[pass].capturedLength, 4);
  }
  h.defaultParses.clear();
  h.Decode("TEST-ROOT", Hex("44 00"));
  EXPECT_EQ(h.defaultParses.size(), 3u);
  EXPECT_EQ(h.Protocol(), "ROOT");
}

TEST(Contract, NextListLeafWritesIntoTheFollowingSlot) {
  ContractHost h;
  h.Decode("TEST-ROOT", Hex("66 02 aa bb"));
  EXPECT_FALSE(h.Lines(0).empty());
  EXPECT_TRUE(h.Lines(1).empty());
  qvtest::ExpectLines(h.Lines(2), {{"Contract Test Minimal", 2, 2, 0}});
  EXPECT_EQ(h.out.depth, 3u);
}

TEST(Contract, DisabledProtocolCountsAndHandsOnButMarksNothing) {
  ContractHost h;
  *h.host.Find("TEST-ROOT")->enabled = 0;
  *h.host.Find("TEST-LEAF")->enabled = 0;
  *h.host.Find("TEST-LEAF")->textColor = 0x123456;
  h.Decode("TEST-ROOT", Hex("11 02 aa bb"));
  EXPECT_EQ(Frames(h, "Test Leaf"), 1u);
  EXPECT_EQ(h.Protocol(), "");
  EXPECT_FALSE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
  EXPECT_EQ(h.out.textColor, 0x123456u);  // colour marks whatever the enable byte
  EXPECT_TRUE(h.Lines().empty());

  // Only the root disabled: the leaf still gets the slot after the root's.
  *h.host.Find("TEST-LEAF")->enabled = 1;
  h.Decode("TEST-ROOT", Hex("11 02 aa bb"));
  EXPECT_EQ(h.Protocol(), "LEAF");
  EXPECT_TRUE(h.Lines(0).empty());
  EXPECT_FALSE(h.Lines(1).empty());
}

TEST(Contract, DetailLinesStopWhenTheHostGivesNone) {
  for (unsigned long failAt = 1; failAt <= 6; failAt++) {
    ContractHost h;
    h.host.FailDetailLineAt(failAt, true);
    h.Decode("TEST-ROOT", Hex("11 03 01 02 03"), qvhost::RUN_DETAIL);
    auto lines = h.Lines();
    EXPECT_EQ(lines.size(), failAt - 1) << "fail at " << failAt;
    for (size_t i = 0; i + 1 < lines.size(); i++) EXPECT_FALSE(lines[i].text.empty());
  }
}

TEST(Contract, TruncatedHeaderStopsCleanly) {
  ContractHost h;
  h.Decode("TEST-ROOT", Hex("11"));
  EXPECT_EQ(Frames(h, "Test Root"), 1u);
  EXPECT_EQ(Frames(h, "Test Leaf"), 0u);
  qvtest::ExpectLines(h.Lines(), {{"Contract Test Root", 0, 2, DETAIL_GROUP_OPEN}});
  // A declared length past the capture trims nothing and hands on what is there.
  h.Decode("TEST-ROOT", Hex("22 ff 01 02"));
  EXPECT_EQ(h.Description(), "Leaf of 2 bytes");
}

TEST(Contract, DeepNestingFitsTheDetailLists) {
  ContractHost h;
  Bytes frame;
  const int kDepth = 120;  // every header declares 255 bytes, so all stay within the first one
  for (int i = 0; i < kDepth; i++) {
    frame.push_back(0x33);
    frame.push_back((BYTE)0xFF);
  }
  h.Decode("TEST-ROOT", frame);
  EXPECT_EQ(Frames(h, "Test Root"), (uint64_t)kDepth + 1);  // the last header is cut
  EXPECT_EQ(h.out.depth, (size_t)kDepth + 1);
}

TEST(Contract, SettingsColourLoadedAndSaved) {
  struct Case {
    const char* name;
    Bytes stored;
    DWORD colour;
  };
  Bytes longer(40, 0);
  longer[0] = 0x01;
  longer[1] = 0x02;
  longer[39] = 0x77;
  const Case cases[] = {
      {"36 bytes", Hex("0000ff00 00000000 00000000 00000000 00000000 00000000 00000000 00000000 11223344"), 0x00FF0000},
      {"short", Hex("2a00"), 0x2A},
      {"longer than 36", longer, 0x0201},
      {"missing", {}, 0},
  };
  for (const Case& c : cases) {
    {
      HKEY key = nullptr;
      ASSERT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, qvhost::Host::SettingsKeyPath(), true, &key), 0);
      plat::RegDeleteValue(key, "TEST-LEAF");
      plat::RegCloseKey(key);
    }
    if (!c.stored.empty()) WriteColor("TEST-LEAF", c.stored);
    {
      ContractHost h;
      EXPECT_EQ(*h.host.Find("TEST-LEAF")->textColor, c.colour) << c.name;
    }
    // Terminate wrote 36 bytes: the colour, then zeros.
    Bytes saved = ReadSetting("TEST-LEAF");
    ASSERT_EQ(saved.size(), 36u) << c.name;
    Bytes want(36, 0);
    memcpy(want.data(), &c.colour, 4);
    EXPECT_EQ(saved, want) << c.name;
  }
}

// The settings are read as the host starts and what its protocols changed is
// written as it stops: a colour another program stored meanwhile stays where
// this run's protocol kept the colour it read.
TEST(Contract, SettingsAnotherProgramStoredWhileTheHostRanStay) {
  Bytes mine(36, 0), theirs(36, 0);
  mine[0] = 0x2A;
  theirs[0] = 0x33;
  WriteColor("TEST-LEAF", mine);
  char file[4096];
  plat::RegHivePath(plat::HKEY_CURRENT_USER, file, sizeof file);
  {
    ContractHost h;
    EXPECT_EQ(*h.host.Find("TEST-LEAF")->textColor, 0x2Au);
    // Another program's whole file, written while this one runs.
    std::string text = std::string("[") + qvhost::Host::SettingsKeyPath() + "]\n\"TEST-LEAF\"=hex:33";
    for (int i = 1; i < 36; i++) text += ",00";
    FILE* f = fopen(file, "w");
    ASSERT_NE(f, nullptr);
    fputs((text + "\n").c_str(), f);
    fclose(f);
  }
  EXPECT_EQ(ReadSetting("TEST-LEAF"), theirs);
}

TEST(Contract, WrongTableVersionMakesTheLibraryInert) {
  for (DWORD version : {275u, 277u}) {
    TestHost h({"contractleaf"}, false, kDir);
    h.table()->version = version;
    h.Start();
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].title, "Quorvane Network Monitor Error");
    EXPECT_EQ(h.messages[0].text, "Contractleaf has mismatched Monitor Table version!\nPlease verify your installation.");
    EXPECT_TRUE(h.host.protocols().empty());
    // Inert for good: a later attach with a good table does nothing.
    h.table()->version = MONITOR_TABLE_VERSION;
    h.host.libraries()[0].control(DLLC_ATTACH, h.table(), 0, 0, 0);
    h.host.libraries()[0].control(DLLC_REGISTER, h.table(), 0, 0, 0);
    EXPECT_TRUE(h.host.protocols().empty());
    EXPECT_EQ(h.messages.size(), 1u);
  }
}

TEST(Contract, OutOfOrderCallsFollowNoUnsetPointer) {
  void* lib = dlopen(qvtest::PluginPath("contractroot", kDir).c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto control = reinterpret_cast<DLLControlProc>(dlsym(lib, "DLLControl"));
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control(DLLC_GET_SERVICES, nullptr, 0, 0, 0), 0u);
  EXPECT_EQ(control(DLLC_REGISTER, nullptr, 0, 0, 0), 0u);
  EXPECT_EQ(control(3, nullptr, 0, 0, 0), 0u);
  EXPECT_EQ(control(99, nullptr, 0, 0, 0), 0u);
  dlclose(lib);
}

TEST(Contract, TerminateEmptiesTheChildTable) {
  ContractHost h;
  ProtocolDescriptor* root = h.host.Find("TEST-ROOT");
  unsigned long before = plat::LocalAllocCount();
  root->control(PCTL_TERMINATE, 0, 0, 0, 0);
  EXPECT_EQ(root->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  EXPECT_EQ(root->control(PCTL_FIND_CHILD, 0x11, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
  EXPECT_EQ(plat::LocalAllocCount(), before);
}

TEST(Contract, OutOfMemoryDropsTheBindingSilently) {
  TestHost h({"contractroot", "contractleaf"}, false, kDir);
  // The root's own binding and the leaf's first: fail every allocation.
  plat::SetAllocFailure(1, true);
  h.Start();
  plat::SetAllocFailure(0);
  EXPECT_EQ(h.host.Find("TEST-ROOT")->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  h.Decode("TEST-ROOT", Hex("11 01 00"));
  EXPECT_EQ(h.defaultParses.size(), 3u);
}
