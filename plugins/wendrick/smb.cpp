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
const DWORD kResponse = 0x80;   // of the flags
const DWORD kUnicode = 0x8000;  // of the second flags

// The fixed header, from its first byte (FF 'S' 'M' 'B').
constexpr struct {
  Field command{4, 1};
  Field errorClass{5, 1};
  Field reserved{6, 1};
  Field errorCode{7, 2};
  Field flags{9, 1};
  Field flags2{10, 2};
  Field reservedWords{12, 12};
  Field reservedWord{12, 2};  // the first of six
  Field treeId{24, 2};
  Field processId{26, 2};
  Field userId{28, 2};
  Field multiplexId{30, 2};
  Field wordCount{32, 1};  // where the parameter block starts
} kHeader{};

// A transaction's parameter block, requests and responses alike in the
// request's layout (the reserved bytes at 10 and 17 and the flags at 11 are
// not shown). The setup words follow the setup count by it, within the
// capture, and the byte count stands where the setup word of that index
// would; the name starts behind the byte count.
constexpr struct {
  Field parameterBytes{1, 2};
  Field dataBytes{3, 2};
  Field maxParameters{5, 2};
  Field maxData{7, 2};
  Field maxSetup{9, 1};
  Field timeout{13, 4};
  Field currentParameters{19, 4};
  Field currentParameterSize{19, 2};
  Field currentParameterOffset{21, 2};
  Field currentData{23, 4};
  Field currentDataSize{23, 2};
  Field currentDataOffset{25, 2};
  Field setupCount{27, 1};
  Field setupWord{29, 2, In::kCapture};
} kTransactionWords{};

bool Unicode(const qv::View& smb) { return FieldOrZero(smb, kHeader.flags2) & kUnicode; }
const SmbCommand& CommandOf(const qv::View& smb) { return FindSmbCommand((BYTE)FieldOrZero(smb, kHeader.command)); }

// ---------------------------------------------------------------- mailslots

const int kMaxNameText = 127;

// A transaction's name and where it leads. The setup count places the
// setup words, the byte count and then the name, whatever the word count
// says (some senders leave the setup words out of it); the name runs to its
// terminator within the captured bytes, whatever the byte count says. One
// whose terminator was not captured leads nowhere and moves nothing.
struct Route {
  ProtocolParse entry;
  int64_t end;  // position behind the name's terminator, from the header; -1: none
  char name[kMaxNameText + 1];
};

const Route kNoRoute = {nullptr, -1, ""};

