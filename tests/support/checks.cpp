// The checks that tests of every library share: expected detail lines, a
// frame cut at every byte over stale bytes of two kinds, a host that gives no
// line from the nth on, a table of another version, and the registrations,
// bindings and kept colours of a library.
#include "checks.h"

#include <string.h>

#include <algorithm>

#include "testhost.h"

namespace qvtest {

void ExpectLines(const std::vector<qvhost::FlatLine>& got, const Lines& want) {
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

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

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

void ExpectBoundedAtEveryCut(TestHost& h, const char* root, const Bytes& frame, const FrameCheck& check) {
  ProtocolDescriptor* d = h.host.Find(root);
  ASSERT_NE(d, nullptr) << root << " is not registered";
  const int wire = check.wireLength >= 0 ? check.wireLength : (int)frame.size();
  // A larger frame first: the host keeps its buffer for the smaller ones, so
  // the bytes past each cut can be set (and the host poisons them under
  // AddressSanitizer).
  const size_t room = std::max<size_t>(frame.size() + 64, 2048);
  h.Decode(root, Bytes(room, 0));
  BYTE* data = const_cast<CaptureFrame*>(h.host.currentFrame())->data;
  const DWORD flags = h.Flags();
  for (size_t n = 0; n <= frame.size(); n++) {
    SCOPED_TRACE(std::string(root) + " captured " + std::to_string(n) + " of " + std::to_string(frame.size()));
    std::string traces[2];
    for (int stale = 0; stale < 2; stale++) {
      memset(data + n, stale ? 0xFF : 0x00, room - n);
      h.ClearRecords();
      h.Flags() = flags;
      const std::vector<uint64_t> before = h.StatisticsValues();
      h.host.DecodeFrame(d, frame.data(), (int)n, std::max(wire, (int)n), qvhost::RUN_ALL, &h.out, &h.media);
      ASSERT_EQ(h.host.currentFrame()->data, data) << "the host moved its frame buffer";
      const std::vector<uint64_t> after = h.StatisticsValues();
      std::string counted;
      for (size_t i = 0; i < after.size() && i < before.size(); i++) {
        EXPECT_GE(after[i], before[i]) << "statistics value " << i << " went down";
        counted += std::to_string(after[i] - before[i]) + " ";
      }
      traces[stale] = h.Trace() + "counted " + counted;
      if (stale) continue;
      for (const qvhost::FlatLine& l : h.Lines()) {
        EXPECT_GE(l.offset, 0) << l.text;
        EXPECT_GE(l.length, 0) << l.text;
        // A line of no length describes no bytes, wherever it stands.
        if (check.linesWithinCapture && l.length > 0) {
          EXPECT_LE(l.offset + l.length, (int)n) << l.text;
        }
      }
      for (const HandOn& c : h.handOns) {
        EXPECT_GE(c.offset, 0) << "to " << c.to;
        EXPECT_LE(c.capturedLength, (int)n) << "to " << c.to;
        EXPECT_LE(c.capturedLength, c.frameLength) << "to " << c.to;
      }
    }
    EXPECT_EQ(traces[0], traces[1]) << "the passes read past the capture";
  }
  h.Flags() = flags;
}

void ExpectLineFailuresHandled(TestHost& h, const char* root, const Bytes& frame, const FrameCheck& check) {
  const int wire = check.wireLength >= 0 ? check.wireLength : (int)frame.size();
  h.ClearRecords();
  h.Decode(root, frame, qvhost::RUN_DETAIL, wire);
  const std::vector<qvhost::FlatLine> full = h.Lines();
  const std::string fullHandOns = h.HandOnTrace();
  // The lines that decide where the frame goes: a failure after them keeps it.
  size_t deciding = 0;
  if (check.leadOnSlot >= 0)
    for (const qvhost::FlatLine& l : full)
      if ((int)l.slot <= check.leadOnSlot) deciding++;
  for (size_t failAt = 1; failAt <= full.size() + 1; failAt++) {
    SCOPED_TRACE(std::string(root) + ": no line from the " + std::to_string(failAt) + "th on");
    h.host.FailDetailLineAt(failAt, true);
    h.ClearRecords();
    h.Decode(root, frame, qvhost::RUN_DETAIL, wire);
    h.host.FailDetailLineAt(0);
    const std::vector<qvhost::FlatLine> got = h.Lines();
    if (failAt > deciding) {
      EXPECT_EQ(h.HandOnTrace(), fullHandOns) << "a line the host did not give changed where the frame went";
    }
    EXPECT_EQ(got.size(), std::min(failAt - 1, full.size())) << "lines lost or made after the host gave none";
    for (size_t i = 0; i < got.size() && i < full.size(); i++) {
      EXPECT_EQ(got[i].text, full[i].text) << "line " << i;
      EXPECT_EQ(got[i].offset, full[i].offset) << "line " << i;
      EXPECT_EQ(got[i].length, full[i].length) << "line " << i;
      EXPECT_EQ(got[i].slot, full[i].slot) << "line " << i;
      if (check.keepsCloses) {
        EXPECT_EQ(got[i].flags, full[i].flags) << "line " << i << " " << got[i].text;
      }
    }
  }
}

void ExpectInertUnderOtherTableVersions(const char* library, const char* name) {
  for (DWORD version : {MONITOR_TABLE_VERSION - 1, MONITOR_TABLE_VERSION + 1}) {
    SCOPED_TRACE(version);
    TestHost h({library}, false);
    ASSERT_TRUE(h.loadErrors.empty());
    h.table()->version = version;
    h.Start();
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].title, "Quorvane Network Monitor Error");
    EXPECT_EQ(h.messages[0].text, std::string(name) + " has mismatched Monitor Table version!\nPlease verify your installation.");
    EXPECT_TRUE(h.host.protocols().empty());
    EXPECT_TRUE(h.host.statistics().empty());
    h.table()->version = MONITOR_TABLE_VERSION;
    DLLControlProc control = h.host.libraries()[0].control;
    EXPECT_EQ(control(DLLC_ATTACH, h.table(), 0, 0, 0), 0u);
    EXPECT_EQ(control(DLLC_REGISTER, h.table(), 0, 0, 0), 0u);
    EXPECT_TRUE(h.host.protocols().empty());
    EXPECT_EQ(h.messages.size(), 1u);
  }
}

