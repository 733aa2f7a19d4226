// Stand-ins for the operating-system services the plug-ins, the host and the
// tray client call. One shared library (qvplatform) serves the whole process,
// so message boxes, named mutexes and the registry store are process-wide.
#pragma once

#include "plat/types.h"

// A window handle points at one of these; messages go to its handler.
struct PlatWindow {
  intptr_t (*handler)(HWND window, DWORD message, uintptr_t wParam, intptr_t lParam);
  void* context;
};

namespace plat {

// ---------------------------------------------------------------- errors
// Error codes are errno values; 0 is success. The last error is per thread.
enum : DWORD {
  ERR_OK = 0,
};
PLAT_API DWORD GetLastError();
PLAT_API void SetLastError(DWORD code);
// The system's text for an error code, without a trailing line break.
PLAT_API void FormatSystemError(DWORD code, char* text, size_t size);

// ---------------------------------------------------------------- heap
// Zero-filled allocation. Returns null (and sets the last error to ENOMEM)
// when out of memory or when the test failure switch says so.
PLAT_API void* LocalAlloc(size_t size);
PLAT_API void LocalFree(void* block);
// Tests: fail the Nth allocation from now (1 = the next one), 0 = never.
// With repeat set, every allocation from the Nth on fails.
PLAT_API void SetAllocFailure(unsigned nth, bool repeat = false);
PLAT_API unsigned long LocalAllocCount();  // allocations made so far

// ---------------------------------------------------------------- mutexes
// Named recursive mutexes with bounded waits, shared by every library of the
// process. Handles from CreateMutex stay valid until CloseMutex.
// Names are case-sensitive. CreateMutex sets the last error to EEXIST when the
// name was already in use (the handle then shares that mutex), else to 0.
// A wait of INFINITE never times out. Only the owning thread may release.
struct Mutex;
enum WaitResult : DWORD { WAIT_OK = 0, WAIT_TIMED_OUT = 258, WAIT_ERROR = 0xFFFFFFFFu };
enum : DWORD { INFINITE = 0xFFFFFFFFu };
PLAT_API Mutex* CreateMutex(const char* name);  // null name: unnamed
PLAT_API DWORD WaitForMutex(Mutex* mutex, DWORD milliseconds);
PLAT_API bool ReleaseMutex(Mutex* mutex);
PLAT_API void CloseMutex(Mutex* mutex);

// ---------------------------------------------------------------- messages
enum : DWORD {
  MB_OK = 0x0,
  MB_YESNO = 0x4,
  MB_TYPEMASK = 0xF,  // the buttons
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDYES = 6, IDNO = 7 };
// The sink receives every message box of the process and returns the button
// chosen. The default sink prints "title: text" to standard error and, with
// nobody there to answer, says No to a question.
typedef int (*MessageSink)(HWND owner, const char* text, const char* title, DWORD style, void* context);
PLAT_API int MessageBox(HWND owner, const char* text, const char* title, DWORD style);
PLAT_API void SetMessageSink(MessageSink sink, void* context);

// ---------------------------------------------------------------- windows
// A window is whatever its owner says it is: messages go to its handler
// (struct PlatWindow above).
PLAT_API intptr_t SendMessage(HWND window, DWORD message, uintptr_t wParam, intptr_t lParam);
enum : DWORD { WM_USER = 0x0400, WM_APP = 0x8000 };
// A window that stands for a Qt widget answers this with the QWidget*, so
// that the boxes and dialogs it owns can be placed over it; others answer 0.
enum : DWORD { WM_GETWIDGET = WM_APP + 1 };

// ---------------------------------------------------------------- strings
// A library's string table: compiled rows of (id, text).
struct StringRow {
  unsigned id;
  const char* text;
};
// Copies the text of id into buffer (cut to size - 1) and returns its length;
// 0 with an empty buffer when the id is not in the table.
PLAT_API int LoadString(const StringRow* table, size_t rows, unsigned id, char* buffer, int size);

// ---------------------------------------------------------------- files
// File handles are POSIX descriptors opened by their owner (on i386 with
// O_LARGEFILE or _FILE_OFFSET_BITS=64, for offsets beyond 2 GiB).
enum SeekFrom : DWORD { FILE_BEGIN = 0, FILE_CURRENT = 1, FILE_END = 2 };
// Each returns false and sets the last error on failure.
PLAT_API bool SetFilePointer(FileHandle file, int64_t distance, SeekFrom from, int64_t* position);
PLAT_API bool SetEndOfFile(FileHandle file);  // truncate at the current position
PLAT_API bool GetFileSize(FileHandle file, int64_t* size);
// Reads or writes up to count bytes, retrying interrupted and short transfers;
// *done receives what was transferred. A read stops early only at end of file.
PLAT_API bool ReadFile(FileHandle file, void* buffer, DWORD count, DWORD* done);
PLAT_API bool WriteFile(FileHandle file, const void* buffer, DWORD count, DWORD* done);

// ---------------------------------------------------------------- time
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
PLAT_API void GetLocalTime(SYSTEMTIME* time);
// 100 ns ticks since 1601-01-01 of the given calendar time, as it stands
// (no conversion to UTC).
PLAT_API bool SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime);
// GetLocalTime and SystemTimeToFileTime at once (false and zero ticks where
// the conversion fails), for time stamps taken often: from the system's
// coarse clock, whose tick of a few milliseconds is as fine as the local
// clock of the platform this stands in for.
PLAT_API bool GetLocalFileTime(FILETIME* fileTime);
// The calendar fields of a FILETIME, with the day of the week (0 = Sunday);
// false for ticks past the year 30827.
PLAT_API bool FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* time);
// Tests: replace the local clock (null restores it).
typedef void (*ClockSource)(SYSTEMTIME* time);
PLAT_API void SetClockSource(ClockSource source);