Route RouteMailslot(const qv::View& smb, bool unicode) {
  Route r = {qv::g_svc.DefaultParse, -1, ""};
  const ParameterBlock b(smb.From(kHeader.wordCount.at));
  DWORD setup;
  if (!b.Read(kTransactionWords.setupCount, &setup)) return r;
  const Field byteCount = kTransactionWords.setupWord.Nth((int)setup);
  const qv::View bytes = b.view().From(byteCount.end());
  int64_t end = -1;
  int n = 0;
  if (unicode) {
    // One pad byte aligns a name that does not start with its backslash.
    for (int64_t at = bytes.U8Or0(0) == '\\' ? 0 : 1; bytes.Has(at, 2); at += 2) {
      const WORD unit = bytes.Le16Or0(at);
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
  r.end = kHeader.wordCount.at + byteCount.end() + end;
  if (strcmp(r.name, "\\MAILSLOT\\BROWSE") == 0)
    r.entry = g_browserParse;
  else if (strcmp(r.name, "\\MAILSLOT\\NET\\NETLOGON") == 0 || strcmp(r.name, "\\MAILSLOT\\NET\\NTLOGON") == 0 ||
           strncmp(r.name, "\\MAILSLOT\\NET\\GETDC", 19) == 0)
    r.entry = g_netlogonParse;
  return r;
}

// ---------------------------------------------------------------- header lines

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

// The fixed header's lines; true when all of them were made.
bool HeaderLines(qv::DetailList& list, const qv::View& h) {
  const auto& k = kHeader;
  FieldLines f(list, h);
  DWORD command, errorClass = 0, code;
  if (f.Read(k.command, &command)) f.Add<"Function\t\t\t\t\t%s">(k.command, SmbCommandName((BYTE)command));
  if (f.Read(k.errorClass, &errorClass))
    f.Add<"Error Class\t\t\t\t%s">(k.errorClass, SmbErrorClassName((BYTE)errorClass));
  f.Number<"Reserved\t\t\t\t\t%d">(k.reserved);
  if (f.Read(k.errorCode, &code))
    f.Add<"Error Code\t\t\t\t%s">(k.errorCode, SmbErrorCodeText((BYTE)errorClass, (WORD)code));
  f.ChoiceGroup(&g_flagsState, k.flags, "Flags", kFlags);
  f.ChoiceGroup(&g_extendedState, k.flags2, "Extended Flags", kExtendedFlags);
  if (f.Has(k.reservedWord)) f.Group<"Reserved Words">(&g_reservedState, k.reservedWords);
  for (int i = 0; i < 6; i++) {
    DWORD word;
    if (f.Read(k.reservedWord.Nth(i), &word)) f.Add<"Word %d\t\t\t\t%u">(k.reservedWord.Nth(i), i, word);
  }
  f.Close();
  f.Number<"Tree ID\t\t\t\t\t%d">(k.treeId);
  f.Number<"Process ID\t\t\t\t%d">(k.processId);
  f.Number<"User ID\t\t\t\t\t%d">(k.userId);
  f.Number<"Multiplex ID\t\t\t%d">(k.multiplexId);
  return f.ok();
}

// Commands without a decoder: the word count and each word. False when the
// host gave no line for one of them.
bool ParameterWords(qv::DetailList& list, const ParameterBlock& b) {
  if (!b.counted()) return true;
  const Field first = ParameterBlock::kFirstWord;
  FieldLines f(list, b);
  f.Group<"Parameter Words">(&g_wordsState, {0, b.WordsEnd()});
  f.Number<"Word Count\t\t\t%d">(ParameterBlock::kWordCount);
  for (int i = 0; i < b.count(); i++) {
    DWORD word;
    if (f.Read(first.Nth(i), &word)) f.Add<"Word %d\t\t\t\t0x%04x">(first.Nth(i), i, word);
  }
  f.Close();
  return !list.stopped;
}

// A transaction, requests and responses alike in the request's layout, as
// far as its words reach; its name ends the lines. Whether the name was
// listed.
bool TransactionLines(qv::DetailList& list, const ParameterBlock& b, const Route& route) {
  const auto& t = kTransactionWords;
  FieldLines f(list, b);
  f.Number<"Parameters\t\t\t\t%d Words">(ParameterBlock::kWordCount);
  f.Number<"Parameters\t\t\t\t%d Bytes">(t.parameterBytes);
  f.Number<"Data\t\t\t\t\t\t%d Bytes">(t.dataBytes);
  f.Number<"Max Parameters\t\t\t%d Bytes">(t.maxParameters);
  f.Number<"Max Data\t\t\t\t\t%d Bytes">(t.maxData);
  f.Number<"Max Setup\t\t\t\t%d Words">(t.maxSetup);
  f.Number<"Timeout\t\t\t\t\t%d Milleseconds">(t.timeout);
  struct Current {
    BYTE* state;
    const char* heading;
    Field whole, size, offset;
  };
  const Current currents[] = {
      {&g_parametersState, "Current Parameters", t.currentParameters, t.currentParameterSize, t.currentParameterOffset},
      {&g_dataState, "Current Data", t.currentData, t.currentDataSize, t.currentDataOffset},
  };
  for (const Current& c : currents) {
    if (!f.Has(c.size)) return false;
    f.Group(c.state, c.whole, c.heading);
    f.Number<"Size\t\t\t\t\t%d Bytes">(c.size);
    f.Number<"Offset\t\t\t\t%d Bytes">(c.offset);
    f.Close();
  }
  // From the setup count on, by the setup count within the capture (as
  // RouteMailslot reads them).
  DWORD setup;
  if (!f.Read(t.setupCount, &setup)) return false;
  const Field byteCount = t.setupWord.Nth((int)setup);
  f.Group<"Setup Words">(&g_setupState, {t.setupCount.at, byteCount.at - t.setupCount.at});
  f.Add<"Count\t\t\t\t\t%d Words">(t.setupCount, setup);
  for (int i = 0; i < (int)setup; i++) {
    DWORD word;
    if (f.Read(t.setupWord.Nth(i), &word)) f.Add<"Word %d\t\t\t\t0x%04x">(t.setupWord.Nth(i), i, word);
  }
  f.Close();
  f.Number<"Total Bytes\t\t\t\t%d">(byteCount);
  if (route.end < 0 || !f.ok()) return false;
  f.Add<"Transaction Name\t\t%s">({byteCount.end(), 1}, route.name);
  f.Close();
  return f.ok();
}

// ---------------------------------------------------------------- passes

void SummarizeSmb(qv::Layer& l, SummaryRow* row) {
  const qv::View& h = l.header;
  qv::SetCellText(row->protocol, "SMB");
  qv::SetCellText(row->description, "");
  DWORD command, flags;
  if (!ReadField(h, kHeader.command, &command)) return;
  qv::SetCellText(row->description, SmbCommandName((BYTE)command));
  if (ReadField(h, kHeader.flags, &flags))
    qv::AppendCellText(row->description, (flags & kResponse) ? " Response" : " Request");
}

// Moves `offset` behind a transaction's name; the entry it leads to.
ProtocolParse RouteTransaction(qv::Layer& l) {
  const qv::View& h = l.header;
  if (CommandOf(h).words != Words::kTransaction) return qv::g_svc.DefaultParse;
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

Reach FirstBlock(const qv::Layer& l, const SmbCommand& command, const ParameterBlock& b, const Route& route) {
  Reach r = {l.offset(), qv::g_svc.DefaultParse, 0xFF};
  switch (command.words) {
    case Words::kAndX: {
      const AndXHop hop = NextAndX(b, l.offset(), l.frame->capturedLength);
      if (hop.command != 0xFF) r = {hop.target, r.entry, hop.command};
      break;
    }
    case Words::kTransaction:
      if (route.end >= 0) r = {l.header.Offset(route.end), route.entry, 0xFF};
      break;
    case Words::kPlain:
      if (b.counted()) r.offset = b.Offset(b.WordsEnd());
      break;
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
    const SmbCommand& chained = FindSmbCommand(command);
    const int at = frame->offset;
    qv::DetailList list(out + 1 + lists);
    if (!list.Group(&g_smb.titleState, at, frame->capturedLength - at, kTitle)) break;
    lists++;
    list.Add<"Function\t\t\t\t\t%s">(0, 0, chained.name);
    if (chained.words != Words::kAndX) break;
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
  const SmbCommand& command = CommandOf(h);
  const bool unicode = Unicode(h);
  const ParameterBlock b(h.From(kHeader.wordCount.at));
  const Route route = command.words == Words::kTransaction ? RouteMailslot(h, unicode) : kNoRoute;
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
    switch (command.words) {
      case Words::kAndX:
        listed = DetailAndXCommand(list, command, FieldOrZero(h, kHeader.flags) & kResponse, b, unicode);
        break;
      case Words::kTransaction:
        listed = TransactionLines(list, b, route);
        break;
      case Words::kPlain:
        listed = ParameterWords(list, b);
        break;
    }
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
