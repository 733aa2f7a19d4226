// The host's core: the services it puts in the monitor table (registration,
// detail lines, hex dumps, station traffic, access points), plain fallbacks
// for the service libraries' slots, loading the plug-in libraries, and a
// frame's run through the three passes.
//
// A frame is copied into one reused record, whose bytes past the capture are
// poisoned under AddressSanitizer. Detail lines come from a pool of
// zero-filled records; a line that comes back is zeroed only as far as its
// text reached, a cost that every detail line of every frame pays.
#include "qvhost/host.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "address_text.h"
#include "qvhost/render.h"
#include "render_line.h"

#if defined(__SANITIZE_ADDRESS__)
#define QV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ASAN 1
#endif
#endif
#ifdef QV_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace qvhost {

namespace {

Host* g_host = nullptr;

// ---------------------------------------------------------------- host services

HKEY QV_CALL OpenSettingsKeySlot() {
  HKEY key = nullptr;
  if (plat::RegOpenKey(plat::HKEY_CURRENT_USER, Host::SettingsKeyPath(), true, &key) != plat::ERROR_SUCCESS)
    return nullptr;
  return key;
}

DWORD QV_CALL DefaultParseSlot(DWORD pass, CaptureFrame* frame, void*) {
  if (g_host) g_host->DefaultParseCalled(pass, frame);
  return 0;
}

COLORREF QV_CALL PickColorSlot(HWND, COLORREF current) { return current; }

// Called for every frame: the host's side inline.
[[gnu::flatten]] void QV_CALL AddStationTrafficSlot(const BYTE* destination, const BYTE* source, int length, int,
                                                    int frameLength) {
  if (g_host) g_host->StationTrafficSeen(destination, source, length, frameLength);
}

DWORD QV_CALL RegisterProtocolSlot(ProtocolDescriptor* d) { return g_host ? g_host->Register(d) : 0; }

ProtocolDescriptor* QV_CALL FindProtocolSlot(const char* nameId) { return g_host ? g_host->Find(nameId) : nullptr; }

DWORD QV_CALL RegisterStatisticsSlot(StatisticsEntry* e) { return g_host ? g_host->RegisterStats(e) : 0; }

// The radio values are radioInfo bytes 8, 10 and 11 and the host cookie, as
// this host fills them from radiotap: channel, signal and noise (dBm, as
// signed bytes), and the radio's clock.
void QV_CALL AddBssEntrySlot(const BYTE* bssid, const char* ssid, int channel, int signal, int noise, int,
                             int privacy, DWORD cookieLow, DWORD cookieHigh) {
  if (g_host)
    g_host->BssSeen(bssid, ssid, channel & 0xFF, (int8_t)signal, (int8_t)noise, privacy,
                    (uint64_t)cookieHigh << 32 | cookieLow);
}

DetailLine* QV_CALL AllocDetailLineSlot() { return g_host ? g_host->AllocLine() : nullptr; }

DWORD QV_CALL FreeDetailLineSlot(DetailLine* line) {
  if (g_host && line) g_host->FreeLine(line, true);
  return 0;
}

DetailLine* QV_CALL AddHexDumpLinesSlot(DetailLine* after, const char* label, const BYTE* data, int length,
                                        int frameOffset) {
  return g_host ? g_host->AddHexDump(after, label, data, length, frameOffset) : after;
}

// ---------------------------------------------------------------- fallbacks
// Plain services for the slots of the name table, IEEE names and IP protocol
// libraries, in force when those libraries are missing or inert.


void QV_CALL FallbackFormatHex(const BYTE* data, int length, char* text) { qv::FormatAddressBytes(data, length, text, false); }
void QV_CALL FallbackFormatDotted(const BYTE* data, int length, char* text) { qv::FormatAddressBytes(data, length, text, true); }

DWORD QV_CALL FallbackReserve(int) { return 0; }
void QV_CALL FallbackClear() {}
BYTE QV_CALL FallbackShowNames(HWND, int) { return 0; }
intptr_t QV_CALL FallbackDialog(HWND, int) { return 0; }
void* QV_CALL FallbackAddName(const char*, const BYTE*, int, int) { return nullptr; }

BYTE QV_CALL FallbackLookupName(const BYTE* address, int length, BYTE, char* text, int, COLORREF* destination,
                                COLORREF* source) {
  if (destination) *destination = 0;
  if (source) *source = 0;
  qv::FormatAddressBytes(address, length, text, false);
  return FALSE;
}

BYTE QV_CALL FallbackLookupAllNames(const BYTE* address, int length, char* text, int, unsigned max) {
  char hex[64];
  qv::FormatAddressBytes(address, length, hex, false);
  size_t n = std::min<size_t>(strlen(hex), max);
  memcpy(text, hex, n);
  text[n] = 0;
  return FALSE;
}

void QV_CALL FallbackDeleteName(const char*) {}
void QV_CALL FallbackPurge(BYTE, BYTE) {}
BYTE QV_CALL FallbackNameFile(FileHandle) { return FALSE; }
void QV_CALL FallbackFillCombo(HWND) {}
void QV_CALL FallbackAddressOfName(const char*, BYTE* address, int length) {
  if (address && length > 0) memset(address, 0, (size_t)std::min(length, 32));
}

void QV_CALL FallbackHexEtherType(const BYTE* type, char* text) { sprintf(text, "%02X%02X", type[0], type[1]); }
void QV_CALL FallbackHexOUI(const BYTE* a, char* text) { sprintf(text, "%02X%02X%02X", a[0], a[1], a[2]); }
void QV_CALL FallbackHexLSap(DWORD sap, char* text) { sprintf(text, "%02X", sap & 0xFF); }

BYTE QV_CALL FallbackEtherType(const BYTE* type, char* text, int style) {
  text[0] = 0;
  if (style != 0) FallbackHexEtherType(type, text);
  return FALSE;
}
BYTE QV_CALL FallbackOUI(const BYTE* a, char* text, int) {
  FallbackHexOUI(a, text);
  return FALSE;
}
BYTE QV_CALL FallbackLSap(DWORD sap, char* text, int) {
  FallbackHexLSap(sap, text);
  return FALSE;
}
BYTE QV_CALL FallbackIPProtocol(DWORD protocol, char* text, int style) {
  text[0] = 0;
  if (style != 0) sprintf(text, "%u", protocol & 0xFF);
  return FALSE;
}

intptr_t MainWindowHandler(HWND, DWORD message, uintptr_t wParam, intptr_t lParam) {
  if (message == UM_SHOW_HELP && g_host && g_host->hooks().showHelp) {
    g_host->hooks().showHelp(reinterpret_cast<const char*>(wParam), reinterpret_cast<HWND>(lParam));
    return 1;
  }
  return 0;
}

std::string LibraryName(const std::string& path) {
  std::string base = path.substr(path.find_last_of('/') + 1);
  if (base.rfind("lib", 0) == 0) base = base.substr(3);
  size_t dot = base.find(".so");
  if (dot != std::string::npos) base = base.substr(0, dot);
  return base;
}

constexpr size_t kLinesPerBlock = 256;
constexpr size_t kFirstLines = 32;  // the first block's, doubled for each next one

// Records zeroed by sixteen-byte stores, unrolled: neither a call to memset
// nor the string store the compiler inlines for it, both slow to start for
// records of these sizes. A line goes out zero-filled.
typedef char ZeroBlock __attribute__((vector_size(16), aligned(1), may_alias));
static_assert(sizeof(DetailLine) % 8 == 0, "a line is a whole number of words");
static_assert(DETAIL_TEXT_SIZE % 16 == 0, "the text is whole blocks");
template <size_t kSize>
inline void ZeroRecord(void* record) {
  char* p = static_cast<char*>(record);
  constexpr size_t kBlocks = kSize / 16;
#pragma GCC unroll 32
  for (size_t i = 0; i < kBlocks; i++) *reinterpret_cast<ZeroBlock*>(p + 16 * i) = ZeroBlock{};
  if (kSize % 16) memset(p + 16 * kBlocks, 0, kSize % 16);
}
inline void ZeroLine(DetailLine* line) { ZeroRecord<sizeof(DetailLine)>(line); }

// A line that comes back from a frame's lists was written by the plug-ins'
// formatter, which writes a text and its NUL and nothing past them: zeroing
// the fields and the text up to the block that holds its NUL makes it whole
// zero again, at a fraction of the stores of the whole record, which every
// detail line pays for.
// Under the sanitizers, proves the rule above: a text written past its NUL
// would hand the next taker a line that is not zero-filled.
inline void CheckLineZero([[maybe_unused]] const DetailLine* line) {
#ifdef QV_ASAN
  const DetailLine empty = {};
  if (memcmp(line, &empty, sizeof empty) != 0) {
    fprintf(stderr, "quorvane host: a detail line came back with bytes past its text's end\n");
    abort();
  }
#endif
}

inline void ZeroUsedLine(DetailLine* line) {
#if defined(__SSE2__)
  memset(line, 0, offsetof(DetailLine, text));  // a few stores: the size is known
  // Nearly every text ends within 64 bytes: those four blocks are zeroed
  // whatever the length, with one test, and the rest block by block.
  const __m128i zero = _mm_setzero_si128();
  char* text = line->text;
  __m128i nul = zero;
  for (size_t i = 0; i < 64; i += 16) {
    nul = _mm_or_si128(nul, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)), zero));
    *reinterpret_cast<ZeroBlock*>(text + i) = ZeroBlock{};
  }
  if (!_mm_movemask_epi8(nul)) {
    for (size_t i = 64; i < DETAIL_TEXT_SIZE; i += 16) {
      __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      *reinterpret_cast<ZeroBlock*>(text + i) = ZeroBlock{};
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(block, zero))) break;
    }
  }
  CheckLineZero(line);
