// The stand-in host's own behaviour: loading errors, fallback services,
// station traffic, hex dumps and rendering.
#include <dlfcn.h>
#include <link.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "qvhost/render.h"
#include "testhost.h"

using qvtest::Hex;

TEST(Host, LoadingProblemsAreNamedAndTheRestGoOn) {
  qvhost::Host host;
  std::vector<std::string> errors;
  EXPECT_EQ(host.LoadFolder("/nonexistent/plugins", &errors), 0u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("/nonexistent/plugins"), std::string::npos);

  std::string error;
  EXPECT_FALSE(host.LoadLibrary("/etc/hostname", &error));
  EXPECT_NE(error.find("/etc/hostname"), std::string::npos);
  // A shared library without the entry point.
  EXPECT_FALSE(host.LoadLibrary(qvtest::PluginPath("qvplatform", QV_LIB_DIR), &error));
  EXPECT_NE(error.find("DLLControl"), std::string::npos);

  EXPECT_TRUE(host.LoadLibrary(qvtest::PluginPath("contractroot", QV_CONTRACT_DIR), &error)) << error;
  host.Start();
  EXPECT_NE(host.Find("TEST-ROOT"), nullptr);
  EXPECT_EQ(host.Find("TEST-ROO"), nullptr);
}

namespace {

std::string TestFolder(const char* name) {
  const char* base = getenv("QUORVANE_CONFIG_DIR");
  std::string dir = std::string(base && *base ? base : "/tmp") + "/" + name;
  EXPECT_EQ(system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  return dir;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

// Files that would crash the loader (SIGBUS on a page past the end of a file
// cut short) or block it (a FIFO) are named and never handed to it.
TEST(Host, FilesThatWouldBreakTheLoaderAreRefused) {
  const std::string dir = TestFolder("loader-files");
  const std::string good = ReadBytes(qvtest::PluginPath("contractleaf", QV_CONTRACT_DIR));
  ElfW(Ehdr) e;
  ASSERT_GT(good.size(), 8192u);
  memcpy(&e, good.data(), sizeof e);
  // The same library with a header changed.
  auto patched = [&](auto change) {
    ElfW(Ehdr) h = e;
    change(h);
    std::string bytes = good;
    memcpy(&bytes[0], &h, sizeof h);
    return bytes;
  };
  const struct {
    const char* what;
    std::string bytes;  // empty: made below
    std::string says;   // empty: loads
  } cases[] = {
      {"cut short", good.substr(0, 4096), "cut short: its ELF segments reach past its end"},
      {"cut inside its header", good.substr(0, 40), "cut short: no whole ELF header"},
      {"cut before its program headers", good.substr(0, e.e_phoff + 8),
       "cut short: its ELF program headers lie past its end"},
      {"program headers placed past its end", patched([](ElfW(Ehdr)& h) { h.e_phoff = ~(ElfW(Off))0; }),
       "cut short: its ELF program headers lie past its end"},
      {"program headers of another size", patched([](ElfW(Ehdr)& h) { h.e_phentsize = 12; }),
       "ELF program headers of a size this machine does not use"},
      {"not an ELF file", "INPUT(-lc)\n", "not an ELF file"},
      // Its program headers copied behind its end, where the first read does
      // not reach: read there, and the library loads.
      {"program headers far from the header",
       patched([&](ElfW(Ehdr)& h) { h.e_phoff = (ElfW(Off))good.size(); }) +
           good.substr(e.e_phoff, (size_t)e.e_phnum * sizeof(ElfW(Phdr))),
       ""},
      {"a FIFO", "", "not a regular file"},
      {"a folder", "", "not a regular file"},
  };
  alarm(60);  // a FIFO opened to wait for a writer would hang here
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir + "/lib" + std::to_string(n++) + ".so";
    if (!c.bytes.empty())
      WriteBytes(path, c.bytes);
    else if (strcmp(c.what, "a FIFO") == 0)
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    else
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    qvhost::Host host;
    std::string error;
    EXPECT_EQ(host.LoadLibrary(path, &error), c.says.empty()) << error;
    EXPECT_EQ(error, c.says.empty() ? "" : "cannot load " + path + ": " + c.says);
  }
  alarm(0);
}

// A name id names one protocol: a second copy of a library registers none of
// its own, both libraries are named, and the first copy's protocol serves.
TEST(Host, ASecondRegistrationOfANameIdIsRefused) {
  const std::string dir = TestFolder("two-copies");
  const std::string root = ReadBytes(qvtest::PluginPath("contractroot", QV_CONTRACT_DIR));
  WriteBytes(dir + "/libcontractroot.so", root);
  WriteBytes(dir + "/libcontractroot-copy.so", root);
  WriteBytes(dir + "/libcontractleaf.so", ReadBytes(qvtest::PluginPath("contractleaf", QV_CONTRACT_DIR)));
  qvtest::TestHost h({"contractroot", "contractroot-copy", "contractleaf"}, false, dir);
  ASSERT_TRUE(h.loadErrors.empty()) << h.loadErrors[0];
  std::vector<std::string> errors;
  h.host.Start(&errors);
  EXPECT_EQ(errors, std::vector<std::string>{dir + "/libcontractroot-copy.so: protocols already registered by " + dir +
                                             "/libcontractroot.so are refused (the first is kept): TEST-ROOT"});
  ASSERT_EQ(h.host.protocols().size(), 3u);  // the root, the leaf and a second leaf protocol
  Dl_info info;
  ASSERT_NE(dladdr(h.host.Find("TEST-ROOT"), &info), 0);
  EXPECT_EQ(std::string(info.dli_fname), dir + "/libcontractroot.so");
  int rootStatistics = 0;
  for (const StatisticsEntry* e : h.host.statistics()) rootStatistics += strcmp(e->name, "Test Root") == 0;
  EXPECT_EQ(rootStatistics, 1);
  // The leaf bound into the root that serves: a frame reaches it.
  h.Decode("TEST-ROOT", Hex("ff 01 7a"));
  std::string row;
  qvhost::RenderSummary(1, h.out, &row);
  EXPECT_NE(row.find("Leaf of 1 bytes"), std::string::npos) << row;
}

TEST(Host, MainWindowHandsHelpRequestsToTheHost) {
  qvhost::Host host;
  std::string topic;
  HWND asking = nullptr;
  int calls = 0;
  host.hooks().showHelp = [&](const char* t, HWND a) {
    topic = t;
    asking = a;
    calls++;
  };
  PlatWindow dialog{};
  EXPECT_EQ(UM_SHOW_HELP, 0x474u);
  EXPECT_EQ(plat::SendMessage(host.table()->mainWindow, UM_SHOW_HELP, (uintptr_t) "menuopt\\namespace\\edit.html",
                              (intptr_t)&dialog),
            1);
  EXPECT_EQ(topic, "menuopt\\namespace\\edit.html");
  EXPECT_EQ(asking, &dialog);
  EXPECT_EQ(plat::SendMessage(host.table()->mainWindow, UM_SHOW_HELP + 1, 0, 0), 0);
  EXPECT_EQ(calls, 1);
}

TEST(Host, FallbackSlotsWriteNumbersAndNoNames) {
  qvhost::Host host;
  MonitorTable* t = host.table();
  char text[128];
  const BYTE mac[6] = {0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29};
  COLORREF d = 1, s = 1;
  EXPECT_FALSE(t->LookupName(mac, 6, 1, text, 0, &d, &s));
  EXPECT_STREQ(text, "00-A0-C9-14-C8-29");
  EXPECT_EQ(d, 0u);
  EXPECT_EQ(s, 0u);
  EXPECT_FALSE(t->LookupAllNames(mac, 6, text, 0, 5));
  EXPECT_STREQ(text, "00-A0");
  BYTE twenty[20] = {192, 168, 0, 1};
  t->FormatDottedAddress(twenty, 4, text);
  EXPECT_STREQ(text, "192.168.0.1");
  t->FormatHexAddress(twenty, 20, text);
  EXPECT_STREQ(text, "C0-A8-00-01-00-00-00-00-00-00-00-00-00-00-00-00...");
  const BYTE type[2] = {0x86, 0xdd};
  EXPECT_FALSE(t->RetrieveEtherType(type, text, 1));
  EXPECT_STREQ(text, "86DD");
  EXPECT_FALSE(t->RetrieveEtherType(type, text, 0));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(t->RetrieveOUI(mac, text, 2));
  EXPECT_STREQ(text, "00A0C9");
  EXPECT_FALSE(t->RetrieveLSap(0x1AA, text, 2));
  EXPECT_STREQ(text, "AA");
  EXPECT_FALSE(t->RetrieveIPProtocol(0x106, text, 1));
  EXPECT_STREQ(text, "6");
  EXPECT_EQ(t->AddName("router", mac, 6, 0), nullptr);
  BYTE address[32];
  memset(address, 0xEE, sizeof address);
  t->GetAddressOfName("router", address, 32);
  for (BYTE b : address) EXPECT_EQ(b, 0);
}

TEST(Host, HexDumpStaysWithinTheCapture) {
  qvtest::TestHost h({"contractroot", "contractleaf"}, true, QV_CONTRACT_DIR);
  // 20 payload bytes: a label line and two dump lines.
  qvtest::Bytes frame = Hex("11 14 30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46 47 48 49 4a");
  h.Decode("TEST-ROOT", frame);
  auto lines = h.Lines(1);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2].text, "Payload");
  EXPECT_EQ(lines[3].text, "0002  30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46  0123456789ABCDEF");
  EXPECT_EQ(lines[4].text, "0012  47 48 49 4A                                      GHIJ");
  EXPECT_EQ(lines[4].offset, 18);
  EXPECT_EQ(lines[4].length, 4);
  EXPECT_TRUE(lines[4].flags & DETAIL_GROUP_CLOSE);
  // Asked for more than is captured, the host dumps only what is there.
  const CaptureFrame* f = h.host.currentFrame();
  ASSERT_NE(f, nullptr);
  DetailLine* head = h.host.AllocLine();
  DetailLine* tail = h.host.AllocLine();
  head->next = tail;
  DetailLine* last = h.table()->AddHexDumpLines(head, "Rest", f->data + 16, 1000, 16);
  ASSERT_NE(last, head);
  EXPECT_EQ(last->length, (int)frame.size() - 16);
  EXPECT_EQ(last->next, tail);  // the dump goes in after the line, the rest follows it
  EXPECT_EQ(h.table()->AddHexDumpLines(head, "Past", f->data + frame.size(), 4, 0), head);
  // An offset past four hex digits takes as many as it needs.
  last = h.table()->AddHexDumpLines(head, "Far", f->data, 2, 0x12345);
  EXPECT_STREQ(last->text, "12345  11 14                                            ..");
  for (DetailLine* l = head; l;) {
    DetailLine* next = l->next;
    h.host.FreeLine(l, false);
    l = next;
  }
}

