// IP-TCP behind DOD-IP: its lines and option groups, hostile and cut-short
// options, the flag words of the summary, and the payload hand-on.
#include "corvale_host.h"

namespace corvaletest {
namespace {

const Bytes kPayload = Hex("aa bb cc dd");
// MSS 1460, NOP, window scale 7, SACK permitted, timestamps.
const Bytes kSynOptions = Hex("02 04 05 b4 01 03 03 07 04 02 08 0a 00 00 00 01 00 00 00 00");

// The option lines of a segment from 1027 to 80 decoded from DOD-IP, the
// options starting at frame offset 40.
std::vector<qvhost::FlatLine> OptionLines(CorvaleHost& h, const Bytes& options, const Bytes& payload = {},
                                          int dataOffset = -1, size_t captured = 0) {
  Bytes frame = Ip(6, Tcp(1027, 80, 0x10, options, payload, dataOffset));
  const int wire = (int)frame.size();
  if (captured) frame.resize(captured);
  h.Decode("DOD-IP", frame, qvhost::RUN_DETAIL, wire);
  return LinesFrom(h.Lines(1), "Option\t");
}

TEST(IpTcp, SynWithOptions) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(6, Tcp(1027, 80, 0x02, kSynOptions)));
  ExpectLines(h.Lines(1), {
                              {"Transmission Control Protocol", 20, 40, OPEN},
                              {"Source Port\t\t\t\t1027\t", 20, 2, 0},
                              {"Destination Port\t\t80\tHyper-Text Transfer Protocol", 22, 2, 0},
                              {"Sequence Number\t\t16909060", 24, 4, 0},
                              {"Ack Number\t\t\t\t4096", 28, 4, 0},
                              {"Header Size\t\t\t\t40", 32, 1, 0},
                              {"Flags", 33, 1, OPEN},
                              {"Urgent Pointer\t\tOff [xx0x xxxx]", 33, 1, 0},
                              {"Ack\t\t\t\t\tOff [xxx0 xxxx]", 33, 1, 0},
                              {"Push\t\t\t\t\tOff [xxxx 0xxx]", 33, 1, 0},
                              {"Reset\t\t\t\t\tOff [xxxx x0xx]", 33, 1, 0},
                              {"SYN\t\t\t\t\tOn  [xxxx xx1x]", 33, 1, 0},
                              {"FIN\t\t\t\t\tOff [xxxx xxx0]", 33, 1, CLOSE},
                              {"Window Size\t\t\t\t29200", 34, 2, 0},
                              {"Checksum\t\t\t\t\t0xc0de", 36, 2, 0},
                              {"Urgent Pointer\t\t\t7", 38, 2, 0},
                              {"Option\t\t\t\t\tMaximum Segment Size", 40, 4, OPEN},
                              {"Option Code\t\t\t2", 40, 1, 0},
                              {"Option Length\t\t4", 41, 1, 0},
                              {"Option Value\t\t1460", 42, 2, CLOSE},
                              {"Option\t\t\t\t\tNo Op", 44, 1, OPEN},
                              {"Option Code\t\t\t1", 44, 1, CLOSE},
                              {"Option\t\t\t\t\tWindow Scale", 45, 3, OPEN},
                              {"Option Code\t\t\t3", 45, 1, 0},
                              {"Option Length\t\t3", 46, 1, CLOSE},
                              {"Option\t\t\t\t\tSack Permitted", 48, 2, OPEN},
                              {"Option Code\t\t\t4", 48, 1, 0},
                              {"Option Length\t\t2", 49, 1, CLOSE},
                              {"Option\t\t\t\t\tTime Stamp", 50, 10, OPEN},
                              {"Option Code\t\t\t8", 50, 1, 0},
                              {"Option Length\t\t10", 51, 1, CLOSE},
                          });
  EXPECT_EQ(h.Protocol(), "TCP");
  EXPECT_EQ(h.Description(), "Syn ");
  // No payload: nothing handed on.
  EXPECT_TRUE(h.defaultParses.empty());
}

