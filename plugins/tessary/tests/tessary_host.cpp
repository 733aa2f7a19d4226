// Tessary's test helpers: IPX packets built from their fields, a reader of
// classic pcap files, and the paths of the captures the tests read.
#include "tessary_host.h"

#include <stdio.h>
#include <string.h>

namespace tessarytest {

namespace {

void Put16(Bytes& b, unsigned v) {
  b.push_back((BYTE)(v >> 8));
  b.push_back((BYTE)v);
}

}  // namespace

Bytes Ipx(const IpxFields& f, const Bytes& payload) {
  Bytes b;
  Put16(b, f.checksum);
  Put16(b, f.length < 0 ? 30 + (unsigned)payload.size() : (unsigned)f.length);
  b.push_back(f.control);
  b.push_back(f.type);
  return Cat({b, Hex(f.destination), Hex(f.source), payload});
}

Bytes Ipx(BYTE type, WORD destinationSocket, WORD sourceSocket, const Bytes& payload) {
  char destination[64], source[64];
  snprintf(destination, sizeof destination, "00 00 00 01  00 00 0c 12 34 56  %02x %02x", destinationSocket >> 8,
           destinationSocket & 0xFF);
  snprintf(source, sizeof source, "0a 0b 0c 0d  00 a0 c9 14 c8 29  %02x %02x", sourceSocket >> 8, sourceSocket & 0xFF);
  IpxFields f;
  f.type = type;
  f.destination = destination;
  f.source = source;
  return Ipx(f, payload);
}

// Classic pcap only, either byte order; enough for the files kept here.
std::vector<Packet> ReadPcap(const std::string& path) {
  std::vector<Packet> packets;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    ADD_FAILURE() << "cannot open " << path;
    return packets;
  }
  BYTE header[24];
  if (fread(header, 1, sizeof header, f) == sizeof header) {
    const bool swapped = header[0] == 0xA1 && header[1] == 0xB2;
    auto word = [swapped](const BYTE* p) {
      return swapped ? (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]
                     : (uint32_t)p[3] << 24 | p[2] << 16 | p[1] << 8 | p[0];
    };
    BYTE record[16];
    while (fread(record, 1, sizeof record, f) == sizeof record) {
      const uint32_t captured = word(record + 8), wire = word(record + 12);
      if (captured > 65536) break;
      Packet p{Bytes(captured), (int)wire};
      if (fread(p.data.data(), 1, captured, f) != captured) break;
      packets.push_back(std::move(p));
    }
  }
  fclose(f);
  EXPECT_FALSE(packets.empty()) << path;
  return packets;
}

std::string Crafted(const char* name) { return std::string(QV_TESSARY_CAPTURES) + "/" + name; }
std::string RealCapture(const char* name) { return std::string(QV_CAPTURE_DIR) + "/" + name; }

}  // namespace tessarytest
