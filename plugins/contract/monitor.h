// The binary contract between the host and its plug-ins: the monitor table,
// protocol descriptors, child tables, statistics, and the per-frame records.
// Field order and types are fixed; on i386 every offset below is checked.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "plat/platform.h"

using plat::HKEY;

// Control arguments and results that may carry pointers are pointer-wide.
typedef uintptr_t CTRLARG;

struct MonitorTable;
struct CaptureFrame;
struct ProtocolDescriptor;
struct StatisticsEntry;
struct DetailLine;
struct ChildEntry;

// ---------------------------------------------------------------- entry
#define MONITOR_TABLE_VERSION 276u

enum : DWORD {
  DLLC_ATTACH = 0,
  DLLC_GET_SERVICES = 1,
  DLLC_REGISTER = 2,
};

typedef DWORD(QV_CALL* DLLControlProc)(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD);

#define MT_ERROR_TITLE "Quorvane Network Monitor Error"

// Help requests of the name table windows to the host's main window: wParam
// is the topic text, lParam the asking window.
enum : DWORD { UM_SHOW_HELP = plat::WM_USER + 0x74 };

// ---------------------------------------------------------------- flags word
enum : DWORD {
  MT_SHOW_NETWORK_ADDRESSES = 0x80000000u,
  MT_DESTINATION_NAMED = 0x40000000u,
  MT_SOURCE_NAMED = 0x20000000u,
  MT_RAW_ADDRESSES = 0x10000000u,
  MT_SOURCE_IS_NETWORK = 0x00800000u,
  MT_DESTINATION_IS_NETWORK = 0x00400000u,
  MT_NAMES_CHANGED = 0x00200000u,
  MT_SHOW_VENDOR = 0x00080000u,
  MT_HIDE_BEACONS = 0x00040000u,
};

// ---------------------------------------------------------------- parse / control
enum : DWORD {
  PASS_COUNT = 0,
  PASS_SUMMARY = 1,
  PASS_DETAIL = 2,
};

enum : DWORD {
  PCTL_INIT = 0,
  PCTL_ADD_CHILD = 1,
  PCTL_FIND_CHILD = 2,
  PCTL_TERMINATE = 3,
  PCTL_NEXT_CHILD = 5,
  PCTL_GET_DESCRIPTOR = 6,
};

typedef DWORD(QV_CALL* ProtocolParse)(DWORD pass, CaptureFrame* frame, void* out);
typedef CTRLARG(QV_CALL* ProtocolControl)(DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG a4);

// ---------------------------------------------------------------- slot types
typedef HKEY(QV_CALL* OpenSettingsKeyProc)();
typedef COLORREF(QV_CALL* PickColorProc)(HWND owner, COLORREF current);
typedef void(QV_CALL* AddStationTrafficProc)(const BYTE* destination, const BYTE* source, int addressLength,
                                              int frames, int frameLength);
typedef DWORD(QV_CALL* RegisterProtocolProc)(ProtocolDescriptor* descriptor);
typedef ProtocolDescriptor*(QV_CALL* FindProtocolProc)(const char* nameId);
typedef DWORD(QV_CALL* RegisterStatisticsProc)(StatisticsEntry* entry);
typedef void(QV_CALL* AddBssEntryProc)(const BYTE* bssid, const char* ssid, int info8, int info10, int info11,
                                        int zero, int privacy, DWORD cookieLow, DWORD cookieHigh);
typedef DetailLine*(QV_CALL* AllocDetailLineProc)();
typedef DWORD(QV_CALL* FreeDetailLineProc)(DetailLine* line);
typedef DetailLine*(QV_CALL* AddHexDumpLinesProc)(DetailLine* after, const char* label, const BYTE* data, int length,
                                                  int frameOffset);