#else
  ZeroLine(line);
#endif
}

// The same for a line whose text's length is known (it was just rendered):
// stores only.
inline void ZeroRenderedLine(DetailLine* line, size_t textLength) {
  memset(line, 0, offsetof(DetailLine, text));
  char* text = line->text;
  static_assert(DETAIL_TEXT_SIZE >= 64, "four blocks of text");
  for (size_t i = 0; i < 64; i += 16) *reinterpret_cast<ZeroBlock*>(text + i) = ZeroBlock{};
  for (size_t i = 64; i <= textLength && i < DETAIL_TEXT_SIZE; i += 16) *reinterpret_cast<ZeroBlock*>(text + i) = ZeroBlock{};
  CheckLineZero(line);
}

// The count of slots up to the deepest that holds a list: eight slots at a
// time from the top, as nearly all of them are empty.
size_t DeepestList(DetailLine* const* lists, size_t n) {
  while (n >= 8) {
    uintptr_t any = 0;
    for (size_t i = n - 8; i < n; i++) any |= reinterpret_cast<uintptr_t>(lists[i]);
    if (any) break;
    n -= 8;
  }
  while (n && !lists[n - 1]) n--;
  return n;
}

}  // namespace

FrameOutput::FrameOutput() {
  memset(cells, 0, sizeof cells);
  row = SummaryRow{0, 0, &cells[0], &cells[1], &cells[2], &cells[3]};
}

