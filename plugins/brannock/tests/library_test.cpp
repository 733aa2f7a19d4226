// The library as the host sees it: entry, registration, descriptors,
// statistics and bindings.
#include <string.h>

#include "fixture.h"

namespace brannocktest {
namespace {

std::vector<std::string> CounterNames(const StatisticsEntry* e) {
  std::vector<std::string> names;
  for (const StatisticsCounter* c = e->counters; c; c = c->next) names.push_back(c->name);
  return names;
}

TEST(BrannockLibrary, RegistersFourProtocolsInOrderWithTheirDescriptors) {
  TestHost h({"brannock"});
  ASSERT_TRUE(h.loadErrors.empty());
  struct Expected {
    const char* nameId;
    const char* description;
    DWORD flags;
  };
  const Expected expected[] = {
      {"MAC-802.3", "IEEE 802.3 Media Access Control", PROTOCOL_PARENT},
      {"LLC-802.2", "IEEE 802.2 Logical Link Control", PROTOCOL_PARENT | PROTOCOL_CHILD},
      {"LLC-SNAP", "IEEE Sub-Network Access Protocol", 0},
      {"PPOE", "Point-to-Point over Ethernet", PROTOCOL_CHILD},
  };
  ASSERT_EQ(h.host.protocols().size(), 4u);
  for (size_t i = 0; i < 4; i++) {
    ProtocolDescriptor* d = h.host.protocols()[i];
    SCOPED_TRACE(expected[i].nameId);
    EXPECT_STREQ(d->nameId, expected[i].nameId);
    EXPECT_STREQ(d->description, expected[i].description);
    EXPECT_EQ(d->flags, expected[i].flags);
    EXPECT_EQ(*d->enabled, 1);
    EXPECT_EQ(*d->textColor, 0u);
    EXPECT_EQ(d->frameTypes, nullptr);
    EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)d);
    EXPECT_EQ(d->control(4, 0, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(7, 0, 0, 0, 0), 0u);
  }
  // The two leaves keep no table: binding under them changes nothing.
  for (const char* leaf : {"LLC-SNAP", "PPOE"}) {
    ProtocolDescriptor* d = h.host.Find(leaf);
    EXPECT_EQ(d->control(PCTL_ADD_CHILD, 0x2000, (CTRLARG)d->parse, (CTRLARG)d->control, 0), 0u);
    EXPECT_EQ(d->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u) << leaf;
    EXPECT_EQ(d->control(PCTL_FIND_CHILD, 0x2000, 0, 0, 0), 0u) << leaf;
  }
}

TEST(BrannockLibrary, RegistersStatisticsWithSeparateCounterChains) {
  TestHost h({"brannock"});
  struct Expected {
    const char* name;
    int layer;
    bool counters;
  };
  const Expected expected[] = {{"IEEE 802.3", 1, true}, {"DIX", 1, true},       {"Raw IPX", 3, false},
                               {"IEEE 802.2", 2, false}, {"IEEE SNAP", 2, false},
                               {"Point-to-Point over Ethernet", 2, false}};
  ASSERT_EQ(h.host.statistics().size(), 6u);
  for (size_t i = 0; i < 6; i++) {
    const StatisticsEntry* e = h.host.statistics()[i];
    EXPECT_STREQ(e->name, expected[i].name);
    EXPECT_EQ(e->layer, expected[i].layer) << e->name;
    EXPECT_EQ(*e->frames, 0u);
    EXPECT_EQ(*e->bytes, 0u);
    if (expected[i].counters)
      EXPECT_EQ(CounterNames(e), (std::vector<std::string>{"Directed Frames", "Multicast Frames", "Broadcast Frames"}));
    else
      EXPECT_EQ(e->counters, nullptr) << e->name;
  }
  // Each kind of frame has its own three counters.
  const StatisticsEntry* ieee = h.Statistics("IEEE 802.3");
  const StatisticsEntry* dix = h.Statistics("DIX");
  for (const StatisticsCounter *a = ieee->counters, *b = dix->counters; a && b; a = a->next, b = b->next)
    EXPECT_NE(a->value, b->value) << a->name;
}

TEST(BrannockLibrary, BindsLlcSnapAndPpoeAndCachesDefaultParseForMissingIpx) {
  TestHost h({"brannock"});
  ProtocolDescriptor* mac = h.host.Find("MAC-802.3");
  ProtocolDescriptor* llc = h.host.Find("LLC-802.2");
  ProtocolDescriptor* snap = h.host.Find("LLC-SNAP");
  ProtocolDescriptor* ppoe = h.host.Find("PPOE");

  // PPOE initialises after LLC-802.2: its two bindings come first.
  EXPECT_EQ(ChildKeys(mac), (std::vector<DWORD>{0x8864, 0x8863, 0}));
  EXPECT_EQ(ChildKeys(llc), (std::vector<DWORD>{0xAA}));
  EXPECT_EQ(mac->control(PCTL_FIND_CHILD, 0, 0, 0, 0), (CTRLARG)llc->parse);
  EXPECT_EQ(mac->control(PCTL_FIND_CHILD, 0x8863, 0, 0, 0), (CTRLARG)ppoe->parse);
  CTRLARG session = mac->control(PCTL_FIND_CHILD, 0x8864, 0, 0, 0);
  EXPECT_NE(session, (CTRLARG)ppoe->parse);
  EXPECT_NE(session, (CTRLARG)h.table()->DefaultParse);
  EXPECT_EQ(llc->control(PCTL_FIND_CHILD, 0xAA, 0, 0, 0), (CTRLARG)snap->parse);
  EXPECT_EQ(mac->control(PCTL_FIND_CHILD, 0x0800, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
  // Each binding carries the bound protocol's own control.
  for (CTRLARG e = 0; (e = mac->control(PCTL_NEXT_CHILD, e, 0, 0, 0)) != 0;) {
    const ChildEntry* c = (const ChildEntry*)e;
    EXPECT_EQ(c->control, c->key == 0 ? llc->control : ppoe->control) << c->key;
  }

  // Without Tessary a raw IPX frame reaches DefaultParse past the header.
  h.Decode("MAC-802.3", Ether(kBroadcast, kHost, 0x0030, Hex("ff ff 00 30 00 00")));
  ExpectDefaultInEveryPass(h, 14, 60, 60);

  // Terminating frees both tables.
  ExpectTerminateEmptiesChildTable(h, "MAC-802.3", 0x8863);
  ExpectTerminateEmptiesChildTable(h, "LLC-802.2", 0xAA);
}

TEST(BrannockLibrary, PpoeBindsUnderVlanWhenQuilletIsThere) {
  if (!Built("quillet")) GTEST_SKIP() << "quillet is not built";
  TestHost h({"brannock", "quillet"});
  ProtocolDescriptor* vlan = h.host.Find("VLAN");
  ASSERT_NE(vlan, nullptr);
  ProtocolDescriptor* ppoe = h.host.Find("PPOE");
  ProtocolDescriptor* mac = h.host.Find("MAC-802.3");
  EXPECT_EQ(vlan->control(PCTL_FIND_CHILD, 0x8863, 0, 0, 0), (CTRLARG)ppoe->parse);
  EXPECT_EQ(vlan->control(PCTL_FIND_CHILD, 0x8864, 0, 0, 0), mac->control(PCTL_FIND_CHILD, 0x8864, 0, 0, 0));
}

TEST(BrannockLibrary, MismatchedTableVersionMakesTheLibraryInert) {
  qvtest::ExpectInertUnderOtherTableVersions("brannock", "Brannock");
}

TEST(BrannockLibrary, UnknownEntryTypesDoNothing) {
  TestHost h({"brannock"});
  DLLControlProc control = h.host.libraries()[0].control;
  EXPECT_EQ(control(3, h.table(), 0, 0, 0), 0u);
  EXPECT_EQ(control(0xFFFFFFFFu, h.table(), 0, 0, 0), 0u);
  EXPECT_EQ(h.host.protocols().size(), 4u);
}

// With everything disabled, nothing is marked and only the media root's
// cells show; every protocol still counts and hands on.
TEST(BrannockLibrary, DisabledProtocolsStillCountAndHandOn) {
  TestHost h({"brannock"});
  for (ProtocolDescriptor* d : h.host.protocols()) *d->enabled = 0;
  // 802.3 + LLC UI to SNAP + SNAP to PPPoE session (through MAC-802.3's table)
  Bytes frame = Ether(kHost, kCisco, 0x0012, Hex("aa aa 03  00 00 00 88 64  11 00 00 01 00 02  c0 21"));
  h.Decode("MAC-802.3", frame);
  for (const char* stats : {"IEEE 802.3", "IEEE 802.2", "IEEE SNAP", "Point-to-Point over Ethernet"})
    EXPECT_EQ(h.Frames(stats), 1u) << stats;
  ExpectDefaultInEveryPass(h, 22, 32, 32);
  EXPECT_EQ(h.Destination(), "00-A0-C9-14-C8-29");
  EXPECT_EQ(h.Source(), "00-00-0C-07-AC-01");
  EXPECT_EQ(h.Protocol(), "0012");
  EXPECT_EQ(h.Description(), "Frame");
  EXPECT_TRUE(h.Lines().empty());
  EXPECT_FALSE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
}

// A protocol's colour marks the frame in every pass; a name's colour wins
// in the summary.
TEST(BrannockLibrary, EnabledProtocolMarksTheFrameWithItsColour) {
  TestHost h({"brannock"});
  *h.host.Find("LLC-802.2")->textColor = 0x00123456;
  h.Decode("MAC-802.3", Ether(kHost, kCisco, 0x0003, Hex("f0 f0 03")));
  EXPECT_EQ(h.out.textColor, 0x00123456u);
  EXPECT_TRUE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
  h.Decode("MAC-802.3", Ether(kHost, kCisco, 0x0800, {}));
  EXPECT_EQ(h.out.textColor, 0u);
}

}  // namespace
}  // namespace brannocktest