// Lines are a zero-filled record when they go out, however they came back;
// a long tree renders as its lines do one by one.
TEST(Host, LinesComeCleanAndLongTreesRenderWhole) {
  qvtest::TestHost h({"contractroot"}, true, QV_CONTRACT_DIR);
  DetailLine* dirty = h.host.AllocLine();
  memset(dirty, 0xA5, sizeof *dirty);
  h.host.FreeLine(dirty, false);
  DetailLine* line = h.host.AllocLine();
  ASSERT_EQ(line, dirty);
  const DetailLine zero = {};
  EXPECT_EQ(memcmp(line, &zero, sizeof zero), 0);
  h.host.FreeLine(line, false);

  qvhost::FrameOutput out;
  out.lists.assign(2, nullptr);
  out.depth = 2;
  std::string want;
  for (size_t slot = 0; slot < 2; slot++) {
    DetailLine** link = &out.lists[slot];
    for (int i = 0; i < 400; i++) {
      DetailLine* l = h.host.AllocLine();
      snprintf(l->text, sizeof l->text, "Line %d of layer %zu\t%s", i, slot, std::string(i % 90, 'v').c_str());
      want += qvhost::RenderDetailText(l->text, 0) + "\n";
      *link = l;
      link = &l->next;
    }
  }
  std::string got;
  qvhost::RenderDetail(out, &got);
  EXPECT_GT(got.size(), 32768u);
  EXPECT_EQ(got, want);
  // Rendered and released in one walk: the same text, and every line back.
  const unsigned long taken = h.host.detailLinesTaken();
  std::string again;
  {
    qvhost::TextOut text(&again);
    h.host.RenderAndReleaseDetail(&out, &text);
  }
  EXPECT_EQ(again, want);
  EXPECT_EQ(out.depth, 0u);
  for (int i = 0; i < 800; i++) EXPECT_EQ(memcmp(h.host.AllocLine(), &zero, sizeof zero), 0);
  EXPECT_EQ(h.host.detailLinesTaken(), taken + 800);
}

