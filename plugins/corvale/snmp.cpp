// IP-SNMP: Simple Network Management Protocol (versions 1 and 2c) over UDP
// ports 161 and 162. The summary checks the message's outer structure and
// names its PDU; the detail walks the BER items one by one, each decoder
// showing the item's type, length and value and appending the value to the
// labelled line that asked for it. A leaf.
// Version 1 is RFC 1157; 2c is RFC 1901, with the PDUs of RFC 3416.
//
// BER lengths are read in both forms everywhere, the summary and the PDU
// length line included: a first byte below 0x80 is the length, 0x80 + n is
// followed by n bytes of it. More than four length bytes is not a length
// this decoder takes; an item whose contents pass the capture ends the
// detail. Every item moves the walk forward.
#include <string.h>

#include "corvale.h"

namespace corvale {

namespace {

const int kMaxLengthBytes = 4;

enum Tag : BYTE {
  kTagInteger = 0x02,
  kTagBitString = 0x03,
  kTagOctetString = 0x04,
  kTagNull = 0x05,
  kTagObjectId = 0x06,
  kTagSequence = 0x30,
  kTagIpAddress = 0x40,
  kTagCounter32 = 0x41,
  kTagGauge32 = 0x42,
  kTagTimeTicks = 0x43,
  kTagOpaque = 0x44,
  kTagCounter64 = 0x46,
  kTagUnsigned = 0x47,
};

constexpr qv::Name kSummaryPdus[] = {
    {0, "Get"},        {1, "Get Next"}, {2, "Response"}, {3, "Set"},
    {4, "Trap (V1)"},  {5, "Get Bulk"}, {6, "Inform"},   {7, "Trap (V2)"},
};
constexpr qv::NameTable kSummaryPduNames(kSummaryPdus, "Unknown PDU");

constexpr qv::Name kDetailPdus[] = {
    {0, "Get Request"},     {1, "Get Next Request"}, {2, "Response"}, {3, "Set Request"},
    {4, "Version 1 Trap"},  {5, "Get Bulk"},         {6, "Inform"},   {7, "Trap"},
};
constexpr qv::NameTable kDetailPduNames(kDetailPdus, "Unknown");

constexpr qv::Name kVersions[] = {{0, "Version 1"}, {1, "Version 2"}};
constexpr qv::NameTable SnmpVersionName(kVersions, "Unknown");

constexpr qv::Name kErrors[] = {
    {0, "No Error"},           {1, "Too Big"},            {2, "No Such Name"},          {3, "Bad Value"},
    {4, "Read Only"},          {5, "Undefined Error"},    {6, "No Access"},             {7, "Wrong Type"},
    {8, "Wrong Length"},       {9, "Wrong Encoding"},     {10, "Wrong Value"},          {11, "No Creation"},
    {12, "Inconsistent Value"}, {13, "Resource Unavailable"}, {14, "Commit Failed"},   {15, "Undo Failed"},
    {16, "Authorization Error"}, {17, "Not Writable"},    {18, "Inconsistent Name"},
};
constexpr qv::NameTable SnmpErrorName(kErrors, "Unknown Error Code");

constexpr qv::Name kTraps[] = {
    {0, "Cold Start"}, {1, "Warm Start"}, {2, "Link Down"}, {3, "Link Up"}, {4, "Authentication Failure"},
    {5, "EGP Neighbor Loss"}, {6, "Enterprise Specific"},
};
constexpr qv::NameTable SnmpTrapName(kTraps, "Unknown");

const int kPduVersion1Trap = 4, kPduLastKnown = 7;

// ---------------------------------------------------------------- lengths

enum LengthStatus { kLengthOk, kLengthCut, kLengthTooLong };

// The length field at `at`: its size in bytes and the length it gives.
LengthStatus ReadBerLength(const qv::View& v, int64_t at, int* fieldBytes, DWORD* length) {
  BYTE first;
  if (!v.U8(at, &first)) return kLengthCut;
  *fieldBytes = 1;
  *length = first;
  if (!(first & 0x80)) return kLengthOk;
  const int n = first & 0x7F;
  *fieldBytes = 1 + n;
  if (n > kMaxLengthBytes) return kLengthTooLong;
  if (!v.Has(at + 1, n)) return kLengthCut;
  *length = 0;
  for (int i = 1; i <= n; i++) *length = (*length << 8) | v.U8Or0(at + i);
  return kLengthOk;
}

// ---------------------------------------------------------------- summary

// The description: one text, or nothing when the capture ends before the
// byte that decides it.
struct Description {
  const char* text;
  bool badlyFormedPdu;
};

// The version: an integer of no more than 1, whatever its number of bytes.
// Null when it is fine, "" when it was not all captured.
const char* CheckVersion(const qv::View& v, int64_t p, DWORD length) {
  DWORD version = 0;
  for (DWORD i = 0; i < length; i++) {
    BYTE b;
    if (!v.U8(p + i, &b)) return "";
    version = (version << 8) | b;
    if (length - i - 1 > 3 && version != 0) return "Packet - invalid version identifier";
  }
  return version > 1 ? "Packet - invalid version identifier" : nullptr;
}

Description Describe(const qv::View& v) {
  // The message sequence, the version and the community, each with the tag
  // it must have and what a length of more than four bytes makes of it.
  struct Step {
    BYTE tag;
    const char* tooLong;
  };
  const Step steps[] = {{kTagSequence, "Packet - invalid packet length"},
                        {kTagInteger, "Packet - invalid version identifier"},
                        {kTagOctetString, "Badly formed packet"}};
  int64_t p = 0;
  BYTE tag;
  for (const Step& step : steps) {
    int field;
    DWORD length;
    if (!v.U8(p, &tag)) return {"", false};
    if (tag != step.tag) return {"Badly formed packet", false};
    switch (ReadBerLength(v, p + 1, &field, &length)) {
      case kLengthCut: return {"", false};
      case kLengthTooLong: return {step.tooLong, false};
      case kLengthOk: break;
    }
    p += 1 + field;
    if (step.tag == kTagSequence) {
      // Its contents are the items that follow.
      if (length == 0) return {"Packet - invalid packet length", false};
      continue;
    }
    if (step.tag == kTagInteger)
      if (const char* text = CheckVersion(v, p, length)) return {text, false};
    p += length;
  }
  // The PDU, named by its type; a tag outside the context class is marked.
  if (!v.U8(p, &tag)) return {"", false};
  return {kSummaryPduNames(tag & 0x1F), (tag & 0xE0) != 0xA0};
}

void SummarizeSnmp(qv::Layer& l, SummaryRow* row) {
  qv::SetCellText(row->protocol, "SNMP");
  const Description d = Describe(l.header);
  qv::SetCellText(row->description, d.text);
  if (d.badlyFormedPdu) qv::AppendCellText(row->description, " - badly formed PDU Type");
}

// ---------------------------------------------------------------- detail

// What each decoder does with the item's contents.
enum ValueKind {
  kValueInteger,   // any number of bytes, all but the last four zero
  kValueVersion,   // an integer of one to four bytes
  kValueSmall,     // an unsigned number of up to four bytes
  kValueAddress,
  kValueOctets,
  kValueNull,
  kValueObjectId,
  kValueSequence,  // no value: its contents are the items that follow
};

struct AsnType {
  BYTE tag;
  const char* text;
  ValueKind value;
  BYTE* state;
};

BYTE g_integerState, g_versionState, g_nullState, g_octetState, g_timeState, g_ipState, g_oidState,
    g_sequenceState, g_unsignedState, g_gaugeState, g_counterState, g_counter64State;

const AsnType kInteger = {kTagInteger, "Integer", kValueInteger, &g_integerState};
const AsnType kVersion = {kTagInteger, "Integer", kValueVersion, &g_versionState};
const AsnType kOctetString = {kTagOctetString, "Octet string", kValueOctets, &g_octetState};
const AsnType kNullItem = {kTagNull, "None", kValueNull, &g_nullState};
const AsnType kObjectIdentifier = {kTagObjectId, "Object Identifier", kValueObjectId, &g_oidState};
const AsnType kSequenceItem = {kTagSequence, "Sequence", kValueSequence, &g_sequenceState};
const AsnType kIpAddressItem = {kTagIpAddress, "IP Address", kValueAddress, &g_ipState};
const AsnType kTimeTicks = {kTagTimeTicks, "Time Stamp", kValueSmall, &g_timeState};
const AsnType kUnsigned = {kTagUnsigned, "Unsigned Integer", kValueSmall, &g_unsignedState};
const AsnType kGauge = {kTagGauge32, "Gauge32", kValueSmall, &g_gaugeState};
const AsnType kCounter = {kTagCounter32, "Counter32", kValueSmall, &g_counterState};
const AsnType kCounter64 = {kTagCounter64, "Counter64", kValueSmall, &g_counter64State};

// The decoders of AddValue, by tag.
const AsnType* ValueType(BYTE tag) {
  static const AsnType* const kTypes[] = {&kInteger,  &kOctetString, &kNullItem, &kObjectIdentifier,
                                          &kSequenceItem, &kIpAddressItem, &kCounter, &kGauge,
                                          &kTimeTicks, &kCounter64,  &kUnsigned};
  for (const AsnType* t : kTypes)
    if (t->tag == tag) return t;
  return nullptr;
}

// Text appended to a label line, within the line's bound.
void Append(DetailLine* line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(DetailLine* line, const char* format, ...) {
  char text[qv::kLineTextSize];
  va_list args;
  va_start(args, format);
  qv::FormatTextV(text, sizeof text, format, args);
  va_end(args);
  qv::AppendText(line->text, qv::kLineTextSize, "%s", text);
}

// A line whose text is bounded to the line's 128 characters.
DetailLine* AddLine(qv::DetailList& list, int offset, int length, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
DetailLine* AddLine(qv::DetailList& list, int offset, int length, const char* format, ...) {
  char text[qv::kLineTextSize];
  va_list args;
  va_start(args, format);
  qv::FormatTextV(text, sizeof text, format, args);
  va_end(args);
  return list.Text(offset, length, text);
}

// The object identifier's text: "1.3." for the first byte, then one number
// per byte. Cut, like an octet string, when the contents would pass the
// label line's bound, and in any case before the text would: a cut text
// ends in "...".
void ObjectIdText(const BYTE* contents, int64_t count, size_t labelLength, char* text) {
  const int64_t room = kLineBound - (int64_t)labelLength;
  bool cut = count + (int64_t)labelLength > kLineBound - 1;
  const int64_t used = cut ? (int64_t)kLineBound - 4 - (int64_t)labelLength : count;
  int n = qv::FormatText(text, qv::kLineTextSize, "1.3.");
  for (int64_t i = 1; i < used; i++) {
    char number[8];
    const int digits = qv::FormatText(number, sizeof number, "%u.", contents[i]);
    // The last number drops its dot; any other keeps room for a cut's "..".
    const bool last = i == used - 1 && !cut;
    if (n + digits + (last ? -1 : 2) > room) {
      cut = true;
      break;
    }
    memcpy(text + n, number, (size_t)digits + 1);
    n += digits;
  }
  if (cut)
    qv::AppendText(text, qv::kLineTextSize, "..");
  else
    text[n - 1] = 0;
}

// One BER item at p, its label line L made. False ends the detail: a wrong
// tag, a length that cannot be taken, contents past the capture or a value
// out of range, each with its reason on L where there is one. L's text is
// settled whether or not the host gives the item's own lines, so a failed
// line never changes the lines before it.
bool Decode(qv::DetailList& list, const qv::View& v, int64_t p, DetailLine* L, const AsnType& t,
            int64_t* consumed, DWORD* valueOut) {
  const BYTE tag = v.U8Or0(p);
  if (t.value == kValueObjectId ? (tag & 0x1F) != kTagObjectId : tag != t.tag) {
    Append(L, "Invalid Type");
    return false;
  }
  if (t.value == kValueObjectId && (tag & 0xE0)) Append(L, "Invalid Attributes - ");
  list.Group<"ASN Type\t\t\t\t%s">(t.state, v.Offset(p), 1, t.text);

  if (t.value == kValueNull) {
    BYTE length;
    if (!v.U8(p + 1, &length)) return false;
    Append(L, "(Null)");
    L->length = 2;
    list.Add<"Length\t\t\t\t%s">(v.Offset(p + 1), 1, length == 0 ? "0"sv : "Error"sv);
    list.Close();
    *consumed = 2;
    return true;
  }

  int field;
  DWORD length;
  switch (ReadBerLength(v, p + 1, &field, &length)) {
    case kLengthCut:
      return false;
    case kLengthTooLong:
      list.Text(v.Offset(p + 1), (int)v.Sub(p + 1, field).size(), "Invalid Length");
      return false;
    case kLengthOk:
      break;
  }
  if (t.value == kValueVersion && length == 0) {
    Append(L, " - invalid length");
    list.Text(v.Offset(p + 1), field, "Invalid Length");
    return false;
  }
  list.Add<"Length\t\t\t\t%u">(v.Offset(p + 1), field, length);
  if (t.value == kValueSequence) {
    *consumed = 1 + field;
    L->length = (int)*consumed;
    list.Close();
    return true;
  }

  const int64_t at = p + 1 + field;
  const BYTE* contents = v.Bytes(at, length);
  if (!contents) return false;  // past the capture
  const int n = (int)length;
  const int offset = v.Offset(at);
  switch (t.value) {
    case kValueInteger:
    case kValueVersion:
    case kValueSmall: {
      bool inRange = n <= 4;
      if (!inRange && t.value == kValueInteger) {
        inRange = true;
        for (int i = 0; i < n - 4; i++) inRange = inRange && contents[i] == 0;
      }
      if (!inRange) {
        Append(L, "Invalid Range");
        return false;
      }
      DWORD value = 0;
      for (int i = 0; i < n; i++) value = (value << 8) | contents[i];
      if (valueOut) *valueOut = value;
      Append(L, "%u", value);
      list.Add<"Value\t\t\t\t\t%u">(offset, n, value);
      break;
    }
    case kValueAddress: {
      if (n != 4) {
        Append(L, "Invalid Range");
        return false;
      }
      char address[32];
      DottedAddress(contents, address);
      Append(L, "%s", address);
      list.Add<"IP Address\t\t\t%s">(offset, 4, address);
      break;
    }
    case kValueOctets: {
      // Up to the first zero byte; cut so that L stays within its bound.
      const size_t labelLength = strlen(L->text);
      int copied = n;
      const bool cut = n + labelLength > kLineBound - 1;
      if (cut) copied = (int)labelLength < kLineBound - 4 ? kLineBound - 4 - (int)labelLength : 0;
      char text[qv::kLineTextSize];
      const size_t shown = strnlen(reinterpret_cast<const char*>(contents), (size_t)copied);
      memcpy(text, contents, shown);
      text[shown] = 0;
      Append(L, "%s%s", text, cut ? "..." : "");
      AddLine(list, offset, n, "Value\t\t\t\t\t%s%s", text, cut ? "..." : "");
      break;
    }
    case kValueObjectId: {
      if (n == 0 || contents[0] != 0x2B) {
        Append(L, "Badly Formed");
        list.Text(offset, n, "Invalid first byte");
        return false;
      }
      char text[qv::kLineTextSize];
      ObjectIdText(contents, n, strlen(L->text), text);
      Append(L, "%s", text);
      list.Text(offset, n, text);
      break;
    }
    case kValueNull:
    case kValueSequence:
      break;
  }
  *consumed = at + n - p;
  L->length = (int)*consumed;
  list.Close();
  return true;
}

// The walk over the message: position p from the SNMP start. Its lines end
// at the first item that is not captured or that its decoder refuses, and
// when the host gives no line.
struct Walk : qv::FieldLines {
  using FieldLines::FieldLines;
  int64_t p = 0;

  bool More() const { return p < v.size(); }

  // A label line at p and the item's decoder. The label line, or null when
  // the detail ends (nothing captured at p, a decoder's failure, no line
  // from the host before the item's own lines). A label line is settled
  // even when the host gives none of the item's own lines.
  DetailLine* Item(const char* label, const AsnType& type, DWORD* value = nullptr) {
    if (!Check(More())) return nullptr;
    DetailLine* L = list.Add<"%s">(v.Offset(p), 1, label);
    int64_t consumed;
    const bool decoded = L && Decode(list, v, p, L, type, &consumed, value);
    Check(decoded);
    if (!decoded) return nullptr;
    p += consumed;
    return L;
  }
  // Item, then text appended to the label line from the value.
  bool Named(const char* label, const AsnType& type, const qv::NameTable& names) {
    DWORD value = 0;
    DetailLine* L = Item(label, type, &value);
    if (L) Append(L, "\t%s", names(value));
    return L && ok();
  }
  bool Plain(const char* label, const AsnType& type) { return Item(label, type) && ok(); }

  // A binding's value, its decoder picked by its tag.
  bool Value() {
    const BYTE tag = v.U8Or0(p);
    DetailLine* L = list.Add<"Value\t\t\t\t\t\t">(v.Offset(p), 1);
    if (!L) return false;
    if (tag == kTagOpaque) return false;
    if (tag == kTagBitString) {
      // Not decoded: the walk goes on behind the whole item.
      int field;
      DWORD length;
      if (ReadBerLength(v, p + 1, &field, &length) != kLengthOk || !v.Has(p + 1 + field, length)) return false;
      L->length = 1 + field + (int)length;
      p += L->length;
      return true;
    }
    const AsnType* type = ValueType(tag);
    if (!type) {
      Append(L, "Unknown Type");
      return false;
    }
    int64_t consumed;
    if (!Decode(list, v, p, L, *type, &consumed, nullptr)) return false;
    p += consumed;
    return !list.stopped;
  }

  // The binding list: sequence headers, each binding's name and value.
  void Bindings() {
    if (More() && !Plain("Sequence Header\t\t", kSequenceItem)) return;
    while (More()) {
      if (!Plain("Sequence Header\t\t", kSequenceItem) || !More()) return;
      if (!Plain("Variable\t\t\t\t\t", kObjectIdentifier) || !More()) return;
      if (!Value()) return;
    }
  }

  void Pdu() {
    if (Plain("Identifier\t\t\t\t", kInteger) && Named("Error Code\t\t\t\t", kInteger, SnmpErrorName) &&
        Plain("Error Offset\t\t\t", kInteger))
      Bindings();
  }

  void Trap() {
    if (Plain("Enterprise\t\t\t\t", kObjectIdentifier) && Plain("Agent Address\t\t\t", kIpAddressItem) &&
        Named("Trap Type\t\t\t\t", kInteger, SnmpTrapName) && Plain("Specific Trap\t\t\t", kInteger) &&
        Plain("Time Stamp\t\t\t\t", kTimeTicks))
      Bindings();
  }
};

void DetailSnmp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  if (!l.Title(list, (int)v.size())) return;
  Walk w(list, v);
  if (!w.Plain("Sequence Header\t\t", kSequenceItem) || !w.Named("Version\t\t\t\t\t", kVersion, SnmpVersionName) ||
      !w.Plain("Community\t\t\t\t", kOctetString) || !w.More())
    return;

  const BYTE tag = v.U8Or0(w.p);
  if (!list.Add<"PDU-type\t\t\t\t\t%s%s">(v.Offset(w.p), 1, kDetailPduNames(tag & 0x1F),
                                          (tag & 0xE0) != 0xA0 ? " - badly formed PDU Type"sv : ""sv))
    return;
  w.p += 1;

  int field;
  DWORD length;
  switch (ReadBerLength(v, w.p, &field, &length)) {
    case kLengthCut:
      return;
    case kLengthTooLong:
      list.Text(v.Offset(w.p), (int)v.Sub(w.p, field).size(), "Invalid Length");
      return;
    case kLengthOk:
      break;
  }
  if (!list.Add<"Length\t\t\t\t\t%u">(v.Offset(w.p), field, length)) return;
  w.p += field;

  const int type = tag & 0x1F;
  if (type == kPduVersion1Trap)
    w.Trap();
  else if (type <= kPduLastKnown)
    w.Pdu();  // the Get Bulk PDU under the same labels
}

constexpr qv::Binding kBindings[] = {{"IP-UDP", 161}, {"IP-UDP", 162}};

}  // namespace

constexpr qv::ProtocolDecl kSnmpDecl = {
    .nameId = "IP-SNMP",
    .description = "Simple Network Management Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "SNMP"},
    .summary = SummarizeSnmp,
    .detail = DetailSnmp,
    .bindings = kBindings,
};
qv::Protocol g_snmp = qv::Declare<g_snmp, kSnmpDecl>();

}  // namespace corvale
