// IP-ROLLCALL, the made-up protocol of docs/writing-a-parser.md: hosts
// answer a roll call over UDP port 50000. An 8-byte header (version, flags,
// the length of the whole message, a sequence number) is followed by
// records of a type byte, a length byte and that many bytes of value. A leaf.
#include "example.h"

namespace example {

namespace {

const int kHeaderLength = 8;
const int kRecordHeaderLength = 2;

enum : BYTE { kAnswer = 0x80, kLast = 0x01 };
enum : BYTE { kName = 1, kAddress = 2 };

constexpr qv::Name kRecordTypes[] = {{kName, "Name"}, {kAddress, "Address"}};
constexpr qv::NameTable kRecordTypeNames(kRecordTypes, "Unknown");

uint64_t g_answers;
StatisticsCounter g_answerCounter = {nullptr, "Answers", &g_answers, 0};
BYTE g_flagsState;  // the groups' expand states, kept by the host
BYTE g_recordState;

// The message as its length field declares it, cut at the captured end.
qv::View Message(const qv::View& header) {
  WORD length;
  return header.Be16(2, &length) ? header.Sub(0, length) : header;
}

void CountRollCall(qv::Layer& l) {
  qv::CountProtocolFrame(&l.protocol.counters, l.frame);
  BYTE flags;
  if (l.header.U8(1, &flags) && (flags & kAnswer)) g_answers++;
}

void SummarizeRollCall(qv::Layer& l, SummaryRow* row) {
  const qv::View message = Message(l.header);
  BYTE flags;
  DWORD sequence;
  qv::SetCellText(row->protocol, "ROLLCALL");
  if (message.U8(1, &flags) && message.Be32(4, &sequence))
    qv::SetCell(row->description, "%s %u", flags & kAnswer ? "Answer" : "Call", (unsigned)sequence);
  else
    qv::SetCellText(row->description, "Short message");
}

// One record, read from its own range alone.
void RecordLines(qv::DetailList& list, const qv::View& record) {
  const BYTE type = record.U8Or0(0);
  const qv::View value = record.From(kRecordHeaderLength);
  const int n = (int)value.size();
  list.Group<"Record\t\t\t%s">(&g_recordState, record.Offset(), (int)record.size(), kRecordTypeNames(type));
  list.Add<"Type\t\t\t%u">(record.Offset(), 1, type);
  BYTE length;
  if (record.U8(1, &length)) list.Add<"Length\t\t\t%u">(record.Offset(1), 1, length);
  if (type == kName && n > 0) {
    list.Add<"Name\t\t\t%.*s">(value.Offset(), n, n, reinterpret_cast<const char*>(value.Bytes(0, n)));
  } else if (type == kAddress && n == 4) {
    const BYTE* a = value.Bytes(0, 4);
    list.Add<"Address\t\t\t%u.%u.%u.%u">(value.Offset(), 4, a[0], a[1], a[2], a[3]);
  } else if (n > 0) {
    list.Add<"Value\t\t\t%d bytes">(value.Offset(), n, n);
  }
  list.Close();
}

// The title's group is left open: the host ends what a layer leaves open.
void DetailRollCall(qv::Layer& l, qv::DetailList& list) {
  const qv::View message = Message(l.header);
  BYTE version, flags;
  WORD length;
  DWORD sequence;
  if (!l.Title(list, (int)message.size()) || !message.U8(0, &version)) return;
  list.Add<"Version\t\t\t%u">(message.Offset(), 1, version);
  if (!message.U8(1, &flags)) return;
  list.Group<"Flags\t\t\t%02X">(&g_flagsState, message.Offset(1), 1, flags);
  list.Add<"Answer\t\t\t%s\t[%s]">(message.Offset(1), 1, flags & kAnswer ? "Yes" : "No", qv::Bits(flags, kAnswer, 8, 4));
  list.Add<"Last\t\t\t%s\t[%s]">(message.Offset(1), 1, flags & kLast ? "Yes" : "No", qv::Bits(flags, kLast, 8, 4));
  list.Close();
  if (!message.Be16(2, &length)) return;
  list.Add<"Length\t\t\t%u">(message.Offset(2), 2, length);
  if (!message.Be32(4, &sequence)) return;
  list.Add<"Sequence\t\t%u">(message.Offset(4), 4, (unsigned)sequence);
  // Each record over a range of its own, which ends at the message's end
  // whatever its length byte says; every record moves the walk on.
  for (qv::Cursor records(message, kHeaderLength); records.More() && !list.stopped;) {
    const BYTE valueLength = records.view().U8Or0(records.at() + 1);
    RecordLines(list, records.Take(kRecordHeaderLength + valueLength));
  }
}

constexpr qv::Binding kBindings[] = {{"IP-UDP", 50000}};

}  // namespace

constexpr qv::ProtocolDecl kRollCallDecl = {
    .nameId = "IP-ROLLCALL",
    .description = "Roll Call Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "Roll Call", &g_answerCounter},
    .count = CountRollCall,
    .summary = SummarizeRollCall,
    .detail = DetailRollCall,
    .bindings = kBindings,
};
qv::Protocol g_rollCall = qv::Declare<g_rollCall, kRollCallDecl>();

}  // namespace example