TEST(IpTcp, FlagLinesAndUnnamedPorts) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(6, Tcp(139, 3001, 0x3D)), qvhost::RUN_DETAIL);
  std::vector<qvhost::FlatLine> lines = h.Lines(1);
  ASSERT_GE(lines.size(), 13u);
  EXPECT_EQ(lines[1].text, "Source Port\t\t\t\t139\tNetBios Session Service");
  EXPECT_EQ(lines[2].text, "Destination Port\t\t3001\t");  // unnamed: no text appended
  const char* const flags[] = {"Urgent Pointer\t\tOn  [xx1x xxxx]", "Ack\t\t\t\t\tOn  [xxx1 xxxx]",
                               "Push\t\t\t\t\tOn  [xxxx 1xxx]",     "Reset\t\t\t\t\tOn  [xxxx x1xx]",
                               "SYN\t\t\t\t\tOff [xxxx xx0x]",      "FIN\t\t\t\t\tOn  [xxxx xxx1]"};
  for (int i = 0; i < 6; i++) EXPECT_EQ(lines[7 + i].text, flags[i]);
  EXPECT_EQ(lines.size(), 16u);  // no options in a 20-byte header
}

TEST(IpTcp, RawOptionBytes) {
  struct Case {
    const char* name;
    const char* options;
    int dataOffset;
    qvtest::Lines lines;
  };
  const Case cases[] = {
      {"end of options ends the walk",
       "00 01 01 01",
       6,
       {{"Option\t\t\t\t\tEnd of Options", 40, 1, OPEN}, {"Option Length\t\t1", 40, 1, CLOSE}}},
      {"segment size of length 2: no value",
       "02 02 01 01",
       6,
       {{"Option\t\t\t\t\tMaximum Segment Size", 40, 2, OPEN},
        {"Option Code\t\t\t2", 40, 1, 0},
        {"Option Length\t\t2", 41, 1, CLOSE},
        {"Option\t\t\t\t\tNo Op", 42, 1, OPEN},
        {"Option Code\t\t\t1", 42, 1, CLOSE},
        {"Option\t\t\t\t\tNo Op", 43, 1, OPEN},
        {"Option Code\t\t\t1", 43, 1, CLOSE}}},
      {"segment size of length 3: no value",
       "02 03 05 01",
       6,
       {{"Option\t\t\t\t\tMaximum Segment Size", 40, 3, OPEN},
        {"Option Code\t\t\t2", 40, 1, 0},
        {"Option Length\t\t3", 41, 1, CLOSE},
        {"Option\t\t\t\t\tNo Op", 43, 1, OPEN},
        {"Option Code\t\t\t1", 43, 1, CLOSE}}},
      {"segment size of length 6",
       "02 06 05 b4 00 00",
       7,
       {{"Option\t\t\t\t\tMaximum Segment Size", 40, 6, OPEN},
        {"Option Code\t\t\t2", 40, 1, 0},
        {"Option Length\t\t6", 41, 1, 0},
        {"Option Value\t\t1460", 42, 4, CLOSE},
        {"Option\t\t\t\t\tEnd of Options", 46, 1, OPEN},
        {"Option Length\t\t1", 46, 1, CLOSE}}},
      {"length 0 ends the walk",
       "03 00 01 01",
       6,
       {{"Option\t\t\t\t\tWindow Scale", 40, 0, OPEN},
        {"Option Code\t\t\t3", 40, 1, 0},
        {"Option Length\t\t0", 41, 1, CLOSE}}},
      {"length 1 ends the walk",
       "08 01 01 01",
       6,
       {{"Option\t\t\t\t\tTime Stamp", 40, 1, OPEN},
        {"Option Code\t\t\t8", 40, 1, 0},
        {"Option Length\t\t1", 41, 1, CLOSE}}},
      {"segment size of length 0 ends the walk",
       "02 00 05 b4",
       6,
       {{"Option\t\t\t\t\tMaximum Segment Size", 40, 0, OPEN},
        {"Option Code\t\t\t2", 40, 1, 0},
        {"Option Length\t\t0", 41, 1, CLOSE}}},
      {"named and unknown kinds",
       "10 02 0b 02 1a 02 19 02",
       7,
       {{"Option\t\t\t\t\tSkeeter", 40, 2, OPEN},
        {"Option Code\t\t\t16", 40, 1, 0},
        {"Option Length\t\t2", 41, 1, CLOSE},
        {"Option\t\t\t\t\tUnknown", 42, 2, OPEN},
        {"Option Code\t\t\t11", 42, 1, 0},
        {"Option Length\t\t2", 43, 1, CLOSE},
        {"Option\t\t\t\t\tTCP Compression Filter", 44, 2, OPEN},
        {"Option Code\t\t\t26", 44, 1, 0},
        {"Option Length\t\t2", 45, 1, CLOSE},
        {"Option\t\t\t\t\tUnknown", 46, 2, OPEN},
        {"Option Code\t\t\t25", 46, 1, 0},
        {"Option Length\t\t2", 47, 1, CLOSE}}},
      // Runs past the 24-byte header into the payload: shown, then the end.
      {"option past the header",
       "01 01 02 08",
       6,
       {{"Option\t\t\t\t\tNo Op", 40, 1, OPEN},
        {"Option Code\t\t\t1", 40, 1, CLOSE},
        {"Option\t\t\t\t\tNo Op", 41, 1, OPEN},
        {"Option Code\t\t\t1", 41, 1, CLOSE},
        {"Option\t\t\t\t\tMaximum Segment Size", 42, 8, OPEN},
        {"Option Code\t\t\t2", 42, 1, 0},
        {"Option Length\t\t8", 43, 1, 0},
        {"Option Value\t\t43707", 44, 6, CLOSE}}},
  };
  for (const Case& c : cases) {
    CorvaleHost h;
    std::vector<qvhost::FlatLine> got = OptionLines(h, Hex(c.options), kPayload, c.dataOffset);
    SCOPED_TRACE(c.name);
    ExpectLines(got, c.lines);
  }
}