// Name table services (the name table plug-in fills them).
typedef DWORD(QV_CALL* ReserveNameEntriesProc)(int count);
typedef void(QV_CALL* ClearNameTableProc)();
typedef BYTE(QV_CALL* ShowNameTableProc)(HWND owner, int unused);
typedef intptr_t(QV_CALL* ShowDialogProc)(HWND owner, int unused);
typedef void*(QV_CALL* AddNameProc)(const char* name, const BYTE* address, int length, int value);
typedef BYTE(QV_CALL* LookupNameProc)(const BYTE* address, int length, BYTE useName, char* text, int unused,
                                      COLORREF* destinationColor, COLORREF* sourceColor);
typedef BYTE(QV_CALL* LookupAllNamesProc)(const BYTE* address, int length, char* text, int unused, unsigned max);
typedef void(QV_CALL* DeleteNameProc)(const char* name);
typedef void(QV_CALL* PurgeNamesProc)(BYTE keepFlagged, BYTE keepLocked);
typedef BYTE(QV_CALL* NameFileProc)(FileHandle file);
typedef void(QV_CALL* FormatAddressProc)(const BYTE* data, int length, char* text);
typedef void(QV_CALL* FillNameComboProc)(HWND combo);
typedef void(QV_CALL* GetAddressOfNameProc)(const char* name, BYTE* address, int length);

// The name file's merge, beside the table's slots: exported by the library
// that fills them, under this name, and looked up there by the host when
// another program saved the file since this one loaded it. The three texts
// are name files: base as this program loaded it, theirs as it is now, ours
// the table as just saved. The mappings only the other program changed come
// into the table; kept is called with each name that both changed (this
// program's mapping stays). The format of the lines is the library's alone.
#define MERGE_NAME_FILE_EXPORT "MergeNameFile"
enum : DWORD {
  NAME_MERGE_NOTHING = 0,     // nothing of theirs to take: the table stands as saved
  NAME_MERGE_TAKEN = 1,       // the table took their changes: save it again
  NAME_MERGE_UNREADABLE = 2,  // theirs holds lines a load would not take: nothing changed
  NAME_MERGE_FAILED = 3,      // the table could not take them all
};
typedef void(QV_CALL* KeptNameProc)(void* context, const char* name);
typedef DWORD(QV_CALL* MergeNameFileProc)(const char* base, size_t baseSize, const char* theirs, size_t theirsSize,
                                          const char* ours, size_t oursSize, KeptNameProc kept, void* context);

// IEEE name lookups. A hit of RetrieveOUI writes a vendor text of up to 64
// bytes: every caller passes a buffer of at least 64 bytes.
typedef BYTE(QV_CALL* RetrieveKeyProc)(const BYTE* key, char* text, int style);
typedef BYTE(QV_CALL* RetrieveNumberProc)(DWORD number, char* text, int style);
typedef void(QV_CALL* GetHexKeyProc)(const BYTE* key, char* text);
typedef void(QV_CALL* GetHexNumberProc)(DWORD number, char* text);

