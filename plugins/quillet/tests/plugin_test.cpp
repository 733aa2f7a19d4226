// The library as the host meets it: registration, statistics, control forms,
// bindings under the parents by name id, the version check.
#include <string.h>

#include "quillet_host.h"

namespace quillettest {
namespace {

TEST(QuilletLibrary, RegistersItsFourProtocolsInOrder) {
  QuilletHost h;
  ExpectRegistered(h, {
      {"IEEE 802.1", "IEEE 802.1 Spanning Tree Protocol", PROTOCOL_CHILD, "IEEE 802.1", 2},
      {"VLAN", "IEEE 802.1q VLAN Protocol", PROTOCOL_PARENT | PROTOCOL_CHILD, "802.1q", 2},
      {"CISCO-CDP", "Cisco Discovery Protocol", PROTOCOL_CHILD, "CDP", 2},
      {"CISCO-TDP", "Tag Distribution Protocol", PROTOCOL_CHILD, "TDP", 2},
  });
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

  ExpectTerminateEmptiesChildTable(h, "VLAN", 0x0800);
}

TEST(QuilletLibrary, BindsUnderItsParentsByNameId) {
  QuilletHost h({"MAC-802.3", "LLC-802.2", "LLC-SNAP", "IP-TCP", "IP-UDP"});
  ExpectBindings(h, {
      {"LLC-802.2", 0x42, "IEEE 802.1"}, {"MAC-802.3", 0x8100, "VLAN"},  {"MAC-802.3", 0x2000, "CISCO-CDP"},
      {"LLC-SNAP", 0x2000, "CISCO-CDP"}, {"IP-TCP", 711, "CISCO-TDP"},   {"IP-UDP", 711, "CISCO-TDP"},
  });
}

TEST(QuilletLibrary, MissingParentsAreSkippedSilently) {
  QuilletHost h;
  ExpectNothingBoundWithoutParents(h, 4);
}

TEST(QuilletLibrary, WrongTableVersionMakesItInert) { ExpectInertUnderOtherTableVersions("quillet", "Quillet"); }

// The colour is persisted per name id (the shared routine is tested with the
// contract; here only that every protocol passes its own name).
TEST(QuilletLibrary, EachProtocolKeepsItsColourUnderItsNameId) {
  ExpectColoursKeptUnderNameIds({"quillet", "halvern", "pallisand"});
}

}  // namespace
}  // namespace quillettest
