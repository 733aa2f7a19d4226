// MS-NETBEUI: NetBIOS Frames headers in 802.2 frames of SAP 0xF0. It names
// the command, learns the names that Name Recognized frames answer with, and
// hands an SMB message behind the header to MS-SMB.
#include "netbios.h"
#include "wendrick.h"

namespace wendrick {

namespace {

ProtocolParse g_smbParse;

enum : int {
  kHeaderLength = 0,
  kDelimiter = 2,
  kCommand = 4,
  kOption1 = 5,
  kOption2 = 6,
  kTransmitCorrelator = 8,
  kReceiveCorrelator = 10,
  kDestination = 12,  // name commands; session commands: the two session numbers
  kSource = 28,
};
const int kNameField = 16;
const BYTE kNameRecognized = 14;

enum NameShown { kNoName, kSourceName, kDestinationName };

struct Command {
  DWORD key;
  const char* summary;
  const char* detail;
  NameShown name;
};
constexpr Command kCommands[] = {
    {0, "Add Group Name ", "Add Group Name", kSourceName},
    {1, "Add Unique Name ", "Add Unique Name", kSourceName},
    {2, "Duplicate Name ", "Duplicate Name", kDestinationName},
    {3, "Query Status ", "Query Status", kDestinationName},
    {7, "Terminate Trace Remote", "Terminate Trace Remote", kNoName},
    {8, "Datagram ", "Datagram", kDestinationName},
    {9, "Broadcast Datagram ", "Broadcast Datagram", kDestinationName},
    {10, "Name Query ", "Name Query Request", kDestinationName},
    {13, "Name Reject ", "Name Reject", kDestinationName},
    {14, "Name Recognized ", "Name Recognized", kSourceName},
    {15, "Status Response ", "Status Response", kSourceName},
    {19, "Terminate Trace All", "Terminate Trace All", kNoName},
    {20, "Data Ack", "Data Ack", kNoName},
    {21, "Chain Data", "Chain Data", kNoName},
    {22, "Data", "Data", kNoName},
    {23, "Session Confirm", "Confirm Session Initated", kNoName},
    {24, "Terminate Session", "Terminate Session", kNoName},
    {25, "Initiate Session", "Initiate Session", kNoName},
    {26, "No Buffers", "No Buffers", kNoName},
    {27, "Retransmit", "Retransmit", kNoName},
    {28, "Receive Ready", "Receive Ready", kNoName},
    {31, "Keep Alive", "Keep Alive", kNoName},
};

bool IsSessionCommand(BYTE command) { return (command >= 20 && command <= 28) || command == 31; }

// A name field's text: its first 15 characters up to a blank or NUL, then
// the text of its suffix, the 16th byte. False when the field is not all
// captured.
bool NameText(const qv::View& h, int at, char (&text)[qv::NETBIOS_NAME_TEXT_SIZE]) {
  const BYTE* field = h.Bytes(at, kNameField);
  if (!field) return false;
  int n = 0;
  while (n < kNameField - 1 && field[n] != ' ' && field[n] != 0) n++;
  qv::FormatText(text, sizeof text, "%.*s%s", n, reinterpret_cast<const char*>(field),
                 qv::NetBiosSuffixText(field[kNameField - 1]));
  return true;
}

// A station that answers a name query with its name is learnt under it,
// without the suffix and any domain behind a dot.
void LearnRecognizedName(const qv::Layer& l) {
  const BYTE* field = l.header.Bytes(kSource, kNameField);
  if (!field) return;
  char name[kNameField] = {};
  for (int n = 0; n < kNameField - 1 && field[n] != '.' && field[n] != ' ' && field[n] != 0; n++) name[n] = (char)field[n];
  LearnName(l.frame, name);
}

void SummarizeNetbeui(qv::Layer& l, SummaryRow* row) {
  const qv::View& h = l.header;
  qv::SetCellText(row->protocol, "NETBEUI");
  qv::SetCellText(row->description, "");
  BYTE command;
  if (!h.U8(kCommand, &command)) return;
  const Command* c = qv::FindRow<Command>(kCommands, command);
  if (!c) {
    qv::SetCell(row->description, "Unknown Function %0d", command);
    return;
  }
  qv::SetCellText(row->description, c->summary);
  char name[qv::NETBIOS_NAME_TEXT_SIZE];
  if (c->name != kNoName && NameText(h, c->name == kSourceName ? kSource : kDestination, name))
    qv::AppendCellText(row->description, name);
  if (command == kNameRecognized) LearnRecognizedName(l);
}

void DetailNetbeui(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  WORD length = 0;
  const bool declared = h.Le16(kHeaderLength, &length);
  // The header as far as it is declared and captured.
  const int titleLength = (int)(declared ? std::min<int64_t>(length, h.size()) : h.size());
  list.Group<"NetBios Extended User Interface Protocol">(&l.protocol.titleState, l.offset(), titleLength);
  const auto at = [&](int field) { return h.Offset(field); };
  BYTE command, option1;
  WORD delimiter, option2, transmit, receive;
  if (!declared || !list.Add<"Header Length\t\t\t%01u">(at(kHeaderLength), 2, length)) return;
  if (!h.Be16(kDelimiter, &delimiter) || !list.Add<"Delimiter\t\t\t\t0x%04X">(at(kDelimiter), 2, delimiter)) return;
  if (!h.U8(kCommand, &command)) return;
  if (const Command* c = qv::FindRow<Command>(kCommands, command))
    list.Add<"Command\t\t\t\t\t%s">(at(kCommand), 1, c->detail);
  else
    list.Add<"Command\t\t\t\t\tUnknown Command %0d">(at(kCommand), 1, command);
  if (!h.U8(kOption1, &option1) || !list.Add<"Option 1\t\t\t\t\t%0d">(at(kOption1), 1, option1)) return;
  if (!h.Le16(kOption2, &option2) || !list.Add<"Option 2\t\t\t\t\t%0d">(at(kOption2), 2, option2)) return;
  if (!h.Le16(kTransmitCorrelator, &transmit) ||
      !list.Add<"Transmit Correlator\t%d">(at(kTransmitCorrelator), 2, transmit))
    return;
  if (!h.Le16(kReceiveCorrelator, &receive) || !list.Add<"Receive Correlator\t%d">(at(kReceiveCorrelator), 2, receive))
    return;
  if (IsSessionCommand(command)) {
    BYTE destination, source;
    if (!h.U8(kDestination, &destination) || !list.Add<"Destination Session\t%d">(at(kDestination), 1, destination))
      return;
    if (h.U8(kDestination + 1, &source)) list.Add<"Source Session\t\t\t%d">(at(kDestination + 1), 1, source);
    return;
  }
  char name[qv::NETBIOS_NAME_TEXT_SIZE];
  if (!NameText(h, kDestination, name) || !list.Add<"Destination Name\t\t%s">(at(kDestination), kNameField, name))
    return;
  if (NameText(h, kSource, name)) list.Add<"Source Name\t\t\t\t%s">(at(kSource), kNameField, name);
}

// Every pass moves past the declared header, and an SMB message there goes
// to MS-SMB; anything else ends at NetBEUI.
ProtocolParse HandOnNetbeui(qv::Layer& l) {
  WORD length;
  if (!l.header.Le16(kHeaderLength, &length)) return nullptr;
  l.frame->offset = l.offset() + length;
  const BYTE* smb = qv::View::At(l.frame, l.frame->offset).Bytes(0, 4);
  if (!smb || smb[0] != 0xFF || smb[1] != 'S' || smb[2] != 'M' || smb[3] != 'B') return nullptr;
  return g_smbParse;
}

constexpr qv::Binding kBindings[] = {{"LLC-802.2", 0xF0}};
constexpr qv::Cache kCaches[] = {{"MS-SMB", &g_smbParse}};

}  // namespace

constexpr qv::ProtocolDecl kNetbeuiDecl = {
    .nameId = "MS-NETBEUI",
    .description = "NETBEUI",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {5, "NETBEUI"},
    .summary = SummarizeNetbeui,
    .detail = DetailNetbeui,
    .handOn = HandOnNetbeui,
    .bindings = kBindings,
    .caches = kCaches,
};
qv::Protocol g_netbeui = qv::Declare<g_netbeui, kNetbeuiDecl>();

}  // namespace wendrick
