#include "testhost.h"

#include <stdlib.h>

namespace qvtest {

namespace {

TestHost* g_current = nullptr;
AddNameProc g_addName = nullptr;

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

TestHost::TestHost(std::initializer_list<std::string> libraries, bool start, const std::string& folder) {
  g_current = this;
  plat::SetMessageSink(RecordMessage, nullptr);
  host.hooks().defaultParse = [this](DWORD pass, const CaptureFrame* f) {
    defaultParses.push_back(ParseCall{pass, f->offset, f->frameLength, f->capturedLength});
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

void TestHost::Decode(const char* root, const Bytes& frame, unsigned mask, int wireLength) {
  ProtocolDescriptor* d = host.Find(root);
  ASSERT_NE(d, nullptr) << root << " is not registered";
  host.DecodeFrame(d, frame.data(), (int)frame.size(), wireLength < 0 ? (int)frame.size() : wireLength, mask, &out);
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

BYTE& TestHost::Enabled(const char* nameId) {
  static BYTE none;
  ProtocolDescriptor* d = host.Find(nameId);
  EXPECT_NE(d, nullptr) << nameId;
  return d ? *d->enabled : none;
}

void ExpectLines(const std::vector<qvhost::FlatLine>& got, const std::vector<Line>& want) {
  size_t i = 0;
  for (const Line& w : want) {
    if (i >= got.size()) {
      ADD_FAILURE() << "missing line " << i << ": \"" << w.text << "\"";
      return;
    }
    const qvhost::FlatLine& g = got[i];
    EXPECT_EQ(g.text, w.text) << "line " << i;
    EXPECT_EQ(g.offset, w.offset) << "line " << i << " \"" << g.text << "\"";
    EXPECT_EQ(g.length, w.length) << "line " << i << " \"" << g.text << "\"";
    EXPECT_EQ(g.flags, w.flags) << "line " << i << " \"" << g.text << "\"";
    i++;
  }
  for (; i < got.size(); i++) ADD_FAILURE() << "extra line " << i << ": \"" << got[i].text << "\"";
}

}  // namespace qvtest
