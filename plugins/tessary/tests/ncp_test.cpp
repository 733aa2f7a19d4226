// IPX-NCP: each packet type's summary and lines, the function and
// subfunction names of requests, the completion and status texts of replies.
#include "tessary_host.h"

namespace tessarytest {
namespace {

Lines Head(int length, const std::string& type, DWORD typeFlags = 0) {
  return {{"Netware Core Protocol", 0, length, OPEN}, {"Packet Type\t\t\t\t\t" + type, 0, 2, typeFlags}};
}
Lines RequestHead(int length) {
  return qvtest::Join({Head(length, "File Server Request"),
                       {{"Sequence Number\t\t\t1", 2, 1, 0},
                        {"Connection Num High\t\t1", 5, 1, 0},
                        {"Connection Number Low\t5", 3, 1, 0},
                        {"Task Number\t\t\t\t\t2", 4, 1, 0}}});
}
Lines Reply(const std::string& completion, const std::string& status) {
  return qvtest::Join({Head(8, "File Server Reply"),
                       {{"Sequence Number\t\t\t1", 2, 1, 0},
                        {"Connection Num High\t\t1", 5, 1, 0},
                        {"Connection Num Low\t\t5", 3, 1, 0},
                        {"Task Number\t\t\t\t\t2", 4, 1, 0},
                        {"Completion Code\t\t\t" + completion, 6, 1, 0},
                        {"Connection Status\t\t\t" + status, 7, 1, CLOSE}}});
}

struct Case {
  const char* name;
  Bytes packet;
  std::string description;
  Lines lines;
};

void Check(const Case& c) {
  SCOPED_TRACE(c.name);
  TessaryHost h;
  h.Decode("IPX-NCP", c.packet);
  ExpectLines(h.Lines(0), c.lines);
  EXPECT_EQ(h.Protocol(), "NCP");
  EXPECT_EQ(h.Description(), c.description);
  EXPECT_EQ(h.Frames("NCP"), 1u);
  EXPECT_EQ(h.Bytes64("NCP"), c.packet.size());
  EXPECT_TRUE(h.handOns.empty());
}

TEST(Ncp, Requests) {
  const std::string bad22 = "valid function code = 22, invalid subfunction code = 153";
  const Case cases[] = {
      {"function without subfunction", Hex("2222 01 05 02 01 48 00"), "Read From a File Request",
       qvtest::Join({RequestHead(8), {{"Function\t\t\t\t\t\t[72]\tRead From a File", 6, 1, CLOSE}}})},
      {"subfunction behind its length", Hex("2222 01 05 02 01 17 0001 11"), "Get File Server Information Request",
       qvtest::Join({RequestHead(10),
                     {{"Function\t\t\t\t\t\t[23]\tExtended Function", 6, 1, 0},
                      {"SubFunction Length\t\t1", 7, 2, 0},
                      {"SubFunction\t\t\t\t\t[17]\tGet File Server Information", 9, 1, CLOSE}}})},
      {"subfunction at byte 7", Hex("2222 01 05 02 01 22 01"), "TTS Begin Transaction Request",
       qvtest::Join({RequestHead(8),
                     {{"Function\t\t\t\t\t\t[34]\tExtended Function", 6, 1, 0},
                      {"SubFunction\t\t\t\t\t[1]\tTTS Begin Transaction", 7, 1, CLOSE}}})},
      {"a text with a trailing blank", Hex("2222 01 05 02 01 57 02"), "Initialize Search  Request",
       qvtest::Join({RequestHead(8),
                     {{"Function\t\t\t\t\t\t[87]\tExtended Function", 6, 1, 0},
                      {"SubFunction\t\t\t\t\t[2]\tInitialize Search ", 7, 1, CLOSE}}})},
      {"unknown subfunction", Hex("2222 01 05 02 01 16 0001 99"), bad22 + " Request",
       qvtest::Join({RequestHead(10),
                     {{"Function\t\t\t\t\t\t[22]\tExtended Function", 6, 1, 0},
                      {"SubFunction Length\t\t1", 7, 2, 0},
                      {"SubFunction\t\t\t\t\t[153]\t" + bad22, 9, 1, CLOSE}}})},
      {"unknown function", Hex("2222 01 05 02 01 0f"), "invalid function code = 15 Request",
       qvtest::Join({RequestHead(7), {{"Function\t\t\t\t\t\t[15]\tinvalid function code = 15", 6, 1, CLOSE}}})},
      {"cut before the subfunction", Hex("2222 01 05 02 01 17 00"), "",
       qvtest::Join({RequestHead(8), {{"Function\t\t\t\t\t\t[23]\tExtended Function", 6, 1, 0}}})},
      {"cut before the function", Hex("2222 01 05 02 01"), "", RequestHead(6)},
      {"cut inside the connection numbers", Hex("2222 01 05 02"), "",
       qvtest::Join({Head(5, "File Server Request"), {{"Sequence Number\t\t\t1", 2, 1, 0}}})},
  };
  for (const Case& c : cases) Check(c);
}

TEST(Ncp, Replies) {
  const Case cases[] = {
      {"success", Hex("3333 01 05 02 01 00 00"), "File Server Response = Success", Reply("Success", "Success")},
      {"completion code", Hex("3333 01 05 02 01 9c 00"), "File Server Response = Failure",
       Reply("Error -- invalid path", "Success")},
      {"connection status", Hex("3333 01 05 02 01 00 01"), "File Server Response = Failure",
       Reply("Success", "Bad Service Connection")},
      {"texts with two blanks and a comma", Hex("3333 01 05 02 01 8e 10"), "File Server Response = Failure",
       Reply("Error --  all files in use", "Service is down,")},
      {"no further connections", Hex("3333 01 05 02 01 ff 04"), "File Server Response = Failure",
       Reply("Error locking/unlocking, no files found, bad parameter or failure", "No further connections available")},
      {"unknown codes", Hex("3333 01 05 02 01 11 20"), "File Server Response = Failure",
       Reply("Unknown completion code = 11", "Unknown connection status = 20")},
      {"cut before the status", Hex("3333 01 05 02 01 00"), "File Server Response = ",
       qvtest::Join({Head(7, "File Server Reply"),
                     {{"Sequence Number\t\t\t1", 2, 1, 0},
                      {"Connection Num High\t\t1", 5, 1, 0},
                      {"Connection Num Low\t\t5", 3, 1, 0},
                      {"Task Number\t\t\t\t\t2", 4, 1, 0},
                      {"Completion Code\t\t\tSuccess", 6, 1, 0}}})},
  };
  for (const Case& c : cases) Check(c);
}

TEST(Ncp, OtherPacketTypes) {
  const Case cases[] = {
      {"create connection", Hex("1111 00 ff 00 ff"), "Create Service Connection Request",
       qvtest::Join({Head(6, "Create Service Connection Request"),
                     {{"Sequence Number\t\t\t0", 2, 1, 0}, {"Connection Num\t\t\t\t255", 3, 1, CLOSE}}})},
      {"destroy connection", Hex("5555 06 05 03 01"), "Destroy Service Connection",
       qvtest::Join({Head(6, "Destroy Service Connection Request"),
                     {{"Sequence Number\t\t\t6", 2, 1, 0}, {"Connection Num\t\t\t\t5", 3, 1, CLOSE}}})},
      {"positive acknowledge", Hex("9999 04 05 02 00"), "Request Being Processed",
       qvtest::Join({Head(6, "Positive Acknowledge"),
                     {{"Connection Number\t\t\t5", 3, 1, 0}, {"Task Number\t\t\t2", 4, 1, CLOSE}}})},
      {"burst", Hex("7777 02 90 04030201 0d0c0b0a 00000007 ffffffff 0003 0002 00000400 00000200 0200 0001"),
       "Burst Mode",
       qvtest::Join({Head(36, "Burst Mode"),
                     {{"Stream type\t\t\t\t2", 2, 1, 0},
                      {"System Flags\t\t\t\tSet for end of burst, set for system packet", 3, 1, 0},
                      {"Source Connection Id\t\t16909060", 4, 4, 0},  // little-endian
                      {"Destination Connection Id\t168496141", 8, 4, 0},
                      {"Packet Sequence Number\t7", 12, 4, 0},
                      {"Send Delay Time\t\t\t-1", 16, 4, 0},  // "%d" as the text has it
                      {"Burst Sequence Number\t3", 20, 2, 0},
                      {"Ack Sequence Number\t\t2", 22, 2, 0},
                      {"Burst Length\t\t\t\t1024", 24, 4, 0},
                      {"Data Offset\t\t\t\t512", 28, 4, 0},
                      {"Data Bytes\t\t\t\t\t512", 32, 2, 0},
                      {"Missing Fragment List Count\t1", 34, 2, CLOSE}}})},
      {"unknown type", Hex("1234 00 00"), "invalid packet type = 1234", Head(4, "Unknown Packet Type", CLOSE)},
      {"type cut", Hex("22"), "", {{"Netware Core Protocol", 0, 1, OPEN}}},
  };
  for (const Case& c : cases) Check(c);
}

TEST(Ncp, BurstSystemFlagWords) {
  const struct {
    BYTE flags;
    const char* words;
  } cases[] = {
      {0x00, ""},
      {0x04, "Set for abort request"},
      {0x10, "Set for end of burst"},
      {0x80, "Set for system packet"},
      {0x94, "Set for abort request, set for end of burst, set for system packet"},
      {0x6B, ""},  // the other bits name nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    TessaryHost h;
    Bytes packet = Hex("7777 02 00");
    packet[3] = c.flags;
    h.Decode("IPX-NCP", packet);
    ExpectLines(qvtest::LinesStarting(h.Lines(0), "System Flags"),
                {{std::string("System Flags\t\t\t\t") + c.words, 3, 1, 0}});
  }
}

TEST(Ncp, BoundedAndLineFailures) {
  TessaryHost h;
  for (const char* packet : {"2222 01 05 02 01 17 0001 11", "2222 01 05 02 01 22 01", "3333 01 05 02 01 9c 01",
                             "7777 02 90 04030201 0d0c0b0a 00000007 00000064 0003 0002 00000400 00000200 0200 0000",
                             "9999 04 05 02 00", "1111 00 ff 00 ff"}) {
    qvtest::ExpectBoundedAtEveryCut(h, "IPX-NCP", Hex(packet));
    qvtest::ExpectLineFailuresHandled(h, "IPX-NCP", Hex(packet));
  }
}

}  // namespace
}  // namespace tessarytest
