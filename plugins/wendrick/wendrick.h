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
const char* SmbErrorClassName(BYTE errorClass);
const char* SmbErrorCodeText(BYTE errorClass, WORD code);

// ---------------------------------------------------------------- layouts
// Where a field of a parameter block may stand: inside the words, inside
// the words or the byte count behind them, or anywhere the capture reaches
// (the word count itself, and what follows by a count of its own).
enum class In : BYTE { kWords, kByteCount, kCapture };

// A field of a fixed layout: its first byte, counted from the layout's
// start, its width in bytes, and where a parameter block allows it.
// Multi-byte fields are little-endian.
struct Field {
  int at;
  int size;
  In in = In::kWords;

  constexpr int end() const { return at + size; }
  // The index-th of a run of such fields that starts with this one.
  constexpr Field Nth(int index) const { return {at + size * index, size, in}; }
};

// A field's value (of 1, 2 or 4 bytes, or 8 into a uint64_t) when all of
// it is captured; else false, and the value is left alone.
inline bool ReadField(const qv::View& v, Field f, DWORD* value) {
  BYTE b;
  WORD w;
  switch (f.size) {
    case 1:
      return v.U8(f.at, &b) ? (*value = b, true) : false;
    case 2:
      return v.Le16(f.at, &w) ? (*value = w, true) : false;
    case 4:
      return v.Le32(f.at, value);
    default:
      return false;
  }
}
inline bool ReadField(const qv::View& v, Field f, uint64_t* value) { return f.size == 8 && v.Le64(f.at, value); }
// The same, giving 0 for a field that is not all captured.
inline DWORD FieldOrZero(const qv::View& v, Field f) {
  DWORD value = 0;
  ReadField(v, f, &value);
  return value;
}

// ---------------------------------------------------------------- parameter block
// An SMB parameter block: the word count, 2 × word count bytes of words and
// the byte count behind them. Its fields are read only where their layout
// places them (a word count of 0, as error responses carry, has no words),
// and only where captured.
class ParameterBlock {
 public:
  static constexpr Field kWordCount = {0, 1, In::kCapture};
  static constexpr Field kFirstWord = {1, 2};

  explicit ParameterBlock(const qv::View& from) : v_(from), counted_(from.U8(0, &count_)) {}

  const qv::View& view() const { return v_; }
  int Offset(int at = 0) const { return v_.Offset(at); }
  bool counted() const { return counted_; }
  BYTE count() const { return count_; }
  // Where the byte count stands: right behind the words.
  int WordsEnd() const { return 1 + 2 * count_; }
  // Whether the field stands where the block allows it, captured.
  bool Holds(Field f) const {
    switch (f.in) {
      case In::kWords:
        return counted_ && f.at >= 1 && f.end() <= WordsEnd() && v_.Has(f.at, f.size);
      case In::kByteCount:
        return counted_ && f.at >= 1 && f.end() <= WordsEnd() + 2 && v_.Has(f.at, f.size);
      case In::kCapture:
        return v_.Has(f.at, f.size);
    }
    return false;
  }
  template <class T>
  bool Read(Field f, T* value) const {
    return Holds(f) && ReadField(v_, f, value);
  }

 private:
  qv::View v_;  // from the word count to the captured end
  BYTE count_ = 0;
  bool counted_;
};

// ---------------------------------------------------------------- field lines
// A bit of a flags field, its label and what its line reads when the bit is
// set and when it is clear.
struct Choice {
  DWORD bit;
  std::string_view label;
  std::string_view set;
  std::string_view clear;
};

// The lines of a layout's fields, in order, over a parameter block or a
// plain view. A field is there when it is captured and, in a block, stands
// where the block allows it; the first field not there ends the lines.
// Numbers are little-endian: the base's Number, of network order, is hidden.
class FieldLines : public qv::FieldLines {
 public:
  using Field = wendrick::Field;  // a layout's field, not the base's line of one

  FieldLines(qv::DetailList& list, const qv::View& v) : qv::FieldLines(list, v) {}
  FieldLines(qv::DetailList& list, const ParameterBlock& b) : qv::FieldLines(list, b.view()), block_(&b) {}

