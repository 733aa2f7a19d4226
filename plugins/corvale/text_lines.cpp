// IP-FTP, IP-HTTP, IP-SSDP, IP-SMTP and IP-POP3: payloads of text lines,
// listed one "Text" line per line of the payload. Nothing is interpreted.
#include <string.h>

#include "corvale.h"

namespace corvale {

namespace {

const char kLabel[] = "Text\t\t\t\t\t\t";
const int kLabelLength = sizeof kLabel - 1;
const int kRoom = qv::LineRoom(kLabelLength);  // characters of text a line shows
const int kFtpLineBytes = 127;                 // bytes an FTP line consumes at most

enum Form {
  kCommon,  // a line with a non-printing byte ends the listing
  kSsdp,    // every line is listed
};

// The printing characters of the C locale: letters, digits, punctuation,
// space and TAB. Control characters, DEL and bytes from 0x80 on are not.
bool Printing(BYTE c) { return c == '\t' || (c >= 0x20 && c <= 0x7E); }

// Lines end at CR LF. The last one or two bytes of the payload are never
// listed (a line needs three bytes left to start or go on): when they are
// the CR LF of the last line, or when exactly two are left behind a line,
// they are counted into that line.
void DetailTextLines(qv::Layer& l, qv::DetailList& list, Form form) {
  const qv::View& v = l.header;
  const int64_t size = v.size();
  if (size == 0 || !l.Title(list, (int)size)) return;
  int64_t at = 0;
  bool stop = false;
  while (!stop && size - at >= 3) {
    char text[qv::kLineTextSize];
    memcpy(text, kLabel, kLabelLength);
    int n = kLabelLength;
    const int64_t start = at;
    bool ended = false;
    while (n - kLabelLength < kRoom && size - at >= 3) {
      BYTE c = v.U8Or0(at++);
      if (c == '\r' && v.U8Or0(at) == '\n') {
        at++;
        ended = true;
        break;
      }
      if (!Printing(c)) {
        c = '.';
        if (form == kCommon) stop = true;
      }
      text[n++] = (char)c;
    }
    // A line longer than the room: the rest of it, through its line feed,
    // belongs to this line.
    if (!ended && n - kLabelLength == kRoom) {
      while (at < size)
        if (v.U8Or0(at++) == '\n') break;
    }
    text[n] = 0;
    int64_t length = at - start;
    if (size - at == 2) length += 2;
    if (!list.Text(v.Offset(start), (int)length, text)) return;
  }
  list.Close();
}

// FTP: lines end at a line feed; a carriage return copied just before it
// is dropped too. A line consumes at most 127 bytes and shows as many as the
// line's bound holds. Bytes are shown as they are.
void DetailFtp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  const int64_t size = v.size();
  if (size == 0 || !l.Title(list, (int)size)) return;
  int64_t at = 0;
  while (size - at > 2) {
    char bytes[kFtpLineBytes];
    int copied = 0;
    const int64_t start = at;
    while (copied < kFtpLineBytes && size - at > 2) {
      const BYTE c = v.U8Or0(at++);
      if (c == '\n') {
        if (copied > 0 && bytes[copied - 1] == '\r') copied--;
        break;
      }
      bytes[copied++] = (char)c;
    }
    char text[qv::kLineTextSize];
    memcpy(text, kLabel, kLabelLength);
    const int shown = copied < kRoom ? copied : kRoom;
    memcpy(text + kLabelLength, bytes, shown);
    text[kLabelLength + shown] = 0;
    if (!list.Text(v.Offset(start), (int)(at - start), text)) return;
  }
  list.Close();
}

void DetailHttpLike(qv::Layer& l, qv::DetailList& list) { DetailTextLines(l, list, kCommon); }
void DetailSsdp(qv::Layer& l, qv::DetailList& list) { DetailTextLines(l, list, kSsdp); }

constexpr qv::Binding kFtpBindings[] = {{"IP-UDP", 20}, {"IP-UDP", 21}, {"IP-TCP", 20}, {"IP-TCP", 21}};
constexpr qv::Binding kHttpBindings[] = {{"IP-UDP", 80}, {"IP-TCP", 80}};
constexpr qv::Binding kSsdpBindings[] = {{"IP-UDP", 1900}, {"IP-TCP", 1900}};
constexpr qv::Binding kSmtpBindings[] = {{"IP-TCP", 25}};
constexpr qv::Binding kPop3Bindings[] = {{"IP-TCP", 110}};

}  // namespace

constexpr qv::ProtocolDecl kFtpDecl = {
    .nameId = "IP-FTP",
    .description = "File Transfer Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "FTP"},
    .words = {"FTP", "Packet"},
    .detail = DetailFtp,
    .bindings = kFtpBindings,
};
qv::Protocol g_ftp = qv::Declare<g_ftp, kFtpDecl>();

constexpr qv::ProtocolDecl kHttpDecl = {
    .nameId = "IP-HTTP",
    .description = "Hyper-Text Transfer Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "HTTP"},
    .words = {"HTTP", "Packet"},
    .detail = DetailHttpLike,
    .bindings = kHttpBindings,
};
qv::Protocol g_http = qv::Declare<g_http, kHttpDecl>();

constexpr qv::ProtocolDecl kSsdpDecl = {
    .nameId = "IP-SSDP",
    .description = "Simple Service Discovery Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "SSDP"},
    .words = {"SSDP", "Packet"},
    .detail = DetailSsdp,
    .bindings = kSsdpBindings,
};
qv::Protocol g_ssdp = qv::Declare<g_ssdp, kSsdpDecl>();

constexpr qv::ProtocolDecl kSmtpDecl = {
    .nameId = "IP-SMTP",
    .description = "Simple Mail Transfer Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "SMTP"},
    .words = {"SMTP", "Packet"},
    .detail = DetailHttpLike,
    .bindings = kSmtpBindings,
};
qv::Protocol g_smtp = qv::Declare<g_smtp, kSmtpDecl>();

constexpr qv::ProtocolDecl kPop3Decl = {
    .nameId = "IP-POP3",
    .description = "Post Office Protocol - Version 3",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "POP3"},
    .words = {"POP3", "Packet"},
    .detail = DetailHttpLike,
    .bindings = kPop3Bindings,
};
qv::Protocol g_pop3 = qv::Declare<g_pop3, kPop3Decl>();

}  // namespace corvale
