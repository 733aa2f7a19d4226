// The stand-in host: loads the plug-in libraries, owns the monitor table and
// every host record, and runs frames through the protocol passes.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "monitor.h"

namespace qvhost {

enum PassMask : unsigned {
  RUN_COUNT = 1u << PASS_COUNT,
  RUN_SUMMARY = 1u << PASS_SUMMARY,
  RUN_DETAIL = 1u << PASS_DETAIL,
  RUN_ALL = RUN_COUNT | RUN_SUMMARY | RUN_DETAIL,
};

// What the passes made of one frame. The detail lines belong to the host and
// go back to it with Host::ReleaseDetail (or the next DecodeFrame).
class TextOut;

struct FrameOutput {
  SummaryCell cells[4];  // destination, source, protocol, description
  SummaryRow row;
  std::vector<DetailLine*> lists;  // one head per layer slot; gaps are null
  size_t depth = 0;                // slots in use: lists[0 .. depth)
  DWORD textColor = 0;
  DWORD frameFlags = 0;
  FrameOutput();
  FrameOutput(const FrameOutput&) = delete;
  FrameOutput& operator=(const FrameOutput&) = delete;
};

struct LoadedLibrary {
  std::string path;
  std::string name;  // file name without "lib" and ".so"
  void* handle = nullptr;
  DLLControlProc control = nullptr;
};

struct StationTraffic {
  uint64_t framesSent = 0, bytesSent = 0, framesReceived = 0, bytesReceived = 0;
  bool operator==(const StationTraffic&) const = default;
};

// An access point reported by the wireless root, with the radio values of
// its latest beacon (see radiotap.h for what they are).
struct BssEntry {
  BYTE bssid[6];
  std::string ssid;
  int privacy = 0;
  int channel = 0;
  int signal = 0;  // dBm, 0 when unknown
  int noise = 0;   // dBm, 0 when unknown
  uint64_t timestamp = 0;  // the radio's clock at the beacon, microseconds
  uint64_t beacons = 0;
};

// What the host knows of a frame beside its bytes, for the wireless root:
// CaptureFrame's mediaStatus, radioInfo and hostCookie (radiotap.h fills
// them from a radiotap header; all zero for any other frame).
struct FrameMedia {
  DWORD status = 0;
  BYTE radioInfo[20] = {};
  DWORD hostCookie[2] = {};
};

// Calls the host made on behalf of the plug-ins, for tests and the printer.
struct HostHooks {
  std::function<void(DWORD pass, const CaptureFrame* frame)> defaultParse;
  // UM_SHOW_HELP at the main window: the topic and the window that asks.
  std::function<void(const char* topic, HWND asking)> showHelp;
  // Between DLLC_ATTACH and DLLC_GET_SERVICES: the slots are filled, not copied.
  std::function<void()> afterAttach;
};

class Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The one host of the process (the table's services are plain functions).
  static Host* Current();

  MonitorTable* table() { return &table_; }
  DWORD& flags() { return table_.flags; }
  HostHooks& hooks() { return hooks_; }

  // Loading: a library that will not load or has no DLLControl is reported in
  // errors and skipped. LoadFolder takes every lib*.so in the folder, in name
  // order; a missing folder is an error.
  bool LoadLibrary(const std::string& path, std::string* error);
  size_t LoadFolder(const std::string& folder, std::vector<std::string>* errors);
  const std::vector<LoadedLibrary>& libraries() const { return libraries_; }

  // DLLC_ATTACH to every library, then DLLC_GET_SERVICES, then DLLC_REGISTER,
  // then PCTL_INIT to every registered protocol. A protocol whose name id is
  // registered already is refused and named in errors with both libraries.
  void Start(std::vector<std::string>* errors = nullptr);
  // PCTL_TERMINATE to every protocol, then unload (unless the libraries are
  // kept loaded, below). Called by the destructor.
  void Stop();
  // For a process that ends after Stop: the libraries stay loaded (their
  // destructors run at the exit), which unmaps them all at once, at less
  // cost than unloading them one by one.
  void KeepLibrariesLoaded() { keepLibraries_ = true; }

  const std::vector<ProtocolDescriptor*>& protocols() const { return protocols_; }
  ProtocolDescriptor* Find(const char* nameId) const;
  const std::vector<StatisticsEntry*>& statistics() const { return statistics_; }
  // Per-station traffic by address text ("00-A0-C9-14-C8-29").
  std::map<std::string, StationTraffic> stations() const;
  const std::vector<BssEntry>& bssEntries() const { return bss_; }
  void ClearStations() {
    std::fill(stations_.begin(), stations_.end(), StationEntry{});
    stationCount_ = 0;
    bss_.clear();
  }

  // Runs one frame through the root's passes (those in mask). data holds
  // capturedLength bytes of a frame of wireLength bytes; media, when given,
  // fills the frame record's wireless fields.
  void DecodeFrame(ProtocolDescriptor* root, const BYTE* data, int capturedLength, int wireLength, unsigned mask,
                   FrameOutput* out, const FrameMedia* media = nullptr);
  void ReleaseDetail(FrameOutput* out);
  // RenderDetail(*out, text) and then ReleaseDetail(out), in one walk over
  // the lines while they are in the cache.
  void RenderAndReleaseDetail(FrameOutput* out, TextOut* text);
  // The frame record of the last DecodeFrame (null before the first).
  const CaptureFrame* currentFrame() const { return frame_; }

  // Detail lines: the pool behind AllocDetailLine. failAt makes the Nth call
  // from now fail (1 = the next), 0 never; failEvery keeps failing after it.
  void FailDetailLineAt(unsigned long nth, bool failEvery = false);
  unsigned long detailLinesTaken() const { return linesTaken_; }
  unsigned long detailLinesFreedByPlugins() const { return linesFreedByPlugins_; }

  // The name file (names.cpp): loaded at start (a missing file is an empty
  // table; anything but a regular file is refused) and, when the table
  // changed, saved through a temporary file renamed over the old one, so a
  // failed save loses nothing. The save keeps the file's mode and owner,
  // replaces the target of a symbolic link, takes turns with other savers and
  // merges what another program saved since the load. A load that did not
  // complete leaves the file alone: saving then would drop what it could not
  // read. SaveNamesIfChanged may fill error on success too, with a notice.
  bool LoadNames(const std::string& path, std::string* error);
  bool SaveNamesIfChanged(const std::string& path, std::string* error);

  // The registry key path of the protocol settings (under HKEY_CURRENT_USER).
  static const char* SettingsKeyPath();

  // Host side of the services (public for the static slot functions).
  DetailLine* AllocLine();
  void FreeLine(DetailLine* line, bool byPlugin);
  DetailLine* AddHexDump(DetailLine* after, const char* label, const BYTE* data, int length, int frameOffset);
  void StationTrafficSeen(const BYTE* destination, const BYTE* source, int length, int frameLength);
  void BssSeen(const BYTE* bssid, const char* ssid, int channel, int signal, int noise, int privacy,
               uint64_t timestamp);
  void DefaultParseCalled(DWORD pass, const CaptureFrame* frame);
  DWORD Register(ProtocolDescriptor* d);
  DWORD RegisterStats(StatisticsEntry* e);

 private:
  void InstallFallbacks();
  void ReportRefusals(std::vector<std::string>* errors);
  bool HasNameTable() const;
  bool SaveNames(const std::string& path, std::string* message);
  CaptureFrame* FrameRecord(size_t capacity);
  [[gnu::noinline]] CaptureFrame* GrowFrameRecord(size_t capacity);
  [[gnu::noinline]] void SummaryAndDetail(ProtocolDescriptor* root, CaptureFrame* f, int capturedLength,
                                          int wireLength, unsigned mask, FrameOutput* out);
  [[gnu::noinline]] DetailLine* AllocLineSlowly();
  template <typename Zero>
  void ReleaseLists(FrameOutput* out, Zero zero);

  MonitorTable table_{};
  PlatWindow mainWindow_{};
  HostHooks hooks_;
  std::vector<LoadedLibrary> libraries_;
  std::vector<ProtocolDescriptor*> protocols_;
  // The library that registered each protocol (an index of libraries_), and
  // the registrations refused as the second of their name id.
  static constexpr size_t kNoLibrary = ~(size_t)0;
  std::vector<size_t> owners_;
  size_t registering_ = kNoLibrary;
  struct Refusal {
    std::string nameId;
    size_t library, first;
  };
  std::vector<Refusal> refused_;
  std::vector<StatisticsEntry*> statistics_;
  // Keyed by the address bytes and their count, so that counting a frame
  // of a known station allocates nothing. Open addressing in one array, at
  // most half full: a lookup is a multiply and, nearly always, one probe,
  // where a node-based map divides and chases a pointer per frame.
  struct StationEntry {
    uint64_t key = 0;  // 0: empty (a key holds its length, never 0)
    StationTraffic traffic;
  };
  std::vector<StationEntry> stations_;  // a power of two in size, or empty
  size_t stationCount_ = 0;
  int stationBits_ = 0;  // log2 of stations_.size()
  // The station of a key, added when new.
  StationTraffic& ProbeStation(uint64_t key);
  [[gnu::noinline]] void CountStationsApart(uint64_t from, uint64_t to, uint64_t bytes);
  std::vector<BssEntry> bss_;
  bool started_ = false;
  bool keepLibraries_ = false;
  bool namesLoadFailed_ = false;
  std::string namesBase_;  // the name file's bytes as last loaded or saved

  // frame record, reused
  BYTE* frameStorage_ = nullptr;
  size_t frameCapacity_ = 0;
  CaptureFrame* frame_ = nullptr;

  // line pool
  DetailLine* freeLines_ = nullptr;  // linked through next
  std::vector<std::unique_ptr<DetailLine[]>> lineBlocks_;
  unsigned long linesTaken_ = 0;
  unsigned long linesFreedByPlugins_ = 0;
  unsigned long failAt_ = 0;
  bool failEvery_ = false;
  BYTE hexDumpExpand_ = 0;
};

// The folder of the running program (the plug-ins' and the sample's).
std::string ProgramFolder();

// Media roots by name id.
inline const char* kEthernetRoot = "MAC-802.3";
inline const char* kWirelessRoot = "MAC-802.11";

}  // namespace qvhost