void ExpectRegistered(const std::vector<ProtocolDescriptor*>& protocols,
                      const std::vector<StatisticsEntry*>& statistics, std::initializer_list<Registered> want) {
  ASSERT_EQ(protocols.size(), want.size());
  ASSERT_EQ(statistics.size(), want.size());
  size_t i = 0;
  for (const Registered& w : want) {
    SCOPED_TRACE(w.nameId);
    const ProtocolDescriptor* d = protocols[i];
    EXPECT_STREQ(d->nameId, w.nameId);
    EXPECT_STREQ(d->description, w.description);
    EXPECT_EQ(d->flags, w.flags);
    EXPECT_EQ(*d->enabled, 1);
    EXPECT_EQ(*d->textColor, 0u);
    EXPECT_EQ(d->frameTypes, nullptr);
    const StatisticsEntry* s = statistics[i];
    EXPECT_STREQ(s->name, w.statistics);
    EXPECT_EQ(s->layer, w.layer);
    EXPECT_EQ(s->counters, nullptr);
    i++;
  }
}

void ExpectRegistered(const TestHost& h, std::initializer_list<Registered> want) {
  ExpectRegistered(h.host.protocols(), h.host.statistics(), want);
}

void ExpectBindings(const TestHost& h, std::initializer_list<Bound> want) {
  ASSERT_EQ(h.bindings.size(), want.size());
  size_t i = 0;
  for (const Bound& w : want) {
    SCOPED_TRACE(std::string(w.child) + " under " + w.parent + " at " + std::to_string(w.key));
    const ProtocolDescriptor* child = h.host.Find(w.child);
    ASSERT_NE(child, nullptr);
    const Binding& got = h.bindings[i++];
    EXPECT_EQ(got.parent, w.parent);
    EXPECT_EQ(got.key, w.key);
    EXPECT_EQ(got.parse, child->parse);
    EXPECT_EQ(got.control, child->control);  // always the binding protocol's own control
  }
}

void ExpectColoursKeptUnderNameIds(std::initializer_list<std::string> libraries) {
  const DWORD first = 0x10;
  {
    TestHost h(libraries);
    ASSERT_TRUE(h.loadErrors.empty()) << h.loadErrors.front();
    DWORD colour = first;
    for (ProtocolDescriptor* d : h.host.protocols()) *d->textColor = colour++;
  }
  TestHost h(libraries);
  ASSERT_FALSE(h.host.protocols().empty());
  DWORD colour = first;
  for (ProtocolDescriptor* d : h.host.protocols()) EXPECT_EQ(*d->textColor, colour++) << d->nameId;
}

void ExpectNothingBoundWithoutParents(const TestHost& h, size_t protocols) {
  EXPECT_TRUE(h.bindings.empty());
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(h.host.protocols().size(), protocols);
}

void ExpectTerminateEmptiesChildTable(TestHost& h, const char* parent, DWORD key) {
  ProtocolDescriptor* d = h.host.Find(parent);
  ASSERT_NE(d, nullptr) << parent;
  d->control(PCTL_TERMINATE, 0, 0, 0, 0);
  EXPECT_TRUE(ChildKeys(d).empty()) << parent;
  EXPECT_EQ(d->control(PCTL_FIND_CHILD, key, 0, 0, 0), (CTRLARG)h.host.table()->DefaultParse) << parent;
}

std::vector<DWORD> ChildKeys(ProtocolDescriptor* parent) {
  std::vector<DWORD> keys;
  CTRLARG e = 0;
  while ((e = parent->control(PCTL_NEXT_CHILD, e, 0, 0, 0)) != 0) keys.push_back(((ChildEntry*)e)->key);
  return keys;
}

}  // namespace qvtest
