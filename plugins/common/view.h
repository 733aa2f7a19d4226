// Bounded reads of frame bytes. Every read of a frame goes through a View:
// a range of the frame whose end never passes the captured end, so a length
// taken from the frame can shorten a range but never carry a read outside
// the capture. Record walks run over sub-ranges (View::Sub, Cursor::Take)
// that end at the smaller of the record's declared end and the captured end.
#pragma once

#include <stdint.h>
#include <string.h>

#include "monitor.h"

namespace qv {

class View {
 public:
  View() = default;

  // The captured bytes of a frame from frame offset pos on.
  static View At(const CaptureFrame* frame, int64_t pos) { return View(frame->data, pos, frame->capturedLength); }
  // Bytes that belong to no frame (a copy the caller owns), at frame offset pos.
  static View Over(const BYTE* bytes, int64_t size, int64_t pos = 0) { return View(bytes - pos, pos, pos + size); }

  // Positions given to the readers count from the view's start; Offset
  // turns one into a frame offset (from data[0]) for a detail line.
  int Offset(int64_t at = 0) const { return (int)(begin_ + at); }
  // Captured bytes in the view, and from position at on (never negative).
  int64_t size() const { return end_ > begin_ ? end_ - begin_ : 0; }
  bool empty() const { return size() == 0; }
  int64_t Left(int64_t at) const { return at >= 0 && at < size() ? size() - at : 0; }
  bool Has(int64_t at, int64_t count) const { return at >= 0 && count >= 0 && at + count <= size(); }

  // The bytes at..at+count, or null unless all of them are captured.
  const BYTE* Bytes(int64_t at, int64_t count) const { return Has(at, count) ? data_ + begin_ + at : nullptr; }
  // Copies what is captured of at..at+count into out; returns the count copied.
  int64_t Copy(int64_t at, int64_t count, BYTE* out) const {
    int64_t n = count < Left(at) ? count : Left(at);
    if (n > 0) memcpy(out, data_ + begin_ + at, (size_t)n);
    return n > 0 ? n : 0;
  }
  // The position of the first byte equal to value at or after at, or -1.
  int64_t Find(int64_t at, BYTE value) const {
    if (Left(at) == 0) return -1;
    const void* p = memchr(data_ + begin_ + at, value, (size_t)Left(at));
    return p ? static_cast<const BYTE*>(p) - (data_ + begin_) : -1;
  }

  // Reads that report whether the field is captured (the value is left
  // alone when it is not).
  bool U8(int64_t at, BYTE* v) const { return Get(at, 1, v); }
  bool Be16(int64_t at, WORD* v) const { return Get(at, 2, v); }
  bool Le16(int64_t at, WORD* v) const { return Get(at, 2, v, true); }
  bool Be32(int64_t at, DWORD* v) const { return Get(at, 4, v); }
  bool Le32(int64_t at, DWORD* v) const { return Get(at, 4, v, true); }
  bool Be64(int64_t at, uint64_t* v) const { return Get(at, 8, v); }
  bool Le64(int64_t at, uint64_t* v) const { return Get(at, 8, v, true); }
  // The same, giving 0 for a field that is not captured: a 0 read this way
  // may stand for a missing byte, so it suits only a value whose field is
  // known to be there or whose 0 means nothing is shown.
  BYTE U8Or0(int64_t at) const { return Value<BYTE>(at, 1, false); }
  WORD Be16Or0(int64_t at) const { return Value<WORD>(at, 2, false); }
  WORD Le16Or0(int64_t at) const { return Value<WORD>(at, 2, true); }
  DWORD Be32Or0(int64_t at) const { return Value<DWORD>(at, 4, false); }
  DWORD Le32Or0(int64_t at) const { return Value<DWORD>(at, 4, true); }

  // The count bytes from at, cut at this view's end; a range that starts
  // past the end is empty but keeps its frame offset.
  View Sub(int64_t at, int64_t count) const {
    if (at < 0) at = 0;
    if (count < 0) count = 0;
    int64_t begin = begin_ + at;
    int64_t end = begin + count < end_ ? begin + count : end_;
    return View(data_, begin, end < begin ? begin : end);
  }
  // The bytes from at to this view's end.
  View From(int64_t at) const { return Sub(at, Left(at)); }

 private:
  View(const BYTE* data, int64_t begin, int64_t end) : data_(data), begin_(begin), end_(end) {}

  template <class T>
  bool Get(int64_t at, int count, T* v, bool little = false) const {
    if (!Has(at, count)) return false;
    const BYTE* p = data_ + begin_ + at;
    uint64_t x = 0;
    for (int i = 0; i < count; i++) x = (x << 8) | p[little ? count - 1 - i : i];
    *v = (T)x;
    return true;
  }
  template <class T>
  T Value(int64_t at, int count, bool little) const {
    T v = 0;
    Get(at, count, &v, little);
    return v;
  }

  const BYTE* data_ = nullptr;
  int64_t begin_ = 0;  // frame offsets
  int64_t end_ = 0;
};

// A walk over a view: each read takes the field at the cursor and moves
// past it; a field that is not captured is not read and the cursor stays.
class Cursor {
 public:
  explicit Cursor(View view, int64_t at = 0) : view_(view), at_(at) {}

  const View& view() const { return view_; }
  int64_t at() const { return at_; }
  int Offset() const { return view_.Offset(at_); }
  int64_t Left() const { return view_.Left(at_); }
  bool More() const { return Left() > 0; }

  bool U8(BYTE* v) { return Move(view_.U8(at_, v), 1); }
  bool Be16(WORD* v) { return Move(view_.Be16(at_, v), 2); }
  bool Le16(WORD* v) { return Move(view_.Le16(at_, v), 2); }
  bool Be32(DWORD* v) { return Move(view_.Be32(at_, v), 4); }
  bool Le32(DWORD* v) { return Move(view_.Le32(at_, v), 4); }
  // The next count bytes as a view of their own (cut at the end), and the
  // cursor past all count of them.
  View Take(int64_t count) {
    View v = view_.Sub(at_, count);
    Skip(count);
    return v;
  }
  void Skip(int64_t count) {
    if (count > 0) at_ += count;
  }

 private:
  bool Move(bool read, int64_t count) {
    if (read) at_ += count;
    return read;
  }
  View view_;
  int64_t at_;
};

// A header that declares its length trims the frame to it: children then
// count and read only what belongs to them. A declared end past the frame
// changes nothing.
inline void TrimFrame(CaptureFrame* frame, int64_t end) {
  if (end < frame->frameLength) frame->frameLength = (int32_t)(end > 0 ? end : 0);
  if (end < frame->capturedLength) frame->capturedLength = (int32_t)(end > 0 ? end : 0);
}

}  // namespace qv