Host::Host() {
  g_host = this;
  table_.version = MONITOR_TABLE_VERSION;
  mainWindow_.handler = MainWindowHandler;
  mainWindow_.context = this;
  table_.mainWindow = &mainWindow_;
  table_.OpenSettingsKey = OpenSettingsKeySlot;
  table_.DefaultParse = DefaultParseSlot;
  table_.PickColor = PickColorSlot;
  table_.AddStationTraffic = AddStationTrafficSlot;
  table_.RegisterProtocol = RegisterProtocolSlot;
  table_.FindProtocol = FindProtocolSlot;
  table_.RegisterStatistics = RegisterStatisticsSlot;
  table_.AddBssEntry = AddBssEntrySlot;
  table_.AllocDetailLine = AllocDetailLineSlot;
  table_.FreeDetailLine = FreeDetailLineSlot;
  table_.AddHexDumpLines = AddHexDumpLinesSlot;
  table_.flags = MT_SHOW_NETWORK_ADDRESSES;
  InstallFallbacks();
}

Host::~Host() {
  Stop();
  free(frameStorage_);
  if (g_host == this) g_host = nullptr;
}

Host* Host::Current() { return g_host; }

const char* Host::SettingsKeyPath() { return "Software\\Quorvane\\Network Monitor\\Protocols"; }

void Host::InstallFallbacks() {
  table_.ReserveNameEntries = FallbackReserve;
  table_.ClearNameTable = FallbackClear;
  table_.ShowNameTable = FallbackShowNames;
  table_.ShowHostColors = FallbackDialog;
  table_.ViewNameTable = FallbackDialog;
  table_.AddFlaggedName = FallbackAddName;
  table_.AddName = FallbackAddName;
  table_.LookupName = FallbackLookupName;
  table_.LookupAllNames = FallbackLookupAllNames;
  table_.DeleteName = FallbackDeleteName;
  table_.PurgeNames = FallbackPurge;
  table_.SaveNameFile = FallbackNameFile;
  table_.LoadNameFile = FallbackNameFile;
  table_.FormatHexAddress = FallbackFormatHex;
  table_.FormatDottedAddress = FallbackFormatDotted;
  table_.FillNameCombo = FallbackFillCombo;
  table_.GetAddressOfName = FallbackAddressOfName;
  table_.RetrieveEtherType = FallbackEtherType;
  table_.RetrieveOUI = FallbackOUI;
  table_.RetrieveLSap = FallbackLSap;
  table_.GetHexEtherType = FallbackHexEtherType;
  table_.GetHexOUI = FallbackHexOUI;
  table_.GetHexLSap = FallbackHexLSap;
  table_.RetrieveIPProtocol = FallbackIPProtocol;
}

