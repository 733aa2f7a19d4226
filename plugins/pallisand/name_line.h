// One line of the name file: how a mapping is written and how a line is read
// back. The library's save, load and merge of two saves use it; the host
// reads and writes the file only through them.
//
//   name,HEXADDRESS,length,PGL,accessCount,value,destinationColor,sourceColor,created,lastAccessed\n
//
// A name that holds a comma is written in double quotes, each quote inside it
// doubled; every other name is written as it stands, so files written before
// names could hold a comma read as they always did. CR and LF cannot be in a
// name at all.
#pragma once

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "name_entry.h"

namespace pallisand {

// What a line holds; the load uses all but the access count.
struct NameLine {
  char name[kNameSize];
  BYTE address[kMaxAddressLength];
  int32_t length;
  char flags[3];  // 'P' or ' ', 'G' or ' ', 'L' or ' '
  int32_t accessCount;
  int32_t value;
  int32_t destinationColor;
  int32_t sourceColor;
  uint64_t created;
  uint64_t lastAccessed;
};

// Names the table keeps: 1 to kNameSize - 1 characters and no line break.
inline bool ValidMappingName(const char* name) {
  size_t n = strnlen(name, kNameSize);
  return n > 0 && n < (size_t)kNameSize && strpbrk(name, "\n\r") == nullptr;
}

// The longest line: a quoted name of 30 quotes and a comma (63 characters),
// 64 hex digits, length, flags, four ints of 11 characters, two times of 20,
// ten separators.
constexpr size_t kNameLineSize = 256;

inline size_t FormatNameLine(const NameLine& l, char* line) {
  char* p = line;
  if (strchr(l.name, ',')) {
    *p++ = '"';
    for (const char* c = l.name; *c; c++) {
      if (*c == '"') *p++ = '"';
      *p++ = *c;
    }
    *p++ = '"';
  } else {
    size_t n = strlen(l.name);
    memcpy(p, l.name, n);
    p += n;
  }
  *p++ = ',';
  static const char kHex[] = "0123456789ABCDEF";
  int length = l.length < 0 ? 0 : l.length > kMaxAddressLength ? kMaxAddressLength : l.length;
  for (int i = 0; i < length; i++) {
    *p++ = kHex[l.address[i] >> 4];
    *p++ = kHex[l.address[i] & 15];
  }
  int n = snprintf(p, kNameLineSize - (size_t)(p - line), ",%d,%c%c%c,%d,%d,%d,%d,%" PRIu64 ",%" PRIu64 "\n",
                   (int)l.length, l.flags[0], l.flags[1], l.flags[2], (int)l.accessCount, (int)l.value,
                   (int)l.destinationColor, (int)l.sourceColor, l.created, l.lastAccessed);
  return (size_t)(p - line) + (size_t)n;
}

namespace name_line_detail {

// "%d" as the scanner reads it, within one line: blanks, a sign, at least one
// digit. A number outside int is refused rather than wrapped.
inline bool ScanInt(const char*& p, int32_t* out) {
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

inline bool ScanComma(const char*& p) {
  if (*p != ',') return false;
  p++;
  return true;
}

// The two times; a file that lacks them or holds something else still loads.
inline uint64_t ScanTime(const char*& p) {
  uint64_t v = 0;
  if (*p != ',') return 0;
  for (p++; *p >= '0' && *p <= '9'; p++) v = v * 10 + (uint64_t)(*p - '0');
  return v;
}

inline int HexDigit(unsigned char c) { return c >= '0' && c <= '9' ? c - '0' : (c - 55) & 15; }

// A quoted name at line: its text and the character after its comma. Only a
// quoted text that holds a comma counts as one; any other first field is
// read up to its first comma, as it always was.
inline const char* QuotedName(const char* line, char* name) {
  if (*line != '"') return nullptr;
  char text[2 * kNameSize];
  size_t n = 0;
  bool comma = false;
  const char* p = line + 1;
  for (;; p++) {
    if (*p == 0) return nullptr;
    if (*p == '"') {
      if (p[1] != '"') break;
      p++;
    }
    comma |= *p == ',';
    if (n < (size_t)kNameSize - 1) text[n++] = *p;
  }
  if (p[1] != ',' || !comma) return nullptr;
  memcpy(name, text, n);
  name[n] = 0;
  return p + 2;
}

}  // namespace name_line_detail

enum NameLineResult {
  NAME_LINE_MAPPING,   // l holds a mapping
  NAME_LINE_NOTHING,   // a blank line, or a line with an empty name: adds nothing
  NAME_LINE_SKIPPED,   // malformed or beyond the record: not loaded
  NAME_LINE_ENDS_LOAD  // no comma after the name or the address: the load stops here
};

// One line, NUL-terminated where its line feed was.
inline NameLineResult ParseNameLine(const char* line, NameLine* l) {
  using namespace name_line_detail;
  memset(l, 0, sizeof *l);
  if (line[strspn(line, " \t\r")] == 0) return NAME_LINE_NOTHING;  // what an editor may leave

  const char* hex = QuotedName(line, l->name);
  if (!hex) {
    const char* comma = strchr(line, ',');
    if (!comma) return NAME_LINE_ENDS_LOAD;
    size_t n = (size_t)(comma - line);
    if (n > (size_t)kNameSize - 1) n = kNameSize - 1;
    memcpy(l->name, line, n);
    l->name[n] = 0;
    hex = comma + 1;
  }

  const char* comma = strchr(hex, ',');
  if (!comma) return NAME_LINE_ENDS_LOAD;
  size_t digits = (size_t)(comma - hex);
  if (digits > 2 * (size_t)kMaxAddressLength) digits = 2 * kMaxAddressLength;
  int count = (int)(digits / 2);
  for (int i = 0; i < count; i++)
    l->address[i] = (BYTE)(HexDigit((unsigned char)hex[2 * i]) << 4 | HexDigit((unsigned char)hex[2 * i + 1]));

  // length,PGL,accessCount,value,destination,source: every one must be there.
  const char* p = comma + 1;
  if (!ScanInt(p, &l->length) || !ScanComma(p)) return NAME_LINE_SKIPPED;
  for (char& c : l->flags) {
    if (*p == 0) return NAME_LINE_SKIPPED;
    c = *p++;
  }
  if (!(ScanComma(p) && ScanInt(p, &l->accessCount) && ScanComma(p) && ScanInt(p, &l->value) && ScanComma(p) &&
        ScanInt(p, &l->destinationColor) && ScanComma(p) && ScanInt(p, &l->sourceColor)))
    return NAME_LINE_SKIPPED;
  l->created = ScanTime(p);
  l->lastAccessed = ScanTime(p);
  if (l->length < 0 || l->length > count) return NAME_LINE_SKIPPED;
  memset(l->address + l->length, 0, sizeof l->address - (size_t)l->length);
  if (l->name[0] == 0) return NAME_LINE_NOTHING;
  return ValidMappingName(l->name) ? NAME_LINE_MAPPING : NAME_LINE_SKIPPED;
}

struct NameTextResult {
  bool stopped;  // a line ended the load early
  bool skipped;  // a line was not loaded, or a NUL ended the text before its end
};

// Walks text[0 .. size), which holds a NUL at text[size], line by line, and
// hands each mapping to add (which returns false when it could not take it).
// The lines are NUL-terminated in place.
template <class Add>
NameTextResult ReadNameText(char* text, size_t size, Add&& add) {
  NameTextResult r = {false, false};
  char* p = text;
  while (*p) {
    char* end = p;
    while (*end && *end != '\n') end++;
    bool last = *end == 0;
    *end = 0;
    NameLine l;
    NameLineResult result = ParseNameLine(p, &l);
    if (result == NAME_LINE_ENDS_LOAD) {
      r.stopped = true;
      return r;
    }
    if (result == NAME_LINE_SKIPPED || (result == NAME_LINE_MAPPING && !add(l))) r.skipped = true;
    p = last ? end : end + 1;
  }
  if (p != text + size) r.skipped = true;  // a NUL inside the data
  return r;
}

}  // namespace pallisand
