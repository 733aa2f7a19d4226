// The frame builders: Ethernet II, IPv4, UDP and TCP headers, big-endian,
// with lengths that follow the payload unless a test gives its own.
#include "frames.h"

#include "testhost.h"

namespace qvtest {

const char kHost[] = "00 a0 c9 14 c8 29";
const char kCisco[] = "00 00 0c 07 ac 01";
const char kBroadcast[] = "ff ff ff ff ff ff";

namespace {

void Put16(Bytes& b, WORD v) {
  b.push_back((BYTE)(v >> 8));
  b.push_back((BYTE)v);
}

}  // namespace

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Ether(const char* destination, const char* source, WORD type, const Bytes& payload, size_t pad) {
  Bytes frame = Cat({Hex(destination), Hex(source), Bytes{(BYTE)(type >> 8), (BYTE)type}, payload});
  if (frame.size() < pad) frame.resize(pad, 0);
  return frame;
}

Bytes Ethernet(const Bytes& payload, size_t padTo, WORD type) {
  return Ether("00 a0 c9 14 c8 29", "00 00 0c 12 34 56", type, payload, padTo);
}

Bytes Ip(const IpFields& f, const Bytes& payload) {
  Bytes b;
  b.push_back(f.versionIhl);
  b.push_back(f.tos);
  Put16(b, (WORD)(f.totalLength < 0 ? 20 + payload.size() : (size_t)f.totalLength));
  Put16(b, f.id);
  Put16(b, f.fragment);
  b.push_back(f.ttl);
  b.push_back(f.protocol);
  Put16(b, f.checksum);
  b.insert(b.end(), f.source, f.source + 4);
  b.insert(b.end(), f.destination, f.destination + 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes Ip(BYTE protocol, const Bytes& payload) {
  IpFields f;
  f.protocol = protocol;
  return Ip(f, payload);
}

Bytes Udp(WORD source, WORD destination, const Bytes& payload, int length) {
  Bytes b;
  Put16(b, source);
  Put16(b, destination);
  Put16(b, (WORD)(length < 0 ? 8 + payload.size() : (size_t)length));
  Put16(b, 0x1a2b);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes Tcp(WORD source, WORD destination, BYTE flags, const Bytes& options, const Bytes& payload, int dataOffset) {
  Bytes b;
  Put16(b, source);
  Put16(b, destination);
  for (BYTE v : {0x01, 0x02, 0x03, 0x04}) b.push_back(v);  // sequence 16909060
  for (BYTE v : {0x00, 0x00, 0x10, 0x00}) b.push_back(v);  // acknowledgement 4096
  Bytes padded = options;
  while (padded.size() % 4) padded.push_back(0);
  int words = dataOffset >= 0 ? dataOffset : (int)(5 + padded.size() / 4);
  b.push_back((BYTE)(words << 4));
  b.push_back(flags);
  Put16(b, 0x7210);  // window 29200
  Put16(b, 0xc0de);  // checksum
  Put16(b, 0x0007);  // urgent pointer
  b.insert(b.end(), padded.begin(), padded.end());
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

}  // namespace qvtest
