// The library entry: the version check, slot +272, registration order, the
// descriptors, statistics and child tables of the three parents.
#include <string.h>

#include <algorithm>

#include "corvale_host.h"

namespace corvaletest {
namespace {

const char kMismatch[] = "Corvale has mismatched Monitor Table version!\nPlease verify your installation.";

std::vector<DWORD> ChildKeys(ProtocolDescriptor* parent) {
  std::vector<DWORD> keys;
  CTRLARG e = 0;
  while ((e = parent->control(PCTL_NEXT_CHILD, e, 0, 0, 0)) != 0) keys.push_back(((ChildEntry*)e)->key);
  return keys;
}

TEST(CorvalePlugin, RegistersTheSuiteInOrderWithItsDescriptors) {
  CorvaleHost h({"corvale"});
  struct Row {
    const char* nameId;
    const char* description;
    const char* statistics;
    int layer;
  };
  // The protocols of this library in the order of the suite.
  const Row rows[] = {
      {"DOD-IP", "Internet Protocol", "IP", 3},
      {"IP-UDP", "User Datagram Protocol", "UDP", 4},
      {"IP-TCP", "Transmission Control Protocol", "TCP", 4},
  };
  const auto& protocols = h.host.protocols();
  ASSERT_EQ(protocols.size(), sizeof rows / sizeof rows[0]);
  for (size_t i = 0; i < protocols.size(); i++) {
    const Row& r = rows[i];
    const ProtocolDescriptor* d = protocols[i];
    EXPECT_STREQ(d->nameId, r.nameId);
    EXPECT_STREQ(d->description, r.description);
    EXPECT_EQ(d->flags, PROTOCOL_PARENT | PROTOCOL_CHILD) << r.nameId;
    EXPECT_EQ(*d->enabled, 1) << r.nameId;
    EXPECT_EQ(*d->textColor, 0u) << r.nameId;
    EXPECT_EQ(d->frameTypes, nullptr) << r.nameId;
    EXPECT_EQ(d->reserved[0] | d->reserved[1], 0u) << r.nameId;
    // name ids are NUL-padded
    EXPECT_EQ(std::string(d->nameId, sizeof d->nameId),
              std::string(r.nameId) + std::string(16 - strlen(r.nameId), '\0'));
    EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)d) << r.nameId;
    EXPECT_EQ(d->control(4, 0, 0, 0, 0), 0u) << r.nameId;
    EXPECT_EQ(d->control(7, 0, 0, 0, 0), 0u) << r.nameId;

    const StatisticsEntry* s = h.Statistics(r.statistics);
    ASSERT_NE(s, nullptr) << r.statistics;
    EXPECT_EQ(s->layer, r.layer) << r.statistics;
    EXPECT_EQ(s->counters, nullptr) << r.statistics;
    EXPECT_EQ(*s->frames, 0u) << r.statistics;
  }
  EXPECT_EQ(h.host.statistics().size(), 3u);
}

TEST(CorvalePlugin, TransportsBindUnderIpAndEachParentKeepsItsOwnTable) {
  CorvaleHost h({"corvale"});
  ProtocolDescriptor* ip = h.host.Find("DOD-IP");
  ProtocolDescriptor* udp = h.host.Find("IP-UDP");
  ProtocolDescriptor* tcp = h.host.Find("IP-TCP");
  ASSERT_TRUE(ip && udp && tcp);
  std::vector<DWORD> keys = ChildKeys(ip);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<DWORD>{6, 17}));
  EXPECT_EQ(ip->control(PCTL_FIND_CHILD, 17, 0, 0, 0), (CTRLARG)udp->parse);
  EXPECT_EQ(ip->control(PCTL_FIND_CHILD, 6, 0, 0, 0), (CTRLARG)tcp->parse);
  EXPECT_EQ(ip->control(PCTL_FIND_CHILD, 50, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
  // The entries carry the binding protocol's own control.
  const ChildEntry* first = (const ChildEntry*)ip->control(PCTL_NEXT_CHILD, 0, 0, 0, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->control, first->key == 6 ? tcp->control : udp->control);

  // A port bound under UDP is not bound under TCP.
  EXPECT_TRUE(ChildKeys(udp).empty());
  h.Bind("IP-UDP", 53, kChildA);
  EXPECT_EQ(ChildKeys(udp), (std::vector<DWORD>{53}));
  EXPECT_TRUE(ChildKeys(tcp).empty());
  EXPECT_EQ(tcp->control(PCTL_FIND_CHILD, 53, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
  EXPECT_NE(udp->control(PCTL_FIND_CHILD, 53, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);

  // Terminating a parent empties its table.
  udp->control(PCTL_TERMINATE, 0, 0, 0, 0);
  EXPECT_TRUE(ChildKeys(udp).empty());
}

TEST(CorvalePlugin, AttachInstallsTheProtocolNameService) {
  CorvaleHost h({"corvale"});
  char text[128] = "";
  EXPECT_EQ(h.table()->RetrieveIPProtocol(6, text, 2), TRUE);
  EXPECT_STREQ(text, "Transmission Control Protocol");
  EXPECT_EQ(h.table()->RetrieveIPProtocol(17, text, 1), TRUE);
  EXPECT_STREQ(text, "UDP");
}

TEST(CorvalePlugin, WrongTableVersionMakesTheLibraryInert) {
  for (DWORD version : {275u, 277u}) {
    qvtest::TestHost h({"corvale"}, false);
    RetrieveNumberProc fallback = h.table()->RetrieveIPProtocol;
    h.table()->version = version;
    h.Start();
    ASSERT_EQ(h.messages.size(), 1u) << version;
    EXPECT_EQ(h.messages[0].title, "Quorvane Network Monitor Error");
    EXPECT_EQ(h.messages[0].text, kMismatch);
    EXPECT_TRUE(h.host.protocols().empty());
    EXPECT_EQ(h.table()->RetrieveIPProtocol, fallback) << "slot +272 written by an inert library";
    // Inert for good: a later good table changes nothing.
    h.table()->version = MONITOR_TABLE_VERSION;
    for (DWORD type : {(DWORD)DLLC_ATTACH, (DWORD)DLLC_GET_SERVICES, (DWORD)DLLC_REGISTER, 3u})
      EXPECT_EQ(h.host.libraries()[0].control(type, h.table(), 0, 0, 0), 0u);
    EXPECT_TRUE(h.host.protocols().empty());
    EXPECT_EQ(h.table()->RetrieveIPProtocol, fallback);
    EXPECT_EQ(h.messages.size(), 1u);
  }
}

}  // namespace
}  // namespace corvaletest