// ---------------------------------------------------------------- loading

namespace {

// Why a file cannot be handed to dlopen, or "". dlopen opens a FIFO for
// reading and waits for a writer, and maps a library's segments whole: a page
// of one that lies past the end of a cut-short file raises SIGBUS inside the
// loader. So the file must be a regular one (opened without blocking, so that
// a FIFO is seen and not waited on) whose program headers, and the bytes each
// of them places, lie within its size. A file of another ELF class or byte
// order is left to dlopen, which refuses it from its first bytes alone.
std::string UnloadableFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return strerror(errno);
  auto done = [fd](std::string why) {
    close(fd);
    return why;
  };
  struct stat st;
  if (fstat(fd, &st) != 0) return done(strerror(errno));
  if (!S_ISREG(st.st_mode)) return done("not a regular file");
  // The ELF header and, in any library a linker made, its program headers.
  unsigned char head[4096];
  ssize_t got;
  do got = pread(fd, head, sizeof head, 0); while (got < 0 && errno == EINTR);
  if (got < 0) return done(strerror(errno));
  if (got < SELFMAG || memcmp(head, ELFMAG, SELFMAG) != 0) return done("not an ELF file");
  if (got <= EI_DATA || head[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
      head[EI_DATA] != ELFDATA2LSB)
    return done("");
  ElfW(Ehdr) e;
  if ((size_t)got < sizeof e) return done("cut short: no whole ELF header");
  memcpy(&e, head, sizeof e);
  if (e.e_phnum && e.e_phentsize != sizeof(ElfW(Phdr)))
    return done("ELF program headers of a size this machine does not use");
  const uint64_t size = (uint64_t)st.st_size, table = (uint64_t)e.e_phnum * sizeof(ElfW(Phdr));
  if (e.e_phoff > size || table > size - e.e_phoff)
    return done("cut short: its ELF program headers lie past its end");
  std::vector<unsigned char> far;  // a table past the first block, read where it is
  const unsigned char* phdrs = head;
  if (e.e_phoff + table <= (uint64_t)got) {
    phdrs += e.e_phoff;
  } else {
    far.resize((size_t)table);
    ssize_t n;
    do n = pread(fd, far.data(), far.size(), (off_t)e.e_phoff); while (n < 0 && errno == EINTR);
    if (n != (ssize_t)far.size()) return done("its ELF program headers cannot be read");
    phdrs = far.data();
  }
  for (size_t i = 0; i < e.e_phnum; i++) {
    ElfW(Phdr) ph;
    memcpy(&ph, phdrs + i * sizeof ph, sizeof ph);
    if (ph.p_filesz && (ph.p_offset > size || ph.p_filesz > size - ph.p_offset))
      return done("cut short: its ELF segments reach past its end");
  }
  return done("");
}

}  // namespace

bool Host::LoadLibrary(const std::string& path, std::string* error) {
  const std::string unloadable = UnloadableFile(path);
  if (!unloadable.empty()) {
    if (error) *error = "cannot load " + path + ": " + unloadable;
    return false;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) *error = std::string("cannot load ") + path + ": " + dlerror();
    return false;
  }
  void* entry = dlsym(handle, "DLLControl");
  if (!entry) {
    if (error) *error = path + " has no DLLControl entry";
    dlclose(handle);
    return false;
  }
  LoadedLibrary lib;
  lib.path = path;
  lib.name = LibraryName(path);
  lib.handle = handle;
  lib.control = reinterpret_cast<DLLControlProc>(entry);
  libraries_.push_back(lib);
  return true;
}

size_t Host::LoadFolder(const std::string& folder, std::vector<std::string>* errors) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    if (errors) errors->push_back("plug-in folder " + folder + ": " + strerror(errno));
    return 0;
  }
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    std::string n = e->d_name;
    if (n.rfind("lib", 0) == 0 && n.size() > 6 && n.compare(n.size() - 3, 3, ".so") == 0) names.push_back(n);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  size_t loaded = 0;
  for (const std::string& n : names) {
    std::string error;
    if (LoadLibrary(folder + "/" + n, &error))
      loaded++;
    else if (errors)
      errors->push_back(error);
  }
  return loaded;
}