  // Whether the field is there to be shown; false ends every later line.
  bool Has(Field f) { return Check(block_ ? block_->Holds(f) : v.Has(f.at, f.size)); }
  // The field's value, when it is there.
  template <class T>
  bool Read(Field f, T* value) {
    return Has(f) && ReadField(v, f, value);
  }
  // The field as far as the capture reaches.
  Field Cut(Field f) const { return {f.at, (int)std::min<int64_t>(f.size, v.Left(f.at)), f.in}; }

  // A line over the field.
  template <qv::literal::Format F, class... A>
  bool Add(Field f, const A&... args) {
    return qv::FieldLines::Add<F>(f.at, f.size, args...);
  }
  __attribute__((format(printf, 3, 4))) bool Add(Field f, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AddV(f.at, f.size, format, args);
    va_end(args);
    return ok();
  }
  // A line that shows the field's value, when it is there.
  template <qv::literal::Format F>
  bool Number(Field f) {
    DWORD value;
    return Read(f, &value) && Add<F>(f, value);
  }
  // A group heading over the field, as far as it is captured.
  bool Group(BYTE* state, Field f, const char* heading) {
    return qv::FieldLines::Group<"%s">(state, f.at, Cut(f).size, heading);
  }
  template <qv::literal::Format F>
  bool Group(BYTE* state, Field f) {
    return qv::FieldLines::Group<F>(state, f.at, Cut(f).size);
  }
  // One line per flag over the field, "On" or "Off"; the last closes the
  // group.
  void FlagLines(Field f, DWORD value, std::span<const qv::FlagBit> flags) {
    if (ok()) list.FlagLines<"%s%s">(v.Offset(f.at), f.size, value, flags, {"On"sv, "Off"sv});
    Close();
  }
  // The field's flags as a group of their own, when it is there.
  void FlagGroup(BYTE* state, Field f, const char* heading, std::span<const qv::FlagBit> flags) {
    DWORD value;
    if (!Read(f, &value)) return;
    Group(state, f, heading);
    FlagLines(f, value, flags);
  }
  // The same with words of each flag's own.
  void ChoiceGroup(BYTE* state, Field f, const char* heading, std::span<const Choice> choices) {
    DWORD value;
    if (!Read(f, &value)) return;
    Group(state, f, heading);
    for (const Choice& c : choices) Add<"%s%s">(f, c.label, (value & c.bit) ? c.set : c.clear);
    Close();
  }

 private:
  const ParameterBlock* block_ = nullptr;
};

// ---------------------------------------------------------------- commands
// How a command's parameter block is laid out, as the header decode reads
// it: what lists it and where the message leads.
enum class Words : BYTE {
  kPlain,        // words listed as they stand; the frame moves to the byte count
  kAndX,         // an AndX header, then the command's own words; a chain may follow
  kTransaction,  // a transaction, whose name routes the frame
};

// The lines of a command's own words, behind its AndX header.
typedef void (*WordLines)(FieldLines& f, bool unicode);

// One SMB command: its code, its name, the layout of its words, and the
// lines of a request's and of a response's own words (null: none).
struct SmbCommand {
  BYTE code;
  const char* name;
  Words words = Words::kPlain;
  WordLines request = nullptr;
  WordLines response = nullptr;
};

// The command's row; a code without one is named "Unknown Function", its
// words plain.
const SmbCommand& FindSmbCommand(BYTE code);
const char* SmbCommandName(BYTE code);

// ---------------------------------------------------------------- AndX chain
// Chained blocks listed behind a message's first block, one detail list
// each. Carriers put SMB at most seven lists deep (802.11, LLC, SNAP, IP,
// TCP, NetBIOS, SMB); eight chained lists and the hand-on behind them keep a
// frame within sixteen.
enum { kMaxChainedBlocks = 8 };

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
// An AndX command's block: its AndX header, then the lines of its own words
// in a request or a response. Whether the AndX header was all listed.
bool DetailAndXCommand(qv::DetailList& list, const SmbCommand& command, bool response, const ParameterBlock& block,
                       bool unicode);

// ---------------------------------------------------------------- text
// UTF-16LE text to Windows-1252, up to the first NUL unit, at most `max`
// characters; characters without a Windows-1252 byte become '?'. Returns the
// length written.
int Utf16ToWindows1252(const qv::View& units, char* out, int max);

// A name learnt from the wire for the frame's media source address, by the
// rule all NetBIOS decoders share.
inline void LearnName(const CaptureFrame* frame, const char* name) { qv::LearnNetBiosName(frame, name); }

}  // namespace wendrick