// ---------------------------------------------------------------- monitor table
// 69 four-byte fields on i386 (276 bytes); pointers widen elsewhere.
// Fields named hostNN are the host's own.
struct MonitorTable {
  DWORD version;                            // +0
  DWORD host4;                              // +4
  DWORD flags;                              // +8
  DWORD host12;                             // +12
  HWND mainWindow;                          // +16
  uintptr_t host20[5];                      // +20 .. +36
  OpenSettingsKeyProc OpenSettingsKey;      // +40
  uintptr_t host44;                         // +44
  ProtocolParse DefaultParse;               // +48
  DWORD reserved52;                         // +52
  PickColorProc PickColor;                  // +56
  uintptr_t host60;                         // +60
  AddStationTrafficProc AddStationTraffic;  // +64
  uintptr_t host68;                         // +68
  RegisterProtocolProc RegisterProtocol;    // +72
  FindProtocolProc FindProtocol;            // +76
  RegisterStatisticsProc RegisterStatistics;  // +80
  AddBssEntryProc AddBssEntry;              // +84
  uintptr_t host88;                         // +88
  uintptr_t host92;                         // +92
  AllocDetailLineProc AllocDetailLine;      // +96
  FreeDetailLineProc FreeDetailLine;        // +100
  uintptr_t host104[4];                     // +104 .. +116
  AddHexDumpLinesProc AddHexDumpLines;      // +120
  uintptr_t host124[14];                    // +124 .. +176
  // name table services
  ReserveNameEntriesProc ReserveNameEntries;  // +180
  ClearNameTableProc ClearNameTable;        // +184
  ShowNameTableProc ShowNameTable;          // +188
  ShowDialogProc ShowHostColors;            // +192
  ShowDialogProc ViewNameTable;             // +196
  AddNameProc AddFlaggedName;               // +200
  AddNameProc AddName;                      // +204
  LookupNameProc LookupName;                // +208
  LookupAllNamesProc LookupAllNames;        // +212
  DeleteNameProc DeleteName;                // +216
  PurgeNamesProc PurgeNames;                // +220
  NameFileProc SaveNameFile;                // +224
  NameFileProc LoadNameFile;                // +228
  FormatAddressProc FormatHexAddress;       // +232
  FormatAddressProc FormatDottedAddress;    // +236
  FillNameComboProc FillNameCombo;          // +240
  GetAddressOfNameProc GetAddressOfName;    // +244
  // IEEE name lookups (RetrieveOUI: buffers of at least 64 bytes)
  RetrieveKeyProc RetrieveEtherType;        // +248
  RetrieveKeyProc RetrieveOUI;              // +252
  RetrieveNumberProc RetrieveLSap;          // +256
  GetHexKeyProc GetHexEtherType;            // +260
  GetHexKeyProc GetHexOUI;                  // +264
  GetHexNumberProc GetHexLSap;              // +268
  // IP protocol numbers
  RetrieveNumberProc RetrieveIPProtocol;    // +272
};

// ---------------------------------------------------------------- descriptors
enum : DWORD {
  PROTOCOL_PARENT = 0x80000000u,
  PROTOCOL_CHILD = 0x40000000u,
};

struct FrameTypeItem {
  const char* name;
  BYTE* enabled;
  int level;  // 0 the protocol, 1 a frame category, 2 a frame type
};

struct ProtocolDescriptor {
  DWORD reserved[2];         // +0, the host's
  char nameId[16];           // +8
  const char* description;   // +24
  BYTE* enabled;             // +28
  DWORD* textColor;          // +32
  DWORD flags;               // +36
  ProtocolControl control;   // +40
  ProtocolParse parse;       // +44
  FrameTypeItem** frameTypes;  // +48
};

#define PROTOCOL_SETTINGS_SIZE 36

// ---------------------------------------------------------------- statistics
struct StatisticsCounter {
  StatisticsCounter* next;
  const char* name;
  uint64_t* value;
  DWORD reserved;
};

struct StatisticsEntry {
  StatisticsEntry* next;  // the host's link
  int layer;
  const char* name;
  uint64_t* frames;
  uint64_t* bytes;
  StatisticsCounter* counters;
};

// ---------------------------------------------------------------- child table
struct ChildEntry {
  ChildEntry* hashNext;
  ChildEntry* listNext;
  DWORD key;
  ProtocolParse parse;
  ProtocolControl control;
};

#define CHILD_TABLE_BUCKETS 256
struct ChildTable {
  ChildEntry* buckets[CHILD_TABLE_BUCKETS];
  ChildEntry* first;
};

// ---------------------------------------------------------------- frames
enum : DWORD {
  FRAME_PROTOCOL_ENABLED = 0x40000000u,
  // Set by MAC-802.11 on the frames it decodes, so that the protocols that
  // learn names from the media source address know it is not at data + 6.
  FRAME_WIRELESS_MEDIA = 0x20000000u,
  // Set by DOD-IP on a datagram that crossed a router: its media source
  // address is the last router's, so no name is learnt for it.
  FRAME_ROUTED = 0x10000000u,
};

