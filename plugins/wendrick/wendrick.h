// The protocols of the Wendrick library (Microsoft networking), as its entry
// registers them, and what the SMB header decode shares with its command
// decoders.
#pragma once

#include <stdarg.h>

#include <algorithm>
#include <span>

#include "netbios.h"
#include "plugin.h"

namespace wendrick {

// Fixed words of the detail lines written as "On"sv: copied by their length.
using namespace std::string_view_literals;

extern qv::Protocol g_netbeui;   // "MS-NETBEUI"
extern qv::Protocol g_smb;       // "MS-SMB"
extern qv::Protocol g_browser;   // "MS-BROWSE"
extern qv::Protocol g_netlogon;  // "MS-LOGON"

// ---------------------------------------------------------------- names
const char* SmbCommandName(BYTE command);
const char* SmbErrorClassName(BYTE errorClass);
const char* SmbErrorCodeText(BYTE errorClass, WORD code);

// ---------------------------------------------------------------- parameter block
// An SMB parameter block: the word count, 2 × word count bytes of words and
// the byte count behind them. Fields are read only inside the words (a word
// count of 0, as error responses carry, has none), and only where captured.
class ParameterBlock {
 public:
  explicit ParameterBlock(const qv::View& from) : v_(from), counted_(from.U8(0, &count_)) {}

  const qv::View& view() const { return v_; }
  int Offset(int at = 0) const { return v_.Offset(at); }
  bool counted() const { return counted_; }
  BYTE count() const { return count_; }
  // Where the byte count stands: right behind the words.
  int WordsEnd() const { return 1 + 2 * count_; }
  // A field of the words, captured.
  bool Word(int at, int size) const { return counted_ && at >= 1 && at + size <= WordsEnd() && v_.Has(at, size); }
  // A byte count read at a fixed place: inside the words or the byte count itself.
  bool Tail(int at, int size) const { return counted_ && at >= 1 && at + size <= WordsEnd() + 2 && v_.Has(at, size); }

 private:
  qv::View v_;  // from the word count to the captured end
  BYTE count_ = 0;
  bool counted_;
};

// A bit of a flags field and its label; its line reads "On" or "Off".
struct Flag {
  DWORD bit;
  std::string_view label;
};

// The lines of a parameter block, each over one of its fields. The first
// field that lies outside the words (or past the capture) ends them; so does
// the host giving no line.
class BlockLines {
 public:
  BlockLines(qv::DetailList& list, const ParameterBlock& b) : list_(list), b_(b) {}

  bool ok() const { return ok_ && !list_.stopped; }
  const qv::View& v() const { return b_.view(); }

  // Whether the field is there to be shown; false ends every later line.
  bool Counted() { return Check(b_.counted()); }
  bool Word(int at, int size) { return Check(b_.Word(at, size)); }
  bool Tail(int at, int size) { return Check(b_.Tail(at, size)); }
  // A field read where the block places it, inside the words or not.
  bool Captured(int at, int size) { return Check(v().Has(at, size)); }
  // A length from at, cut at the capture.
  int Cut(int at, int size) const { return (int)std::min<int64_t>(size, v().Left(at)); }

  // A line over the field at..at+size.
  __attribute__((format(printf, 4, 5))) void Add(int at, int size, const char* format, ...) {
    if (!ok()) return;
    va_list args;
    va_start(args, format);
    list_.AddV(b_.Offset(at), size, format, args);
    va_end(args);
  }
  // The same with a literal format (qv::FormatLiteral).
  template <qv::literal::Format F, class... A>
  void Add(int at, int size, const A&... args) {
    if (ok()) list_.Add<F>(b_.Offset(at), size, args...);
  }
  void Group(BYTE* state, int at, int size, const char* heading) {
    if (ok()) list_.Group<"%s">(state, b_.Offset(at), size, heading);
  }
  template <qv::literal::Format F>
  void Group(BYTE* state, int at, int size) {
    if (ok()) list_.Group<F>(state, b_.Offset(at), size);
  }
  // One line per flag over the same bytes; the last closes the group.
  void FlagLines(int at, int size, DWORD value, std::span<const Flag> flags) {
    for (const Flag& f : flags) Add<"%s%s">(at, size, f.label, (value & f.bit) ? "On"sv : "Off"sv);
    Close();
  }
  void FlagGroup(BYTE* state, int at, int size, const char* heading, DWORD value, std::span<const Flag> flags) {
    Group(state, at, size, heading);
    FlagLines(at, size, value, flags);
  }
  void Close() {
    if (ok()) list_.Close();
  }

 private:
  bool Check(bool there) {
    if (!there) ok_ = false;
    return ok();
  }
  qv::DetailList& list_;
  const ParameterBlock& b_;
  bool ok_ = true;
};

// ---------------------------------------------------------------- AndX chain
// Chained blocks listed behind a message's first block, one detail list
// each. Carriers put SMB at most seven lists deep (802.11, LLC, SNAP, IP,
// TCP, NetBIOS, SMB); eight chained lists and the hand-on behind them keep a
// frame within sixteen.
enum { kMaxChainedBlocks = 8 };

bool IsAndXCommand(BYTE command);

// Where a block's AndX fields lead. The chain goes on only to a block that
// starts behind this one's words and byte count, inside the capture; else
// command is 0xFF.
struct AndXHop {
  BYTE command;
  int target;  // frame offset of the next block
};
AndXHop NextAndX(const ParameterBlock& block, int headerOffset, int capturedLength);

// The four AndX header lines; false when a field is missing or the host gave
// no line. A block leads on only when they were all listed.
bool DetailAndXHeader(qv::DetailList& list, const ParameterBlock& block);
// The request or response decoder of one of the AndX commands; whether its
// AndX header was all listed.
bool DetailAndXCommand(qv::DetailList& list, BYTE command, bool response, const ParameterBlock& block, bool unicode);

// ---------------------------------------------------------------- text
// UTF-16LE text to Windows-1252, up to the first NUL unit, at most `max`
// characters; characters without a Windows-1252 byte become '?'. Returns the
// length written.
int Utf16ToWindows1252(const qv::View& units, char* out, int max);

// A name learnt from the wire for the frame's media source address, by the
// rule all NetBIOS decoders share.
inline void LearnName(const CaptureFrame* frame, const char* name) { qv::LearnNetBiosName(frame, name); }

}  // namespace wendrick
