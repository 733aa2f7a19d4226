// The bounded formatter, name tables, bit pictures and detail lines.
#include "text.h"

#include <stdio.h>
#include <string.h>

#include "plugin.h"

namespace qv {

// ---------------------------------------------------------------- text

namespace {

// A bounded writer into the caller's buffer.
struct Out {
  char* p;
  char* end;  // last byte, kept for the NUL
  void Put(char c) {
    if (p < end) *p++ = c;
  }
  void Put(const char* text, size_t n) {
    size_t room = (size_t)(end - p);
    if (n > room) n = room;
    if (n <= 8) {
      for (size_t i = 0; i < n; i++) p[i] = text[i];
    } else {
      memcpy(p, text, n);
    }
    p += n;
  }
  void Fill(char c, size_t n) {
    size_t room = (size_t)(end - p);
    if (n > room) n = room;
    if (n <= 8) {
      for (size_t i = 0; i < n; i++) p[i] = c;
    } else {
      memset(p, c, n);
    }
    p += n;
  }
  // Text up to its NUL: one bounded length and one copy, which beats a
  // byte loop on the labels and values that come through here.
  void PutString(const char* text) {
    size_t n = strnlen(text, (size_t)(end - p));
    memcpy(p, text, n);
    p += n;
  }
};

struct Conversion {
  bool left = false, zero = false;
  bool widthArgument = false, precisionArgument = false;  // '*': taken from the arguments
  int width = 0, precision = -1;
  int length = 0;  // 0 int, 1 long, 2 long long, 3 size_t, -1 short, -2 char
  char conversion = 0;
};

// Parses one conversion after '%'; false for what the fast path leaves to
// the C library (flags other than '-' and '0', floating point, ...).
bool ParseConversion(const char*& f, Conversion* conv) {
  switch (*f) {  // the usual case: a bare conversion
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'c': case 's': case '%':
      conv->conversion = *f++;
      return true;
    default:
      break;
  }
  for (;; f++) {
    if (*f == '-')
      conv->left = true;
    else if (*f == '0')
      conv->zero = true;
    else
      break;
  }
  if (*f == '*') {
    conv->widthArgument = true;
    f++;
  }
  while (*f >= '0' && *f <= '9') conv->width = conv->width * 10 + (*f++ - '0');
  if (*f == '.') {
    f++;
    conv->precision = 0;
    if (*f == '*') {
      conv->precisionArgument = true;
      f++;
    }
    while (*f >= '0' && *f <= '9') conv->precision = conv->precision * 10 + (*f++ - '0');
  }
  if (f[0] == 'h' && f[1] == 'h') {
    conv->length = -2;
    f += 2;
  } else if (*f == 'h') {
    conv->length = -1;
    f++;
  } else if (f[0] == 'l' && f[1] == 'l') {
    conv->length = 2;
    f += 2;
  } else if (*f == 'l') {
    conv->length = 1;
    f++;
  } else if (*f == 'z') {
    conv->length = 3;
    f++;
  }
  conv->conversion = *f;
  if ((*f == 'c' || *f == 's') && conv->length != 0) return false;  // wide text
  if ((conv->widthArgument && conv->width) || (conv->precisionArgument && conv->precision)) return false;
  if ((conv->widthArgument || conv->precisionArgument) && *f == '%') return false;
  switch (*f) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'c': case 's': case '%':
      f++;
      return conv->width < 512 && conv->precision < 512;
    default:
      return false;
  }
}

void PutPadded(Out* out, const Conversion& conv, const char* sign, const char* digits, size_t n, bool numeric) {
  if (conv.width == 0 && conv.precision < 0) {
    if (*sign) out->Put(*sign);
    out->Put(digits, n);
    return;
  }
  size_t signLength = *sign ? 1 : 0;
  size_t zeros = 0;
  if (numeric && conv.precision >= 0 && (size_t)conv.precision > n) zeros = (size_t)conv.precision - n;
  size_t body = signLength + zeros + n;
  size_t pad = conv.width > 0 && (size_t)conv.width > body ? (size_t)conv.width - body : 0;
  bool zeroPad = numeric && conv.zero && !conv.left && conv.precision < 0;
  if (!conv.left && !zeroPad) out->Fill(' ', pad);
  out->Put(sign, signLength);
  if (zeroPad) out->Fill('0', pad);
  out->Fill('0', zeros);
  out->Put(digits, n);
  if (conv.left) out->Fill(' ', pad);
}

// False, having written part of the text, when the format holds a conversion
// it leaves to the C library.
bool FastFormat(Out* out, const char* f, va_list args) {
  for (;;) {
    // Literal text is copied as it is scanned: the runs between conversions
    // are short, and one pass beats a search, a length and a copy.
    char c;
    while ((c = *f) != '%') {
      if (!c) return true;
      out->Put(c);
      f++;
    }
    f++;
    Conversion conv;
    if (!ParseConversion(f, &conv)) return false;
    // Names of counted length come as "%.*s".
    if (conv.widthArgument) {
      int width = va_arg(args, int);
      if (width < -511 || width > 511) return false;
      if (width < 0) conv.left = true;
      conv.width = width < 0 ? -width : width;
    }
    if (conv.precisionArgument) {
      int precision = va_arg(args, int);
      if (precision > 511) return false;
      conv.precision = precision < 0 ? -1 : precision;
    }
    char digits[32];
    char* end = digits + sizeof digits;
    char* d = end;
    switch (conv.conversion) {
      case '%':
        out->Put('%');
        break;
      case 'c':
        digits[0] = (char)va_arg(args, int);
        PutPadded(out, conv, "", digits, 1, false);
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        if (!text) return false;  // the C library's own rendering of a null
        if (conv.width == 0 && conv.precision < 0) {
          out->PutString(text);
          break;
        }
        size_t n = conv.precision >= 0 ? strnlen(text, (size_t)conv.precision) : strlen(text);
        PutPadded(out, conv, "", text, n, false);
        break;
      }
      case 'd':
      case 'i': {
        long long v;
        switch (conv.length) {
          case 1: v = va_arg(args, long); break;
          case 2: v = va_arg(args, long long); break;
          case 3: v = (long long)va_arg(args, ptrdiff_t); break;
          case -1: v = (short)va_arg(args, int); break;
          case -2: v = (signed char)va_arg(args, int); break;
          default: v = va_arg(args, int); break;
        }
        unsigned long long u = v < 0 ? 0ull - (unsigned long long)v : (unsigned long long)v;
        do *--d = (char)('0' + u % 10); while (u /= 10);
        if (conv.precision == 0 && v == 0) d = end;
        PutPadded(out, conv, v < 0 ? "-" : "", d, (size_t)(end - d), true);
        break;
      }
      default: {  // u x X
        unsigned long long u;
        switch (conv.length) {
          case 1: u = va_arg(args, unsigned long); break;
          case 2: u = va_arg(args, unsigned long long); break;
          case 3: u = va_arg(args, size_t); break;
          case -1: u = (unsigned short)va_arg(args, unsigned); break;
          case -2: u = (unsigned char)va_arg(args, unsigned); break;
          default: u = va_arg(args, unsigned); break;
        }
        bool zero = u == 0;
        if (conv.conversion == 'u') {
          do *--d = (char)('0' + u % 10); while (u /= 10);
        } else {
          const char* hex = conv.conversion == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
          do *--d = hex[u & 15]; while (u >>= 4);
        }
        if (conv.precision == 0 && zero) d = end;
        PutPadded(out, conv, "", d, (size_t)(end - d), true);
        break;
      }
    }
  }
  return true;
}

}  // namespace