void Host::Start(std::vector<std::string>* errors) {
  if (started_) return;
  started_ = true;
  for (LoadedLibrary& lib : libraries_) lib.control(DLLC_ATTACH, &table_, 0, 0, 0);
  if (hooks_.afterAttach) hooks_.afterAttach();
  for (LoadedLibrary& lib : libraries_) lib.control(DLLC_GET_SERVICES, &table_, 0, 0, 0);
  for (size_t i = 0; i < libraries_.size(); i++) {
    registering_ = i;
    libraries_[i].control(DLLC_REGISTER, &table_, 0, 0, 0);
  }
  registering_ = kNoLibrary;
  ReportRefusals(errors);
  // Every protocol reads its settings at PCTL_INIT and keeps them at
  // PCTL_TERMINATE: the file is read once for all of them, and what they
  // changed is written once, at Stop.
  plat::RegBeginBatch(plat::HKEY_CURRENT_USER);
  for (ProtocolDescriptor* d : protocols_)
    if (d->control) d->control(PCTL_INIT, 0, 0, 0, 0);
}

// One line per library that registered name ids another had registered
// first (a second copy of a plug-in, say), naming both.
void Host::ReportRefusals(std::vector<std::string>* errors) {
  std::vector<std::pair<size_t, size_t>> pairs;  // (refused, first), in order of refusal
  for (const Refusal& r : refused_)
    if (std::find(pairs.begin(), pairs.end(), std::make_pair(r.library, r.first)) == pairs.end())
      pairs.emplace_back(r.library, r.first);
  auto name = [this](size_t library) {
    return library < libraries_.size() ? libraries_[library].path : std::string("the host");
  };
  for (const auto& [library, first] : pairs) {
    std::string ids;
    for (const Refusal& r : refused_)
      if (r.library == library && r.first == first) ids += (ids.empty() ? "" : ", ") + r.nameId;
    if (errors)
      errors->push_back(name(library) + ": protocols already registered by " + name(first) +
                        " are refused (the first is kept): " + ids);
  }
  refused_.clear();
}

void Host::Stop() {
  if (started_) {
    for (ProtocolDescriptor* d : protocols_)
      if (d->control) d->control(PCTL_TERMINATE, 0, 0, 0, 0);
    plat::RegEndBatch(plat::HKEY_CURRENT_USER);
    started_ = false;
  }
  protocols_.clear();
  owners_.clear();
  statistics_.clear();
  InstallFallbacks();
  if (!keepLibraries_)
    for (auto it = libraries_.rbegin(); it != libraries_.rend(); ++it) dlclose(it->handle);
  libraries_.clear();
}

// A name id names one protocol: a second registration of it is refused, so
// that every lookup and binding by name id meets the first, whole.
DWORD Host::Register(ProtocolDescriptor* d) {
  if (!d) return 0;
  for (size_t i = 0; i < protocols_.size(); i++)
    if (strncmp(protocols_[i]->nameId, d->nameId, sizeof d->nameId) == 0) {
      refused_.push_back({std::string(d->nameId, strnlen(d->nameId, sizeof d->nameId)), registering_, owners_[i]});
      return 0;
    }
  protocols_.push_back(d);
  owners_.push_back(registering_);
  return 0;
}

DWORD Host::RegisterStats(StatisticsEntry* e) {
  if (e) statistics_.push_back(e);
  return 0;
}

ProtocolDescriptor* Host::Find(const char* nameId) const {
  if (!nameId) return nullptr;
  for (ProtocolDescriptor* d : protocols_)
    if (strncmp(d->nameId, nameId, sizeof d->nameId) == 0) return d;
  return nullptr;
}

// ---------------------------------------------------------------- name file

bool Host::HasNameTable() const { return table_.LoadNameFile != FallbackNameFile; }

// ---------------------------------------------------------------- services

void Host::DefaultParseCalled(DWORD pass, const CaptureFrame* frame) {
  if (hooks_.defaultParse) hooks_.defaultParse(pass, frame);
}

