// The name file: one line per mapping, in table order,
//   name,HEXADDRESS,length,PGL,accessCount,value,destinationColor,sourceColor,created,lastAccessed\n
// The loader uses name, address, length, P, L, value and the colours; the
// group flag comes from the address, times and counts start afresh.
#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "store.h"

namespace pallisand {

namespace {

const char kMoveError[] = "Error moving File Pointer!";
const char kClearError[] = "Error clearing File Pointer!";
const char kWriteError[] = "Error writing to Name File!";
const char kSizeError[] = "Failed to read FileSize information!";
const char kAllocError[] = "Failed to allocate resources!";

// Longest line: 31 + 64 + 2 + 3 + 4 * 11 + 2 * 20 characters and ten separators.
constexpr size_t kLineSize = 256;

int FormatLine(const NameEntry* e, char* line) {
  char hex[2 * kMaxAddressLength + 1];
  int length = e->addressLength < 0 ? 0 : e->addressLength > kMaxAddressLength ? kMaxAddressLength : e->addressLength;
  for (int i = 0; i < length; i++) sprintf(hex + 2 * i, "%02X", e->address[i]);
  hex[2 * length] = 0;
  return snprintf(line, kLineSize, "%s,%s,%d,%c%c%c,%d,%d,%d,%d,%" PRIu64 ",%" PRIu64 "\n", e->name, hex,
                  (int)e->addressLength, e->flagged ? 'P' : ' ', e->group ? 'G' : ' ', e->locked ? 'L' : ' ',
                  (int)e->accessCount, (int)e->value, (int)e->destinationColor, (int)e->sourceColor,
                  FileTimeTicks(e->created), FileTimeTicks(e->lastAccessed));
}

// "%d" as the scanner reads it, within one line: blanks, a sign, at least one
// digit. A number outside int is refused rather than wrapped.
bool ScanInt(const char*& p, int32_t* out) {
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\v' || *p == '\f') p++;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') p++;
  if (*p < '0' || *p > '9') return false;
  int64_t v = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    v = v * 10 + (*p - '0');
    if (v > (int64_t)INT32_MAX + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  *out = (int32_t)v;
  return true;
}

bool ScanComma(const char*& p) {
  if (*p != ',') return false;
  p++;
  return true;
}

struct LineFields {
  int32_t length;
  char flags[3];
  int32_t accessCount;
  int32_t value;
  int32_t destinationColor;
  int32_t sourceColor;
};

// length,PGL,accessCount,value,destination,source; the rest of the line (the
// two times) is not read. Every field must be there.
bool ScanFields(const char* p, LineFields* f) {
  if (!ScanInt(p, &f->length) || !ScanComma(p)) return false;
  for (char& c : f->flags) {
    if (*p == 0) return false;
    c = *p++;
  }
  return ScanComma(p) && ScanInt(p, &f->accessCount) && ScanComma(p) && ScanInt(p, &f->value) && ScanComma(p) &&
         ScanInt(p, &f->destinationColor) && ScanComma(p) && ScanInt(p, &f->sourceColor);
}

int HexDigit(unsigned char c) { return c >= '0' && c <= '9' ? c - '0' : (c - 55) & 15; }

enum LineResult { LINE_LOADED, LINE_SKIPPED, LINE_ENDS_LOAD };

// One line, NUL-terminated where its line feed was.
LineResult LoadLine(const char* line) {
  const char* comma = strchr(line, ',');
  if (!comma) return LINE_ENDS_LOAD;
  char name[kNameSize];
  size_t n = (size_t)(comma - line);
  if (n > (size_t)kNameSize - 1) n = kNameSize - 1;
  memcpy(name, line, n);
  name[n] = 0;

  const char* hex = comma + 1;
  comma = strchr(hex, ',');
  if (!comma) return LINE_ENDS_LOAD;
  size_t digits = (size_t)(comma - hex);
  if (digits > 2 * (size_t)kMaxAddressLength) digits = 2 * kMaxAddressLength;
  BYTE address[kMaxAddressLength] = {};
  int count = (int)(digits / 2);
  for (int i = 0; i < count; i++)
    address[i] = (BYTE)(HexDigit((unsigned char)hex[2 * i]) << 4 | HexDigit((unsigned char)hex[2 * i + 1]));

  LineFields f;
  if (!ScanFields(comma + 1, &f)) return LINE_SKIPPED;
  if (f.length < 0 || f.length > count) return LINE_SKIPPED;

  // The insert and the settings of the entry it returns form one critical
  // section: a deletion in between could hand the entry to someone else.
  if (name[0] == 0) return LINE_LOADED;  // adds nothing, and is no failure
  Lock active(ActiveMutex());
  if (!active.held()) return LINE_SKIPPED;
  NameEntry* e = InsertNameEntry(name, address, f.length, f.value, f.flags[0] == 'P');
  if (!e) return LINE_SKIPPED;
  e->destinationColor = (COLORREF)f.destinationColor;
  e->sourceColor = (COLORREF)f.sourceColor;
  e->locked = f.flags[2] == 'L';
  return LINE_LOADED;
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
        char line[kLineSize];
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

BYTE QV_CALL LoadNameFile(FileHandle file) {
  // Any failure leaves the table marked as changed, so that the host never
  // takes a failed or partial load for a complete one.
  if (!plat::SetFilePointer(file, 0, plat::FILE_BEGIN, nullptr)) {
    ShowSystemError(nullptr, kMoveError, plat::GetLastError());
    SetNamesChanged();
    return 0;
  }
  int64_t size = 0;
  if (!plat::GetFileSize(file, &size)) {
    ShowSystemError(nullptr, kSizeError, plat::GetLastError());
    SetNamesChanged();
    return 0;
  }
  char* buffer = nullptr;
  if (size >= 0 && (uint64_t)size < 0xFFFFFFFFu && (uint64_t)size < SIZE_MAX)
    buffer = static_cast<char*>(plat::LocalAlloc((size_t)size + 1));
  else
    plat::SetLastError(ENOMEM);
  if (!buffer) {
    ShowSystemError(nullptr, kAllocError, plat::GetLastError());
    SetNamesChanged();
    return 0;
  }
  DWORD got = 0;
  bool complete = plat::ReadFile(file, buffer, (DWORD)size, &got) && got == (DWORD)size;

  char* p = buffer;
  while (*p) {
    char* end = p;
    while (*end && *end != '\n') end++;
    bool last = *end == 0;
    *end = 0;
    LineResult r = LoadLine(p);
    if (r == LINE_ENDS_LOAD) {
      complete = false;
      break;
    }
    if (r == LINE_SKIPPED) complete = false;
    p = last ? end : end + 1;
  }
  // A NUL inside the data ends the text early as well.
  if (p != buffer + got) complete = false;

  if (complete) {
    Lock active(ActiveMutex());
    if (active.held())
      ClearNamesChanged();
    else
      complete = false;
  }
  if (!complete) SetNamesChanged();
  plat::LocalFree(buffer);
  return 0;
}

}  // namespace pallisand
