// The Ethernet capture of PPP control packets that make_captures.py writes
// beside its twin on the PPP link type, which tshark reads. The identifier,
// the length field, the rejected protocol and the user name and password
// below are the values tshark shows for the same packets.
#include <stdio.h>

#include <string>
#include <vector>

#include "dorrow_host.h"

namespace dorrowtest {
namespace {

// The frames of a classic little-endian pcap file.
std::vector<Bytes> ReadFrames(const std::string& path) {
  std::vector<Bytes> frames;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    ADD_FAILURE() << "cannot open " << path;
    return frames;
  }
  BYTE header[24];
  BYTE record[16];
  if (fread(header, 1, sizeof header, f) == sizeof header) {
    while (fread(record, 1, sizeof record, f) == sizeof record) {
      const size_t length = record[8] | record[9] << 8 | record[10] << 16 | (size_t)record[11] << 24;
      Bytes frame(length);
      if (fread(frame.data(), 1, length, f) != length) break;
      frames.push_back(frame);
    }
  }
  fclose(f);
  return frames;
}

bool HasLine(const std::vector<qvhost::FlatLine>& lines, const std::string& text) {
  for (const qvhost::FlatLine& l : lines)
    if (l.text == text) return true;
  return false;
}

TEST(PppCapture, FieldsAgreeWithThePeerReading) {
  NEED_BRANNOCK();
  struct Want {
    const char* protocol;
    const char* description;
    int identifier;  // -1: no header lines
    int length;
    const char* more;  // another line, or null
  };
  const Want want[] = {
      {"LCP", "Configuration Request", 1, 22, "Option\t\t\t\t\tAddress Compression"},
      {"LCP", "Configuration Ack", 1, 22, "Option\t\t\t\t\tMagic Number"},
      {"LCP", "Configuration Nak", 2, 8, "0014  05 D4                                            .."},
      {"LCP", "Configuration Reject", 3, 7, "Option\t\t\t\t\tCallback"},
      {"LCP", "Configuration Termination Request", 4, 7, nullptr},
      {"LCP", "Configuration Termination Ack", 4, 4, nullptr},
      {"LCP", "Configuration Code Reject", 5, 8, nullptr},
      {"LCP", "Configuration Protocol Reject", 6, 15, "Protocol\t\t\t\t\t80FD\tCompression Control Protocol"},
      {"LCP", "Configuration Echo Request", 7, 8, nullptr},
      {"LCP", "Configuration Echo Reply", 7, 8, nullptr},
      {"LCP", "Configuration Discard Request", 8, 15, nullptr},
      {"PAP", "Authentication Request", 1, 19, "0019  73 65 63 72 65 74 31 32                          secret12"},
      {"PAP", "Authentication Ack", 1, 12, nullptr},
      {"PAP", "Authentication Nak", 2, 11, nullptr},
      {"IPCP", "Packet", -1, 0, "IPCP Protocol"},
      {"Compression", "Packet", -1, 0, "PPP Compression Protocol"},
  };
  const std::vector<Bytes> frames = ReadFrames(std::string(QV_DORROW_TEST_DIR) + "/ppp_control.pcap");
  ASSERT_EQ(frames.size(), sizeof want / sizeof want[0]);
  EthernetHost h;
  for (size_t i = 0; i < frames.size(); i++) {
    SCOPED_TRACE("frame " + std::to_string(i + 1));
    const Want& w = want[i];
    h.Decode("MAC-802.3", frames[i]);
    EXPECT_EQ(h.Protocol(), w.protocol);
    EXPECT_EQ(h.Description(), w.description);
    const auto lines = h.Lines(1);
    if (w.identifier >= 0) {
      EXPECT_TRUE(HasLine(lines, "Identifier\t\t\t\t" + std::to_string(w.identifier)));
      EXPECT_TRUE(HasLine(lines, "Length\t\t\t\t\t" + std::to_string(w.length)));
    }
    if (w.more) {
      EXPECT_TRUE(HasLine(lines, w.more)) << w.more;
    }
  }
  h.Decode("MAC-802.3", frames[11]);
  EXPECT_TRUE(HasLine(h.Lines(1), "0013  61 6C 69 63 65                                   alice"));
}

}  // namespace
}  // namespace dorrowtest
