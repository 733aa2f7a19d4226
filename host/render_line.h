// The rendering of one detail line, shared by the renderer and the host's
// walk that renders and releases a frame's lines together.
#pragma once

#include <stddef.h>

#include "monitor.h"

namespace qvhost {

constexpr size_t kValueColumn = 36;  // labels are at most ~30 characters
constexpr size_t kMaxIndent = 2 * 64;
// The room a rendered line may take, its stores past its end included.
constexpr size_t kDetailLineRoom = kMaxIndent + kValueColumn + 3 * DETAIL_TEXT_SIZE + 64 + 1;

// The text buffer of a line (DETAIL_TEXT_SIZE bytes, read in whole chunks)
// rendered at indent into out, which holds kDetailLineRoom bytes; returns
// the end of what it wrote, and in *textLength the length of the text up
// to its NUL (DETAIL_TEXT_SIZE when it has none).
char* RenderDetailLine(char* out, const char* text, size_t indent, size_t* textLength);

class TextOut;
// A line and its line feed into text at depth's indent; returns the length
// of the line's text.
size_t PutDetailLine(TextOut* text, const char* lineText, int depth);

// Groups as indentation: two blanks a level, at most 64 levels.
inline size_t DetailIndent(int depth) { return 2 * (size_t)(depth < 64 ? depth : 64); }
// The group depth after a line with these flags.
inline int DepthAfter(int depth, DWORD flags) {
  if (flags & DETAIL_GROUP_OPEN) depth++;
  if (flags & DETAIL_GROUP_CLOSE) {
    depth -= 1 + (int)(flags & DETAIL_EXTRA_CLOSES);
    if (depth < 0) depth = 0;
  }
  return depth;
}

}  // namespace qvhost
