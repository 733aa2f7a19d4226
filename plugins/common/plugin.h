// Routines every parser plug-in shares. This code is compiled into each
// plug-in library, so each has its own copy of the globals below.
#pragma once

#include <stdarg.h>

#include "monitor.h"

namespace qv {

// ---------------------------------------------------------------- library state
extern MonitorTable* g_table;  // kept at DLLC_ATTACH
extern BYTE g_inert;           // set on a version mismatch; every call is then ignored

// Copies of the monitor-table services, taken at DLLC_GET_SERVICES. Until then
// they hold harmless fallbacks, so a call made out of order never follows an
// unset pointer.
struct Services {
  AllocDetailLineProc AllocDetailLine;
  FreeDetailLineProc FreeDetailLine;
  AddHexDumpLinesProc AddHexDumpLines;
  ProtocolParse DefaultParse;
  DWORD reserved52;
  AddStationTrafficProc AddStationTraffic;
  AddBssEntryProc AddBssEntry;
  AddNameProc AddName;
  LookupNameProc LookupName;
  LookupAllNamesProc LookupAllNames;
  FormatAddressProc FormatHexAddress;
  FormatAddressProc FormatDottedAddress;
  RetrieveKeyProc RetrieveEtherType;
  RetrieveKeyProc RetrieveOUI;
  RetrieveNumberProc RetrieveLSap;
  GetHexKeyProc GetHexEtherType;
  GetHexKeyProc GetHexOUI;
  GetHexNumberProc GetHexLSap;
  RetrieveNumberProc RetrieveIPProtocol;
};
extern Services g_svc;

// What a parser library tells the shared entry.
struct PluginInfo {
  const char* mismatchText;              // shown when the table's version is wrong
  ProtocolDescriptor* const* descriptors;  // registered in this order
  size_t descriptorCount;
  ProtocolParse* const* caches;          // seeded with DefaultParse at DLLC_GET_SERVICES
  size_t cacheCount;
  void (*attach)(MonitorTable* table);   // after a good version check (slot writers)
};

// The whole DLLControl of a parser library.
DWORD ParserDLLControl(const PluginInfo& info, DWORD type, MonitorTable* table);

// Version check shared by every library: keeps the table, and on a mismatch
// shows the message and goes inert. Returns true when the table is usable.
bool AttachTable(MonitorTable* table, const char* mismatchText);

// The table's flags word is shared with the name table, which may change it
// from another thread: every write is atomic.
inline void SetTableFlags(DWORD bits) { __atomic_fetch_or(&g_table->flags, bits, __ATOMIC_RELAXED); }
inline void ClearTableFlags(DWORD bits) { __atomic_fetch_and(&g_table->flags, ~bits, __ATOMIC_RELAXED); }
inline DWORD TableFlags() { return __atomic_load_n(&g_table->flags, __ATOMIC_RELAXED); }

// ---------------------------------------------------------------- settings
void LoadProtocolSettings(const ProtocolDescriptor* descriptor);
void SaveProtocolSettings(const ProtocolDescriptor* descriptor);

// ---------------------------------------------------------------- child table
ChildEntry* AddChildProtocol(ChildTable* table, DWORD key, ProtocolParse parse, ProtocolControl control);
ProtocolParse FindChildProtocol(const ChildTable* table, DWORD key);
ChildEntry* NextChildProtocol(const ChildTable* table, const ChildEntry* previous);
void FreeChildTable(ChildTable* table);
inline unsigned ChildBucket(DWORD key) { return (key + (key >> 8) + (key >> 16) + (key >> 24)) & 0xFFu; }

// ---------------------------------------------------------------- protocols
enum ControlForm { CONTROL_PARENT, CONTROL_LEAF, CONTROL_MINIMAL };

// One protocol's static description for the shared control entry.
struct Protocol {
  ProtocolDescriptor* descriptor;
  ControlForm form;
  ChildTable* children;               // parents only
  StatisticsEntry* const* statistics;  // registered in this order at PCTL_INIT
  size_t statisticsCount;
  void (*init)();                     // bindings and caches, after settings and statistics
};

// The three control forms; a protocol's control entry forwards to this.
CTRLARG RunControl(const Protocol& protocol, DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

// PCTL_INIT helpers: bind under a parent found by name id, fill a cache.
void BindUnder(const char* parentNameId, DWORD key, ProtocolParse parse, ProtocolControl control);
void CacheParse(const char* nameId, ProtocolParse* cache);

// ---------------------------------------------------------------- passes
// Marking: run by every parse entry in every pass.
inline void MarkFrame(const ProtocolDescriptor* d, CaptureFrame* frame) {
  if (*d->enabled) frame->flags |= FRAME_PROTOCOL_ENABLED;
  if (*d->textColor) frame->textColor = *d->textColor;
}

struct Counters {
  uint64_t frames;
  uint64_t bytes;
};

// frames += 1, bytes += frameLength - offset; a parent may have trimmed
// frameLength below offset, and then no bytes are added.
inline void CountProtocolFrame(Counters* c, const CaptureFrame* frame) {
  c->frames += 1;
  int64_t n = (int64_t)frame->frameLength - frame->offset;
  if (n > 0) c->bytes += (uint64_t)n;
}
inline void CountBytes(Counters* c, int64_t n) {
  c->frames += 1;
  if (n > 0) c->bytes += (uint64_t)n;
}

// Counting that yields the hand-on entry: always the DefaultParse copy.
inline ProtocolParse CountFrameAndBytes(Counters* c, const CaptureFrame* frame) {
  CountProtocolFrame(c, frame);
  return g_svc.DefaultParse;
}

typedef void (*PassRoutine)(const BYTE* header, CaptureFrame* frame, void* out);
struct LeafRoutines {
  const ProtocolDescriptor* descriptor;
  PassRoutine count;
  PassRoutine summary;  // called in every summary pass; checks the enable byte itself
  PassRoutine detail;   // called only when enabled
};
// Leaf parse entries: mark, then the pass routine; nothing is handed on.
// ParseLeafProtocolNextList gives the detail routine the slot after its own.
DWORD ParseLeafProtocol(const LeafRoutines& r, DWORD pass, CaptureFrame* frame, void* out);
DWORD ParseLeafProtocolNextList(const LeafRoutines& r, DWORD pass, CaptureFrame* frame, void* out);

// ---------------------------------------------------------------- bounded reads
// Every read of frame bytes goes through these. Positions count from data[0];
// nothing at or past capturedLength is ever read.
inline bool Captured(const CaptureFrame* f, int64_t pos, int64_t count) {
  return pos >= 0 && count >= 0 && pos + count <= (int64_t)f->capturedLength;
}
inline int64_t CapturedFrom(const CaptureFrame* f, int64_t pos) {
  return pos >= 0 && pos < f->capturedLength ? (int64_t)f->capturedLength - pos : 0;
}
inline const BYTE* FrameBytes(const CaptureFrame* f, int64_t pos, int64_t count) {
  return Captured(f, pos, count) ? f->data + pos : nullptr;
}
inline bool ReadU8(const CaptureFrame* f, int64_t pos, BYTE* v) {
  if (!Captured(f, pos, 1)) return false;
  *v = f->data[pos];
  return true;
}
inline bool ReadBe16(const CaptureFrame* f, int64_t pos, WORD* v) {
  if (!Captured(f, pos, 2)) return false;
  *v = (WORD)((f->data[pos] << 8) | f->data[pos + 1]);
  return true;
}
inline bool ReadLe16(const CaptureFrame* f, int64_t pos, WORD* v) {
  if (!Captured(f, pos, 2)) return false;
  *v = (WORD)(f->data[pos] | (f->data[pos + 1] << 8));
  return true;
}
inline bool ReadBe32(const CaptureFrame* f, int64_t pos, DWORD* v) {
  if (!Captured(f, pos, 4)) return false;
  const BYTE* p = f->data + pos;
  *v = ((DWORD)p[0] << 24) | ((DWORD)p[1] << 16) | ((DWORD)p[2] << 8) | p[3];
  return true;
}
inline bool ReadLe32(const CaptureFrame* f, int64_t pos, DWORD* v) {
  if (!Captured(f, pos, 4)) return false;
  const BYTE* p = f->data + pos;
  *v = ((DWORD)p[3] << 24) | ((DWORD)p[2] << 16) | ((DWORD)p[1] << 8) | p[0];
  return true;
}

// ---------------------------------------------------------------- text
// Bounded formatting into a buffer of size bytes; always NUL-terminated.
// Returns the length written (never more than size - 1).
int FormatText(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int FormatTextV(char* buffer, size_t size, const char* format, va_list args);
int AppendText(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Summary cells.
inline char* CellText(SummaryCell* cell) { return cell->text; }
int SetCell(SummaryCell* cell, const char* format, ...) __attribute__((format(printf, 2, 3)));
int AppendCell(SummaryCell* cell, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "0000" .. "1111" for the low four bits of value.
const char* NibbleBitsText(int value);

// One more group ends after this line.
inline void CloseDetailGroup(DetailLine* line) {
  if (line->flags & DETAIL_GROUP_CLOSE)
    line->flags += 1;
  else
    line->flags |= DETAIL_GROUP_CLOSE;
}

// A protocol's list of detail lines. Each line comes from the host; when the
// host gives none the list is marked stopped and every later call returns
// null, so a routine may check once at the end or after each line.
struct DetailList {
  DetailLine** head;  // this layer's slot in DetailLists
  DetailLine* last = nullptr;
  bool stopped = false;

  explicit DetailList(void* out) : head(static_cast<DetailLine**>(out)) {}

  // Takes a line, formats its text (bounded by the line's capacity and by
  // limit when given), links it behind the last line. Null when stopped.
  DetailLine* Add(int offset, int length, const char* format, ...) __attribute__((format(printf, 4, 5)));
  DetailLine* AddV(int offset, int length, const char* format, va_list args);
  // A group heading: DETAIL_GROUP_OPEN with its expand-state byte.
  DetailLine* Group(BYTE* expandState, int offset, int length, const char* format, ...)
      __attribute__((format(printf, 5, 6)));
  // Text as it stands, no formatting.
  DetailLine* Text(int offset, int length, const char* text);
  // Hex dump lines through the host, behind the last line.
  DetailLine* HexDump(const char* label, const BYTE* data, int length, int frameOffset);

 private:
  DetailLine* Take(int offset, int length);
};

}  // namespace qv
