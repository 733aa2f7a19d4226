// The text-line protocols behind TCP and UDP: the common form (HTTP, SMTP,
// POP3), the SSDP form and the FTP form, their byte accounting, the line
// bound and the printing rule.
#include "corvale_host.h"

namespace corvaletest {
namespace {

const int kPayload = 40;  // behind the IP and TCP headers
const std::string kText = "Text\t\t\t\t\t\t";

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes OverTcp(WORD port, const std::string& payload) { return Ip(6, Tcp(1027, port, 0x18, {}, Text(payload))); }

struct Case {
  const char* name;
  WORD port;
  std::string payload;
  qvtest::Lines text;  // the lines after the title; offsets from the payload
};

void ExpectTextLines(const Case& c, const char* title) {
  SCOPED_TRACE(c.name);
  CorvaleHost h;
  h.Decode("DOD-IP", OverTcp(c.port, c.payload));
  qvtest::Lines want = {{title, kPayload, (int)c.payload.size(), OPEN}};
  for (qvtest::Line l : c.text) {
    l.offset += kPayload;
    want.push_back(l);
  }
  want.back().flags |= CLOSE;
  ExpectLines(h.Lines(2), want);
}

TEST(TextLines, CommonForm) {
  const std::string line200(200, 'x');
  const Case cases[] = {
      // The empty line's two bytes are counted into the line before it.
      {"three header lines and an empty line",
       80,
       "GET / HTTP/1.0\r\nHost: x\r\nAccept: */*\r\n\r\n",
       {{kText + "GET / HTTP/1.0", 0, 16, 0}, {kText + "Host: x", 16, 9, 0}, {kText + "Accept: */*", 25, 15, 0}}},
      // 118 characters shown; the line covers the rest and its line end.
      {"long line",
       80,
       line200 + "\r\nok\r\n",
       {{kText + line200.substr(0, 118), 0, 202, 0}, {kText + "ok", 202, 4, 0}}},
      {"line of exactly the room",
       80,
       std::string(118, 'y') + "\r\nab\r\n",
       {{kText + std::string(118, 'y'), 0, 120, 0}, {kText + "ab", 120, 4, 0}}},
      // A line needs three bytes left: the last one or two are never listed.
      {"no line end", 80, "abcd", {{kText + "ab", 0, 4, 0}}},
      {"three bytes", 80, "abc", {{kText + "a", 0, 3, 0}}},
      {"payload of two bytes", 80, "ab", {}},
      {"payload of one byte", 80, "\n", {}},
      // A control byte shows as "." and its line is the last one listed.
      {"control byte in the second line",
       25,
       "HELO a\r\nMA\x01L\r\nRCPT\r\n",
       {{kText + "HELO a", 0, 8, 0}, {kText + "MA.L", 8, 6, 0}}},
      {"bare line feed", 110, "ab\ncd\r\nef\r\n", {{kText + "ab.cd", 0, 7, 0}}},
      {"carriage return alone", 110, "a\rb\r\nef\r\n", {{kText + "a.b", 0, 5, 0}}},
      {"DEL", 80, "a\x7f\r\nef\r\n", {{kText + "a.", 0, 4, 0}}},
      {"byte above 0x7f", 80, "a\xe9\r\nef\r\n", {{kText + "a.", 0, 4, 0}}},
      // TAB and blank print.
      {"tab and blank", 80, "a\tb c\r\nef\r\n", {{kText + "a\tb c", 0, 7, 0}, {kText + "ef", 7, 4, 0}}},
  };
  for (const Case& c : cases) {
    const char* title = c.port == 25 ? "Simple Mail Transfer Protocol"
                        : c.port == 110 ? "Post Office Protocol - Version 3"
                                        : "Hyper-Text Transfer Protocol";
    ExpectTextLines(c, title);
  }
}

TEST(TextLines, SsdpFormListsEveryLine) {
  const Case cases[] = {
      {"control byte in the second line",
       1900,
       "HELO a\r\nMA\x01L\r\nRCPT\r\n",
       {{kText + "HELO a", 0, 8, 0}, {kText + "MA.L", 8, 6, 0}, {kText + "RCPT", 14, 6, 0}}},
      {"bare line feed", 1900, "ab\ncd\r\nef\r\n", {{kText + "ab.cd", 0, 7, 0}, {kText + "ef", 7, 4, 0}}},
  };
  for (const Case& c : cases) ExpectTextLines(c, "Simple Service Discovery Protocol");
}

TEST(TextLines, FtpForm) {
  const std::string line300(300, 'r');
  const Case cases[] = {
      // Lines of 127 bytes, each shown within the line's bound.
      {"reply of 300 characters",
       21,
       line300 + "\r\n",
       {{kText + std::string(118, 'r'), 0, 127, 0},
        {kText + std::string(118, 'r'), 127, 127, 0},
        {kText + std::string(46, 'r'), 254, 46, 0}}},
      // Only a carriage return copied into the line goes with its line feed.
      {"line feed without carriage return",
       21,
       "ab\ncd\r\nxyz",
       {{kText + "ab", 0, 3, 0}, {kText + "cd", 3, 4, 0}, {kText + "x", 7, 1, 0}}},
      {"line feed first in its line",
       21,
       std::string(126, 's') + "\r\nnext",
       {{kText + std::string(118, 's'), 0, 127, 0}, {kText, 127, 1, 0}, {kText + "ne", 128, 2, 0}}},
      // Bytes as they are, printing or not.
      {"control bytes", 20, "a\x01\tb\r\nzz", {{kText + "a\x01\tb", 0, 6, 0}}},
      {"payload of two bytes", 21, "\r\n", {}},
  };
  for (const Case& c : cases) ExpectTextLines(c, "File Transfer Protocol");
}

TEST(TextLines, SummaryAndBindings) {
  struct Bound {
    BYTE ipProtocol;
    WORD port;
    const char* protocol;
    const char* statistics;
  };
  const Bound cases[] = {
      {6, 20, "FTP", "FTP"},   {6, 21, "FTP", "FTP"},     {17, 20, "FTP", "FTP"},    {17, 21, "FTP", "FTP"},
      {6, 80, "HTTP", "HTTP"}, {17, 80, "HTTP", "HTTP"},  {6, 1900, "SSDP", "SSDP"}, {17, 1900, "SSDP", "SSDP"},
      {6, 25, "SMTP", "SMTP"}, {6, 110, "POP3", "POP3"},
  };
  for (const Bound& c : cases) {
    SCOPED_TRACE(std::string(c.protocol) + " " + std::to_string(c.port));
    CorvaleHost h;
    const Bytes payload = Text("HELO\r\n");
    h.Decode("DOD-IP", Ip(c.ipProtocol, c.ipProtocol == 6 ? Tcp(1027, c.port, 0x18, {}, payload)
                                                          : Udp(1027, c.port, payload)));
    EXPECT_EQ(h.Protocol(), c.protocol);
    EXPECT_EQ(h.Description(), "Packet");
    EXPECT_EQ(h.Frames(c.statistics), 1u);
    EXPECT_EQ(h.Bytes64(c.statistics), payload.size());
  }
  // Not bound under UDP.
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(17, Udp(1027, 25, Text("HELO\r\n"))));
  EXPECT_EQ(h.Protocol(), "UDP");
  EXPECT_EQ(h.Frames("SMTP"), 0u);
}

TEST(TextLines, DisabledProtocolMakesNoLinesAndNoCells) {
  CorvaleHost h;
  h.Enabled("IP-HTTP") = 0;
  h.Decode("DOD-IP", OverTcp(80, "GET /\r\n\r\n"));
  EXPECT_EQ(h.Protocol(), "TCP");
  EXPECT_TRUE(h.Lines(2).empty());
  EXPECT_EQ(h.Frames("HTTP"), 1u);
}

TEST(TextLines, BoundedAndLineFailures) {
  const Bytes payload = Text("GET / HTTP/1.0\r\n" + std::string(130, 'h') + "\r\nA\x01\r\nlast\r\n");
  for (const char* root : {"IP-HTTP", "IP-SSDP", "IP-FTP"}) {
    CorvaleHost h;
    qvtest::ExpectBoundedAtEveryCut(h, root, payload, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, root, payload);
  }
}

}  // namespace
}  // namespace corvaletest