TEST(Host, RenderingLinesUpValues) {
  EXPECT_EQ(qvhost::RenderDetailText("Hex Address\t\t\t00-A0", 0),
            "Hex Address                         00-A0");
  EXPECT_EQ(qvhost::RenderDetailText("Group Address Bit\toff [x]", 0),
            "Group Address Bit                   off [x]");
  EXPECT_EQ(qvhost::RenderDetailText("Ether Type\t\t\t0800\tDOD Internet Protocol", 2),
            "Ether Type                          0800  DOD Internet Protocol");
  EXPECT_EQ(qvhost::RenderDetailText("No tabs here", 4), "No tabs here");
  EXPECT_EQ(qvhost::RenderDetailText("Trailing\t\t", 0), "Trailing");
  // Control bytes from the wire never reach the terminal: an escape
  // sequence in a beacon's country string, say.
  EXPECT_EQ(qvhost::RenderDetailText("Line\r\nbreaks\tgo\nto dots", 0),
            "Line..breaks" + std::string(24, ' ') + "go.to dots");
  EXPECT_EQ(qvhost::RenderDetailText("Country String\t\t\x1b]0;owned\x07\x1b[2J\x7f\x1f|\x80\xe9", 0),
            "Country String                      .]0;owned..[2J..|\x80\xe9");
  // The worst line: a TAB after every character, as long as a line can be.
  std::string tabs;
  while (tabs.size() < DETAIL_TEXT_SIZE - 2) tabs += "x\t";
  std::string rendered = qvhost::RenderDetailText(tabs.c_str(), 0);
  EXPECT_EQ(rendered.substr(0, 37), "x" + std::string(35, ' ') + "x");
  EXPECT_EQ(rendered.size(), 36 + 1 + 3 * (tabs.size() / 2 - 2));
  std::string longLabel(40, 'L');
  EXPECT_EQ(qvhost::RenderDetailText((longLabel + "\tv").c_str(), 0), longLabel + "  v");
}