// Options cut by the capture show what is there and end the walk.
TEST(IpTcp, OptionsCutShortByTheCapture) {
  const Bytes options = Hex("02 04 05 b4 03 03 02 00");
  struct Case {
    size_t captured;
    qvtest::Lines lines;
  };
  const Line mss[] = {{"Option\t\t\t\t\tMaximum Segment Size", 40, 4, OPEN},
                      {"Option Code\t\t\t2", 40, 1, 0},
                      {"Option Length\t\t4", 41, 1, 0},
                      {"Option Value\t\t1460", 42, 2, CLOSE}};
  const Case cases[] = {
      {40, {}},
      {41, {{"Option\t\t\t\t\tMaximum Segment Size", 40, 1, OPEN}, {"Option Code\t\t\t2", 40, 1, CLOSE}}},
      {42, {mss[0], mss[1], {"Option Length\t\t4", 41, 1, CLOSE}}},
      {43, {mss[0], mss[1], {"Option Length\t\t4", 41, 1, CLOSE}}},
      {44, {mss[0], mss[1], mss[2], mss[3]}},
      {45,
       {mss[0],
        mss[1],
        mss[2],
        mss[3],
        {"Option\t\t\t\t\tWindow Scale", 44, 1, OPEN},
        {"Option Code\t\t\t3", 44, 1, CLOSE}}},
      {47,
       {mss[0],
        mss[1],
        mss[2],
        mss[3],
        {"Option\t\t\t\t\tWindow Scale", 44, 3, OPEN},
        {"Option Code\t\t\t3", 44, 1, 0},
        {"Option Length\t\t3", 45, 1, CLOSE}}},
  };
  for (const Case& c : cases) {
    CorvaleHost h;
    SCOPED_TRACE(c.captured);
    ExpectLines(OptionLines(h, options, kPayload, -1, c.captured), c.lines);
    // The lines before the options are all there.
    EXPECT_EQ(h.Lines(1)[15].text, "Urgent Pointer\t\t\t7");
  }
}