// ---------------------------------------------------------------- registry
// A file-backed store: one human-readable text file per hive in the user's
// config folder ($QUORVANE_CONFIG_DIR, else $XDG_CONFIG_HOME/quorvane, else
// ~/.config/quorvane). Every write is a locked read-modify-write followed by
// an atomic rename, so two processes never lose each other's values. A
// damaged file is reported (ERROR_REGISTRY_CORRUPT) and never rewritten.
// Files: current_user.reg and local_machine.reg. Key paths and value names
// compare ASCII case-insensitively and keep the case they were first written
// with. A null or empty value name is the key's default value.
enum Hive : int { HKEY_CURRENT_USER = 1, HKEY_LOCAL_MACHINE = 2 };
enum : DWORD { REG_NONE = 0, REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4 };
enum : LONG {
  ERROR_SUCCESS = 0,
  ERROR_FILE_NOT_FOUND = 2,   // no such key or value
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,   // null key
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_INVALID_PARAMETER = 87,  // bad hive, control byte in a key path, null buffer
  ERROR_MORE_DATA = 234,      // the buffer was too small; *size tells the need
  ERROR_REGISTRY_CORRUPT = 1015,
  ERROR_REGISTRY_IO = 1016,
};
struct RegKey;
typedef RegKey* HKEY;
// Opens the key at path (backslash-separated, case-insensitive); with create
// set the key is made when missing.
PLAT_API LONG RegOpenKey(Hive hive, const char* path, bool create, HKEY* key);
// data may be null to ask for the size. Reads what fits: on a short buffer
// the first *size bytes are copied and ERROR_MORE_DATA returned.
PLAT_API LONG RegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
PLAT_API LONG RegSetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);
PLAT_API LONG RegDeleteValue(HKEY key, const char* name);
PLAT_API LONG RegCloseKey(HKEY key);
// A batch reads the hive's file once: until RegEndBatch every call on the
// hive reads and changes that reading (a reading that failed fails each call
// as it would have failed alone), and RegEndBatch writes the changes made in
// one write, on a fresh reading of the file, so that what other programs
// wrote meanwhile stays unless the batch changed the same value. For a
// program's settings, read at its start and kept at its end. Batches nest:
// the outermost end writes. RegBeginBatch gives the reading's result;
// RegEndBatch the write's (ERROR_SUCCESS when nothing was changed).
PLAT_API LONG RegBeginBatch(Hive hive);
PLAT_API LONG RegEndBatch(Hive hive);
// The last registry failure's explanation (file name and line), per thread.
PLAT_API const char* RegLastErrorText();
// Told of every failure of the store itself (a damaged or unreadable file, a
// write that could not be made), not of a missing key or value: writing says
// whether a change was to be kept. Null stops it. The text is the call's
// RegLastErrorText.
typedef void (*RegFailureSink)(bool writing, LONG code, const char* text, void* context);
PLAT_API void SetRegFailureSink(RegFailureSink sink, void* context);
// Where the hive's file lives (for messages and tests).
PLAT_API void RegHivePath(Hive hive, char* path, size_t size);

}  // namespace plat
