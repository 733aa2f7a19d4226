// The library as the host meets it: registration, statistics, control forms,
// the ten bindings under UDP and TCP, the version check.
#include "selkirt_host.h"

namespace selkirttest {
namespace {

TEST(SelkirtLibrary, RegistersItsThreeProtocolsInOrder) {
  SelkirtHost h;
  ExpectRegistered(h, {
      {"IP-RTP", "Real-Time Transport Protocol", PROTOCOL_CHILD, "RTP", 4},
      {"ITU-Q931", "Q.931 Connection Control Protocol", PROTOCOL_CHILD, "Q.931", 4},
      {"ITU-H225", "H.225 Call Signalling Protocol", PROTOCOL_CHILD, "H.225", 4},
  });
  for (ProtocolDescriptor* d : h.host.protocols()) {
    SCOPED_TRACE(d->nameId);
    // The leaf form: the descriptor, and nothing for the parent commands.
    EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)d);
    EXPECT_EQ(d->control(PCTL_ADD_CHILD, 5004, (CTRLARG)d->parse, (CTRLARG)d->control, 0), 0u);
    EXPECT_EQ(d->control(PCTL_FIND_CHILD, 5004, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  }
}

TEST(SelkirtLibrary, BindsUnderUdpThenTcpByPort) {
  SelkirtHost h({"IP-TCP", "IP-UDP"});
  ExpectBindings(h, {
      {"IP-UDP", 5004, "IP-RTP"},    {"IP-TCP", 5004, "IP-RTP"},    {"IP-UDP", 1720, "ITU-Q931"},
      {"IP-UDP", 11720, "ITU-Q931"}, {"IP-TCP", 1720, "ITU-Q931"},  {"IP-TCP", 11720, "ITU-Q931"},
      {"IP-UDP", 1718, "ITU-H225"},  {"IP-UDP", 1719, "ITU-H225"},  {"IP-TCP", 1718, "ITU-H225"},
      {"IP-TCP", 1719, "ITU-H225"},
  });
}

TEST(SelkirtLibrary, MissingParentsAreSkippedSilently) {
  SelkirtHost h;
  ExpectNothingBoundWithoutParents(h, 3);
}

TEST(SelkirtLibrary, WrongTableVersionMakesItInert) { ExpectInertUnderOtherTableVersions("selkirt", "Selkirt"); }

TEST(SelkirtLibrary, EachProtocolKeepsItsColourUnderItsNameId) { ExpectColoursKeptUnderNameIds({"selkirt"}); }

}  // namespace
}  // namespace selkirttest
