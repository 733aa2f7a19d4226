// Bodies of the management frames: fixed fields, the capability word and the
// information elements. The element walk runs over the frame's captured
// bytes; each element is read from its own sub-range, cut at its declared
// length and at the capture, so a length that lies never carries a read
// into the next element or past the frame.
#include <inttypes.h>

#include "aerlith.h"

namespace aerlith {

namespace {

BYTE g_capabilityState, g_elementState, g_channelState;

constexpr qv::Name kReasonRows[] = {
    {0, "Reserved"},
    {1, "Unspecified"},
    {2, "Previous authentication no longer valid"},
    {3, "Deauthenticated because station is leaving IBSS or ESS"},
    {4, "Disassociated due to inactivity"},
    {5, "Disassociated because too man stations associated with AP"},
    {6, "Class 2 frame received from nonauthenticated station"},
    {7, "Class 3 frame received from nonassociated station"},
    {8, "Disassociated because station is leaving BSS"},
    {9, "Unauthenticated station requesting association"},
};
constexpr qv::NameTable kReasons(kReasonRows, "Undefined");

constexpr qv::Name kStatusRows[] = {
    {0, "Reserved"},
    {1, "Unspecified failure"},
    {10, "Cannot support requested capabilities"},
    {11, "Reassociation denied due to no existing association"},
    {12, "Association denied due to undefined reason"},
    {13, "Specified authentication algorithm not supported"},
    {14, "Authentication transaction sequence number out of order"},
    {15, "Challenge failure"},
    {16, "Timeout waiting for next frame in sequence"},
    {17, "AP is unable to handle additional associated stations"},
    {18, "Not all basic data rates supported"},
};
constexpr qv::NameTable kStatuses(kStatusRows, "Unknown");

constexpr qv::Name kAlgorithmRows[] = {{0, "Open"}, {1, "Shared Key"}};
constexpr qv::NameTable kAlgorithms(kAlgorithmRows, "Unknown");

enum : BYTE {
  ELEMENT_SSID = 0,
  ELEMENT_RATES = 1,
  ELEMENT_COUNTRY = 7,
  ELEMENT_REQUEST = 10,
};

constexpr qv::Name kElementRows[] = {
    {0, "SSID"},
    {1, "Supported Rates"},
    {2, "FH Parameter Set"},
    {3, "DS Parameter Set"},
    {4, "CF Parameter Set"},
    {5, "TIM"},
    {6, "IBSS Parameter Set"},
    {7, "Country"},
    {8, "Hopping Pattern Parameters"},
    {9, "Hopping Pattern Table"},
    {10, "Request"},
    {16, "Challenge Text"},
};
constexpr qv::NameTable kElementNames(kElementRows, "Unknown");

// Fixed fields of elements, counted from the element's start; words are
// little-endian.
struct ElementField {
  DWORD key;  // the element's identity
  BYTE at;
  BYTE width;
  const char* format;
};
constexpr ElementField kElementFields[] = {
    {2, 2, 2, "Dwell Time\t\t\t%d"},
    {2, 4, 1, "Hop Set\t\t\t%d"},
    {2, 5, 1, "Hop Pattern\t\t\t%d"},
    {2, 6, 1, "Hop Index\t\t\t%d"},
    {3, 2, 1, "Current Channel\t%d"},
    {4, 2, 1, "CFP Count\t\t%d"},
    {4, 3, 1, "CFP Period\t\t%d"},
    {4, 4, 2, "Max Duration\t\t%d"},
    {4, 6, 2, "Duration Remainng\t\t%d"},
    {5, 2, 1, "DTIM Count\t\t\t%d"},
    {5, 3, 1, "DTIM Period\t\t\t%d"},
    {5, 4, 1, "Bitmap Control\t\t%d"},
    {6, 2, 2, "ATIM Window\t\t\t%d"},
    {8, 2, 1, "Radix\t\t\t\t%d"},
    {8, 3, 1, "Number Chans\t\t%d"},
    {9, 2, 1, "Flag\t\t\t\t%d"},
    {9, 3, 1, "Sets\t\t\t\t%d"},
    {9, 4, 1, "Modulus\t\t\t\t%d"},
    {9, 5, 1, "Offset\t\t\t\t%d"},
};

// ---------------------------------------------------------------- elements

// The fixed fields of an element that lie inside it and the capture.
void ElementFields(const qv::View& e, BYTE id, qv::DetailList& list) {
  for (const ElementField& f : kElementFields) {
    if (f.key != id) continue;
    if (!e.Has(f.at, f.width)) return;
    const int value = f.width == 2 ? e.Le16Or0(f.at) : e.U8Or0(f.at);
    list.Add(e.Offset(f.at), f.width, f.format, value);
  }
}

// The SSID as text: printable bytes as themselves, others as '.'. The whole
// line stops growing once it passes 126 characters, one short of the line
// bound (127 characters and the NUL); an SSID of up to 32 bytes is always
// whole.
const int kSsidLineBound = qv::kLineBound - 1;
void SsidLine(const qv::View& e, int declared, qv::DetailList& list) {
  const int64_t n = e.Left(2);
  if (declared > 0 && n == 0) return;
  char text[kSsidLineBound + 1] = "SSID\t\t\t\t\t";
  size_t used = strlen(text);
  for (int64_t i = 0; i < n && used < kSsidLineBound; i++) {
    const BYTE c = e.U8Or0(2 + i);
    text[used++] = c >= 0x20 && c < 0x7F ? (char)c : '.';
  }
  text[used] = 0;
  list.Text(e.Offset(2), (int)n, text);
}

void RateLines(const qv::View& e, qv::DetailList& list) {
  for (int64_t i = 2; e.Has(i, 1) && !list.stopped; i++) {
    const BYTE rate = e.U8Or0(i);
    list.Add(e.Offset(i), 1, "Rate\t\t\t\t\t%1.1f MB\t[%s", (rate & 0x7F) / 2.0,
             rate & 0x80 ? "1xxxxxxx]\tIn Basic Rate Set" : "0xxxxxxx]\tNot in Basic Rate Set");
  }
}

// The country string: the characters the element has, up to three; then a
// group per whole channel triple, at most 16.
void CountryLines(const qv::View& e, int declared, qv::DetailList& list) {
  const int64_t n = e.Left(2) < 3 ? e.Left(2) : 3;
  if (declared > 0 && n == 0) return;
  char country[4] = {};
  e.Copy(2, n, reinterpret_cast<BYTE*>(country));
  list.Add<"Country String\t\t%s">(e.Offset(2), (int)n, country);
  const int groups = declared < 3 ? 0 : (declared - 3) / 3;
  for (int k = 0; k < groups && k < 16 && !list.stopped; k++) {
    const int at = 5 + 3 * k;
    if (!e.Has(at, 3)) return;
    list.Group<"Channel Group">(&g_channelState, e.Offset(at), 3);
    list.Add<"First\t\t\t\t%d">(e.Offset(at), 1, e.U8Or0(at));
    list.Add<"Number\t\t\t%d">(e.Offset(at + 1), 1, e.U8Or0(at + 1));
    list.Add<"Transmit Power\t%d dBm">(e.Offset(at + 2), 1, e.U8Or0(at + 2));
    list.Close();
  }
}

void RequestLines(const qv::View& e, int declared, qv::DetailList& list) {
  for (int i = 0; i < declared && i < 16 && e.Has(2 + i, 1) && !list.stopped; i++)
    list.Add<"ID\t\t\t\t%d">(e.Offset(2 + i), 1, e.U8Or0(2 + i));
}

// One element from its own range e (its header captured).
void DetailElement(const qv::View& e, qv::DetailList& list) {
  const BYTE id = e.U8Or0(0);
  const int declared = e.U8Or0(1);
  list.Group<"Information Element">(&g_elementState, e.Offset(), (int)e.size());
  list.Add<"Identity\t\t\t\t%s">(e.Offset(), 1, kElementNames(id));
  list.Add<"Length\t\t\t\t%d">(e.Offset(1), 1, declared);
  switch (id) {
    case ELEMENT_SSID:
      SsidLine(e, declared, list);
      break;
    case ELEMENT_RATES:
      RateLines(e, list);
      break;
    case ELEMENT_COUNTRY:
      CountryLines(e, declared, list);
      break;
    case ELEMENT_REQUEST:
      RequestLines(e, declared, list);
      break;
    default:
      ElementFields(e, id, list);
      break;
  }
  list.Close();
}

// At most `most` elements from header position at; the walk ends where an
// element's two header bytes are not captured.
void DetailElements(const qv::View& v, int64_t at, int most, qv::DetailList& list) {
  for (int count = 0; count < most && v.Has(at, 2) && !list.stopped; count++) {
    const int length = v.U8Or0(at + 1) + 2;
    DetailElement(v.Sub(at, length), list);
    at += length;
  }
}

// ---------------------------------------------------------------- fixed fields

void DetailCapability(const qv::View& v, int64_t at, qv::DetailList& list) {
  const WORD c = v.Le16Or0(at);
  const int o = v.Offset(at);
  static constexpr qv::FlagBit kBits[] = {
      {0x80, "Channel Agility\t["}, {0x40, "PBCC\t\t\t\t\t["},  {0x20, "Short Preamble\t\t["},
      {0x10, "Privacy\t\t\t\t["},    {0x08, "CF Poll Request\t["}, {0x04, "CF Pollable\t\t\t["},
      {0x02, "IBSS\t\t\t\t\t["},     {0x01, "ESS\t\t\t\t\t["},
  };
  list.Group<"Capability Information">(&g_capabilityState, o, 2);
  // The low byte's picture: the flags all stand in it.
  list.FlagLines<"%s%s xxxxxxxx]\t%s">(o, 2, c, kBits, {8}, {"On", "Off"});
  const int high = c >> 8;
  list.Add<"Reserved\t\t\t\t[xxxxxxxx %s%s]\t%d">(o, 2, qv::NibbleBitsText(high >> 4), qv::NibbleBitsText(high), high);
  list.Close();
}

// A word field's line when the word is captured; false (and no line) when
// it is not, which ends the body.
bool WordLine(const qv::View& v, int64_t at, qv::DetailList& list, const char* format, const char* text = nullptr) {
  WORD w;
  if (!v.Le16(at, &w)) return false;
  if (text)
    list.Add(v.Offset(at), 2, format, w, text);
  else
    list.Add(v.Offset(at), 2, format, w);
  return true;
}

// Probe responses and beacons: time stamp, interval, capability, elements.
void DetailBeaconBody(const qv::View& v, qv::DetailList& list) {
  uint64_t stamp;
  if (!v.Le64(24, &stamp)) return;
  list.Add(v.Offset(24), 8, "Time Stamp\t\t\t\t%" PRIu64, stamp);
  if (!WordLine(v, 32, list, "Beacon Interval\t\t%u") || !v.Has(34, 2)) return;
  DetailCapability(v, 34, list);
  DetailElements(v, 36, 6, list);
}

void DetailAuthentication(const qv::View& v, qv::DetailList& list) {
  const WORD algorithm = v.Le16Or0(24), sequence = v.Le16Or0(26);
  if (!WordLine(v, 24, list, "Algorithm\t\t\t\t%u\t%s", kAlgorithms(algorithm))) return;
  if (!WordLine(v, 26, list, "Sequence Number\t\t%u")) return;
  if (!WordLine(v, 28, list, "Status Code\t\t\t\t%u\t%s", kStatuses(v.Le16Or0(28)))) return;
  // Only the challenge text follows.
  if (algorithm == 1 && (sequence == 2 || sequence == 3)) DetailElements(v, 30, 1, list);
}

}  // namespace

void DetailBody(const Header& h, qv::DetailList& list) {
  const qv::View& v = h.view;
  switch (h.Kind()) {
    case FRAME_ASSOCIATION_REQUEST:
      if (!v.Has(24, 2)) return;
      DetailCapability(v, 24, list);
      if (WordLine(v, 26, list, "Listen Interval\t\t%u")) DetailElements(v, 28, 2, list);
      break;
    case FRAME_ASSOCIATION_RESPONSE:
      if (!v.Has(24, 2)) return;
      DetailCapability(v, 24, list);
      if (WordLine(v, 26, list, "Status Code\t\t\t\t%u") && WordLine(v, 28, list, "Association ID\t\t\t%u"))
        DetailElements(v, 30, 1, list);
      break;
    case FRAME_PROBE_REQUEST:
      DetailElements(v, 24, 2, list);
      break;
    case FRAME_PROBE_RESPONSE:
    case FRAME_BEACON:
      DetailBeaconBody(v, list);
      break;
    case FRAME_DISASSOCIATION:
    case FRAME_DEAUTHENTICATION:
      WordLine(v, 24, list, "Reason Code\t\t\t\t%u\t%s", kReasons(v.Le16Or0(24)));
      break;
    case FRAME_AUTHENTICATION:
      DetailAuthentication(v, list);
      break;
    default:
      break;
  }
}

}  // namespace aerlith