// The rendering rules one byte at a time, as plainly as they can be said:
// what the chunked renderer must give for any text.
std::string ReferenceRender(const std::string& text, size_t indent) {
  std::string out(indent, ' ');
  const size_t valueColumn = indent + 36;
  bool firstRun = true;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    if (c != '\t') {
      out += (unsigned char)c < 0x20 || c == 0x7f ? '.' : c;
      continue;
    }
    while (i + 1 < text.size() && text[i + 1] == '\t') i++;
    if (i + 1 == text.size()) break;
    size_t to = firstRun && out.size() + 2 <= valueColumn ? valueColumn : out.size() + 2;
    out.append(to - out.size(), ' ');
    firstRun = false;
  }
  return out;
}

// Texts of every length around the renderer's chunks, with TAB runs, line
// breaks and the other control bytes at every place, at several indents.
TEST(Host, RenderingMatchesTheRulesByteForByte) {
  const char kBytes[] = {'a', 'Z', ' ', '\t', '\t', '\t', '\r', '\n', '\x01', '\x08', '\x0b', '\x0c', '\x0d',
                         '\x0e', '\x1b', '\x1f', '\x7e', '\x7f', '\x80', '\x9b', '\xe9', '\xff'};
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  qvtest::TestHost h({"contractroot"}, true, QV_CONTRACT_DIR);
  for (size_t length = 0; length <= DETAIL_TEXT_SIZE; length++) {  // the last fills the record, no NUL
    for (int round = 0; round < 12; round++) {
      std::string text;
      // Mostly plain text, as lines are; some rounds dense with specials.
      const uint32_t plainShare = round < 6 ? 6 : 1;
      for (size_t i = 0; i < length; i++)
        text += next() % (plainShare + 1) ? (char)('a' + next() % 26) : kBytes[next() % sizeof kBytes];
      const size_t indent = 2 * (next() % 66);
      qvhost::FrameOutput out;
      out.lists.assign(1, nullptr);
      out.depth = 1;
      DetailLine* link = nullptr;
      for (size_t d = 0; d <= indent / 2; d++) {  // groups to reach the indent
        DetailLine* l = h.host.AllocLine();
        if (d < indent / 2) l->flags = DETAIL_GROUP_OPEN;
        (link ? link->next : out.lists[0]) = l;
        link = l;
      }
      memcpy(link->text, text.data(), text.size());
      // Odd rounds render and release in one walk.
      std::string got;
      if (round % 2) {
        qvhost::TextOut t(&got);
        h.host.RenderAndReleaseDetail(&out, &t);
      } else {
        qvhost::RenderDetail(out, &got);
      }
      std::string expected;
      for (size_t d = 0; d < indent / 2; d++) expected += std::string(2 * d, ' ') + "\n";
      expected += ReferenceRender(text, std::min<size_t>(indent, 128)) + "\n";
      ASSERT_EQ(got, expected) << "length " << length << " round " << round;
      if (round % 2 == 0) h.host.ReleaseDetail(&out);
    }
  }
}

