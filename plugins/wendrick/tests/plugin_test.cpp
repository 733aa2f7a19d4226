// The library as the host meets it: registration, statistics, control form,
// NetBEUI's binding, the protocols SMB finds by name id, the version check.
#include <string.h>

#include "wendrick_host.h"

namespace wendricktest {
namespace {

TEST(WendrickLibrary, RegistersItsProtocolsInOrder) {
  WendrickHost h({"wendrick"});
  std::vector<ProtocolDescriptor*> protocols = h.host.protocols();
  protocols.pop_back();  // the test's carrier
  ExpectRegistered(protocols, h.host.statistics(), {
      {"MS-NETBEUI", "NETBEUI", PROTOCOL_CHILD, "NETBEUI", 5},
      {"MS-SMB", "SMB", PROTOCOL_CHILD, "SMB", 6},
      {"MS-BROWSE", "BROWSER", PROTOCOL_CHILD, "BROWSER", 7},
      {"MS-LOGON", "NETLOGON", PROTOCOL_CHILD, "NETLOGON", 7},
  });
  // The leaf form: its descriptor, nothing of a parent's.
  for (ProtocolDescriptor* d : protocols) {
    SCOPED_TRACE(d->nameId);
    EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)d);
    EXPECT_EQ(d->control(PCTL_ADD_CHILD, 1, (CTRLARG)d->parse, (CTRLARG)d->control, 0), 0u);
    EXPECT_EQ(d->control(PCTL_FIND_CHILD, 1, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(7, 0, 0, 0, 0), 0u);
  }
  EXPECT_TRUE(h.bindings.empty());
  EXPECT_TRUE(h.messages.empty());
}

// NetBEUI binds under LLC-802.2 at SAP 0xF0; the other three under nothing.
TEST(WendrickLibrary, NetbeuiBindsUnderLlc) {
  WendrickHost h({"wendrick"}, {"LLC-802.2"});
  ExpectBindings(h, {{"LLC-802.2", 0xF0, "MS-NETBEUI"}});
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
  LibraryHost bare({"wendrick"}, {}, [](TestHost& h) { h.table()->FindProtocol = FindAllButMailslotProtocols; });
  bare.Decode("MS-SMB", WendrickHost::Payload(kHostAnnouncement));
  EXPECT_EQ(bare.Protocol(), "SMB");
  EXPECT_TRUE(bare.Lines(1).empty());
  ASSERT_EQ(bare.handOns.size(), 3u);
  EXPECT_EQ(bare.handOns[2].offset, 86);  // still past the name
}

TEST(WendrickLibrary, WrongTableVersionMakesItInert) { ExpectInertUnderOtherTableVersions("wendrick", "Wendrick"); }

TEST(WendrickLibrary, EachProtocolKeepsItsColourUnderItsNameId) { ExpectColoursKeptUnderNameIds({"wendrick"}); }

}  // namespace
}  // namespace wendricktest
