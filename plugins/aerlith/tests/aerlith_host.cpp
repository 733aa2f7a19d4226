// Aerlith's test helpers: 802.11 frames built from their fields (control
// frames, beacons and their elements), the radio values the host records,
// and one section of a frame's detail lines.
#include "aerlith_host.h"

#include <string.h>

namespace aerlithtest {

const Bytes kStation = Hex("00a0c914c829");
const Bytes kAccessPoint = Hex("00000c07ac01");
const Bytes kOther = Hex("020000000007");
const Bytes kGroup = Hex("ffffffffffff");

namespace {
void Put16(Bytes& b, WORD v) {
  b.push_back((BYTE)v);
  b.push_back((BYTE)(v >> 8));
}
}  // namespace

Bytes Build(const Frame& f) {
  Bytes b = {f.control, f.flags};
  Put16(b, f.duration);
  b.insert(b.end(), f.address1.begin(), f.address1.end());
  b.insert(b.end(), f.address2.begin(), f.address2.end());
  b.insert(b.end(), f.address3.begin(), f.address3.end());
  Put16(b, f.sequence);
  if ((f.flags & 3) == 3) b.insert(b.end(), f.address4.begin(), f.address4.end());
  b.insert(b.end(), f.body.begin(), f.body.end());
  return b;
}

Bytes Control(BYTE control, std::initializer_list<Bytes> addresses, WORD duration) {
  Bytes b = {control, 0};
  Put16(b, duration);
  for (const Bytes& a : addresses) b.insert(b.end(), a.begin(), a.end());
  return b;
}

Bytes Element(BYTE id, const Bytes& value) {
  Bytes b = {id, (BYTE)value.size()};
  b.insert(b.end(), value.begin(), value.end());
  return b;
}

Bytes Element(BYTE id, const std::string& value) { return Element(id, Bytes(value.begin(), value.end())); }

Bytes Beacon(const Bytes& elements, BYTE control, WORD capability) {
  Bytes body = Hex("0102030405060708 6400");
  Put16(body, capability);
  body.insert(body.end(), elements.begin(), elements.end());
  return Build({.control = control, .address1 = kGroup, .address2 = kAccessPoint, .address3 = kAccessPoint,
                .body = body});
}

qvhost::FrameMedia Radio(BYTE rate, BYTE service, WORD plcpLength, DWORD phyType) {
  qvhost::FrameMedia m;
  m.radioInfo[0] = rate;
  m.radioInfo[1] = service;
  memcpy(m.radioInfo + 2, &plcpLength, 2);
  memcpy(m.radioInfo + 4, &phyType, 4);
  return m;
}

std::vector<qvhost::FlatLine> Section(const std::vector<qvhost::FlatLine>& lines, const std::string& from,
                                      const std::string& until) {
  std::vector<qvhost::FlatLine> found;
  bool in = false;
  for (const qvhost::FlatLine& l : lines) {
    if (!in && l.text == from) in = true;
    else if (in && !until.empty() && l.text == until) break;
    if (in) found.push_back(l);
  }
  return found;
}

}  // namespace aerlithtest
