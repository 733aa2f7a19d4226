// The library as the host meets it: registration, statistics, control form,
// NetBEUI's binding, the protocols SMB finds by name id, the version check.
#include <string.h>

#include "wendrick_host.h"

namespace wendricktest {
namespace {

TEST(WendrickLibrary, RegistersItsProtocolsInOrder) {
  WendrickHost h({"wendrick"});
  struct Row {
    const char* nameId;
    const char* description;
    const char* statistics;
    int layer;
  };
  const Row want[] = {
      {"MS-NETBEUI", "NETBEUI", "NETBEUI", 5},
      {"MS-SMB", "SMB", "SMB", 6},
      {"MS-BROWSE", "BROWSER", "BROWSER", 7},
      {"MS-LOGON", "NETLOGON", "NETLOGON", 7},
  };
  std::vector<ProtocolDescriptor*> protocols = h.host.protocols();
  protocols.pop_back();  // the test's carrier
  ASSERT_EQ(protocols.size(), std::size(want));
  ASSERT_EQ(h.host.statistics().size(), std::size(want));
  for (size_t i = 0; i < std::size(want); i++) {
    const Row& r = want[i];
    SCOPED_TRACE(r.nameId);
    ProtocolDescriptor* d = protocols[i];
    EXPECT_STREQ(d->nameId, r.nameId);
    EXPECT_STREQ(d->description, r.description);
    EXPECT_EQ(d->flags, PROTOCOL_CHILD);
    EXPECT_EQ(*d->enabled, 1);
    EXPECT_EQ(*d->textColor, 0u);
    EXPECT_EQ(d->frameTypes, nullptr);
    // The leaf form: its descriptor, nothing of a parent's.
    EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)d);
    EXPECT_EQ(d->control(PCTL_ADD_CHILD, 1, (CTRLARG)d->parse, (CTRLARG)d->control, 0), 0u);
    EXPECT_EQ(d->control(PCTL_FIND_CHILD, 1, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(7, 0, 0, 0, 0), 0u);
    const StatisticsEntry* s = h.host.statistics()[i];
    EXPECT_STREQ(s->name, r.statistics);
    EXPECT_EQ(s->layer, r.layer);
    EXPECT_EQ(s->counters, nullptr);
  }
  EXPECT_TRUE(h.bindings.empty());
  EXPECT_TRUE(h.messages.empty());
}

// NetBEUI binds under LLC-802.2 at SAP 0xF0; the other three under nothing.
TEST(WendrickLibrary, NetbeuiBindsUnderLlc) {
  WendrickHost h({"wendrick"}, {"LLC-802.2"});
  ASSERT_EQ(h.bindings.size(), 1u);
  ProtocolDescriptor* netbeui = h.host.Find("MS-NETBEUI");
  EXPECT_EQ(h.bindings[0].parent, "LLC-802.2");
  EXPECT_EQ(h.bindings[0].key, 0xF0u);
  EXPECT_EQ(h.bindings[0].parse, netbeui->parse);
  EXPECT_EQ(h.bindings[0].control, netbeui->control);
}

// The host's FindProtocol, blind to the Browser and Netlogon.
ProtocolDescriptor* QV_CALL FindAllButMailslotProtocols(const char* nameId) {
  return strcmp(nameId, "MS-BROWSE") == 0 || strcmp(nameId, "MS-LOGON") == 0 ? nullptr
                                                                             : qvhost::Host::Current()->Find(nameId);
}

// Without the Browser and Netlogon registered, their mailslots go to
// DefaultParse.
TEST(WendrickLibrary, MailslotsOfProtocolsNotFoundGoToDefaultParse) {
  // SMB looks the two up at its PCTL_INIT; here it finds neither.
  qvtest::TestHost bare({"wendrick"}, false);
  bare.table()->FindProtocol = FindAllButMailslotProtocols;
  bare.Start();
  bare.Decode("MS-SMB", WendrickHost::Payload(kHostAnnouncement));
  EXPECT_EQ(bare.Protocol(), "SMB");
  EXPECT_TRUE(bare.Lines(1).empty());
  ASSERT_EQ(bare.handOns.size(), 3u);
  EXPECT_EQ(bare.handOns[2].offset, 86);  // still past the name
}

TEST(WendrickLibrary, WrongTableVersionMakesItInert) { qvtest::ExpectInertUnderOtherTableVersions("wendrick", "Wendrick"); }

TEST(WendrickLibrary, EachProtocolKeepsItsColourUnderItsNameId) {
  {
    WendrickHost h({"wendrick"});
    DWORD colour = 0x10;
    for (ProtocolDescriptor* d : h.host.protocols()) *d->textColor = colour++;
  }
  WendrickHost h({"wendrick"});
  DWORD colour = 0x10;
  for (ProtocolDescriptor* d : h.host.protocols())
    if (strcmp(d->nameId, "CARRIER") != 0) {
      EXPECT_EQ(*d->textColor, colour++) << d->nameId;
    }
}

}  // namespace
}  // namespace wendricktest
