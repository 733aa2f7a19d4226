// The test host: loads built plug-ins through the real host, records what
// they hand on, bind, name and put in message boxes, and gives stand-in
// protocols (each with entries of its own) and a config folder per test.
#include "testhost.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace qvtest {

namespace {

TestHost* g_current = nullptr;
AddNameProc g_addName = nullptr;

// ---------------------------------------------------------------- stand-ins
// Each stand-in needs parse and control entries of its own.
constexpr int kMaxStandIns = 16;
struct StandInRecord {
  std::string name;
  BYTE enabled = 1;
  DWORD color = 0;
  ProtocolDescriptor descriptor = {};
};
StandInRecord g_standIns[kMaxStandIns];
int g_standInCount = 0;

template <int N>
DWORD QV_CALL ParseStandIn(DWORD pass, CaptureFrame* f, void* out) {
  if (g_current)
    g_current->handOns.push_back(HandOn{g_standIns[N].name, pass, f->offset, f->frameLength, f->capturedLength,
                                        pass == PASS_DETAIL ? g_current->SlotOf(out) : -1});
  return 0;
}

template <int N>
CTRLARG QV_CALL ControlStandIn(DWORD command, CTRLARG key, CTRLARG parse, CTRLARG control, CTRLARG) {
  if (command == PCTL_ADD_CHILD && g_current)
    g_current->bindings.push_back(Binding{g_standIns[N].name, (DWORD)key, (ProtocolParse)parse, (ProtocolControl)control});
  if (command == PCTL_GET_DESCRIPTOR) return (CTRLARG)&g_standIns[N].descriptor;
  return 0;
}

template <int... N>
struct StandInEntries {
  static constexpr ProtocolParse parses[] = {ParseStandIn<N>...};
  static constexpr ProtocolControl controls[] = {ControlStandIn<N>...};
};
using Entries = StandInEntries<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>;
static_assert(sizeof Entries::parses / sizeof Entries::parses[0] == kMaxStandIns);

// The stand-in of this name, made when it is new.
int StandInIndex(const char* name) {
  for (int i = 0; i < g_standInCount; i++)
    if (g_standIns[i].name == name) return i;
  if (g_standInCount == kMaxStandIns) {
    ADD_FAILURE() << "too many stand-ins";
    return 0;
  }
  StandInRecord& r = g_standIns[g_standInCount];
  r.name = name;
  r.enabled = 1;
  r.color = 0;
  memset(&r.descriptor, 0, sizeof r.descriptor);
  snprintf(r.descriptor.nameId, sizeof r.descriptor.nameId, "%s", name);
  r.descriptor.description = r.name.c_str();
  r.descriptor.enabled = &r.enabled;
  r.descriptor.textColor = &r.color;
  r.descriptor.control = Entries::controls[g_standInCount];
  r.descriptor.parse = Entries::parses[g_standInCount];
  return g_standInCount++;
}

int RecordMessage(HWND, const char* text, const char* title, DWORD, void*) {
  if (g_current) g_current->messages.push_back(Message{title ? title : "", text ? text : ""});
  return plat::IDOK;
}

void* QV_CALL RecordAddName(const char* name, const BYTE* address, int length, int value) {
  if (g_current) {
    NameCall call{name ? name : "", {}, value};
    if (address && length > 0) call.address.assign(address, address + length);
    g_current->addNames.push_back(call);
  }
  return g_addName ? g_addName(name, address, length, value) : nullptr;
}

// Each test gets a config folder of its own below the one CTest names, so
// that tests running side by side never share settings.
class ConfigFolderPerTest : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& info) override {
    static const std::string base = [] {
      const char* dir = getenv("QUORVANE_CONFIG_DIR");
      return std::string(dir ? dir : "/tmp/quorvane-tests");
    }();
    std::string dir = base + "/" + info.test_suite_name() + "." + info.name();
    setenv("QUORVANE_CONFIG_DIR", dir.c_str(), 1);
  }
};

const bool g_listening = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ConfigFolderPerTest);
  return true;
}();

}  // namespace

std::string PluginDir() {
  const char* dir = getenv("QV_PLUGIN_DIR");
  return dir ? dir : ".";
}

std::string PluginPath(const std::string& name, const std::string& folder) { return folder + "/lib" + name + ".so"; }

bool Built(const char* name) { return access(PluginPath(name).c_str(), R_OK) == 0; }

Bytes Hex(const char* text) {
  Bytes bytes;
  int high = -1;
  for (const char* p = text; *p; p++) {
    int v;
    if (*p >= '0' && *p <= '9')
      v = *p - '0';
    else if (*p >= 'a' && *p <= 'f')
      v = *p - 'a' + 10;
    else if (*p >= 'A' && *p <= 'F')
      v = *p - 'A' + 10;
    else
      continue;
    if (high < 0) {
      high = v;
    } else {
      bytes.push_back((BYTE)(high << 4 | v));
      high = -1;
    }
  }
  return bytes;
}

TestHost::TestHost(const std::vector<std::string>& libraries, bool start, const std::string& folder) {
  // A library loaded once serves the host that started it last: an older
  // host still alive would stop the libraries through the newer one's table.
  if (g_current) ADD_FAILURE() << "another test host is still alive";
  g_current = this;
  g_standInCount = 0;
  plat::SetMessageSink(RecordMessage, nullptr);
  host.hooks().defaultParse = [this](DWORD pass, const CaptureFrame* f) {
    defaultParses.push_back(ParseCall{pass, f->offset, f->frameLength, f->capturedLength});
    handOns.push_back(HandOn{"default", pass, f->offset, f->frameLength, f->capturedLength, -1});
  };
  // Wrap whatever serves AddName once the libraries have attached, before the
  // parsers copy the slot.
  host.hooks().afterAttach = [this] {
    g_addName = host.table()->AddName;
    host.table()->AddName = RecordAddName;
  };
  for (const std::string& name : libraries) {
    std::string error;
    if (!host.LoadLibrary(PluginPath(name, folder), &error)) loadErrors.push_back(error);
  }
  if (start) Start();
}

