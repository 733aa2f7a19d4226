// NOVELL-NETBIOS: NetBIOS on IPX socket 0x0455. Three layouts: the 50-byte
// name packets that IPX type 20 propagates, 34-byte datagram headers and
// 18-byte session headers. An SMB message behind the header goes to MS-SMB.
#include <string.h>

#include "netbios.h"
#include "tessary.h"

namespace tessary {

namespace {

const int kNamePacket = 50;  // eight networks, flags, command, name
const int kDatagram = 34;    // command, destination and source names
const int kSession = 18;
const int kNameField = 16;

const int kFlags = 32;
const int kNameCommand = 33;
const int kPacketName = 34;
const int kCommand = 1;
const int kDestination = 2;
const int kSource = 18;

ProtocolParse g_smbCache;
BYTE g_routeState, g_flagsState, g_transmitState, g_receiveState;

constexpr qv::Name kCommands[] = {
    {1, "Name Query "},
    {2, "Name Recognized "},
    {3, "Add Name "},
    {4, "Duplicate Name "},
    {5, "Delete Name "},
    {6, "Data "},
    {9, "Status Query "},
    {10, "Status Response "},
    {11, "Datagram "},
    {12, "Broadcast "},
    {240, "Add Group Name "},
    {242, "Terminate Trace Remote "},
    {245, "Name Reject "},
    {246, "Terminate Trace All "},
    {247, "Data Ack "},
    {248, "Chain Data "},
    {249, "Session Init "},
    {250, "Session Confirm "},
    {251, "Session End "},
    {252, "No Receive "},
    {253, "Retransmit "},
    {254, "Receive Ready "},
    {255, "Keep Alive "},
};
constexpr qv::NameTable kCommandNames(kCommands, "Unknown Command");

bool IsNamePacket(const qv::Layer& l) { return (int64_t)l.frame->frameLength - l.offset() == kNamePacket; }
bool IsDatagram(BYTE command) { return command == 11 || command == 12; }

// The header's length by its layout: the name packet by the frame's length
// (a packet cut by the snap length keeps its layout), a datagram by its
// command, a session header otherwise.
int LayoutLength(const qv::Layer& l) {
  if (IsNamePacket(l)) return kNamePacket;
  return IsDatagram(l.header.U8Or0(kCommand)) ? kDatagram : kSession;
}

// The summary's own rule: the command decides how far it moves, and a
// command it does not know moves nothing.
int CommandLength(BYTE command) {
  if ((command >= 1 && command <= 5) || command == 240 || command == 245) return kNamePacket;
  if (command == 6) return kSession;
  if (IsDatagram(command)) return kDatagram;
  return 0;
}

// The command the summary names: at 33 in a name packet, at 1 otherwise.
bool SummaryCommand(const qv::Layer& l, BYTE* command) {
  return l.header.U8(IsNamePacket(l) ? kNameCommand : kCommand, command);
}

void SummarizeNetBios(qv::Layer& l, SummaryRow* row) {
  qv::SetCellText(row->protocol, "IPX NETBIOS");
  qv::SetCellText(row->description, "");
  BYTE command;
  if (!SummaryCommand(l, &command)) return;
  qv::SetCellText(row->description, kCommandNames(command));
  const int length = CommandLength(command);
  const BYTE* name = l.header.Bytes(length == kNamePacket ? kPacketName : kDestination, kNameField);
  if ((length == kNamePacket || length == kDatagram) && name) {
    char text[128] = "";
    NetBiosNameText(name, text, sizeof text);
    qv::AppendCellText(row->description, text);
  }
}

// A flag's line: its label and the bit in a picture of the byte.
void FlagLine(qv::DetailList& list, int at, BYTE flags, BYTE bit, const char* label) {
  list.Add<"%s[%s]\t%s">(at, 1, label, qv::Bits(flags, bit, 8), flags & bit ? "On"sv : "Off"sv);
}

void DetailNamePacket(const qv::View& h, qv::DetailList& list) {
  const int o = h.Offset();
  for (int i = 0; i < 8; i++) {
    DWORD network;
    if (!h.Be32(4 * i, &network)) return;
    if (i == 0) list.Group<"Novell Routing Information Protocol">(&g_routeState, o, 32);
    list.Add<"Network\t\t\t\t%08X">(o + 4 * i, 4, (unsigned)network);
  }
  list.Close();
  BYTE flags, command;
  if (!h.U8(kFlags, &flags)) return;
  const int f = o + kFlags;
  list.Group<"Name Flags">(&g_flagsState, f, 1);
  FlagLine(list, f, flags, 0x80, "Group Name\t\t\t");
  FlagLine(list, f, flags, 0x40, "In Use\t\t\t\t");
  FlagLine(list, f, flags, 0x04, "Registered\t\t\t");
  FlagLine(list, f, flags, 0x02, "Duplicate\t\t\t");
  FlagLine(list, f, flags, 0x01, "Deregistered\t\t");
  list.Close();
  if (!h.U8(kNameCommand, &command)) return;
  list.Add<"Command\t\t\t\t\t%s">(o + kNameCommand, 1, kCommandNames(command));
  const BYTE* name = h.Bytes(kPacketName, kNameField);
  if (!name) return;
  char text[128] = "";
  NetBiosNameText(name, text, sizeof text);
  list.Add<"NetBios Name\t\t\t%s">(o + kPacketName, kNameField, text);
}

void DetailDatagram(const qv::View& h, qv::DetailList& list) {
  const BYTE command = h.U8Or0(kCommand);  // captured: the layout was chosen by it
  list.Add<"Command\t\t\t\t\t%s">(0, 0, kCommandNames(command));
  char text[128] = "";
  const BYTE* destination = h.Bytes(kDestination, kNameField);
  if (!destination) return;
  NetBiosNameText(destination, text, sizeof text);
  list.Add<"Destination\t\t\t\t%s">(0, 0, text);
  const BYTE* source = h.Bytes(kSource, kNameField);
  if (!source) return;
  text[0] = 0;
  NetBiosNameText(source, text, sizeof text);
  list.Add<"Source\t\t\t\t\t%s">(0, 0, text);
}

void DetailSession(const qv::View& h, qv::DetailList& list) {
  const int o = h.Offset();
  BYTE command;
  if (!h.U8(kCommand, &command)) return;
  list.Add<"Command\t\t\t\t\t%d">(o + 1, 1, command);
  list.Add<"Flags">(o, 1);
  // The 16-bit fields stand in little-endian order.
  struct Field {
    int at;
    BYTE* group;  // the group this field opens
    const char* heading;
    const char* format;
    bool closes;
  };
  static const Field kFields[] = {
      {2, nullptr, nullptr, "Source ID\t\t\t\t%d", false},
      {4, nullptr, nullptr, "Destination ID\t\t\t%d", false},
      {6, &g_transmitState, "Transmit Information", "Sequence Number\t%d", false},
      {8, nullptr, nullptr, "Packet Length\t\t%d", false},
      {10, nullptr, nullptr, "Fragment Offset\t%d", false},
      {12, nullptr, nullptr, "Fragment Length\t%d", true},
      {14, &g_receiveState, "Receive Information", "Sequence Number\t%d", false},
      {16, nullptr, nullptr, "Fragment Offset\t%d", true},
  };
  for (const Field& f : kFields) {
    WORD value;
    if (!h.Le16(f.at, &value)) return;
    if (f.group) list.Group<"%s">(f.group, o + f.at, f.at == 6 ? 8 : 4, f.heading);
    list.Add(o + f.at, 2, f.format, value);
    if (f.closes) list.Close();
  }
}

// The title covers the header by its layout; the lines end at the first
// field that was not captured, and the title group is left to the host.
void DetailNetBios(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int length = LayoutLength(l);
  if (!list.Group<"Novell NETBIOS Protocol">(&l.protocol.titleState, l.offset(), length)) return;
  if (length == kNamePacket)
    DetailNamePacket(h, list);
  else if (length == kDatagram)
    DetailDatagram(h, list);
  else
    DetailSession(h, list);
}

// Every pass moves past the header, the summary by its command, the count
// and the detail by the layout, whatever the enable byte and the lines the
// host gave; an SMB message captured there goes to MS-SMB.
ProtocolParse HandOnNetBios(qv::Layer& l) {
  int length = LayoutLength(l);
  if (l.pass == PASS_SUMMARY) {
    BYTE command;
    length = SummaryCommand(l, &command) ? CommandLength(command) : 0;
  }
  CaptureFrame* frame = l.frame;
  frame->offset = l.offset() + length;
  if (!IsSmbHeader(qv::View::At(frame, frame->offset))) return nullptr;
  return g_smbCache;
}

constexpr qv::Binding kBindings[] = {{"NOVELL-IPX", 0x40455}, {"NOVELL-IPX", 0x140455}};
constexpr qv::Cache kCaches[] = {{"MS-SMB", &g_smbCache}};

}  // namespace

void NetBiosNameText(const BYTE* name, char* text, size_t size) {
  // The first word of the 15 characters (blanks before it stay) and the
  // suffix's text.
  char copy[kNameField] = {};
  memcpy(copy, name, kNameField - 1);
  int n = 0;
  while (n < kNameField - 1 && copy[n] == ' ') n++;
  while (n < kNameField - 1 && copy[n] != ' ' && copy[n] != 0) n++;
  qv::AppendText(text, size, "%.*s%s", n, copy, qv::NetBiosSuffixText(name[kNameField - 1]));
}

bool IsSmbHeader(const qv::View& at) {
  const BYTE* b = at.Bytes(0, 4);
  return b && b[0] == 0xFF && b[1] == 'S' && b[2] == 'M' && b[3] == 'B';
}

constexpr qv::ProtocolDecl kNetbiosDecl = {
    .nameId = "NOVELL-NETBIOS",
    .description = "IPX NETBIOS",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {5, "IPX NETBIOS"},
    .summary = SummarizeNetBios,
    .detail = DetailNetBios,
    .handOn = HandOnNetBios,
    .bindings = kBindings,
    .caches = kCaches,
};
qv::Protocol g_netbios = qv::Declare<g_netbios, kNetbiosDecl>();

}  // namespace tessary
