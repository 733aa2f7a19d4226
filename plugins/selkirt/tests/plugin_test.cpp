// The library as the host meets it: registration, statistics, control forms,
// the ten bindings under UDP and TCP, the version check.
#include "selkirt_host.h"

namespace selkirttest {
namespace {

TEST(SelkirtLibrary, RegistersItsThreeProtocolsInOrder) {
  SelkirtHost h;
  struct Want {
    const char* nameId;
    const char* description;
    const char* statistics;
  };
  const Want want[] = {
      {"IP-RTP", "Real-Time Transport Protocol", "RTP"},
      {"ITU-Q931", "Q.931 Connection Control Protocol", "Q.931"},
      {"ITU-H225", "H.225 Call Signalling Protocol", "H.225"},
  };
  const auto& protocols = h.host.protocols();
  ASSERT_EQ(protocols.size(), 3u);
  ASSERT_EQ(h.host.statistics().size(), 3u);
  for (size_t i = 0; i < 3; i++) {
    SCOPED_TRACE(want[i].nameId);
    ProtocolDescriptor* d = protocols[i];
    EXPECT_STREQ(d->nameId, want[i].nameId);
    EXPECT_STREQ(d->description, want[i].description);
    EXPECT_EQ(d->flags, (DWORD)PROTOCOL_CHILD);
    EXPECT_EQ(*d->enabled, 1);
    EXPECT_EQ(*d->textColor, 0u);
    EXPECT_EQ(d->frameTypes, nullptr);
    const StatisticsEntry* s = h.host.statistics()[i];
    EXPECT_STREQ(s->name, want[i].statistics);
    EXPECT_EQ(s->layer, 4);
    EXPECT_EQ(s->counters, nullptr);
    // The leaf form: the descriptor, and nothing for the parent commands.
    EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)d);
    EXPECT_EQ(d->control(PCTL_ADD_CHILD, 5004, (CTRLARG)d->parse, (CTRLARG)d->control, 0), 0u);
    EXPECT_EQ(d->control(PCTL_FIND_CHILD, 5004, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  }
}

TEST(SelkirtLibrary, BindsUnderUdpThenTcpByPort) {
  SelkirtHost h({"IP-TCP", "IP-UDP"});
  struct Want {
    const char* parent;
    DWORD key;
    const char* child;
  };
  const Want want[] = {
      {"IP-UDP", 5004, "IP-RTP"},    {"IP-TCP", 5004, "IP-RTP"},    {"IP-UDP", 1720, "ITU-Q931"},
      {"IP-UDP", 11720, "ITU-Q931"}, {"IP-TCP", 1720, "ITU-Q931"},  {"IP-TCP", 11720, "ITU-Q931"},
      {"IP-UDP", 1718, "ITU-H225"},  {"IP-UDP", 1719, "ITU-H225"},  {"IP-TCP", 1718, "ITU-H225"},
      {"IP-TCP", 1719, "ITU-H225"},
  };
  ASSERT_EQ(h.bindings.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < h.bindings.size(); i++) {
    SCOPED_TRACE(i);
    ProtocolDescriptor* child = h.host.Find(want[i].child);
    EXPECT_EQ(h.bindings[i].parent, want[i].parent);
    EXPECT_EQ(h.bindings[i].key, want[i].key);
    EXPECT_EQ(h.bindings[i].parse, child->parse);
    EXPECT_EQ(h.bindings[i].control, child->control);
  }
}

TEST(SelkirtLibrary, MissingParentsAreSkippedSilently) {
  SelkirtHost h;
  EXPECT_TRUE(h.bindings.empty());
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(h.host.protocols().size(), 3u);
}

TEST(SelkirtLibrary, WrongTableVersionMakesItInert) { qvtest::ExpectInertUnderOtherTableVersions("selkirt", "Selkirt"); }

TEST(SelkirtLibrary, EachProtocolKeepsItsColourUnderItsNameId) {
  {
    SelkirtHost h;
    DWORD colour = 0x20;
    for (ProtocolDescriptor* d : h.host.protocols()) *d->textColor = colour++;
  }
  SelkirtHost h;
  DWORD colour = 0x20;
  for (ProtocolDescriptor* d : h.host.protocols()) EXPECT_EQ(*d->textColor, colour++) << d->nameId;
}

}  // namespace
}  // namespace selkirttest
