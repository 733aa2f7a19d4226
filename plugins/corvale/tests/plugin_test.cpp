// The library entry: the version check, slot +272, registration order, the
// descriptors, statistics and child tables of the three parents.
#include <string.h>

#include <algorithm>
#include <map>

#include "corvale_host.h"

namespace corvaletest {
namespace {

const char kMismatch[] = "Corvale has mismatched Monitor Table version!\nPlease verify your installation.";

TEST(CorvalePlugin, RegistersTheSuiteInOrderWithItsDescriptors) {
  CorvaleHost h({"corvale"});
  const DWORD P = PROTOCOL_PARENT | PROTOCOL_CHILD, C = PROTOCOL_CHILD;
  // The suite in its order; the library registers these, in this order,
  // and no others.
  const Registered rows[] = {
      {"DOD-IP", "Internet Protocol", P, "IP", 3},
      {"IP-ICMP", "Internet Control Message Protocol", C, "ICMP", 3},
      {"IP-IGMP", "Internet Group Management Protocol", C, "IGMP", 3},
      {"IP-ARP", "Address Resolution Protocol", C, "ARP", 2},
      {"IP-UDP", "User Datagram Protocol", P, "UDP", 4},
      {"IP-TCP", "Transmission Control Protocol", P, "TCP", 4},
      {"IP-NBNS", "NetBios Name Service Protocol", C, "NBNS", 5},
      {"IP-NBDS", "NetBios Datagram Service Protocol", C, "NBDS", 5},
      {"IP-NBSS", "NetBios Session Service Protocol", C, "NBSS", 5},
      {"IP_BOOTP", "Bootstrap Protocol", C, "BOOTP", 3},
      {"IP-TFTP", "Trivial File Transfer Protocol", C, "TFTP", 7},
      {"IP-FTP", "File Transfer Protocol", C, "FTP", 7},
      {"IP-HTTP", "Hyper-Text Transfer Protocol", C, "HTTP", 7},
      {"IP-DNS", "Domain Name Service Protocol", C, "DNS", 7},
      {"IP-EGP", "Exterior Gateway Protocol", C, "EGP", 3},
      {"IP-SLP", "Service Location Protocol", C, "SLP", 7},
      {"IP-OSPF", "Open Shortest Path First Protocol", C, "OSPF", 7},
      {"IP-SNMP", "Simple Network Management Protocol", C, "SNMP", 7},
      {"IP-SSDP", "Simple Service Discovery Protocol", C, "SSDP", 7},
      {"RADIUS", "Remote Authentication Dial In User Service Protocol", P, "Radius", 3},
      {"IP-SMTP", "Simple Mail Transfer Protocol", C, "SMTP", 7},
      {"IP-POP3", "Post Office Protocol - Version 3", C, "POP3", 7},
  };
  const auto& protocols = h.host.protocols();
  size_t next = 0;  // the row the next registered protocol must match, or a later one
  for (const ProtocolDescriptor* d : protocols) {
    while (next < std::size(rows) && strcmp(rows[next].nameId, d->nameId) != 0) next++;
    ASSERT_LT(next, std::size(rows)) << d->nameId << " registered out of order or not of the suite";
    const Registered& r = rows[next++];
    EXPECT_STREQ(d->description, r.description);
    EXPECT_EQ(d->flags, r.flags) << r.nameId;
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
  EXPECT_GE(protocols.size(), 3u);
  EXPECT_EQ(h.host.statistics().size(), protocols.size());
}

TEST(CorvalePlugin, TransportsBindUnderIpAndEachParentKeepsItsOwnTable) {
  CorvaleHost h({"corvale"});
  ProtocolDescriptor* ip = h.host.Find("DOD-IP");
  ProtocolDescriptor* udp = h.host.Find("IP-UDP");
  ProtocolDescriptor* tcp = h.host.Find("IP-TCP");
  ASSERT_TRUE(ip && udp && tcp);
  EXPECT_EQ(ip->control(PCTL_FIND_CHILD, 17, 0, 0, 0), (CTRLARG)udp->parse);
  EXPECT_EQ(ip->control(PCTL_FIND_CHILD, 6, 0, 0, 0), (CTRLARG)tcp->parse);
  EXPECT_EQ(ip->control(PCTL_FIND_CHILD, 50, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
  // The entries carry the binding protocol's own control.
  for (const char* parent : {"DOD-IP", "IP-UDP", "IP-TCP"}) {
    ProtocolDescriptor* p = h.host.Find(parent);
    for (CTRLARG e = p->control(PCTL_NEXT_CHILD, 0, 0, 0, 0); e; e = p->control(PCTL_NEXT_CHILD, e, 0, 0, 0)) {
      const ChildEntry* entry = (const ChildEntry*)e;
      bool own = false;
      for (const ProtocolDescriptor* d : h.host.protocols()) own |= entry->control == d->control;
      EXPECT_TRUE(own) << parent << " " << entry->key;
    }
  }

  // A port bound under UDP is not bound under TCP.
  const size_t udpKeys = ChildKeys(udp).size(), tcpKeys = ChildKeys(tcp).size();
  h.Bind("IP-UDP", 3001, kChildA);
  EXPECT_EQ(ChildKeys(udp).size(), udpKeys + 1);
  EXPECT_EQ(ChildKeys(udp).front(), 3001u);  // newest first
  EXPECT_EQ(ChildKeys(tcp).size(), tcpKeys);
  EXPECT_EQ(tcp->control(PCTL_FIND_CHILD, 3001, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
  EXPECT_NE(udp->control(PCTL_FIND_CHILD, 3001, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);

  ExpectTerminateEmptiesChildTable(h, "IP-UDP", 3001);
}

// Every registered protocol of the suite is bound under Corvale's parents at
// its keys, with its own entries, and the parents' tables hold nothing else.
TEST(CorvalePlugin, EachProtocolBindsUnderItsParentsAtItsKeys) {
  CorvaleHost h({"corvale"});
  struct Row {
    const char* nameId;
    const char* parent;
    std::vector<DWORD> keys;
    bool ownEntry = false;  // bound with a parse entry other than its descriptor's
  };
  const Row rows[] = {
      {"IP-ICMP", "DOD-IP", {1}},        {"IP-IGMP", "DOD-IP", {2}},
      {"IP-UDP", "DOD-IP", {17}},        {"IP-TCP", "DOD-IP", {6}},
      {"IP-NBNS", "IP-UDP", {137}},      {"IP-NBNS", "IP-TCP", {137}, true},
      {"IP-NBDS", "IP-UDP", {138}},      {"IP-NBDS", "IP-TCP", {138}},
      {"IP-NBSS", "IP-UDP", {139, 445}}, {"IP-NBSS", "IP-TCP", {139, 445}},
      {"IP_BOOTP", "IP-UDP", {67, 68}},  {"IP_BOOTP", "IP-TCP", {67, 68}},
      {"IP-TFTP", "IP-UDP", {69}},       {"IP-FTP", "IP-UDP", {20, 21}},
      {"IP-FTP", "IP-TCP", {20, 21}},    {"IP-HTTP", "IP-UDP", {80}},
      {"IP-HTTP", "IP-TCP", {80}},       {"IP-DNS", "IP-UDP", {53}},
      {"IP-DNS", "IP-TCP", {53}, true},  {"IP-EGP", "DOD-IP", {8}},
      {"IP-SLP", "IP-UDP", {427}},       {"IP-SLP", "IP-TCP", {427}},
      {"IP-OSPF", "DOD-IP", {89}},       {"IP-SNMP", "IP-UDP", {161, 162}},
      {"IP-SSDP", "IP-UDP", {1900}},     {"IP-SSDP", "IP-TCP", {1900}},
      {"RADIUS", "IP-UDP", {1812}},      {"RADIUS", "IP-TCP", {1812}},
      {"IP-SMTP", "IP-TCP", {25}},       {"IP-POP3", "IP-TCP", {110}},
  };
  std::map<std::string, std::vector<DWORD>> expected;
  for (const Row& r : rows) {
    const ProtocolDescriptor* d = h.host.Find(r.nameId);
    if (!d) continue;  // not built in this tree
    ProtocolDescriptor* parent = h.host.Find(r.parent);
    ASSERT_NE(parent, nullptr) << r.parent;
    for (DWORD key : r.keys) {
      const CTRLARG found = parent->control(PCTL_FIND_CHILD, key, 0, 0, 0);
      EXPECT_NE(found, (CTRLARG)h.table()->DefaultParse) << r.nameId << " under " << r.parent << " " << key;
      if (!r.ownEntry) {
        EXPECT_EQ(found, (CTRLARG)d->parse) << r.nameId << " under " << r.parent << " " << key;
      }
      expected[r.parent].push_back(key);
    }
  }
  for (const char* parent : {"DOD-IP", "IP-UDP", "IP-TCP"}) {
    std::vector<DWORD> keys = ChildKeys(h.host.Find(parent));
    std::sort(keys.begin(), keys.end());
    std::sort(expected[parent].begin(), expected[parent].end());
    EXPECT_EQ(keys, expected[parent]) << parent;
  }
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