int FormatTextV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  // Detail lines and cells are formatted for every frame: the conversions
  // they use are done here, anything else by the C library.
  va_list again;
  va_copy(again, args);
  Out out{buffer, buffer + size - 1};
  bool done = FastFormat(&out, format, args);
  *out.p = 0;
  if (done) {
    va_end(again);
    return (int)(out.p - buffer);
  }
  int n = vsnprintf(buffer, size, format, again);
  va_end(again);
  if (n < 0) return (int)strnlen(buffer, size - 1);  // keep what was written
  return (size_t)n >= size ? (int)(size - 1) : n;
}

int FormatText(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buffer, size, format, args);
  va_end(args);
  return n;
}

int AppendText(char* buffer, size_t size, const char* format, ...) {
  size_t used = strnlen(buffer, size);
  if (used >= size) return (int)used;
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buffer + used, size - used, format, args);
  va_end(args);
  return (int)used + n;
}

int DecimalText(unsigned value, char* text) {
  char digits[10];
  int n = 0;
  do digits[n++] = (char)('0' + value % 10); while (value /= 10);
  for (int i = 0; i < n; i++) text[i] = digits[n - 1 - i];
  text[n] = 0;
  return n;
}

int SetCell(SummaryCell* cell, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatTextV(cell->text, sizeof cell->text, format, args);
  va_end(args);
  return n;
}

