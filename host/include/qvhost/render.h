// Text rendering of what the plug-ins made of a frame, for quorvane and the
// tests: the summary row, the detail tree and the statistics.
#pragma once

#include <string>
#include <vector>

#include "qvhost/host.h"

namespace qvhost {

// Text written in place: a renderer asks for room, writes into it and says
// where it stopped. When the room asked for is not left, what the buffer
// holds goes to the drain first (appended to a string, or written out), so
// rows and lines are copied once, from the records into this buffer.
class TextOut {
 public:
  typedef void (*Drain)(const char* text, size_t length, void* context);
  // Appends to text.
  explicit TextOut(std::string* text);
  TextOut(Drain drain, void* context);
  ~TextOut() { Flush(); }
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;

  static constexpr size_t kSize = 1 << 16;
  // At least n bytes (at most kSize) to write at the returned position.
  char* Room(size_t n) {
    if ((size_t)(buffer_ + kSize - at_) < n) Flush();
    return at_;
  }
  // What was written into the room ends at end.
  void Done(char* end) { at_ = end; }
  void Append(const char* text, size_t length);
  void Flush();

 private:
  Drain drain_;
  void* context_;
  char* at_ = buffer_;
  char buffer_[kSize];
};

// One summary row: number, destination, source, protocol, description, in
// aligned columns; ends with a line feed. Control bytes (below 0x20, and
// DEL) in a cell show as '.'.
void RenderSummary(unsigned long number, const FrameOutput& out, TextOut* text);
void RenderSummary(unsigned long number, const FrameOutput& out, std::string* text);
// The header line matching RenderSummary's columns.
std::string SummaryHeader();

// The detail tree: each layer's list in slot order, groups as indentation,
// the first TAB run of a line as a pad to the value column and later runs as
// two blanks, so that values line up whatever the label's length; other
// control bytes show as '.'.
void RenderDetail(const FrameOutput& out, TextOut* text);
void RenderDetail(const FrameOutput& out, std::string* text);
// A detail line's text with its TAB runs rendered as above, starting at
// column indent.
std::string RenderDetailText(const char* text, size_t indent);

// Every registered statistics entry with its frames, bytes and counters.
void RenderStatistics(const Host& host, std::string* text);

// Flattened lines, for tests: text, offset, length, flags, and the group
// depth at which the line stands.
struct FlatLine {
  size_t slot;
  int depth;
  std::string text;
  int offset;
  int length;
  DWORD flags;
};
std::vector<FlatLine> FlattenDetail(const FrameOutput& out);

}  // namespace qvhost
