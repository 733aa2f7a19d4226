// What tests expect of plug-in output: detail lines as a table, and the
// properties every protocol keeps on any frame.
#pragma once

#include <initializer_list>
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

// A protocol as its library registers it, and the statistics entry it
// registers for it.
struct Registered {
  const char* nameId;
  const char* description;
  DWORD flags;
  const char* statistics;
  int layer;
};
// Exactly these protocols, in this order, and a statistics entry for each
// in the same order: each protocol with its name id, description and
// flags, enabled, of colour 0 and with no frame types; each entry with its
// name and layer and no counters.
void ExpectRegistered(const std::vector<ProtocolDescriptor*>& protocols,
                      const std::vector<StatisticsEntry*>& statistics, std::initializer_list<Registered> want);
void ExpectRegistered(const TestHost& h, std::initializer_list<Registered> want);

// A binding a stand-in parent received: the child bound under it at key.
struct Bound {
  const char* parent;
  DWORD key;
  const char* child;
};
// The stand-ins received exactly these bindings, in this order, each with
// the child's own parse and control entries.
void ExpectBindings(const TestHost& h, std::initializer_list<Bound> want);

// Started with none of the parents it binds under: the library binds
// nowhere, says nothing and registers all its protocols all the same.
void ExpectNothingBoundWithoutParents(const TestHost& h, size_t protocols);
// Terminating a parent empties its child table: it lists no child, and a
// key it held finds DefaultParse.
void ExpectTerminateEmptiesChildTable(TestHost& h, const char* parent, DWORD key);

// Colours set on every protocol of the libraries come back when they are
// loaded again: each protocol keeps its own under its name id.
void ExpectColoursKeptUnderNameIds(std::initializer_list<std::string> libraries);

// The keys of a parent's child table, newest first.
std::vector<DWORD> ChildKeys(ProtocolDescriptor* parent);

}  // namespace qvtest
