// ITU-Q931: call-signalling messages, alone or behind a TPKT header. The
// TPKT header gets a list of its own, the message the next one: its header
// fields and a walk over its information elements, of which Bearer
// Capability, Display and User-User are decoded further.
// The TPKT header is RFC 1006's (6).
//
// Behind a TPKT header the message ends with the TPKT length where a second
// TPKT follows it in the segment, so that one is never read as elements;
// elsewhere it runs to the end of the capture, so a length that lies short
// hides nothing. Every field is read from the message, and the lines stop
// at the first field that is not there.
#include "selkirt.h"

namespace selkirt {

namespace {

constexpr char kTitle[] = "Q.931 Connection Control Protocol";

// The groups' expand states kept by the host; the message title uses the
// protocol's own.
BYTE g_fragmentState;
BYTE g_tpktState;
BYTE g_elementState;

constexpr qv::Name kMessageNames[] = {
    {0x01, "Alerting"},
    {0x02, "Call Proceeding"},
    {0x03, "Progress"},
    {0x05, "Setup"},
    {0x07, "Connect"},
    {0x0D, "Setup Acknowledge"},
    {0x0F, "Connect Acknowledge"},
    {0x20, "User Information"},
    {0x22, "Resume Reject"},
    {0x24, "HOLD"},
    {0x25, "Suspend"},
    {0x26, "Resume"},
    {0x28, "Hold Acknowledge"},
    {0x2D, "Suspend Acknowledge"},
    {0x2E, "Resume Acknowledge"},
    {0x30, "Hold Reject"},
    {0x31, "Retrieve"},
    {0x33, "Retrieve Acknowledge"},
    {0x37, "Retrieve Reject"},
    {0x45, "Disconnect"},
    {0x46, "Restart"},
    {0x4D, "Release"},
    {0x4E, "Restart Acknowledge"},
    {0x5A, "Release Complete"},
    {0x60, "Segment"},
    {0x62, "Facility"},
    {0x64, "Register"},
    {0x6E, "Notify"},
    {0x75, "Status Enquiry"},
    {0x79, "Congestion Control"},
    {0x7B, "Information"},
    {0x7D, "Status"},
};
constexpr qv::NameTable kMessageName(kMessageNames, "Unknown");

// Variable-length elements by identifier, single-octet ones by the whole byte.
constexpr qv::Name kElementNames[] = {
    {0x00, "Segmented Message"},
    {0x04, "Bearer Capability"},
    {0x08, "Cause"},
    {0x10, "Call Identity"},
    {0x14, "Call State"},
    {0x18, "Channel Identification"},
    {0x1C, "Facility"},
    {0x1E, "Progress Indicator"},
    {0x20, "Network Facilities"},
    {0x27, "Notification Indicator"},
    {0x28, "Display"},
    {0x29, "Date/Time"},
    {0x2C, "Keypad Facility"},
    {0x34, "Signal"},
    {0x36, "Switch Hook"},
    {0x38, "Feature Activation"},
    {0x39, "Feature Indication"},
    {0x40, "Information Rate"},
    {0x42, "Transit Delay"},
    {0x43, "Transit Delay Selection"},
    {0x44, "Level 3 Binary Parameters"},
    {0x45, "Level 3 Window Size"},
    {0x46, "Packet Size"},
    {0x4C, "Connected Party Number"},
    {0x4D, "Connected Party Subaddress"},
    {0x6C, "Calling Party Number"},
    {0x6D, "Calling Party Subaddress"},
    {0x70, "Called PartyNumber"},
    {0x71, "Called Party Subaddress"},
    {0x74, "Redirecting Number"},
    {0x78, "Transit Network Selection"},
    {0x79, "Restart Indicator"},
    {0x7C, "Low Layer Compatibility"},
    {0x7D, "High Layer Compatibility"},
    {0x7E, "User-User"},
    {0x7F, "Escape For Extension"},
    {0xA0, "More Data"},
    {0xA1, "Sending Complete"},
    {0xB0, "Congestion Level"},
    {0xD0, "Repeat Indicator"},
};
constexpr qv::NameTable kElementName(kElementNames, "Unknown");

constexpr qv::Name kUserUserNames[] = {
    {0, "User-specific protocol"},
    {1, "OSI high layer protocols"},
    {2, "Recommendation X.244"},
    {3, "System Management Convergence Function"},
    {4, "IA5 Characters"},
    {5, "X.208 and X.209 Coded"},
    {7, "V.120 Rate Adaption"},
    {8, "Q.931/I.451 User-Network Call Control"},
};
constexpr qv::NameTable kUserUserName(kUserUserNames, "Reserved");

// Bearer capability octets 3 and 4.
constexpr qv::Name kCodingNames[] = {
    {0x00, "ITU-T standardized coding"},
    {0x20, "ISO/IEC standard"},
    {0x40, "National standard"},
    {0x60, "Network standard"},
};
constexpr qv::NameTable kCodingName(kCodingNames, "Reserved");
constexpr qv::Name kCapabilityNames[] = {
    {0x00, "Speech"},
    {0x08, "Unrestricted digital information"},
    {0x09, "Restricted digital information"},
    {0x10, "3.1 kHz audio"},
    {0x11, "Unrestricted digital information with tones/announcements"},
    {0x18, "Video"},
};
constexpr qv::NameTable kCapabilityName(kCapabilityNames, "Reserved");
constexpr qv::Name kModeNames[] = {{0x00, "Circuit Mode"}, {0x40, "Packet Mode"}};
constexpr qv::NameTable kModeName(kModeNames, "Reserved");
constexpr BYTE kMultiRate = 0x18;
constexpr qv::Name kRateNames[] = {
    {0x00, "Packet Mode"}, {0x10, "64 kbit/s"},   {0x11, "2x64 kbit/s"}, {0x13, "384 kbit/s"},
    {0x15, "1536 kbit/s"}, {0x17, "1920 kbit/s"}, {0x18, "Muiti-Rate"},
};
constexpr qv::NameTable kRateName(kRateNames, "Reserved");

enum : BYTE { TPKT_VERSION = 3, Q931_DISCRIMINATOR = 8 };
enum : BYTE { BEARER_CAPABILITY = 0x04, DISPLAY = 0x28, USER_USER = 0x7E };

// How the bytes at the protocol's offset are framed. UNDECIDED: a byte that
// decides it is not captured.
enum Form { UNDECIDED, FRAGMENT, PLAIN, TPKT };
struct Location {
  Form form;
  qv::View message;  // PLAIN and TPKT
};

// Byte 0 is 3 for a TPKT header, which carries a message when its reserved
// byte is 0 and byte 4 is the discriminator; 8 for a message alone.
Location Locate(const qv::View& v) {
  BYTE first, reserved, discriminator;
  if (!v.U8(0, &first)) return {UNDECIDED, {}};
  if (first == Q931_DISCRIMINATOR) return {PLAIN, v};
  if (first != TPKT_VERSION) return {FRAGMENT, {}};
  if (!v.U8(1, &reserved)) return {UNDECIDED, {}};
  if (reserved != 0) return {FRAGMENT, {}};
  if (!v.U8(4, &discriminator)) return {UNDECIDED, {}};
  if (discriminator != Q931_DISCRIMINATOR) return {FRAGMENT, {}};
  // The TPKT length counts its own four bytes. It ends the message only
  // where the next TPKT starts: a version byte and a zero reserved byte
  // (where captured) past this message's discriminator.
  const int64_t end = v.Be16Or0(2);
  BYTE next;
  const bool another = end > 4 && v.U8(end, &next) && next == TPKT_VERSION && v.U8Or0(end + 1) == 0;
  return {TPKT, another ? v.Sub(4, end - 4) : v.From(4)};
}

// The message type's name; null when the type is not within the message.
const char* MessageTypeName(const qv::View& message) {
  BYTE referenceLength, type;
  if (!message.U8(1, &referenceLength) || !message.U8(2 + referenceLength, &type)) return nullptr;
  return kMessageName(type);
}

void SummarizeQ931(qv::Layer& l, SummaryRow* row) {
  qv::SetCellText(row->protocol, "Q.931");
  const qv::View& v = l.header;
  const char* description = "";  // nothing to tell where the deciding byte is not captured
  BYTE first = v.U8Or0(0), reserved;
  // A bare TPKT header is told by the frame's length, before byte 4 is looked at.
  if (v.Has(0, 1) && first == TPKT_VERSION && v.U8(1, &reserved) && reserved == 0 &&
      (int64_t)l.frame->frameLength - l.offset() == 4) {
    description = "TPKT";
  } else {
    Location at = Locate(v);
    if (at.form == FRAGMENT) {
      description = "Data Fragment";
    } else if (at.form != UNDECIDED) {
      const char* name = MessageTypeName(at.message);
      if (name) description = name;
    }
  }
  qv::SetCellText(row->description, description);
}

// ---------------------------------------------------------------- element decoders
// Each lists an element's lines after its "Element Type" line and returns
// its last line, or null when it ran out of bytes (or the host gave no line):
// the element list then ends. An element's view ends at its declared end or
// at the message's end, whichever comes first.

DetailLine* DecodeLength(qv::DetailList& list, const qv::View& e) {
  return list.Add<"Element Length\t\t%d">(e.Offset(1), 1, e.U8Or0(1));
}

// Octets 3, 4 and, for the multi-rate, 4.1, each listed only where the
// content holds it; octets beyond are not shown. An octet the content holds
// but the message does not ends the list.
DetailLine* DecodeBearerCapability(qv::DetailList& list, const qv::View& e) {
  const int n = e.U8Or0(1);
  DetailLine* last = DecodeLength(list, e);
  BYTE c;
  if (n < 1) return last;
  if (!e.U8(2, &c)) return nullptr;
  list.Add<"Coding Standard\t%s">(e.Offset(2), 1, kCodingName(c & 0x60));
  last = list.Add<"Info Xfer Cap\t\t%s">(e.Offset(2), 1, kCapabilityName(c & 0x1F));
  if (n < 2) return last;
  if (!e.U8(3, &c)) return nullptr;
  list.Add<"Xfer Mode\t\t\t%s">(e.Offset(3), 1, kModeName(c & 0x60));
  last = list.Add<"Xfer Rate\t\t\t%s">(e.Offset(3), 1, kRateName(c & 0x1F));
  if ((c & 0x1F) != kMultiRate || n < 3) return last;
  if (!e.U8(4, &c)) return nullptr;
  return list.Add<"Multiplier\t\t%d">(e.Offset(4), 1, c);
}

// The first 64 content bytes that are there, printable ones as they are,
// others as '.'; "..." when the element holds more than is shown.
DetailLine* DecodeDisplay(qv::DetailList& list, const qv::View& e) {
  enum { kShown = 64 };
  DecodeLength(list, e);
  const qv::View content = e.From(2);
  char text[kShown + 4];
  const int shown = content.size() < kShown ? (int)content.size() : kShown;
  for (int i = 0; i < shown; i++) {
    BYTE c = content.U8Or0(i);
    text[i] = c >= 0x20 && c <= 0x7E ? (char)c : '.';
  }
  text[shown] = 0;
  if (e.U8Or0(1) > shown) qv::AppendText(text, sizeof text, "...");
  return list.Add<"Value\t\t\t\t\t%s">(content.Offset(), (int)content.size(), text);
}

// A 16-bit length, then the protocol discriminator as the first content byte
// (absent from an element of length 0).
DetailLine* DecodeUserUser(qv::DetailList& list, const qv::View& e) {
  DetailLine* last = list.Add<"Element Length\t\t%d">(e.Offset(1), 2, e.Be16Or0(1));
  BYTE discriminator;
  if (!e.U8(3, &discriminator)) return last;
  return list.Add<"Discriminator\t\t%s">(e.Offset(3), 1, kUserUserName(discriminator));
}

// The elements after the message type, every one within the message. Returns
// false when the list ended early: a decoder ran out of bytes or an element's
// header is not within the message (its lines so far stay, its groups open).
bool WalkElements(qv::DetailList& list, const qv::View& elements) {
  int64_t at = 0;
  while (at < elements.size() && !list.stopped) {
    const qv::View rest = elements.From(at);
    const BYTE id = rest.U8Or0(0);
    if (id & 0x80) {  // a single-octet element
      list.Group<"Information Element">(&g_elementState, rest.Offset(), 1);
      list.Add<"Element Type\t\t%s">(rest.Offset(), 1, kElementName(id));
      list.Close();
      at += 1;
      continue;
    }
    // User-User needs its 16-bit length and its discriminator's place.
    if (!rest.Has(0, id == USER_USER ? 4 : 2)) return false;
    const int64_t size = id == USER_USER ? (int64_t)rest.Be16Or0(1) + 3 : (int64_t)rest.U8Or0(1) + 2;
    const qv::View e = rest.Sub(0, size);
    list.Group<"Information Element">(&g_elementState, e.Offset(), (int)e.size());
    const bool named = kElementName.Has(id);
    // An identifier outside the list is "Unknown" twice, and ends the list.
    list.Add<"Element Type\t\t%s%s">(e.Offset(), 1, kElementName(id), named ? ""sv : "Unknown"sv);
    DetailLine* last;
    switch (id) {
      case BEARER_CAPABILITY:
        last = DecodeBearerCapability(list, e);
        break;
      case DISPLAY:
        last = DecodeDisplay(list, e);
        break;
      case USER_USER:
        last = DecodeUserUser(list, e);
        break;
      default:
        last = named ? DecodeLength(list, e) : list.last;
        break;
    }
    if (!last) return false;
    list.Close();
    if (!named) break;
    at += size;
  }
  return !list.stopped;
}

// The message's title, header fields and elements; its group is closed only
// when the list ends normally.
void DetailMessage(qv::Layer& l, qv::DetailList& list, const qv::View& m) {
  list.Group<"%s">(&l.protocol.titleState, m.Offset(), (int)m.size(), kTitle);
  BYTE discriminator, referenceLength, type;
  if (!m.U8(0, &discriminator)) return;
  list.Add<"Discriminator\t\t\t%d">(m.Offset(0), 1, discriminator);
  if (!m.U8(1, &referenceLength)) return;
  list.Add<"Ref Data Length\t\t%d">(m.Offset(1), 1, referenceLength);
  const BYTE* reference = m.Bytes(2, referenceLength);
  if (!reference) return;
  char pairs[15 * 3 + 1] = "";
  for (int i = 0; i < referenceLength && i < 15; i++) qv::AppendText(pairs, sizeof pairs, "%02x ", reference[i]);
  list.Add<"Reference Data\t\t\t%s">(m.Offset(2), referenceLength, pairs);
  if (!m.U8(2 + referenceLength, &type)) return;
  list.Add<"Message Type\t\t\t%s">(m.Offset(2 + referenceLength), 1, kMessageName(type));
  if (WalkElements(list, m.From(3 + referenceLength))) list.Close();
}

// The TPKT header's fields as far as they are captured.
void DetailTpkt(qv::DetailList& list, const qv::View& v) {
  list.Group<"TPKT">(&g_tpktState, v.Offset(), (int)(v.size() < 4 ? v.size() : 4));
  list.Add<"Version\t\t\t\t\t%d">(v.Offset(0), 1, v.U8Or0(0));
  BYTE reserved;
  WORD length;
  if (!v.U8(1, &reserved)) return;
  list.Add<"Reserved\t\t\t\t\t%d">(v.Offset(1), 1, reserved);
  if (!v.Be16(2, &length)) return;
  list.Add<"Length\t\t\t\t\t%d">(v.Offset(2), 2, length);
  list.Close();
}

// list is the slot after the protocol's own; a TPKT header takes it and the
// message goes into the slot after.
void DetailQ931(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  const Location at = Locate(v);
  if (at.form == FRAGMENT) {
    list.Group<"%s">(&g_fragmentState, l.offset(), (int)v.size(), kTitle);
    list.Text(l.offset(), (int)v.size(), "Data Fragment");
    list.Close();
  } else if (at.form == PLAIN) {
    DetailMessage(l, list, at.message);
  } else if (v.empty()) {
    // Nothing captured: the title alone, its group closed.
    list.Group<"%s">(&l.protocol.titleState, l.offset(), 0, kTitle);
    list.Close();
  } else {  // a TPKT header, with a message or cut before one
    DetailTpkt(list, v);
    if (at.form != TPKT || list.stopped) return;
    qv::DetailList message(list.head + 1);
    DetailMessage(l, message, at.message);
  }
}

constexpr qv::Binding kQ931Bindings[] = {
    {"IP-UDP", 1720}, {"IP-UDP", 11720}, {"IP-TCP", 1720}, {"IP-TCP", 11720}};

}  // namespace

constexpr qv::ProtocolDecl kQ931Decl = {
    .nameId = "ITU-Q931",
    .description = kTitle,
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {4, "Q.931"},
    .options = qv::DETAIL_NEXT_LIST,
    .summary = SummarizeQ931,
    .detail = DetailQ931,
    .bindings = kQ931Bindings,
};
qv::Protocol g_q931 = qv::Declare<g_q931, kQ931Decl>();

}  // namespace selkirt
