// The detail lines of a record's fields, listed in order over a view of the
// record: the first field that is not captured ends them, and so does the
// host giving no line.
#pragma once

#include <stdarg.h>

#include "text.h"
#include "view.h"

namespace qv {

// Once the lines have ended every call adds nothing and says false, so a
// decoder lists its fields one after another and looks only where it must
// (before a hand-on, a group's close or a walk that depends on a field).
class FieldLines {
 public:
  FieldLines(DetailList& lines, const View& record) : list(lines), v(record) {}

  // Whether the lines go on: nothing missing so far and every line given.
  bool ok() const { return ok_ && !list.stopped; }
  // Whether what the next lines need is there; false ends every later line.
  bool Check(bool there) {
    if (!there) ok_ = false;
    return ok();
  }
  // Whether the field at..at+size is captured.
  bool Has(int64_t at, int64_t size) { return Check(v.Has(at, size)); }

  // A line over at..at+size while the lines go on, whatever is captured
  // there (a group heading, a value read elsewhere).
  template <literal::Format F, class... A>
  bool Add(int64_t at, int size, const A&... args) {
    if (ok()) list.Add<F>(v.Offset(at), size, args...);
    return ok();
  }
  __attribute__((format(printf, 4, 5))) bool Add(int64_t at, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AddV(at, size, format, args);
    va_end(args);
    return ok();
  }
  bool AddV(int64_t at, int size, const char* format, va_list args) {
    if (ok()) list.AddV(v.Offset(at), size, format, args);
    return ok();
  }
  // The line of the field at..at+size, when it is captured.
  template <literal::Format F, class... A>
  bool Field(int64_t at, int size, const A&... args) {
    return Has(at, size) && Add<F>(at, size, args...);
  }
  // The line of a number of 1, 2 or 4 bytes in network order, when it is
  // captured; F takes it as a DWORD.
  template <literal::Format F>
  bool Number(int64_t at, int size) {
    DWORD value = 0;
    return Check(ReadNumber(at, size, &value)) && Add<F>(at, size, value);
  }
  template <literal::Format F, class... A>
  bool Group(BYTE* expandState, int64_t at, int size, const A&... args) {
    if (ok()) list.Group<F>(expandState, v.Offset(at), size, args...);
    return ok();
  }
  // Ends the innermost open group after the last line, unless the lines
  // ended: their groups then stay open.
  void Close() {
    if (ok()) list.Close();
  }

  DetailList& list;
  const View v;

 private:
  bool ReadNumber(int64_t at, int size, DWORD* value) const {
    BYTE b;
    WORD w;
    switch (size) {
      case 1:
        return v.U8(at, &b) ? (*value = b, true) : false;
      case 2:
        return v.Be16(at, &w) ? (*value = w, true) : false;
      case 4:
        return v.Be32(at, value);
      default:
        return false;
    }
  }

  bool ok_ = true;
};

}  // namespace qv
