// Real captures of tests/captures/files that carry SMB, handed to MS-SMB at
// the header's signature as their NetBIOS carriers hand it on; the fields
// both show agree with tshark's reading of the same frames (noted beside
// each case). tshark shows a 32-bit status where these frames' flags2 say
// so; ours shows the status's bytes as a class and a code, which agree for
// the successes here.
#include <algorithm>
#include <string>
#include <vector>

#include "qvhost/capture.h"
#include "wendrick_host.h"

namespace wendricktest {
namespace {

// Every frame of a capture, with `at` on its SMB header (-1: none).
std::vector<Crafted> ReadCapture(const char* name) {
  std::vector<Crafted> frames;
  qvhost::CaptureSource source;
  std::string error;
  EXPECT_TRUE(source.OpenFile(std::string(QV_CAPTURE_DIR) + "/" + name, &error)) << error;
  qvhost::Packet packet;
  const BYTE signature[] = {0xFF, 'S', 'M', 'B'};
  while (source.Next(&packet) == 1) {
    Bytes b(packet.data, packet.data + packet.capturedLength);
    const auto at = std::search(b.begin(), b.end(), signature, signature + 4);
    frames.push_back({at == b.end() ? -1 : (int)(at - b.begin()), b});
  }
  return frames;
}

// The texts of the first list from its first line that starts with `from`,
// `count` of them.
std::vector<std::string> From(const WendrickHost& h, const std::string& from, size_t count) {
  const auto lines = qvtest::LinesFrom(h.Lines(0), from);
  std::vector<std::string> texts;
  for (size_t i = 0; i < lines.size() && i < count; i++) texts.push_back(lines[i].text);
  return texts;
}

std::vector<std::string> Words(const std::vector<unsigned>& words) {
  std::vector<std::string> texts = {"Word Count\t\t\t" + std::to_string(words.size())};
  for (size_t i = 0; i < words.size(); i++) {
    char hex[8];
    snprintf(hex, sizeof hex, "0x%04x", words[i]);
    texts.push_back("Word " + std::to_string(i) + "\t\t\t\t" + hex);
  }
  return texts;
}

struct Expected {
  const char* description;
  const char* direction;
  const char* strings;
  std::vector<std::string> ids;    // tree, process, user, multiplex
  std::vector<unsigned> words;
};

std::vector<std::string> Ids(int tree, int process, int user, int multiplex) {
  return {"Tree ID\t\t\t\t\t" + std::to_string(tree), "Process ID\t\t\t\t" + std::to_string(process),
          "User ID\t\t\t\t\t" + std::to_string(user), "Multiplex ID\t\t\t" + std::to_string(multiplex)};
}

void Check(WendrickHost& h, const Crafted& frame, const Expected& e) {
  h.Carry("MS-SMB", frame);
  EXPECT_EQ(h.Description(), e.description);
  EXPECT_EQ(From(h, "Direction", 1), std::vector<std::string>{std::string("Direction\t\t\t") + e.direction});
  EXPECT_EQ(From(h, "Strings are", 1), std::vector<std::string>{std::string("Strings are\t\t\t") + e.strings});
  EXPECT_EQ(From(h, "Tree ID", 4), e.ids);
  EXPECT_EQ(From(h, "Word Count", e.words.size() + 1), Words(e.words));
  // DefaultParse gets the frame at the byte count.
  EXPECT_EQ(DefaultCalls().back().offset, frame.at + 33 + 2 * (int)e.words.size());
}

// tshark: Trans2 response and requests (QUERY_FS_INFO, QUERY_FILE_INFO),
// tree 2048, process 2848, user 4098, multiplex 1616, 1632, 1632, 1648;
// flags 0x96, 0x18, 0x98, 0x18; flags2 Unicode but in the third; the
// word counts 10, 15, 10, 15 and each parameter field as the words below.
TEST(RealCaptures, Transaction2OverSessions) {
  WendrickHost h;
  const auto frames = ReadCapture("smb_data_print-oobr.pcapng");
  ASSERT_EQ(frames.size(), 4u);
  const Expected expected[] = {
      {"Transaction 2 Response", "Server to Client", "Unicode", Ids(2048, 2848, 4098, 1616),
       {2, 24, 0, 2, 56, 0, 24, 60, 0, 0}},
      {"Transaction 2 Request", "Client to Server", "Unicode", Ids(2048, 2848, 4098, 1632),
       {2, 0, 0, 560, 0, 0, 0, 0, 0, 2, 68, 0, 0, 1, 3}},
      {"Transaction 2 Response", "Server to Client", "ASCII", Ids(2048, 2848, 4098, 1632),
       {0, 20, 0, 0, 56, 0, 20, 56, 0, 0}},
      {"Transaction 2 Request", "Client to Server", "Unicode", Ids(2048, 2848, 4098, 1648),
       {4, 0, 2, 40, 0, 0, 0, 0, 0, 4, 68, 0, 0, 1, 7}},
  };
  for (size_t i = 0; i < frames.size(); i++) {
    SCOPED_TRACE(i + 1);
    Check(h, frames[i], expected[i]);
  }
  // tshark: "Process ID High: 256" in the third.
  h.Carry("MS-SMB", frames[2]);
  EXPECT_EQ(From(h, "Word 0", 1), std::vector<std::string>{"Word 0\t\t\t\t256"});
}

// The same exchange with the third message's header damaged. tshark:
// flags2 0x3807 (execute-only reads, DFS), signature 0018003c00000000 and
// reserved 001d, word count 11.
TEST(RealCaptures, DamagedHeader) {
  WendrickHost h;
  const auto frames = ReadCapture("smb_data_print-segv.pcap");
  ASSERT_EQ(frames.size(), 4u);
  h.Carry("MS-SMB", frames[2]);
  EXPECT_EQ(From(h, "Strings are", 5),
            (std::vector<std::string>{"Strings are\t\t\tASCII", "Errors are\t\t\t16 Bits",
                                      "Reads are\t\t\tPermitted with Execute-Permission", "DFS Resolution\t\tOn",
                                      "Security\t\t\t\tExtended Security Supported"}));
  EXPECT_EQ(From(h, "Reserved Words", 7),
            (std::vector<std::string>{"Reserved Words", "Word 0\t\t\t\t0", "Word 1\t\t\t\t6144", "Word 2\t\t\t\t15360",
                                      "Word 3\t\t\t\t0", "Word 4\t\t\t\t0", "Word 5\t\t\t\t7424"}));
  EXPECT_EQ(From(h, "Word Count", 1), std::vector<std::string>{"Word Count\t\t\t11"});
  for (const Crafted& f : frames) qvtest::ExpectBoundedAtEveryCut(h, "CARRIER", f.bytes, {.linesWithinCapture = true});
}

// A mailslot transaction over NetBIOS on IPX whose capture ends inside the
// transaction's name: the lines end at the byte count, and the frame goes
// to DefaultParse where SMB got it. (tshark leaves the NetBIOS packet type
// 0x20 undecoded.)
TEST(RealCaptures, MailslotNameCutByTheCapture) {
  WendrickHost h;
  const auto frames = ReadCapture("smb_print_trans-oobr1.pcap");
  ASSERT_EQ(frames.size(), 4u);
  const Crafted& f = frames[3];
  ASSERT_EQ(f.at, 71);
  h.Carry("MS-SMB", f);
  EXPECT_EQ(h.Description(), "Transaction Request");
  const auto lines = h.Lines(0);
  EXPECT_EQ(lines[0].length, 143 - 71);
  EXPECT_EQ(lines.back().text, "Total Bytes\t\t\t\t59");
  EXPECT_EQ(From(h, "Timeout", 1), std::vector<std::string>{"Timeout\t\t\t\t\t1000 Milleseconds"});
  ASSERT_EQ(DefaultCalls().size(), 3u);
  for (const DefaultCall& c : DefaultCalls()) EXPECT_EQ(c.offset, 71);
  qvtest::ExpectBoundedAtEveryCut(h, "CARRIER", f.bytes, {.linesWithinCapture = true});
}

}  // namespace
}  // namespace wendricktest
