#include "corvale_host.h"

#include <stdio.h>
#include <string.h>

namespace corvaletest {

// ---------------------------------------------------------------- frames

namespace {

void Put16(Bytes& b, WORD v) {
  b.push_back((BYTE)(v >> 8));
  b.push_back((BYTE)v);
}

}  // namespace

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

Bytes Ethernet(const Bytes& payload, size_t padTo, WORD type) {
  Bytes b = Hex("00 a0 c9 14 c8 29 00 00 0c 12 34 56");
  Put16(b, type);
  b.insert(b.end(), payload.begin(), payload.end());
  if (b.size() < padTo) b.resize(padTo, 0);
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

// ---------------------------------------------------------------- host

namespace {

const char* const kStandInNames[kStandInCount] = {"A", "B"};

CorvaleHost* g_host = nullptr;
std::vector<HandOn> g_handOns;

long SlotOf(void* out) {
  if (!g_host || !out) return -1;
  return (long)(static_cast<DetailLine**>(out) - g_host->out.lists.data());
}

template <int N>
DWORD QV_CALL ParseStandIn(DWORD pass, CaptureFrame* f, void* out) {
  g_handOns.push_back(HandOn{kStandInNames[N], pass, f->offset, f->frameLength, f->capturedLength,
                             pass == PASS_DETAIL ? SlotOf(out) : -1});
  return 0;
}

const ProtocolParse kStandInParses[kStandInCount] = {ParseStandIn<0>, ParseStandIn<1>};

}  // namespace

CorvaleHost::CorvaleHost(std::initializer_list<std::string> libraries) : TestHost(libraries, true) {
  g_host = this;
  ClearRecords();
  EXPECT_TRUE(Has("DOD-IP")) << (loadErrors.empty() ? "" : loadErrors.front());
}

CorvaleHost::~CorvaleHost() {
  if (g_host == this) g_host = nullptr;
}

void CorvaleHost::Bind(const char* parent, DWORD key, StandIn child) {
  ProtocolDescriptor* d = host.Find(parent);
  ASSERT_NE(d, nullptr) << parent;
  d->control(PCTL_ADD_CHILD, key, (CTRLARG)kStandInParses[child], 0, 0);
}

std::vector<HandOn> CorvaleHost::HandOns() const {
  std::vector<HandOn> all = g_handOns;
  for (const qvtest::ParseCall& c : defaultParses)
    all.push_back(HandOn{"default", c.pass, c.offset, c.frameLength, c.capturedLength, -1});
  return all;
}

void CorvaleHost::ClearRecords() {
  g_handOns.clear();
  defaultParses.clear();
}

std::string CorvaleHost::Trace() {
  std::string s;
  char buf[96];
  for (int i = 0; i < 4; i++) s += "[" + Cell(i) + "]";
  snprintf(buf, sizeof buf, " flags %08X\n", (unsigned)host.flags());
  s += buf;
  for (const qvhost::FlatLine& l : Lines()) {
    snprintf(buf, sizeof buf, "%zu %d %d %08X ", l.slot, l.offset, l.length, (unsigned)l.flags);
    s += buf + l.text + "\n";
  }
  for (const HandOn& c : HandOns()) {
    snprintf(buf, sizeof buf, " %u %d %d %d %ld\n", (unsigned)c.pass, c.offset, c.frameLength, c.capturedLength,
             c.slot);
    s += "-> " + c.to + buf;
  }
  return s;
}

// ---------------------------------------------------------------- checks

std::vector<qvhost::FlatLine> LinesStarting(const std::vector<qvhost::FlatLine>& lines, const std::string& prefix) {
  std::vector<qvhost::FlatLine> found;
  for (const qvhost::FlatLine& l : lines)
    if (l.text.compare(0, prefix.size(), prefix) == 0) found.push_back(l);
  return found;
}

std::vector<qvhost::FlatLine> LinesFrom(const std::vector<qvhost::FlatLine>& lines, const std::string& prefix) {
  for (size_t i = 0; i < lines.size(); i++)
    if (lines[i].text.compare(0, prefix.size(), prefix) == 0)
      return std::vector<qvhost::FlatLine>(lines.begin() + (ptrdiff_t)i, lines.end());
  return {};
}

void ExpectNoReadPastCapture(CorvaleHost& h, const char* root, const Bytes& frame) {
  const DWORD flags = h.Flags();
  for (size_t n = 0; n <= frame.size(); n++) {
    Bytes cut(frame.begin(), frame.begin() + (ptrdiff_t)n);
    std::string traces[2];
    for (int stale = 0; stale < 2; stale++) {
      h.Decode(root, Bytes(frame.size() + 64, stale ? 0xFF : 0x00));
      h.ClearRecords();
      h.Flags() = flags;
      h.Decode(root, cut, qvhost::RUN_ALL, (int)frame.size());
      traces[stale] = h.Trace();
      for (const qvhost::FlatLine& l : h.Lines()) {
        EXPECT_GE(l.offset, 0) << "cut " << n << ": " << l.text;
        EXPECT_GE(l.length, 0) << "cut " << n << ": " << l.text;
      }
      for (const HandOn& c : h.HandOns()) {
        EXPECT_LE(c.capturedLength, (int)n) << "cut " << n << " to " << c.to;
        EXPECT_GE(c.offset, 0) << "cut " << n << " to " << c.to;
      }
    }
    EXPECT_EQ(traces[0], traces[1]) << root << " cut to " << n << " bytes reads past the capture";
  }
  h.Flags() = flags;
}

}  // namespace corvaletest
