// A host for plug-in tests: loads built plug-ins by name through the real
// host library and records what they do. With it: frames.h (frame
// builders) and checks.h (expected lines and the properties every
// protocol keeps).
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "qvhost/host.h"
#include "qvhost/render.h"

namespace qvtest {

// Folder of the built plug-ins (QV_PLUGIN_DIR, set by CTest).
std::string PluginDir();
// Path of a plug-in library by short name ("brannock" -> .../libbrannock.so).
std::string PluginPath(const std::string& name, const std::string& folder = PluginDir());
// Whether a plug-in was built into the plug-in folder.
bool Built(const char* name);

struct ParseCall {
  DWORD pass;
  int offset;
  int frameLength;
  int capturedLength;
};

// A frame handed to a stand-in or to DefaultParse ("default").
struct HandOn {
  std::string to;
  DWORD pass;
  int offset;
  int frameLength;
  int capturedLength;
  long slot;  // detail pass: the DetailLists slot received; else -1
};

// A PCTL_ADD_CHILD received by a stand-in.
struct Binding {
  std::string parent;
  DWORD key;
  ProtocolParse parse;
  ProtocolControl control;
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
                    const std::string& folder = PluginDir())
      : TestHost(std::vector<std::string>(libraries), start, folder) {}
  explicit TestHost(const std::vector<std::string>& libraries, bool start = true,
                    const std::string& folder = PluginDir());
  virtual ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  void Start() { host.Start(); }
  MonitorTable* table() { return host.table(); }
  DWORD& Flags() { return host.flags(); }
  bool Has(const char* nameId) const { return host.Find(nameId) != nullptr; }

  // Stand-ins: protocols of the test that record every frame handed to
  // them. StandIn registers one under a name id (before Start, so that the
  // libraries find it at PCTL_INIT, bind under it and cache it);
  // BindStandIn binds one under a parent protocol at a key (after Start).
  void StandIn(const char* nameId);
  void BindStandIn(const char* parent, DWORD key, const char* name);
  // A stand-in's entries, as the libraries see them.
  ProtocolParse StandInParse(const char* name);
  ProtocolControl StandInControl(const char* name);

  // Runs a frame through the passes of root (by name id), with `media` as
  // the frame record's wireless fields.
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
  uint64_t Counter(const char* statistics, const char* counter) const;
  // Every value of every statistics entry, in registration order.
  std::vector<uint64_t> StatisticsValues() const;
  // The enable byte of a registered protocol.
  BYTE& Enabled(const char* nameId);

  // Forgets the hand-ons and DefaultParse calls recorded so far.
  void ClearRecords();
  // Everything the passes made of the last frame, as one text: cells,
  // flags, lines, hand-ons.
  std::string Trace() const;
  // The hand-ons recorded, one line each: receiver, pass, offset, lengths, slot.
  std::string HandOnTrace() const;
  // The receivers of one pass's hand-ons, as "to@offset".
  std::vector<std::string> Receivers(DWORD pass) const;

  qvhost::Host host;
  qvhost::FrameMedia media;  // what the host knows of each frame beside its bytes (zero: nothing)
  qvhost::FrameOutput out;
  std::vector<std::string> loadErrors;
  std::vector<Message> messages;
  std::vector<ParseCall> defaultParses;
  std::vector<HandOn> handOns;    // to stand-ins and DefaultParse, in call order
  std::vector<Binding> bindings;  // PCTL_ADD_CHILD calls received by stand-ins
  std::vector<NameCall> addNames;  // calls of the AddName slot, whoever serves it

  // Internal: stand-in records.
  long SlotOf(void* out) const;
};

// The host of a library's tests: the libraries it decodes with, and the
// stand-ins a test wants, registered before the start so that the
// libraries find them by name id, bind under them and cache them. Every
// library must load. beforeStart, when given, runs after the stand-ins
// are registered and before the start: there a test changes what the
// libraries copy from the table when they start (a wrapped DefaultParse or
// FindProtocol).
class LibraryHost : public TestHost {
 public:
  typedef void (*BeforeStart)(TestHost& h);
  LibraryHost(const std::vector<std::string>& libraries, std::initializer_list<const char*> standIns,
              BeforeStart beforeStart = nullptr);
};

// The same with the libraries a library's tests load unless a test names
// others: `using QuilletHost = HostOf<kLibraries>;` over an array of names.
template <const auto& Libraries>
struct HostOf : LibraryHost {
  explicit HostOf(std::initializer_list<const char*> standIns = {},
                  const std::vector<std::string>& libraries = {std::begin(Libraries), std::end(Libraries)})
      : LibraryHost(libraries, standIns) {}
};

}  // namespace qvtest

#include "checks.h"
#include "frames.h"
