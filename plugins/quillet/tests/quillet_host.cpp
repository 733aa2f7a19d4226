#include "quillet_host.h"

#include <stdio.h>
#include <string.h>

namespace quillettest {

namespace {

const char* const kFakeNames[kFakeCount] = {"MAC-802.3", "LLC-802.2", "LLC-SNAP", "NOVELL-IPX",
                                            "DOD-IP",    "IP-TCP",    "IP-UDP"};

QuilletHost* g_host = nullptr;
std::vector<HandOn> g_handOns;
std::vector<Binding> g_bindings;

BYTE g_fakeEnabled[kFakeCount];
DWORD g_fakeColor[kFakeCount];
ProtocolDescriptor g_fakes[kFakeCount];

long SlotOf(void* out) {
  if (!g_host || !out) return -1;
  return (long)(static_cast<DetailLine**>(out) - g_host->out.lists.data());
}

template <int N>
DWORD QV_CALL ParseFake(DWORD pass, CaptureFrame* f, void* out) {
  g_handOns.push_back(
      HandOn{kFakeNames[N], pass, f->offset, f->frameLength, f->capturedLength, pass == PASS_DETAIL ? SlotOf(out) : -1});
  return 0;
}

template <int N>
CTRLARG QV_CALL ControlFake(DWORD command, CTRLARG key, CTRLARG parse, CTRLARG control, CTRLARG) {
  if (command == PCTL_ADD_CHILD)
    g_bindings.push_back(Binding{kFakeNames[N], (DWORD)key, (ProtocolParse)parse, (ProtocolControl)control});
  return 0;
}

template <int... N>
struct FakeEntries {
  static constexpr ProtocolParse parses[] = {ParseFake<N>...};
  static constexpr ProtocolControl controls[] = {ControlFake<N>...};
};
using Entries = FakeEntries<0, 1, 2, 3, 4, 5, 6>;
static_assert(sizeof Entries::parses / sizeof Entries::parses[0] == kFakeCount);

}  // namespace

ProtocolParse FakeParse(Fake f) { return Entries::parses[f]; }
ProtocolControl FakeControl(Fake f) { return Entries::controls[f]; }

QuilletHost::QuilletHost(std::initializer_list<Fake> fakes, std::initializer_list<std::string> libraries)
    : TestHost(libraries, false) {
  g_host = this;
  ClearRecords();
  for (Fake f : fakes) {
    ProtocolDescriptor& d = g_fakes[f];
    memset(&d, 0, sizeof d);
    snprintf(d.nameId, sizeof d.nameId, "%s", kFakeNames[f]);
    d.description = kFakeNames[f];
    g_fakeEnabled[f] = 1;
    g_fakeColor[f] = 0;
    d.enabled = &g_fakeEnabled[f];
    d.textColor = &g_fakeColor[f];
    d.control = FakeControl(f);
    d.parse = FakeParse(f);
    host.Register(&d);
  }
  Start();
  EXPECT_TRUE(loadErrors.empty()) << loadErrors.front();
}

QuilletHost::~QuilletHost() {
  if (g_host == this) g_host = nullptr;
}

std::vector<HandOn> QuilletHost::HandOns() const {
  std::vector<HandOn> all = g_handOns;
  for (const qvtest::ParseCall& c : defaultParses)
    all.push_back(HandOn{"default", c.pass, c.offset, c.frameLength, c.capturedLength, -1});
  return all;
}

const std::vector<Binding>& QuilletHost::Bindings() const { return g_bindings; }

void QuilletHost::ClearRecords() {
  g_handOns.clear();
  defaultParses.clear();
}

std::string QuilletHost::Trace() const {
  std::string s;
  char buf[64];
  for (int i = 0; i < 4; i++) s += "[" + Cell(i) + "]";
  s += "\n";
  for (const qvhost::FlatLine& l : Lines()) {
    snprintf(buf, sizeof buf, "%zu %d %d %08X ", l.slot, l.offset, l.length, l.flags);
    s += buf + l.text + "\n";
  }
  for (const HandOn& c : HandOns()) {
    snprintf(buf, sizeof buf, " %u %d %d %d %ld\n", c.pass, c.offset, c.frameLength, c.capturedLength, c.slot);
    s += "-> " + c.to + buf;
  }
  return s;
}

void ExpectNoReadPastCapture(QuilletHost& h, const char* root, const Bytes& frame) {
  for (size_t n = 0; n <= frame.size(); n++) {
    Bytes cut(frame.begin(), frame.begin() + (ptrdiff_t)n);
    std::string traces[2];
    for (int stale = 0; stale < 2; stale++) {
      h.Decode(root, Bytes(frame.size() + 64, stale ? 0xFF : 0x00));
      h.ClearRecords();
      h.Decode(root, cut);
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
}

}  // namespace quillettest
