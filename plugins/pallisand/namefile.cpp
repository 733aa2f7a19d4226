// The name file: one line per mapping, in table order (name_line.h). The
// loader uses name, address, length, P, L, value and the colours; the group
// flag comes from the address, times and counts start afresh.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "name_line.h"
#include "store.h"

namespace pallisand {

namespace {

const char kMoveError[] = "Error moving File Pointer!";
const char kClearError[] = "Error clearing File Pointer!";
const char kWriteError[] = "Error writing to Name File!";
const char kSizeError[] = "Failed to read FileSize information!";
const char kAllocError[] = "Failed to allocate resources!";

size_t FormatLine(const NameEntry* e, char* line) {
  NameLine l;
  memcpy(l.name, e->name, sizeof l.name);
  memcpy(l.address, e->address, sizeof l.address);
  l.length = e->addressLength;
  l.flags[0] = e->flagged ? 'P' : ' ';
  l.flags[1] = e->group ? 'G' : ' ';
  l.flags[2] = e->locked ? 'L' : ' ';
  l.accessCount = e->accessCount;
  l.value = e->value;
  l.destinationColor = (int32_t)e->destinationColor;
  l.sourceColor = (int32_t)e->sourceColor;
  l.created = FileTimeTicks(e->created);
  l.lastAccessed = FileTimeTicks(e->lastAccessed);
  return FormatNameLine(l, line);
}

// The insert and the settings of the entry it returns form one critical
// section: a deletion in between could hand the entry to someone else.
bool LoadMapping(const NameLine& l) {
  Lock active(ActiveMutex());
  if (!active.held()) return false;
  NameEntry* e = InsertNameEntry(l.name, l.address, l.length, l.value, l.flags[0] == 'P');
  if (!e) return false;
  e->destinationColor = (COLORREF)l.destinationColor;
  e->sourceColor = (COLORREF)l.sourceColor;
  e->locked = l.flags[2] == 'L';
  return true;
}

}  // namespace

BYTE QV_CALL SaveNameFile(FileHandle file) {
  if (!plat::SetFilePointer(file, 0, plat::FILE_BEGIN, nullptr)) {
    ShowSystemError(nullptr, kMoveError, plat::GetLastError());
    return FALSE;
  }
  if (!plat::SetEndOfFile(file)) {
    ShowSystemError(nullptr, kClearError, plat::GetLastError());
    return FALSE;
  }
  DWORD code = 0;
  {
    Lock active(ActiveMutex());
    if (!active.held()) {
      code = ETIMEDOUT;
    } else {
      for (const NameEntry* e = FirstActive(); e; e = e->next) {
        char line[kNameLineSize];
        DWORD size = (DWORD)FormatLine(e, line);
        DWORD done = 0;
        if (!plat::WriteFile(file, line, size, &done)) {
          code = plat::GetLastError();
          break;
        }
        if (done != size) {  // the platform retries short writes; one that stays short is reported
          code = ENOSPC;
          break;
        }
      }
      // Cleared before the lock goes: a mapping added after the walk keeps
      // the table marked as changed.
      if (code == 0) ClearNamesChanged();
    }
  }
  if (code != 0) {
    ShowSystemError(nullptr, kWriteError, code);
    return FALSE;
  }
  return TRUE;
}

// TRUE when every line of the file was loaded. A load that skipped lines
// clears the mark as a complete one does (the table holds what the file could
// give); the host learns from the result that saving would drop those lines.
// A load that stopped early or failed leaves the mark set.
BYTE QV_CALL LoadNameFile(FileHandle file) {
  if (!plat::SetFilePointer(file, 0, plat::FILE_BEGIN, nullptr)) {
    ShowSystemError(nullptr, kMoveError, plat::GetLastError());
    SetNamesChanged();
    return FALSE;
  }
  int64_t size = 0;
  if (!plat::GetFileSize(file, &size)) {
    ShowSystemError(nullptr, kSizeError, plat::GetLastError());
    SetNamesChanged();
    return FALSE;
  }
  char* buffer = nullptr;
  if (size >= 0 && (uint64_t)size < 0xFFFFFFFFu && (uint64_t)size < SIZE_MAX)
    buffer = static_cast<char*>(plat::LocalAlloc((size_t)size + 1));
  else
    plat::SetLastError(ENOMEM);
  if (!buffer) {
    ShowSystemError(nullptr, kAllocError, plat::GetLastError());
    SetNamesChanged();
    return FALSE;
  }
  DWORD got = 0;
  bool whole = plat::ReadFile(file, buffer, (DWORD)size, &got) && got == (DWORD)size;

  NameTextResult r = ReadNameText(buffer, got, LoadMapping);
  plat::LocalFree(buffer);
  bool cleared = false;
  if (!r.stopped) {
    Lock active(ActiveMutex());
    if (active.held()) {
      ClearNamesChanged();
      cleared = true;
    }
  }
  if (!cleared) SetNamesChanged();
  return whole && cleared && !r.skipped ? TRUE : FALSE;
}

}  // namespace pallisand