int AppendCell(SummaryCell* cell, const char* format, ...) {
  size_t used = strnlen(cell->text, sizeof cell->text);
  if (used >= sizeof cell->text) return (int)used;
  va_list args;
  va_start(args, format);
  int n = FormatTextV(cell->text + used, sizeof cell->text - used, format, args);
  va_end(args);
  return (int)used + n;
}

// ---------------------------------------------------------------- names

const Name* NameTable::Find(DWORD key) const {
  if (!sorted_) {
    for (const Name& n : rows_)
      if (n.key == key) return &n;
    return nullptr;
  }
  size_t low = 0, high = rows_.size();
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (rows_[mid].key < key)
      low = mid + 1;
    else
      high = mid;
  }
  return low < rows_.size() && rows_[low].key == key ? &rows_[low] : nullptr;
}

// ---------------------------------------------------------------- bit pictures

BitText BitPicture(uint64_t value, uint64_t mask, int bits, int group) {
  BitText t;
  char* p = t.text;
  char* end = t.text + sizeof t.text - 1;
  if (bits > 64) bits = 64;
  // A blank follows bit i where i % group is 0: counted down, not divided.
  int place = group > 0 && bits > 0 ? (bits - 1) % group : 0;
  for (int i = bits - 1; i >= 0 && p < end; i--) {
    *p++ = (mask >> i) & 1 ? (char)('0' + ((value >> i) & 1)) : 'x';
    if (group <= 0) continue;
    if (place > 0) {
      place--;
      continue;
    }
    if (i > 0 && p < end) *p++ = ' ';
    place = group - 1;
  }
  *p = 0;
  return t;
}

const char* NibbleBitsText(int value) {
  static const char kBits[16][5] = {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
                                    "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111"};
  return kBits[value & 0xF];
}

// ---------------------------------------------------------------- detail lines

DetailLine* DetailList::Take(int offset, int length) {
  if (stopped) return nullptr;
  DetailLine* line = g_svc.AllocDetailLine();
  if (!line) {
    stopped = true;
    return nullptr;
  }
  line->offset = offset;
  line->length = length;
  if (last)
    last->next = line;
  else
    *head = line;
  last = line;
  return line;
}

DetailLine* DetailList::AddV(int offset, int length, const char* format, va_list args) {
  DetailLine* line = Take(offset, length);
  if (line) FormatTextV(line->text, sizeof line->text, format, args);
  return line;
}

DetailLine* DetailList::Add(int offset, int length, const char* format, ...) {
  va_list args;
  va_start(args, format);
  DetailLine* line = AddV(offset, length, format, args);
  va_end(args);
  return line;
}

DetailLine* DetailList::Group(BYTE* expandState, int offset, int length, const char* format, ...) {
  va_list args;
  va_start(args, format);
  DetailLine* line = AddV(offset, length, format, args);
  va_end(args);
  if (line) {
    line->flags |= DETAIL_GROUP_OPEN;
    line->expandState = expandState;
  }
  return line;
}

DetailLine* DetailList::Text(int offset, int length, const char* text) {
  DetailLine* line = Take(offset, length);
  if (line) {
    size_t n = strnlen(text, sizeof line->text - 1);
    memcpy(line->text, text, n);
    line->text[n] = 0;
  }
  return line;
}

DetailLine* DetailList::HexDump(const char* label, const BYTE* data, int length, int frameOffset) {
  // Dumps always follow a line of their own protocol (its title at least).
  if (stopped || !last || !g_svc.AddHexDumpLines || length <= 0) return last;
  DetailLine* end = g_svc.AddHexDumpLines(last, label, data, length, frameOffset);
  if (end) last = end;
  return last;
}

}  // namespace qv