// The host allocates the record with room for capturedLength bytes of data.
struct CaptureFrame {
  DWORD host0;            // +0
  DWORD host4;            // +4
  DWORD fragmentOffset;   // +8
  DWORD textColor;        // +12
  DWORD host16[4];        // +16 .. +28
  DWORD flags;            // +32
  DWORD mediaStatus;      // +36
  BYTE radioInfo[20];     // +40 .. +59
  DWORD host60[5];        // +60 .. +76
  DWORD hostCookie[2];    // +80
  int32_t frameLength;    // +88
  int32_t capturedLength;  // +92
  int32_t offset;         // +96
  BYTE data[];            // +100
};

// Summary cells and detail texts hold at least this many bytes.
#define SUMMARY_TEXT_SIZE 256
#define DETAIL_TEXT_SIZE 256

struct SummaryCell {
  BYTE host[32];
  char text[SUMMARY_TEXT_SIZE];
};

struct SummaryRow {
  DWORD host0;               // +0
  DWORD host4;               // +4
  SummaryCell* destination;  // +8
  SummaryCell* source;       // +12
  SummaryCell* protocol;     // +16
  SummaryCell* description;  // +20
};

enum : DWORD {
  DETAIL_GROUP_OPEN = 0x80000000u,
  DETAIL_GROUP_CLOSE = 0x40000000u,
  DETAIL_EXTRA_CLOSES = 0x0000FFFFu,
};

struct DetailLine {
  DetailLine* next;   // +0
  DWORD host4;        // +4
  DWORD flags;        // +8
  BYTE* expandState;  // +12
  DWORD host16;       // +16
  DWORD host20;       // +20
  int32_t offset;     // +24
  int32_t length;     // +28
  char text[DETAIL_TEXT_SIZE];  // +32
};

// One head per protocol layer; the host makes the array deep enough.
typedef DetailLine* DetailLists;

#if defined(__i386__)
static_assert(sizeof(void*) == 4, "i386 layout");
static_assert(sizeof(MonitorTable) == 276, "monitor table size");
static_assert(offsetof(MonitorTable, flags) == 8);
static_assert(offsetof(MonitorTable, mainWindow) == 16);
static_assert(offsetof(MonitorTable, OpenSettingsKey) == 40);
static_assert(offsetof(MonitorTable, DefaultParse) == 48);
static_assert(offsetof(MonitorTable, reserved52) == 52);
static_assert(offsetof(MonitorTable, PickColor) == 56);
static_assert(offsetof(MonitorTable, AddStationTraffic) == 64);
static_assert(offsetof(MonitorTable, RegisterProtocol) == 72);
static_assert(offsetof(MonitorTable, FindProtocol) == 76);
static_assert(offsetof(MonitorTable, RegisterStatistics) == 80);
static_assert(offsetof(MonitorTable, AddBssEntry) == 84);
static_assert(offsetof(MonitorTable, AllocDetailLine) == 96);
static_assert(offsetof(MonitorTable, FreeDetailLine) == 100);
static_assert(offsetof(MonitorTable, AddHexDumpLines) == 120);
static_assert(offsetof(MonitorTable, ReserveNameEntries) == 180);
static_assert(offsetof(MonitorTable, ClearNameTable) == 184);
static_assert(offsetof(MonitorTable, ShowNameTable) == 188);
static_assert(offsetof(MonitorTable, ShowHostColors) == 192);
static_assert(offsetof(MonitorTable, ViewNameTable) == 196);
static_assert(offsetof(MonitorTable, AddFlaggedName) == 200);
static_assert(offsetof(MonitorTable, AddName) == 204);
static_assert(offsetof(MonitorTable, LookupName) == 208);
static_assert(offsetof(MonitorTable, LookupAllNames) == 212);
static_assert(offsetof(MonitorTable, DeleteName) == 216);
static_assert(offsetof(MonitorTable, PurgeNames) == 220);
static_assert(offsetof(MonitorTable, SaveNameFile) == 224);
static_assert(offsetof(MonitorTable, LoadNameFile) == 228);
static_assert(offsetof(MonitorTable, FormatHexAddress) == 232);
static_assert(offsetof(MonitorTable, FormatDottedAddress) == 236);
static_assert(offsetof(MonitorTable, FillNameCombo) == 240);
static_assert(offsetof(MonitorTable, GetAddressOfName) == 244);
static_assert(offsetof(MonitorTable, RetrieveEtherType) == 248);
static_assert(offsetof(MonitorTable, RetrieveOUI) == 252);
static_assert(offsetof(MonitorTable, RetrieveLSap) == 256);
static_assert(offsetof(MonitorTable, GetHexEtherType) == 260);
static_assert(offsetof(MonitorTable, GetHexOUI) == 264);
static_assert(offsetof(MonitorTable, GetHexLSap) == 268);
static_assert(offsetof(MonitorTable, RetrieveIPProtocol) == 272);

