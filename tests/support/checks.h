// What tests expect of plug-in output: detail lines as a table, and the
// properties every protocol keeps on any frame.
#pragma once

#include <string>
#include <vector>

#include "qvhost/render.h"

namespace qvtest {

class TestHost;
typedef std::vector<BYTE> Bytes;

const DWORD OPEN = DETAIL_GROUP_OPEN;
const DWORD CLOSE = DETAIL_GROUP_CLOSE;

// Expected detail output as a table: text, offset, length, flags per line.
struct Line {
  std::string text;
  int offset;
  int length;
  DWORD flags;
};
typedef std::vector<Line> Lines;
void ExpectLines(const std::vector<qvhost::FlatLine>& got, const Lines& want);
Lines Join(std::initializer_list<Lines> parts);

// Lines whose text starts with prefix; the lines from the first such one on.
std::vector<qvhost::FlatLine> LinesStarting(const std::vector<qvhost::FlatLine>& lines, const std::string& prefix);
std::vector<qvhost::FlatLine> LinesFrom(const std::vector<qvhost::FlatLine>& lines, const std::string& prefix);

// Options of the property checks.
struct FrameCheck {
  int wireLength = -1;  // the frame's length on the wire; -1: all of it, whatever is cut
  bool linesWithinCapture = false;  // every line of some length describes captured bytes only
  bool keepsCloses = true;  // a failed line leaves the closes of the lines before it as the full decode has them
  // Where a protocol hands on only once all its lines were made (LLC-802.2,
  // NBDS, NBSS, SMB): the last detail slot whose lines decide where the
  // frame goes. A line refused there or before may change the hand-ons, one
  // refused after them may not. -1: no line decides them.
  int leadOnSlot = -1;
};

// Decodes every cut of frame (0 .. all bytes, each pass) twice, over stale
// bytes of 0x00 and of 0xFF past the cut (and under AddressSanitizer with
// the bytes past the cut poisoned by the host), and expects the same cells,
// lines, hand-ons, colours and counts: nothing past capturedLength is read.
// Also: no line with a negative offset or length, nothing handed on with
// more bytes than were captured, no counter that goes down.
void ExpectBoundedAtEveryCut(TestHost& h, const char* root, const Bytes& frame, const FrameCheck& check = {});

// Makes AllocDetailLine fail from its 1st, 2nd, ... call on while the frame
// is decoded: each time the lines made are the first ones of the full
// decode, no more and no fewer, the frame is handed on as in the full
// decode (the same receivers, offsets, lengths and slots), and nothing
// breaks.
void ExpectLineFailuresHandled(TestHost& h, const char* root, const Bytes& frame, const FrameCheck& check = {});

// Loads library into a host whose table is one version behind and one ahead:
// each time the library says once, as name, that the versions differ, then
// registers nothing, and stays inert when a good table comes later.
void ExpectInertUnderOtherTableVersions(const char* library, const char* name);

}  // namespace qvtest
