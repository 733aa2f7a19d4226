// A host for plug-in tests: loads built plug-ins by name through the real
// host library and records what they do.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "qvhost/host.h"
#include "qvhost/render.h"

namespace qvtest {

// Folder of the built plug-ins (QV_PLUGIN_DIR, set by CTest).
std::string PluginDir();
// Path of a plug-in library by short name ("brannock" -> .../libbrannock.so).
std::string PluginPath(const std::string& name, const std::string& folder = PluginDir());

struct ParseCall {
  DWORD pass;
  int offset;
  int frameLength;
  int capturedLength;
};

struct NameCall {
  std::string name;
  std::vector<BYTE> address;
  int value;
};

struct Message {
  std::string title;
  std::string text;
};

typedef std::vector<BYTE> Bytes;
// "00 0c 29 ff" or "000c29ff": hex digits, blanks ignored.
Bytes Hex(const char* text);

class TestHost {
 public:
  // Loads the named libraries (short names, from folder) and, when start is
  // set, runs the start-up sequence.
  explicit TestHost(std::initializer_list<std::string> libraries, bool start = true,
                    const std::string& folder = PluginDir());
  ~TestHost();

  void Start() { host.Start(); }
  MonitorTable* table() { return host.table(); }

  // Runs a frame through the passes of root (by name id).
  void Decode(const char* root, const Bytes& frame, unsigned mask = qvhost::RUN_ALL, int wireLength = -1);
  std::vector<qvhost::FlatLine> Lines() const { return qvhost::FlattenDetail(out); }
  // Lines of one layer slot.
  std::vector<qvhost::FlatLine> Lines(size_t slot) const;
  std::string Cell(int index) const { return out.cells[index].text; }
  std::string Destination() const { return Cell(0); }
  std::string Source() const { return Cell(1); }
  std::string Protocol() const { return Cell(2); }
  std::string Description() const { return Cell(3); }
  const StatisticsEntry* Statistics(const char* name) const;
  // Counters of a statistics entry (a failure when it is not registered).
  uint64_t Frames(const char* statistics) const;
  uint64_t Bytes64(const char* statistics) const;
  // The enable byte of a registered protocol.
  BYTE& Enabled(const char* nameId);

  qvhost::Host host;
  qvhost::FrameOutput out;
  std::vector<std::string> loadErrors;
  std::vector<Message> messages;
  std::vector<ParseCall> defaultParses;
  std::vector<NameCall> addNames;  // calls of the AddName slot, whoever serves it
};

// Expected detail output as a table.
struct Line {
  std::string text;
  int offset;
  int length;
  DWORD flags;
};
void ExpectLines(const std::vector<qvhost::FlatLine>& got, const std::vector<Line>& want);

}  // namespace qvtest