static_assert(sizeof(ProtocolDescriptor) == 52, "descriptor size");
static_assert(offsetof(ProtocolDescriptor, nameId) == 8);
static_assert(offsetof(ProtocolDescriptor, description) == 24);
static_assert(offsetof(ProtocolDescriptor, enabled) == 28);
static_assert(offsetof(ProtocolDescriptor, textColor) == 32);
static_assert(offsetof(ProtocolDescriptor, flags) == 36);
static_assert(offsetof(ProtocolDescriptor, control) == 40);
static_assert(offsetof(ProtocolDescriptor, parse) == 44);
static_assert(offsetof(ProtocolDescriptor, frameTypes) == 48);

static_assert(sizeof(FrameTypeItem) == 12, "frame type item size");
static_assert(sizeof(ChildEntry) == 20, "child entry size");
static_assert(offsetof(ChildEntry, key) == 8);
static_assert(offsetof(ChildEntry, parse) == 12);
static_assert(offsetof(ChildEntry, control) == 16);
static_assert(sizeof(StatisticsEntry) == 24, "statistics entry size");
static_assert(offsetof(StatisticsEntry, layer) == 4);
static_assert(offsetof(StatisticsEntry, name) == 8);
static_assert(offsetof(StatisticsEntry, frames) == 12);
static_assert(offsetof(StatisticsEntry, bytes) == 16);
static_assert(offsetof(StatisticsEntry, counters) == 20);
static_assert(sizeof(StatisticsCounter) == 16, "statistics counter size");
static_assert(offsetof(StatisticsCounter, value) == 8);

static_assert(offsetof(SummaryRow, destination) == 8);
static_assert(offsetof(SummaryRow, source) == 12);
static_assert(offsetof(SummaryRow, protocol) == 16);
static_assert(offsetof(SummaryRow, description) == 20);

static_assert(offsetof(DetailLine, next) == 0);
static_assert(offsetof(DetailLine, flags) == 8);
static_assert(offsetof(DetailLine, expandState) == 12);
static_assert(offsetof(DetailLine, offset) == 24);
static_assert(offsetof(DetailLine, length) == 28);
static_assert(offsetof(DetailLine, text) == 32);
#endif

// These hold on every build: the frame record has no pointers.
static_assert(offsetof(CaptureFrame, fragmentOffset) == 8);
static_assert(offsetof(CaptureFrame, textColor) == 12);
static_assert(offsetof(CaptureFrame, flags) == 32);
static_assert(offsetof(CaptureFrame, mediaStatus) == 36);
static_assert(offsetof(CaptureFrame, radioInfo) == 40);
static_assert(offsetof(CaptureFrame, hostCookie) == 80);
static_assert(offsetof(CaptureFrame, frameLength) == 88);
static_assert(offsetof(CaptureFrame, capturedLength) == 92);
static_assert(offsetof(CaptureFrame, offset) == 96);
static_assert(offsetof(CaptureFrame, data) == 100);
static_assert(offsetof(SummaryCell, text) == 32);
