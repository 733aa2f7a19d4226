// NOVELL-RIP and NOVELL-SAP: the operation, the first route, the service
// type and the first server of an answer.
#include <string.h>

#include "tessary_host.h"

namespace tessarytest {
namespace {

// The first route of a RIP answer of several; a hop count of 16 marks both
// counts unreachable.
TEST(Rip, OperationAndFirstRoute) {
  struct Case {
    const char* name;
    Bytes packet;
    const char* description;
    Lines lines;
  };
  const Case cases[] = {
      {"answer with several routes",
       Hex("0002 00000001 0001 0002 00000002 0002 0003 0a0b0c0d 0001 0001"),
       "Response",
       {{"Novell Routing Information Protocol", 0, 10, OPEN},
        {"Function Type\t\t\tResponse", 0, 2, 0},
        {"Network Number\t\t\t0x00000001", 2, 4, 0},
        {"Hop Count\t\t\t\t1", 6, 2, 0},
        {"Tick Count\t\t\t\t2", 8, 2, CLOSE}}},
      {"unreachable network",
       Hex("0002 a0b1c2d3 0010 0007"),
       "Response",
       {{"Novell Routing Information Protocol", 0, 10, OPEN},
        {"Function Type\t\t\tResponse", 0, 2, 0},
        {"Network Number\t\t\t0xA0B1C2D3", 2, 4, 0},
        {"Hop Count\t\t\t\t16\tUnreachable", 6, 2, 0},
        {"Tick Count\t\t\t\t7\tUnreachable", 8, 2, CLOSE}}},
      {"request for every network",
       Hex("0001 ffffffff ffff ffff"),
       "Request",
       {{"Novell Routing Information Protocol", 0, 10, OPEN},
        {"Function Type\t\t\tRequest", 0, 2, 0},
        {"Network Number\t\t\t0xFFFFFFFF", 2, 4, 0},
        {"Hop Count\t\t\t\t65535", 6, 2, 0},
        {"Tick Count\t\t\t\t65535", 8, 2, CLOSE}}},
      {"unknown operation",
       Hex("0003 00000001 0010 0001"),
       "Unknown Type",
       {{"Novell Routing Information Protocol", 0, 10, OPEN},
        {"Function Type\t\t\tUnknown Type", 0, 2, 0},
        {"Network Number\t\t\t0x00000001", 2, 4, 0},
        {"Hop Count\t\t\t\t16\tUnreachable", 6, 2, 0},
        {"Tick Count\t\t\t\t1\tUnreachable", 8, 2, CLOSE}}},
      {"route cut after its hop count",
       Hex("0002 00000001 0001"),
       "Response",
       {{"Novell Routing Information Protocol", 0, 10, OPEN},
        {"Function Type\t\t\tResponse", 0, 2, 0},
        {"Network Number\t\t\t0x00000001", 2, 4, 0},
        {"Hop Count\t\t\t\t1", 6, 2, 0}}},
      {"operation cut", Hex("00"), "", {{"Novell Routing Information Protocol", 0, 10, OPEN}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TessaryHost h;
    h.Decode("NOVELL-RIP", c.packet);
    ExpectLines(h.Lines(0), c.lines);
    EXPECT_EQ(h.Protocol(), "IPX RIP");
    EXPECT_EQ(h.Description(), c.description);
    EXPECT_EQ(h.Bytes64("IPX RIP"), c.packet.size());
    EXPECT_TRUE(h.handOns.empty());
  }
}

Bytes Entry(const char* type, const char* name, const char* rest) {
  Bytes n = Bytes(name, name + strlen(name));
  n.resize(48, 0);
  return Cat({Hex(type), n, Hex(rest)});
}

Lines SapHead(int titleLength, const std::string& operation, const std::string& type, DWORD typeFlags = 0) {
  return {{"Novell Service Advertising Protocol", 0, titleLength, OPEN},
          {"Function Type\t\t\t" + operation, 0, 2, 0},
          {"Service Type\t\t\t" + type, 2, 2, typeFlags}};
}

TEST(Sap, OperationServiceTypeAndFirstServer) {
  const Bytes first = Entry("0004", "SERVER1", "00000001 00000000000f 0451 0001");
  const Bytes second = Entry("0004", "SERVER2", "00000002 00000000000f 0451 0002");
  const Lines firstServer = {
      {"Server Information", 4, 62, OPEN},
      {"Server Name\t\t\tSERVER1", 4, 48, 0},
      {"Network\t\t\t\t00000001", 52, 4, 0},
      {"Node\t\t\t\t\t00-00-00-00-00-0F", 56, 6, 0},
      {"Socket\t\t\t\t0451\tNetware Core Protocol", 62, 2, 0},
      {"Hop Count\t\t\t1", 64, 2, CLOSE + 1},
  };
  struct Case {
    const char* name;
    Bytes packet;
    const char* description;
    Lines lines;
  };
  const Case cases[] = {
      {"general answer of two", Cat({Hex("0002"), first, second}), "General service response",
       qvtest::Join({SapHead(130, "General service response", "File Server"), firstServer})},
      {"nearest answer", Cat({Hex("0004"), first}), "Nearest service response",
       qvtest::Join({SapHead(66, "Nearest service response", "File Server"), firstServer})},
      {"general request", Hex("0001 ffff"), "General service request",
       SapHead(4, "General service request", "Any Service", CLOSE)},
      {"nearest request", Hex("0003 0278"), "Nearest service request",
       SapHead(4, "Nearest service request", "Directory Server", CLOSE)},
      {"unknown operation and type", Hex("0005 1234"), "Unknown Function",
       SapHead(4, "Unknown Function", "Unknown Service Type", CLOSE)},
      {"a name of all 48 bytes, an unnamed socket and a large hop count",
       Cat({Hex("0002"), Entry("0047", "PRINTSERVER-ON-THE-THIRD-FLOOR-OF-THE-OLD-WING-B", "0a0b0c0d 00000c123456 8060 ff00")}),
       "General service response",
       qvtest::Join({SapHead(66, "General service response", "Advertising Print Server"),
                     {{"Server Information", 4, 62, OPEN},
                      {"Server Name\t\t\tPRINTSERVER-ON-THE-THIRD-FLOOR-OF-THE-OLD-WING-B", 4, 48, 0},
                      {"Network\t\t\t\t0a0b0c0d", 52, 4, 0},
                      {"Node\t\t\t\t\t00-00-0C-12-34-56", 56, 6, 0},
                      {"Socket\t\t\t\t8060", 62, 2, 0},
                      {"Hop Count\t\t\t65280", 64, 2, CLOSE + 1}}})},
      {"answer cut inside the server's node", Cat({Hex("0002"), Bytes(first.begin(), first.begin() + 56)}),
       "General service response",
       qvtest::Join({SapHead(58, "General service response", "File Server"),
                     {{"Server Information", 4, 62, OPEN},
                      {"Server Name\t\t\tSERVER1", 4, 48, 0},
                      {"Network\t\t\t\t00000001", 52, 4, 0}}})},
      {"answer cut inside the server's name", Cat({Hex("0002"), Bytes(first.begin(), first.begin() + 20)}),
       "General service response", SapHead(22, "General service response", "File Server")},
      {"operation cut", Hex("00"), "", {{"Novell Service Advertising Protocol", 0, 1, OPEN}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TessaryHost h;
    h.Decode("NOVELL-SAP", c.packet);
    ExpectLines(h.Lines(0), c.lines);
    EXPECT_EQ(h.Protocol(), "IPX SAP");
    EXPECT_EQ(h.Description(), c.description);
    EXPECT_EQ(h.Bytes64("IPX SAP"), c.packet.size());
    EXPECT_TRUE(h.handOns.empty());
  }
}

// The first server's node shows its name-table name behind its hex text,
// raw addresses or not, as IPX's nodes do.
TEST(Sap, ServerNodeShowsItsName) {
  TessaryHost h;
  ASSERT_NE(h.table()->AddName("FS1", Hex("00 00 00 00 00 0f").data(), 6, 0), nullptr);
  for (DWORD raw : {0u, (DWORD)MT_RAW_ADDRESSES}) {
    h.Flags() = raw;
    h.Decode("NOVELL-SAP", Cat({Hex("0002"), Entry("0004", "SERVER1", "00000001 00000000000f 0451 0001")}));
    const auto nodes = qvtest::LinesStarting(h.Lines(0), "Node");
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].text, "Node\t\t\t\t\t00-00-00-00-00-0F\tFS1");
    EXPECT_EQ(nodes[0].offset, 56);
    EXPECT_EQ(nodes[0].length, 6);
  }
}

TEST(RipSap, BoundedAndLineFailures) {
  TessaryHost h;
  const Bytes rip = Hex("0002 00000001 0010 0002 00000002 0002 0003");
  qvtest::ExpectBoundedAtEveryCut(h, "NOVELL-RIP", rip);
  qvtest::ExpectLineFailuresHandled(h, "NOVELL-RIP", rip);
  const Bytes sap = Cat({Hex("0002"), Entry("0004", "SERVER1", "00000001 00000000000f 0451 0001")});
  qvtest::ExpectBoundedAtEveryCut(h, "NOVELL-SAP", sap);
  qvtest::ExpectLineFailuresHandled(h, "NOVELL-SAP", sap);
  qvtest::ExpectBoundedAtEveryCut(h, "NOVELL-SAP", Hex("0003 0004"));
}

}  // namespace
}  // namespace tessarytest
