// MS-SMB: the Server Message Block header, the transaction lines with their
// mailslot routing to Browser and Netlogon, the parameter words of commands
// without a decoder, and the AndX chain. Carriers call it with `offset` on
// the header's first byte (FF 'S' 'M' 'B'); it binds under nothing.
#include <string.h>

#include <algorithm>

#include "wendrick.h"

namespace wendrick {

namespace {

ProtocolParse g_browserParse, g_netlogonParse;
BYTE g_flagsState, g_extendedState, g_reservedState, g_wordsState, g_parametersState, g_dataState, g_setupState;

const char kTitle[] = "Server Message Block Protocol";
const int kParameterBlock = 32;  // behind the fixed header
const BYTE kTransaction = 0x25;
const BYTE kResponse = 0x80;
const WORD kUnicode = 0x8000;

bool Unicode(const qv::View& smb) { return smb.Le16(10) & kUnicode; }

// ---------------------------------------------------------------- mailslots

const int kMaxNameText = 127;

// A transaction's name and where it leads. The name lies in the bytes the
// byte count declares, behind the setup words; one with no terminator there
// leads nowhere and moves nothing.
struct Route {
  ProtocolParse entry;
  int64_t end;  // position behind the name's terminator, from the header; -1: none
  char name[kMaxNameText + 1];
};

const Route kNoRoute = {nullptr, -1, ""};

Route RouteMailslot(const qv::View& smb, bool unicode) {
  Route r = {qv::g_svc.DefaultParse, -1, ""};
  const ParameterBlock b(smb.From(kParameterBlock));
  if (!b.Word(27, 1)) return r;
  const int setupEnd = 29 + 2 * b.view().U8(27);
  WORD byteCount;
  if (!b.Word(29, setupEnd - 29) || !b.Tail(setupEnd, 2) || !b.view().Le16(setupEnd, &byteCount)) return r;
  const qv::View bytes = b.view().Sub(setupEnd + 2, byteCount);
  int64_t end = -1;
  int n = 0;
  if (unicode) {
    // One pad byte aligns a name that does not start with its backslash.
    for (int64_t at = bytes.U8(0) == '\\' ? 0 : 1; bytes.Has(at, 2); at += 2) {
      const WORD unit = bytes.Le16(at);
      if (unit == 0) {
        end = at + 2;
        break;
      }
      if (n < kMaxNameText) r.name[n++] = (char)(unit & 0xFF);
    }
  } else {
    const int64_t nul = bytes.Find(0, 0);
    if (nul >= 0) {
      end = nul + 1;
      n = (int)std::min<int64_t>(nul, kMaxNameText);
      bytes.Copy(0, n, reinterpret_cast<BYTE*>(r.name));
    }
  }
  r.name[n] = 0;
  if (end < 0) {
    r.name[0] = 0;
    return r;
  }
  r.end = kParameterBlock + setupEnd + 2 + end;
  if (strcmp(r.name, "\\MAILSLOT\\BROWSE") == 0)
    r.entry = g_browserParse;
  else if (strcmp(r.name, "\\MAILSLOT\\NET\\NETLOGON") == 0 || strcmp(r.name, "\\MAILSLOT\\NET\\NTLOGON") == 0 ||
           strncmp(r.name, "\\MAILSLOT\\NET\\GETDC", 19) == 0)
    r.entry = g_netlogonParse;
  return r;
}

// ---------------------------------------------------------------- header lines

// A bit of a flags field and the two texts its line shows.
struct Choice {
  WORD bit;
  std::string_view label;
  std::string_view set;
  std::string_view clear;
};
constexpr Choice kFlags[] = {
    {0x80, "Direction\t\t\t", "Server to Client", "Client to Server"},
    {0x08, "File Names\t\t\t", "Not case sensitive", "Case sensitive"},
    {0x01, "Lock and Read\t\t", "Used", "Not used"},
};
constexpr Choice kExtendedFlags[] = {
    {0x8000, "Strings are\t\t\t", "Unicode", "ASCII"},
    {0x4000, "Errors are\t\t\t", "32 Bits", "16 Bits"},
    {0x2000, "Reads are\t\t\t", "Permitted with Execute-Permission", "Permitted only with Read-Permission"},
    {0x1000, "DFS Resolution\t\t", "On", "Off"},
    {0x0800, "Security\t\t\t\t", "Extended Security Supported", "Extended Security Not Supported"},
    {0x0002, "Attributes\t\t\t", "Extended Attributes Supported", "Extended Attributes Not Supported"},
    {0x0001, "Long FileNames\t\t", "Supported", "Not Supported"},
};

void ChoiceGroup(qv::DetailList& list, BYTE* state, int at, int size, const char* heading, WORD value,
                 std::span<const Choice> choices) {
  list.Group<"%s">(state, at, size, heading);
  for (const Choice& c : choices) list.Add<"%s%s">(at, size, c.label, (value & c.bit) ? c.set : c.clear);
  list.Close();
}

// The fixed header's lines; true when all of them were made.
bool HeaderLines(qv::DetailList& list, const qv::View& h) {
  const int o = h.Offset();
  BYTE command, errorClass, reserved, flags;
  WORD code, flags2, word;
  if (!h.U8(4, &command) || !list.Add<"Function\t\t\t\t\t%s">(o + 4, 1, SmbCommandName(command))) return false;
  if (!h.U8(5, &errorClass) || !list.Add<"Error Class\t\t\t\t%s">(o + 5, 1, SmbErrorClassName(errorClass)))
    return false;
  if (!h.U8(6, &reserved) || !list.Add<"Reserved\t\t\t\t\t%d">(o + 6, 1, reserved)) return false;
  if (!h.Le16(7, &code) || !list.Add<"Error Code\t\t\t\t%s">(o + 7, 2, SmbErrorCodeText(errorClass, code)))
    return false;
  if (!h.U8(9, &flags)) return false;
  ChoiceGroup(list, &g_flagsState, o + 9, 1, "Flags", flags, kFlags);
  if (!h.Le16(10, &flags2)) return false;
  ChoiceGroup(list, &g_extendedState, o + 10, 2, "Extended Flags", flags2, kExtendedFlags);
  if (!h.Has(12, 2)) return false;
  list.Group<"Reserved Words">(&g_reservedState, o + 12, 12);
  for (int i = 0; i < 6; i++)
    if (!h.Le16(12 + 2 * i, &word) || !list.Add<"Word %d\t\t\t\t%u">(o + 12 + 2 * i, 2, i, word)) return false;
  list.Close();
  const char* const kIds[] = {"Tree ID\t\t\t\t\t", "Process ID\t\t\t\t", "User ID\t\t\t\t\t", "Multiplex ID\t\t\t"};
  for (int i = 0; i < 4; i++)
    if (!h.Le16(24 + 2 * i, &word) || !list.Add<"%s%d">(o + 24 + 2 * i, 2, kIds[i], word)) return false;
  return !list.stopped;
}

// Commands without a decoder: the word count and each word. False when the
// host gave no line for one of them.
bool ParameterWords(qv::DetailList& list, const ParameterBlock& b) {
  if (!b.counted()) return true;
  list.Group<"Parameter Words">(&g_wordsState, b.Offset(), b.WordsEnd());
  list.Add<"Word Count\t\t\t%d">(b.Offset(), 1, b.count());
  for (int i = 0; i < b.count(); i++) {
    WORD word;
    if (!b.view().Le16(1 + 2 * i, &word)) return !list.stopped;
    list.Add<"Word %d\t\t\t\t0x%04x">(b.Offset(1 + 2 * i), 2, i, word);
  }
  list.Close();
  return !list.stopped;
}

// A transaction, requests and responses alike in the request's layout, as
// far as its words reach; its name ends the lines. Whether the name was
// listed.
bool TransactionLines(qv::DetailList& list, const ParameterBlock& b, const Route& route) {
  BlockLines f(list, b);
  const qv::View& v = b.view();
  if (f.Counted()) f.Add<"Parameters\t\t\t\t%d Words">(0, 1, v.U8(0));
  if (f.Word(1, 2)) f.Add<"Parameters\t\t\t\t%d Bytes">(1, 2, v.Le16(1));
  if (f.Word(3, 2)) f.Add<"Data\t\t\t\t\t\t%d Bytes">(3, 2, v.Le16(3));
  if (f.Word(5, 2)) f.Add<"Max Parameters\t\t\t%d Bytes">(5, 2, v.Le16(5));
  if (f.Word(7, 2)) f.Add<"Max Data\t\t\t\t\t%d Bytes">(7, 2, v.Le16(7));
  if (f.Word(9, 1)) f.Add<"Max Setup\t\t\t\t%d Words">(9, 1, v.U8(9));
  if (f.Word(13, 4)) f.Add<"Timeout\t\t\t\t\t%d Milleseconds">(13, 4, (int32_t)v.Le32(13));
  BYTE* const states[] = {&g_parametersState, &g_dataState};
  const char* const headings[] = {"Current Parameters", "Current Data"};
  for (int i = 0; i < 2; i++) {
    const int at = 19 + 4 * i;
    if (!f.Word(at, 2)) return false;
    f.Group(states[i], at, 4, headings[i]);
    f.Add<"Size\t\t\t\t\t%d Bytes">(at, 2, v.Le16(at));
    if (f.Word(at + 2, 2)) f.Add<"Offset\t\t\t\t%d Bytes">(at + 2, 2, v.Le16(at + 2));
    f.Close();
  }
  if (!f.Word(27, 1)) return false;
  const int setup = v.U8(27);
  f.Group<"Setup Words">(&g_setupState, 27, 2 * setup + 2);
  f.Add<"Count\t\t\t\t\t%d Words">(27, 1, setup);
  for (int i = 0; i < setup; i++)
    if (f.Word(29 + 2 * i, 2)) f.Add<"Word %d\t\t\t\t0x%04x">(29 + 2 * i, 2, i, v.Le16(29 + 2 * i));
  f.Close();
  const int count = 29 + 2 * setup;
  if (f.Tail(count, 2)) f.Add<"Total Bytes\t\t\t\t%d">(count, 2, v.Le16(count));
  if (route.end < 0 || !f.ok()) return false;
  f.Add<"Transaction Name\t\t%s">(count + 2, 1, route.name);
  f.Close();
  return f.ok();
}

// ---------------------------------------------------------------- passes

void SummarizeSmb(qv::Layer& l, SummaryRow* row) {
  const qv::View& h = l.header;
  qv::SetCellText(row->protocol, "SMB");
  qv::SetCellText(row->description, "");
  BYTE command, flags;
  if (!h.U8(4, &command)) return;
  qv::SetCellText(row->description, SmbCommandName(command));
  if (h.U8(9, &flags)) qv::AppendCellText(row->description, (flags & kResponse) ? " Response" : " Request");
}

bool IsTransaction(const qv::View& h) {
  BYTE command;
  return h.U8(4, &command) && command == kTransaction;
}

// Moves `offset` behind a transaction's name; the entry it leads to.
ProtocolParse RouteTransaction(qv::Layer& l) {
  const qv::View& h = l.header;
  if (!IsTransaction(h)) return qv::g_svc.DefaultParse;
  const Route r = RouteMailslot(h, Unicode(h));
  if (r.end >= 0) l.frame->offset = h.Offset(r.end);
  return r.entry;
}

// The detail pass hands on itself, to the list behind its own and the
// chain's; a protocol other than DefaultParse gets the frame only past the
// header, as every hand-on.
void HandOnDetail(qv::Layer& l, ProtocolParse entry, DetailLine** slot) {
  if (entry != qv::g_svc.DefaultParse && l.frame->offset <= l.offset()) entry = qv::g_svc.DefaultParse;
  entry(PASS_DETAIL, l.frame, slot);
}

// What the message's first block leads to, from its bytes alone: the
// position the listing reaches (start when nothing moves it), the hand-on
// entry, and the first chained command (0xFF: none).
struct Reach {
  int offset;
  ProtocolParse entry;
  BYTE chained;
};

Reach FirstBlock(const qv::Layer& l, BYTE command, const ParameterBlock& b, const Route& route) {
  Reach r = {l.offset(), qv::g_svc.DefaultParse, 0xFF};
  if (IsAndXCommand(command)) {
    const AndXHop hop = NextAndX(b, l.offset(), l.frame->capturedLength);
    if (hop.command != 0xFF) r = {hop.target, r.entry, hop.command};
  } else if (command == kTransaction) {
    if (route.end >= 0) r = {l.header.Offset(route.end), route.entry, 0xFF};
  } else if (b.counted()) {
    r.offset = b.Offset(b.WordsEnd());
  }
  return r;
}

// The chained blocks, one list each from out + 1 on: a block of one of the
// AndX commands shows its AndX header and leads on; any other is listed and
// ends the chain. Returns the number of lists made.
int Chain(qv::Layer& l, BYTE command, DetailLine** out) {
  CaptureFrame* frame = l.frame;
  int lists = 0;
  while (command != 0xFF && lists < kMaxChainedBlocks) {
    const int at = frame->offset;
    qv::DetailList list(out + 1 + lists);
    if (!list.Group(&g_smb.titleState, at, frame->capturedLength - at, kTitle)) break;
    lists++;
    list.Add<"Function\t\t\t\t\t%s">(0, 0, SmbCommandName(command));
    if (!IsAndXCommand(command)) break;
    const ParameterBlock b(qv::View::At(frame, at));
    if (!DetailAndXHeader(list, b)) break;
    const AndXHop hop = NextAndX(b, l.offset(), frame->capturedLength);
    command = hop.command;
    if (command != 0xFF) frame->offset = hop.target;
  }
  return lists;
}

void DetailSmb(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  DetailLine** out = list.head;
  const int start = l.offset();
  if (!l.enabled()) {
    // Mailslots are routed with the protocol off, once the host has a line.
    DetailLine* line = qv::g_svc.AllocDetailLine();
    ProtocolParse entry = qv::g_svc.DefaultParse;
    if (line) {
      entry = RouteTransaction(l);
      qv::g_svc.FreeDetailLine(line);
    }
    HandOnDetail(l, entry, out + 1);
    return;
  }
  const BYTE command = h.U8(4);
  const bool unicode = Unicode(h);
  const ParameterBlock b(h.From(kParameterBlock));
  const Route route = command == kTransaction ? RouteMailslot(h, unicode) : kNoRoute;
  const Reach whole = FirstBlock(l, command, b, route);
  // The title covers the header and the first block as far as the bytes
  // lead, and never past the capture, whatever lines follow it.
  const int captured = (int)h.size();
  const int length = whole.offset != start ? std::min(whole.offset - start, captured) : captured;
  if (!list.Group(&g_smb.titleState, start, length, kTitle)) {
    HandOnDetail(l, qv::g_svc.DefaultParse, out + 1);
    return;
  }
  // The first block leads on only when the lines that show where to were
  // all listed: a mailslot's name, an AndX header, the parameter words.
  bool listed = HeaderLines(list, h);
  if (listed) {
    if (IsAndXCommand(command))
      listed = DetailAndXCommand(list, command, h.U8(9) & kResponse, b, unicode);
    else if (command == kTransaction)
      listed = TransactionLines(list, b, route);
    else
      listed = ParameterWords(list, b);
  }
  const Reach reach = listed ? whole : Reach{start, qv::g_svc.DefaultParse, 0xFF};
  l.frame->offset = reach.offset;
  const int lists = Chain(l, reach.chained, out);
  HandOnDetail(l, reach.entry, out + 1 + lists);
}

// Counting hands on to DefaultParse; the summary routes mailslots whatever
// the enable byte; the detail pass has handed on already.
ProtocolParse HandOnSmb(qv::Layer& l) {
  switch (l.pass) {
    case PASS_COUNT:
      return qv::g_svc.DefaultParse;
    case PASS_SUMMARY:
      return RouteTransaction(l);
    default:
      return nullptr;
  }
}

constexpr qv::Cache kCaches[] = {{"MS-BROWSE", &g_browserParse}, {"MS-LOGON", &g_netlogonParse}};

}  // namespace

constexpr qv::ProtocolDecl kSmbDecl = {
    .nameId = "MS-SMB",
    .description = "SMB",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {6, "SMB"},
    .options = qv::DETAIL_ALWAYS,
    .summary = SummarizeSmb,
    .detail = DetailSmb,
    .handOn = HandOnSmb,
    .caches = kCaches,
};
qv::Protocol g_smb = qv::Declare<g_smb, kSmbDecl>();

}  // namespace wendrick