namespace {
uint64_t StationKey(const BYTE* address, int length) {
  uint64_t key = (uint64_t)length << 56;
  if (length == 6) {
    // A MAC address, nearly every call: two loads in place of a loop of six
    // (the byte order of the key is the loop's).
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the key holds address[i] in byte i");
    uint32_t low;
    uint16_t high;
    memcpy(&low, address, 4);
    memcpy(&high, address + 4, 2);
    return key | (uint64_t)high << 32 | low;
  }
  for (int i = 0; i < length; i++) key |= (uint64_t)address[i] << (8 * i);
  return key;
}

// The slot a key's probe starts at, in a table of 1 << bits slots: the top
// bits of a multiplicative hash, which depend on every byte of the address.
inline size_t StationHome(uint64_t key, int bits) {
  return (size_t)((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}
}  // namespace

StationTraffic& Host::ProbeStation(uint64_t key) {
  size_t mask = stations_.size() - 1;
  if (!stations_.empty()) {
    for (size_t i = StationHome(key, stationBits_);; i = (i + 1) & mask) {
      if (stations_[i].key == key) return stations_[i].traffic;
      if (stations_[i].key == 0) break;
    }
  }
  if (2 * (stationCount_ + 1) > stations_.size()) {
    std::vector<StationEntry> old(stations_.empty() ? 64 : 2 * stations_.size());
    old.swap(stations_);
    stationBits_ = __builtin_ctzll(stations_.size());
    mask = stations_.size() - 1;
    for (const StationEntry& e : old) {
      if (!e.key) continue;
      size_t i = StationHome(e.key, stationBits_);
      while (stations_[i].key) i = (i + 1) & mask;
      stations_[i] = e;
    }
  }
  size_t i = StationHome(key, stationBits_);
  while (stations_[i].key) i = (i + 1) & mask;
  stations_[i].key = key;
  stationCount_++;
  return stations_[i].traffic;
}

// Nearly every frame's two stations are known, each in the slot its probe
// starts at: that test inline, with no call between, and the rest of the
// probe and a new station apart.
void Host::StationTrafficSeen(const BYTE* destination, const BYTE* source, int length, int frameLength) {
  if (!destination || !source || length <= 0 || length > 7) return;
  const uint64_t bytes = frameLength > 0 ? (uint64_t)frameLength : 0;
  const uint64_t from = StationKey(source, length), to = StationKey(destination, length);
  if (__builtin_expect(!stations_.empty(), 1)) {
    StationEntry& s = stations_[StationHome(from, stationBits_)];
    StationEntry& d = stations_[StationHome(to, stationBits_)];
    if (__builtin_expect(s.key == from && d.key == to, 1)) {
      s.traffic.framesSent++;
      s.traffic.bytesSent += bytes;
      d.traffic.framesReceived++;
      d.traffic.bytesReceived += bytes;
      return;
    }
  }
  CountStationsApart(from, to, bytes);
}

void Host::CountStationsApart(uint64_t from, uint64_t to, uint64_t bytes) {
  StationTraffic& s = ProbeStation(from);
  s.framesSent++;
  s.bytesSent += bytes;
  StationTraffic& d = ProbeStation(to);
  d.framesReceived++;
  d.bytesReceived += bytes;
}

std::map<std::string, StationTraffic> Host::stations() const {
  std::map<std::string, StationTraffic> named;
  for (const StationEntry& e : stations_) {
    if (!e.key) continue;
    const uint64_t key = e.key;
    const StationTraffic& traffic = e.traffic;
    BYTE address[8];
    int length = (int)(key >> 56);
    for (int i = 0; i < length; i++) address[i] = (BYTE)(key >> (8 * i));
    char text[64];
    qv::FormatAddressBytes(address, length, text, false);
    named[text] = traffic;
  }
  return named;
}

void Host::BssSeen(const BYTE* bssid, const char* ssid, int channel, int signal, int noise, int privacy,
                   uint64_t timestamp) {
  if (!bssid) return;
  BssEntry* entry = nullptr;
  for (BssEntry& e : bss_)
    if (memcmp(e.bssid, bssid, 6) == 0) entry = &e;
  if (!entry) {
    entry = &bss_.emplace_back();
    memcpy(entry->bssid, bssid, 6);
    entry->ssid = ssid ? std::string(ssid, strnlen(ssid, 64)) : std::string();
    entry->privacy = privacy;
  }
  entry->channel = channel;
  entry->signal = signal;
  entry->noise = noise;
  entry->timestamp = timestamp;
  entry->beacons++;
}

std::string ProgramFolder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  std::string s(path);
  size_t slash = s.find_last_of('/');
  return slash == std::string::npos ? "." : s.substr(0, slash);
}

void Host::FailDetailLineAt(unsigned long nth, bool failEvery) {
  failAt_ = nth;
  failEvery_ = failEvery;
}

DetailLine* Host::AllocLine() {
  // Free lines are zero but for the link through them.
  DetailLine* line = freeLines_;
  if (__builtin_expect(failAt_ != 0 || !line, 0)) return AllocLineSlowly();
  freeLines_ = line->next;
  line->next = nullptr;
  linesTaken_++;
  return line;
}

// A failure asked for, or an empty pool.
DetailLine* Host::AllocLineSlowly() {
  if (failAt_) {
    if (failAt_ == 1) {
      if (!failEvery_) failAt_ = 0;
      return nullptr;
    }
    failAt_--;
  }
  if (!freeLines_) {
    // Blocks double up to the largest: a run over a few frames zeroes only
    // the lines it can use, not a whole block of 72 KiB.
    const size_t lines = std::min(kLinesPerBlock, kFirstLines << std::min<size_t>(lineBlocks_.size(), 8));
    lineBlocks_.emplace_back(new DetailLine[lines]());
    DetailLine* block = lineBlocks_.back().get();
    for (size_t i = 0; i + 1 < lines; i++) block[i].next = &block[i + 1];
    freeLines_ = block;
  }
  DetailLine* line = freeLines_;
  freeLines_ = line->next;
  line->next = nullptr;
  linesTaken_++;
  return line;
}

void Host::FreeLine(DetailLine* line, bool byPlugin) {
  if (byPlugin) linesFreedByPlugins_++;
  // Whatever it holds now, it goes out zero-filled again.
  ZeroLine(line);
  line->next = freeLines_;
  freeLines_ = line;
}

DetailLine* Host::AddHexDump(DetailLine* after, const char* label, const BYTE* data, int length, int frameOffset) {
  if (!after || !data || length <= 0) return after;
  // A dump of the current frame never passes its captured bytes.
  if (frame_ && data >= frame_->data && data < frame_->data + frameCapacity_) {
    int64_t at = data - frame_->data;
    int64_t room = (int64_t)frame_->capturedLength - at;
    if (room <= 0) return after;
    if (length > room) length = (int)room;
  }
  DetailLine* last = after;
  DetailLine* rest = after->next;  // lines after the given one follow the dump
  DetailLine* head = AllocLine();
  if (!head) return last;
  snprintf(head->text, sizeof head->text, "%s", label ? label : "");
  head->flags = DETAIL_GROUP_OPEN;
  head->expandState = &hexDumpExpand_;
  head->offset = frameOffset;
  head->length = length;
  last->next = head;
  last = head;
  for (int i = 0; i < length; i += 16) {
    DetailLine* line = AllocLine();
    if (!line) {
      last->next = rest;
      return last;
    }
    int n = std::min(16, length - i);
    char* p = line->text;
    static const char kHex[] = "0123456789ABCDEF";
    // The offset as "%04X": four digits or as many as it needs.
    unsigned at = (unsigned)(frameOffset + i);
    int digits = 4;
    while (digits < 8 && (at >> (4 * digits))) digits++;
    for (int d = digits - 1; d >= 0; d--) *p++ = kHex[(at >> (4 * d)) & 15];
    *p++ = ' ';
    for (int j = 0; j < 16; j++) {
      *p++ = ' ';
      *p++ = j < n ? kHex[data[i + j] >> 4] : ' ';
      *p++ = j < n ? kHex[data[i + j] & 15] : ' ';
    }
    *p++ = ' ';
    *p++ = ' ';
    for (int j = 0; j < n; j++) *p++ = (data[i + j] >= 0x20 && data[i + j] < 0x7F) ? (char)data[i + j] : '.';
    *p = 0;
    line->offset = frameOffset + i;
    line->length = n;
    last->next = line;
    last = line;
  }
  last->flags |= DETAIL_GROUP_CLOSE;
  last->next = rest;
  return last;
}

// ---------------------------------------------------------------- frames

namespace {
// Each pass starts at the frame's first byte with its whole lengths.
inline void ResetFrame(CaptureFrame* f, int capturedLength, int wireLength) {
  f->offset = 0;
  f->frameLength = wireLength;
  f->capturedLength = capturedLength;
}
}  // namespace

// The record of every frame: reused, grown only for a longer frame.
inline CaptureFrame* Host::FrameRecord(size_t capacity) {
  if (__builtin_expect(frame_ && capacity <= frameCapacity_, 1)) return frame_;
  return GrowFrameRecord(capacity);
}

CaptureFrame* Host::GrowFrameRecord(size_t capacity) {
  size_t want = std::max<size_t>(capacity, 2048);
  BYTE* storage = static_cast<BYTE*>(realloc(frameStorage_, offsetof(CaptureFrame, data) + want));
  if (!storage) return nullptr;
  frameStorage_ = storage;
  frameCapacity_ = want;
  frame_ = reinterpret_cast<CaptureFrame*>(frameStorage_);
  return frame_;
}

void Host::DecodeFrame(ProtocolDescriptor* root, const BYTE* data, int capturedLength, int wireLength, unsigned mask,
                       FrameOutput* out, const FrameMedia* media) {
  if (out->depth) ReleaseDetail(out);
  for (SummaryCell& c : out->cells) c.text[0] = 0;
  out->textColor = 0;
  out->frameFlags = 0;
  if (capturedLength < 0) capturedLength = 0;
  if (wireLength < capturedLength) wireLength = capturedLength;
  CaptureFrame* f = FrameRecord((size_t)capturedLength);
  if (!f || !root || !root->parse) return;
  // Plain stores: the string store a memset of this size becomes is slow
  // to start, and this runs for every frame.
  ZeroRecord<offsetof(CaptureFrame, data)>(f);
  if (media) {
    f->mediaStatus = media->status;
    memcpy(f->radioInfo, media->radioInfo, sizeof f->radioInfo);
    memcpy(f->hostCookie, media->hostCookie, sizeof f->hostCookie);
  }
  if (capturedLength) memcpy(f->data, data, (size_t)capturedLength);
#ifdef QV_ASAN
  // The record is larger than the frame: make any read past the captured
  // bytes fail loudly under the sanitizer.
  ASAN_POISON_MEMORY_REGION(f->data + capturedLength, frameCapacity_ - (size_t)capturedLength);
#endif

  if (mask & RUN_COUNT) {
    ResetFrame(f, capturedLength, wireLength);
    root->parse(PASS_COUNT, f, nullptr);
  }
  // Apart, so that counting alone keeps none of their values.
  if (mask & (RUN_SUMMARY | RUN_DETAIL)) SummaryAndDetail(root, f, capturedLength, wireLength, mask, out);
#ifdef QV_ASAN
  ASAN_UNPOISON_MEMORY_REGION(f->data + capturedLength, frameCapacity_ - (size_t)capturedLength);
#endif
  out->textColor = f->textColor;
  out->frameFlags = f->flags;
}

void Host::SummaryAndDetail(ProtocolDescriptor* root, CaptureFrame* f, int capturedLength, int wireLength,
                            unsigned mask, FrameOutput* out) {
  if (mask & RUN_SUMMARY) {
    ResetFrame(f, capturedLength, wireLength);
    // A locked write only when a bit is set: it costs a frame more than the
    // read does.
    constexpr DWORD kNetwork = MT_SOURCE_IS_NETWORK | MT_DESTINATION_IS_NETWORK;
    if (__atomic_load_n(&table_.flags, __ATOMIC_RELAXED) & kNetwork)
      __atomic_fetch_and(&table_.flags, ~kNetwork, __ATOMIC_RELAXED);
    root->parse(PASS_SUMMARY, f, &out->row);
  }
  if (mask & RUN_DETAIL) {
    ResetFrame(f, capturedLength, wireLength);
    // Every hand-on moves offset forward or ends the chain, so a frame has
    // at most one layer per captured byte, plus the last ones at its end.
    // The slots past the last release are all null (ReleaseDetail clears
    // those in use, and none past the deepest is ever in use), so they are
    // not filled again for every frame: a full-sized frame has 1,500.
    size_t depth = (size_t)capturedLength + 8;
    if (out->lists.size() < depth) out->lists.resize(depth);
#ifdef QV_ASAN
    for (size_t i = 0; i < depth; i++)
      if (out->lists[i]) {
        fprintf(stderr, "quorvane host: a detail slot was not released\n");
        abort();
      }
#endif
    root->parse(PASS_DETAIL, f, out->lists.data());
    out->depth = DeepestList(out->lists.data(), depth);
  }
}

// Every line of out back to the pool, each zeroed by zero(line, depth)
// (the group depth it stands at) first; the pool's head stays in a register
// rather than being stored back for every line.
template <typename Zero>
void Host::ReleaseLists(FrameOutput* out, Zero zero) {
  DetailLine* free = freeLines_;
  for (size_t i = 0; i < out->depth; i++) {
    int depth = 0;
    DetailLine* line = out->lists[i];
    while (line) {
      DetailLine* next = line->next;
      const DWORD flags = line->flags;
      zero(line, depth);
      depth = DepthAfter(depth, flags);
      line->next = free;
      free = line;
      line = next;
    }
    out->lists[i] = nullptr;
  }
  freeLines_ = free;
  out->depth = 0;
}

void Host::RenderAndReleaseDetail(FrameOutput* out, TextOut* text) {
  ReleaseLists(out, [text](DetailLine* line, int depth) { ZeroRenderedLine(line, PutDetailLine(text, line->text, depth)); });
}

void Host::ReleaseDetail(FrameOutput* out) {
  ReleaseLists(out, [](DetailLine* line, int) { ZeroUsedLine(line); });
}

}  // namespace qvhost
