// Text rendering of what the plug-ins made of a frame, for quorvane and the
// tests: the summary row, the detail tree and the statistics.
#pragma once

#include <string>
#include <vector>

#include "qvhost/host.h"

namespace qvhost {

// One summary row: number, destination, source, protocol, description, in
// aligned columns; ends with a line feed.
void RenderSummary(unsigned long number, const FrameOutput& out, std::string* text);
// The header line matching RenderSummary's columns.
std::string SummaryHeader();

// The detail tree: each layer's list in slot order, groups as indentation,
// the first TAB run of a line as a pad to the value column and later runs as
// two blanks, so that values line up whatever the label's length.
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
