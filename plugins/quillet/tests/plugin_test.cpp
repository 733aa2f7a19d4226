// The library as the host meets it: registration, statistics, control forms,
// bindings under the parents by name id, the version check.
#include <string.h>

#include "quillet_host.h"

namespace quillettest {
namespace {

TEST(QuilletLibrary, RegistersItsFourProtocolsInOrder) {
  QuilletHost h;
  struct Line {
    const char* nameId;
    const char* description;
    DWORD flags;
    const char* statistics;
  };
  const Line want[] = {
      {"IEEE 802.1", "IEEE 802.1 Spanning Tree Protocol", PROTOCOL_CHILD, "IEEE 802.1"},
      {"VLAN", "IEEE 802.1q VLAN Protocol", PROTOCOL_PARENT | PROTOCOL_CHILD, "802.1q"},
      {"CISCO-CDP", "Cisco Discovery Protocol", PROTOCOL_CHILD, "CDP"},
      {"CISCO-TDP", "Tag Distribution Protocol", PROTOCOL_CHILD, "TDP"},
  };
  const auto& protocols = h.host.protocols();
  ASSERT_EQ(protocols.size(), 4u);
  ASSERT_EQ(h.host.statistics().size(), 4u);
  for (size_t i = 0; i < 4; i++) {
    SCOPED_TRACE(want[i].nameId);
    EXPECT_STREQ(protocols[i]->nameId, want[i].nameId);
    EXPECT_STREQ(protocols[i]->description, want[i].description);
    EXPECT_EQ(protocols[i]->flags, want[i].flags);
    EXPECT_EQ(*protocols[i]->enabled, 1);
    EXPECT_EQ(*protocols[i]->textColor, 0u);
    EXPECT_EQ(protocols[i]->frameTypes, nullptr);
    const StatisticsEntry* s = h.host.statistics()[i];
    EXPECT_STREQ(s->name, want[i].statistics);
    EXPECT_EQ(s->layer, 2);
    EXPECT_EQ(s->counters, nullptr);
  }
}

TEST(QuilletLibrary, ControlForms) {
  QuilletHost h;
  ProtocolDescriptor* stp = h.host.Find("IEEE 802.1");
  ProtocolDescriptor* vlan = h.host.Find("VLAN");
  ProtocolDescriptor* cdp = h.host.Find("CISCO-CDP");
  ProtocolDescriptor* tdp = h.host.Find("CISCO-TDP");
  // Spanning tree has the minimal form: no descriptor through the control.
  EXPECT_EQ(stp->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), 0u);
  EXPECT_EQ(vlan->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)vlan);
  EXPECT_EQ(cdp->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)cdp);
  EXPECT_EQ(tdp->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)tdp);

  // Leaves ignore the parent commands.
  for (ProtocolDescriptor* leaf : {stp, cdp, tdp}) {
    SCOPED_TRACE(leaf->nameId);
    EXPECT_EQ(leaf->control(PCTL_ADD_CHILD, 0x2000, (CTRLARG)cdp->parse, (CTRLARG)cdp->control, 0), 0u);
    EXPECT_EQ(leaf->control(PCTL_FIND_CHILD, 0x2000, 0, 0, 0), 0u);
    EXPECT_EQ(leaf->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  }

  // VLAN's own table, newest binding first, unbound keys to DefaultParse.
  EXPECT_EQ(vlan->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  vlan->control(PCTL_ADD_CHILD, 0x0800, (CTRLARG)h.StandInParse("DOD-IP"), (CTRLARG)h.StandInControl("DOD-IP"), 0);
  vlan->control(PCTL_ADD_CHILD, 0x8137, (CTRLARG)h.StandInParse("NOVELL-IPX"), (CTRLARG)h.StandInControl("NOVELL-IPX"), 0);
  EXPECT_EQ(vlan->control(PCTL_FIND_CHILD, 0x0800, 0, 0, 0), (CTRLARG)h.StandInParse("DOD-IP"));
  EXPECT_EQ(vlan->control(PCTL_FIND_CHILD, 0x0806, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
  auto* first = (ChildEntry*)vlan->control(PCTL_NEXT_CHILD, 0, 0, 0, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->key, 0x8137u);
  EXPECT_EQ(first->control, h.StandInControl("NOVELL-IPX"));
  auto* second = (ChildEntry*)vlan->control(PCTL_NEXT_CHILD, (CTRLARG)first, 0, 0, 0);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->key, 0x0800u);
  EXPECT_EQ(vlan->control(PCTL_NEXT_CHILD, (CTRLARG)second, 0, 0, 0), 0u);
  EXPECT_EQ(vlan->control(4, 0, 0, 0, 0), 0u);
  EXPECT_EQ(vlan->control(7, 0, 0, 0, 0), 0u);

  // Terminate empties the table.
  vlan->control(PCTL_TERMINATE, 0, 0, 0, 0);
  EXPECT_EQ(vlan->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  EXPECT_EQ(vlan->control(PCTL_FIND_CHILD, 0x0800, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
}

TEST(QuilletLibrary, BindsUnderItsParentsByNameId) {
  QuilletHost h({"MAC-802.3", "LLC-802.2", "LLC-SNAP", "IP-TCP", "IP-UDP"});
  struct Line {
    const char* parent;
    DWORD key;
    const char* child;
  };
  const Line want[] = {
      {"LLC-802.2", 0x42, "IEEE 802.1"}, {"MAC-802.3", 0x8100, "VLAN"},  {"MAC-802.3", 0x2000, "CISCO-CDP"},
      {"LLC-SNAP", 0x2000, "CISCO-CDP"}, {"IP-TCP", 711, "CISCO-TDP"},   {"IP-UDP", 711, "CISCO-TDP"},
  };
  const std::vector<Binding>& got = h.bindings;
  ASSERT_EQ(got.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < got.size(); i++) {
    SCOPED_TRACE(want[i].child);
    ProtocolDescriptor* child = h.host.Find(want[i].child);
    EXPECT_EQ(got[i].parent, want[i].parent);
    EXPECT_EQ(got[i].key, want[i].key);
    EXPECT_EQ(got[i].parse, child->parse);
    EXPECT_EQ(got[i].control, child->control);  // always the binding protocol's own control
  }
}

TEST(QuilletLibrary, MissingParentsAreSkippedSilently) {
  QuilletHost h;
  EXPECT_TRUE(h.bindings.empty());
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(h.host.protocols().size(), 4u);
}

TEST(QuilletLibrary, WrongTableVersionMakesItInert) { qvtest::ExpectInertUnderOtherTableVersions("quillet", "Quillet"); }

// The colour is persisted per name id (the shared routine is tested with the
// contract; here only that every protocol passes its own name).
TEST(QuilletLibrary, EachProtocolKeepsItsColourUnderItsNameId) {
  {
    QuilletHost h;
    DWORD colour = 0x10;
    for (ProtocolDescriptor* d : h.host.protocols()) *d->textColor = colour++;
  }
  QuilletHost h;
  DWORD colour = 0x10;
  for (ProtocolDescriptor* d : h.host.protocols()) EXPECT_EQ(*d->textColor, colour++) << d->nameId;
}

}  // namespace
}  // namespace quillettest