// Every kind with every length byte, the area filled with the pair: the
// walk ends, no line length is negative, and the bytes past the capture
// make no difference.
TEST(IpTcp, HostileOptionsEndAndStayInsideTheCapture) {
  CorvaleHost h;
  for (int kind : {0, 1, 2, 3, 4, 5, 8, 11, 19, 26, 27, 255}) {
    for (int length = 0; length < 256; length++) {
      Bytes options;
      while (options.size() < 40) {
        options.push_back((BYTE)kind);
        options.push_back((BYTE)length);
      }
      const Bytes frame = Ip(6, Tcp(1027, 80, 0x10, options));  // ends with the header
      std::string traces[2];
      for (int stale = 0; stale < 2; stale++) {
        h.Decode("DOD-IP", Bytes(frame.size() + 300, stale ? 0xFF : 0x00), qvhost::RUN_DETAIL);
        h.ClearRecords();
        h.Decode("DOD-IP", frame, qvhost::RUN_DETAIL);
        traces[stale] = h.Trace();
        std::vector<qvhost::FlatLine> lines = h.Lines(1);
        ASSERT_LE(lines.size(), 16u + 3 * 40) << kind << "/" << length;
        for (const qvhost::FlatLine& l : lines) ASSERT_GE(l.length, 0) << kind << "/" << length << " " << l.text;
      }
      ASSERT_EQ(traces[0], traces[1]) << kind << "/" << length;
    }
  }
}

TEST(IpTcp, SummaryFlagWords) {
  struct Case {
    BYTE flags;
    const char* description;
  };
  const Case cases[] = {
      {0x18, "Ack Push "},
      {0x00, "Segment"},
      {0x02, "Syn "},
      {0x12, "Ack Syn "},
      {0x11, "Ack Fin "},
      {0x04, "Reset "},
      {0x3F, "Urgent Ack Push Reset Syn Fin "},
      {0xC0, "Segment"},  // bits above the six are not shown
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("DOD-IP", Ip(6, Tcp(1027, 3001, c.flags, {}, kPayload)), qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Protocol(), "TCP");
    EXPECT_EQ(h.Description(), c.description) << std::hex << (int)c.flags;
  }
}

TEST(IpTcp, SummaryPortsWhateverTheEnableByte) {
  CorvaleHost h;
  for (BYTE enabled : {1, 0}) {
    h.Enabled("IP-TCP") = enabled;
    h.Flags() = MT_SHOW_NETWORK_ADDRESSES | MT_SOURCE_NAMED;
    h.Decode("DOD-IP", Ip(6, Tcp(1027, 80, 0x10)), qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Destination(), "10.0.0.2:80");
    EXPECT_EQ(h.Source(), "");
    EXPECT_EQ(h.Protocol(), enabled ? "TCP" : "IP");
    EXPECT_EQ(h.Description(), enabled ? "Ack " : "Datagram");
    h.Flags() = 0;
    h.Decode("DOD-IP", Ip(6, Tcp(1027, 80, 0x10)), qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Destination(), "");
    EXPECT_EQ(h.Source(), "");
  }
}

TEST(IpTcp, PayloadGoesByDestinationThenSourcePort) {
  struct Case {
    WORD source;
    WORD destination;
    const char* to;
  };
  const Case cases[] = {{137, 1027, "A"}, {53, 137, "A"}, {1027, 53, "B"}, {1027, 1028, "default"}};
  CorvaleHost h;
  h.Bind("IP-TCP", 137, kChildA);
  h.Bind("IP-TCP", 53, kChildB);
  for (const Case& c : cases) {
    h.ClearRecords();
    h.Decode("DOD-IP", Ip(6, Tcp(c.source, c.destination, 0x18, Hex("01 01 01 01"), kPayload)));
    std::vector<HandOn> got = h.handOns;
    ASSERT_EQ(got.size(), 3u) << c.source << " -> " << c.destination;
    for (const HandOn& o : got) {
      EXPECT_EQ(o.to, c.to);
      EXPECT_EQ(o.offset, 44);  // behind the options
      EXPECT_EQ(o.frameLength, 48);
    }
    if (got[2].to != "default") {
      EXPECT_EQ(got[2].slot, 2);
    }
  }
}