// Lines that go back through ReleaseDetail come out again zero-filled,
// whatever length of text they held.
TEST(Host, ReleasedLinesComeBackZero) {
  qvtest::TestHost h({"contractroot"}, true, QV_CONTRACT_DIR);
  const DetailLine zero = {};
  for (size_t length : {0, 1, 15, 16, 17, 31, 32, 47, 63, 64, 65, 80, 200, DETAIL_TEXT_SIZE - 1, DETAIL_TEXT_SIZE}) {
    qvhost::FrameOutput out;
    out.lists.assign(2, nullptr);
    out.depth = 2;
    DetailLine* taken[3];
    for (DetailLine*& l : taken) {
      l = h.host.AllocLine();
      ASSERT_EQ(memcmp(l, &zero, sizeof zero), 0) << length;
      memset(l->text, 'x', length);
      l->flags = DETAIL_GROUP_OPEN | 3;
      l->offset = -1;
      l->length = 77;
    }
    out.lists[0] = taken[0];
    taken[0]->next = taken[1];
    out.lists[1] = taken[2];
    // Both ways back: released alone, and released as it is rendered.
    if (length % 2) {
      h.host.ReleaseDetail(&out);
    } else {
      std::string rendered;
      qvhost::TextOut t(&rendered);
      h.host.RenderAndReleaseDetail(&out, &t);
    }
  }
  for (int i = 0; i < 3; i++) EXPECT_EQ(memcmp(h.host.AllocLine(), &zero, sizeof zero), 0);
}

TEST(Host, SummaryAndTreeRendering) {
  qvtest::TestHost h({"contractroot", "contractleaf"}, true, QV_CONTRACT_DIR);
  h.Decode("TEST-ROOT", Hex("11 01 7a"));
  std::string row;
  qvhost::RenderSummary(12, h.out, &row);
  EXPECT_EQ(row, "    12                                                    LEAF           Leaf of 1 bytes\n");
  // Numbers wider than the column push the row on; trailing blanks go.
  row.clear();
  SummaryCell& description = h.out.cells[3];
  snprintf(description.text, sizeof description.text, "ends in blanks   ");
  qvhost::RenderSummary(12345678, h.out, &row);
  EXPECT_EQ(row, "12345678                                                    LEAF           ends in blanks\n");
  // Control bytes show as '.' in every cell, at any place in it.
  for (SummaryCell& c : h.out.cells) memset(c.text, 0, sizeof c.text);
  snprintf(h.out.cells[0].text, SUMMARY_TEXT_SIZE, "\x1b[31mred");
  snprintf(h.out.cells[2].text, SUMMARY_TEXT_SIZE, "A\tB\x7f");
  memset(h.out.cells[3].text, 'x', SUMMARY_TEXT_SIZE - 1);
  h.out.cells[3].text[17] = '\r';
  h.out.cells[3].text[SUMMARY_TEXT_SIZE - 2] = '\x07';
  row.clear();
  qvhost::RenderSummary(1, h.out, &row);
  std::string shown(SUMMARY_TEXT_SIZE - 1, 'x');
  shown[17] = shown[SUMMARY_TEXT_SIZE - 2] = '.';
  EXPECT_EQ(row, "     1  .[31mred" + std::string(17 + 25, ' ') + "A.B.           " + shown + "\n");
  std::string tree;
  qvhost::RenderDetail(h.out, &tree);
  EXPECT_EQ(tree,
            "Contract Test Root\n"
            "  Key                                 11\n"
            "    Length                              1\n"
            "Contract Test Leaf\n"
            "  Payload                             1 bytes\n"
            "  Payload\n"
            "    0002  7A" + std::string(47, ' ') + "z\n");
  std::string stats;
  qvhost::RenderStatistics(h.host, &stats);
  EXPECT_NE(stats.find("Test Root"), std::string::npos);
  EXPECT_NE(stats.find("Keyed Frames"), std::string::npos);
}