TestHost::~TestHost() {
  host.ReleaseDetail(&out);
  host.Stop();
  plat::SetMessageSink(nullptr, nullptr);
  g_addName = nullptr;
  if (g_current == this) g_current = nullptr;
}

void TestHost::StandIn(const char* nameId) {
  host.Register(&g_standIns[StandInIndex(nameId)].descriptor);
}

void TestHost::BindStandIn(const char* parent, DWORD key, const char* name) {
  ProtocolDescriptor* d = host.Find(parent);
  ASSERT_NE(d, nullptr) << parent;
  d->control(PCTL_ADD_CHILD, key, (CTRLARG)Entries::parses[StandInIndex(name)], 0, 0);
}

ProtocolParse TestHost::StandInParse(const char* name) { return Entries::parses[StandInIndex(name)]; }
ProtocolControl TestHost::StandInControl(const char* name) { return Entries::controls[StandInIndex(name)]; }

long TestHost::SlotOf(void* out) const {
  if (!out) return -1;
  return (long)(static_cast<DetailLine**>(out) - this->out.lists.data());
}

void TestHost::ClearRecords() {
  handOns.clear();
  defaultParses.clear();
}

std::string TestHost::Trace() const {
  std::string s;
  char buf[96];
  for (int i = 0; i < 4; i++) s += "[" + Cell(i) + "]";
  snprintf(buf, sizeof buf, " flags %08X colour %08X frame %08X\n", (unsigned)const_cast<qvhost::Host&>(host).flags(),
           (unsigned)out.textColor, (unsigned)out.frameFlags);
  s += buf;
  for (const qvhost::FlatLine& l : Lines()) {
    snprintf(buf, sizeof buf, "%zu %d %d %08X ", l.slot, l.offset, l.length, (unsigned)l.flags);
    s += buf + l.text + "\n";
  }
  return s + HandOnTrace();
}

std::string TestHost::HandOnTrace() const {
  std::string s;
  char buf[96];
  for (const HandOn& c : handOns) {
    snprintf(buf, sizeof buf, " %u %d %d %d %ld\n", (unsigned)c.pass, c.offset, c.frameLength, c.capturedLength,
             c.slot);
    s += "-> " + c.to + buf;
  }
  return s;
}

std::vector<std::string> TestHost::Receivers(DWORD pass) const {
  std::vector<std::string> got;
  for (const HandOn& c : handOns)
    if (c.pass == pass) got.push_back(c.to + "@" + std::to_string(c.offset));
  return got;
}

LibraryHost::LibraryHost(const std::vector<std::string>& libraries, std::initializer_list<const char*> standIns,
                         BeforeStart beforeStart)
    : TestHost(libraries, false) {
  for (const char* name : standIns) StandIn(name);
  if (beforeStart) beforeStart(*this);
  Start();
  EXPECT_TRUE(loadErrors.empty()) << loadErrors.front();
}

void TestHost::Decode(const char* root, const Bytes& frame, unsigned mask, int wireLength) {
  ProtocolDescriptor* d = host.Find(root);
  ASSERT_NE(d, nullptr) << root << " is not registered";
  host.DecodeFrame(d, frame.data(), (int)frame.size(), wireLength < 0 ? (int)frame.size() : wireLength, mask, &out,
                   &media);
}

std::vector<qvhost::FlatLine> TestHost::Lines(size_t slot) const {
  std::vector<qvhost::FlatLine> lines;
  for (const qvhost::FlatLine& l : Lines())
    if (l.slot == slot) lines.push_back(l);
  return lines;
}

const StatisticsEntry* TestHost::Statistics(const char* name) const {
  for (const StatisticsEntry* e : host.statistics())
    if (e->name && std::string(e->name) == name) return e;
  return nullptr;
}

uint64_t TestHost::Frames(const char* name) const {
  const StatisticsEntry* e = Statistics(name);
  EXPECT_NE(e, nullptr) << name;
  return e ? *e->frames : 0;
}

uint64_t TestHost::Bytes64(const char* name) const {
  const StatisticsEntry* e = Statistics(name);
  EXPECT_NE(e, nullptr) << name;
  return e ? *e->bytes : 0;
}

uint64_t TestHost::Counter(const char* name, const char* counter) const {
  const StatisticsEntry* e = Statistics(name);
  EXPECT_NE(e, nullptr) << name;
  for (const StatisticsCounter* c = e ? e->counters : nullptr; c; c = c->next)
    if (std::string(c->name) == counter) return *c->value;
  ADD_FAILURE() << name << " has no counter " << counter;
  return 0;
}

std::vector<uint64_t> TestHost::StatisticsValues() const {
  std::vector<uint64_t> values;
  for (const StatisticsEntry* e : host.statistics()) {
    values.push_back(*e->frames);
    values.push_back(*e->bytes);
    for (const StatisticsCounter* c = e->counters; c; c = c->next) values.push_back(*c->value);
  }
  return values;
}

BYTE& TestHost::Enabled(const char* nameId) {
  static BYTE none;
  ProtocolDescriptor* d = host.Find(nameId);
  EXPECT_NE(d, nullptr) << nameId;
  return d ? *d->enabled : none;
}

}  // namespace qvtest
