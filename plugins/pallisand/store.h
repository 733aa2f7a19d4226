// The name table store: two queues of NameEntry records, each behind its own
// named mutex, and the services the monitor table slots lead to.
//
// Lock order: "ActiveNameQue" before "FreeNameQue" wherever both are held.
#pragma once

#include "monitor.h"
#include "name_entry.h"

namespace pallisand {

// Every wait for one of the two mutexes gives up after this long; the service
// then fails in its usual way without touching the list.
constexpr DWORD kLockWaitMs = 10000;

// A singly linked queue; tail points at the last entry's next field, or at
// first while the queue is empty.
struct Queue {
  NameEntry* first;
  NameEntry** tail;

  void Reset() {
    first = nullptr;
    tail = &first;
  }
  void Append(NameEntry* e) {
    *tail = e;
    tail = &e->next;
    e->next = nullptr;
  }
};

// Holds a mutex for its scope (or fails to get it within kLockWaitMs).
class Lock {
 public:
  explicit Lock(plat::Mutex* mutex);
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  bool held() const { return held_; }

 private:
  plat::Mutex* mutex_;
  bool held_;
};

// Library attach and detach.
void OpenStore();
void CloseStore();

plat::Mutex* ActiveMutex();  // guards the active list and its entries
plat::Mutex* FreeMutex();    // guards the free list

// First entry of the active list, in list order; only under ActiveMutex.
NameEntry* FirstActive();

// Under ActiveMutex. The active list keeps an index of its names: an entry
// joins the list, and an entry on it changes its name, only through these.
void AppendActive(NameEntry* e);
void RenameActive(NameEntry* e, const char* name);

// MT_NAMES_CHANGED, written atomically: other threads change other bits of
// the same word.
void SetNamesChanged();
void ClearNamesChanged();

plat::FILETIME Now();

// The store's core: adds a mapping or returns the entry that has the name
// already. Refuses (null) an empty name, one of more than 31 characters or
// holding a line break (the name file cannot hold one), and a length outside
// 0 .. 32.
NameEntry* InsertNameEntry(const char* name, const BYTE* address, int length, int value, BYTE flagged);
// TRUE when an entry of the active list has the name, without regard to case.
BYTE NameExists(const char* name);

// For the windows, each only under ActiveMutex:
// the entry of that name (without regard to case), or null;
NameEntry* FindName(const char* name);
// the first entry that matches the address as LookupName matches (the
// entry's own length governs), without counting an access;
NameEntry* FindAddress(const BYTE* address, int length);
// whether e is on the active list now;
bool IsActive(const NameEntry* e);
// a zeroed entry from the free list, or a new one (null: no memory or no
// free-list lock, last error set); it is on no list until appended.
NameEntry* TakeSpareEntry();

// Slot services.
DWORD QV_CALL ReserveNameEntries(int count);
void QV_CALL ClearNameTable();
void* QV_CALL AddFlaggedName(const char* name, const BYTE* address, int length, int value);
void* QV_CALL AddName(const char* name, const BYTE* address, int length, int value);
BYTE QV_CALL LookupName(const BYTE* address, int length, BYTE useName, char* text, int unused,
                        COLORREF* destinationColor, COLORREF* sourceColor);
BYTE QV_CALL LookupAllNames(const BYTE* address, int length, char* text, int unused, unsigned max);
void QV_CALL DeleteName(const char* name);
void QV_CALL PurgeNames(BYTE keepFlagged, BYTE keepLocked);
void QV_CALL FormatHexAddress(const BYTE* data, int length, char* text);
void QV_CALL FormatDottedAddress(const BYTE* data, int length, char* text);
void QV_CALL FillNameCombo(HWND combo);
void QV_CALL GetAddressOfName(const char* name, BYTE* address, int length);

// The name file (namefile.cpp).
BYTE QV_CALL SaveNameFile(FileHandle file);
BYTE QV_CALL LoadNameFile(FileHandle file);

// Error box without or with an owner: the text, two line breaks and the
// system's message for code.
void ShowSystemError(HWND owner, const char* text, DWORD code);

}  // namespace pallisand