// The statistics' name column is as wide as the longest name, so that the
// numbers line up under their headings; names of up to 32 keep it at 32.
TEST(Host, StatisticsColumnsFitTheLongestName) {
  uint64_t frames = 7, bytes = 810, counted = 5;
  StatisticsCounter counter = {nullptr, "Directed Frames", &counted, 0};
  StatisticsEntry shortName = {nullptr, 1, "IEEE 802.3", &frames, &bytes, &counter};
  StatisticsEntry longName = {nullptr, 2, "Point-to-Point IP Control Protocol", &frames, &bytes, nullptr};
  StatisticsCounter longCounter = {nullptr, "A Counter Named At Some Length....", &counted, 0};
  StatisticsEntry longerCounter = {nullptr, 3, "X", &frames, &bytes, &longCounter};
  const struct {
    const char* what;
    std::vector<StatisticsEntry*> entries;
    size_t width;
  } cases[] = {
      {"short names", {&shortName}, 32},
      {"a long name", {&shortName, &longName}, 34},
      {"a long counter name", {&shortName, &longerCounter}, 36},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    qvhost::Host host;
    for (StatisticsEntry* e : c.entries) host.RegisterStats(e);
    std::string stats;
    qvhost::RenderStatistics(host, &stats);
    // Every line's first number ends where "Frames" ends.
    const size_t framesEnd = 6 + c.width + 1 + 14;
    size_t lines = 0;
    for (size_t at = 0, end; (end = stats.find('\n', at)) != std::string::npos; at = end + 1, lines++) {
      const std::string line = stats.substr(at, end - at);
      ASSERT_GE(line.size(), framesEnd) << line;
      EXPECT_NE(line[framesEnd - 1], ' ') << line;
      EXPECT_TRUE(line.size() == framesEnd || line[framesEnd] == ' ') << line;
      EXPECT_EQ(line[6 + c.width], ' ') << "a name runs into the numbers: " << line;
    }
    EXPECT_EQ(stats.substr(0, framesEnd), "Layer Statistics" + std::string(c.width - 10 + 9, ' ') + "Frames");
    EXPECT_GT(lines, c.entries.size());
  }
}

// Every station keeps its own counts while the table grows past many
// stations, addresses of every length apart (a 4-byte address is not the
// 6-byte one it begins), and nothing is counted for a bad call.
TEST(Host, StationCountsSurviveTableGrowth) {
  qvhost::Host host;
  std::map<std::string, qvhost::StationTraffic> want;
  auto text = [](const BYTE* a, int length) {
    std::string t;
    char hex[4];
    for (int i = 0; i < length; i++) {
      snprintf(hex, sizeof hex, i ? "-%02X" : "%02X", a[i]);
      t += hex;
    }
    return t;
  };
  auto seen = [&](const BYTE* d, const BYTE* s, int length, int bytes) {
    host.StationTrafficSeen(d, s, length, bytes);
    qvhost::StationTraffic& to = want[text(d, length)];
    to.framesReceived++;
    to.bytesReceived += (uint64_t)bytes;
    qvhost::StationTraffic& from = want[text(s, length)];
    from.framesSent++;
    from.bytesSent += (uint64_t)bytes;
  };
  const BYTE gateway[7] = {0x00, 0xa0, 0xc9, 0x14, 0xc8, 0x29, 0x07};
  for (int round = 0; round < 3; round++) {
    for (unsigned n = 0; n < 3000; n++) {
      // Stations apart in their last bytes only, as on one segment.
      const BYTE station[7] = {0x00, 0xa0, 0xc9, (BYTE)(n >> 16), (BYTE)(n >> 8), (BYTE)n, 0x01};
      seen(station, gateway, 6, 60 + (int)n % 1400);
      if (n % 97 == 0)
        for (int length : {1, 2, 4, 7}) seen(gateway, station, length, 1000);
    }
  }
  host.StationTrafficSeen(gateway, gateway, 0, 64);
  host.StationTrafficSeen(gateway, gateway, 8, 64);
  host.StationTrafficSeen(nullptr, gateway, 6, 64);
  EXPECT_EQ(host.stations().size(), want.size());
  EXPECT_TRUE(host.stations() == want);

  host.ClearStations();
  EXPECT_TRUE(host.stations().empty());
  host.StationTrafficSeen(gateway, gateway + 1, 6, 100);
  EXPECT_EQ(host.stations().size(), 2u);
  EXPECT_EQ(host.stations()[text(gateway, 6)].framesReceived, 1u);
}