// The data offset as it stands: 0 does not move past the header, so its
// bytes go to DefaultParse, never to the port's child.
TEST(IpTcp, DataOffsetMovesToThePayload) {
  for (int words : {0, 1, 5, 6}) {
    CorvaleHost h;
    h.Bind("IP-TCP", 80, kChildA);
    h.Decode("DOD-IP", Ip(6, Tcp(1027, 80, 0x18, Hex("01 01 01 01"), kPayload, words)));
    std::vector<HandOn> got = h.handOns;
    ASSERT_EQ(got.size(), 3u) << words;
    for (const HandOn& o : got) {
      EXPECT_EQ(o.to, words == 0 ? "default" : "A") << words;
      EXPECT_EQ(o.offset, 20 + words * 4) << words;
    }
  }
}

TEST(IpTcp, PureAcknowledgementReachesNoChild) {
  CorvaleHost h;
  h.Bind("IP-TCP", 80, kChildA);
  // Padded to the Ethernet minimum: the trim leaves no payload.
  Bytes frame = Ip(6, Tcp(1027, 80, 0x10));
  frame.resize(46, 0);
  h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
  h.Decode("DOD-IP", frame);
  EXPECT_TRUE(h.handOns.empty());
  EXPECT_EQ(h.Frames("TCP"), 1u);
  EXPECT_EQ(h.Bytes64("TCP"), 20u);
  EXPECT_EQ(h.Description(), "Ack ");
  EXPECT_EQ(h.Destination(), "10.0.0.2:80");
}

TEST(IpTcp, DetailStopsWhenTheHostGivesNoLineAndStillHandsOn) {
  const size_t kLines = 31;
  for (unsigned long failAt = 1; failAt <= kLines + 1; failAt++) {
    CorvaleHost h;
    h.Bind("IP-TCP", 80, kChildA);
    h.Enabled("DOD-IP") = 0;
    h.host.FailDetailLineAt(failAt, true);
    h.Decode("DOD-IP", Ip(6, Tcp(1027, 80, 0x02, kSynOptions, kPayload)), qvhost::RUN_DETAIL);
    EXPECT_EQ(h.Lines(1).size(), std::min<size_t>(failAt - 1, kLines)) << failAt;
    ASSERT_EQ(h.handOns.size(), 1u) << failAt;
    EXPECT_EQ(h.handOns[0].offset, 60);
  }
}

TEST(IpTcp, CutHeaderEndsItsLinesAndHandsNothingOn) {
  struct Case {
    size_t tcpBytes;
    const char* lastLine;
  };
  const Case cases[] = {{0, "Transmission Control Protocol"},
                        {2, "Source Port"},
                        {4, "Destination Port"},
                        {8, "Sequence Number"},
                        {12, "Ack Number"},
                        {13, "Header Size"},
                        {14, "FIN"},
                        {16, "Window Size"},
                        {18, "Checksum"}};
  for (const Case& c : cases) {
    CorvaleHost h;
    Bytes frame = Ip(6, Tcp(1027, 3001, 0x19, {}, kPayload));
    frame.resize(20 + c.tcpBytes);
    h.Decode("DOD-IP", frame, qvhost::RUN_ALL, 44);
    std::vector<qvhost::FlatLine> lines = h.Lines(1);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text.rfind(c.lastLine, 0), 0u) << c.tcpBytes << ": " << lines.back().text;
    EXPECT_EQ(lines[0].length, c.tcpBytes < 13 ? (int)c.tcpBytes : 20) << c.tcpBytes;
    EXPECT_EQ(h.Description(), c.tcpBytes < 14 ? "Segment" : "Ack Push Fin ") << c.tcpBytes;
    // Behind a 20-byte header nothing is captured, but the wire has payload.
    EXPECT_EQ(h.defaultParses.size(), c.tcpBytes >= 13 ? 3u : 0u) << c.tcpBytes;
  }
}

TEST(IpTcp, NoPassReadsPastTheCapture) {
  CorvaleHost h;
  h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
  h.Bind("IP-TCP", 80, kChildA);
  qvtest::ExpectBoundedAtEveryCut(h, "IP-TCP", Tcp(1027, 80, 0x02, kSynOptions, kPayload));
  qvtest::ExpectBoundedAtEveryCut(h, "IP-TCP", Tcp(1027, 80, 0x02, Hex("01 01 02 08 05 b4"), kPayload, 6));
}

}  // namespace
}  // namespace corvaletest
