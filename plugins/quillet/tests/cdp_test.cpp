// CISCO-CDP packets decoded from offset 0: the record walk, the address
// list, the capabilities and every bound of the walk.
#include "cdp_packets.h"

namespace quillettest {
namespace {

Lines Head(int titleLength) {
  return {{"Cisco Discovery Protocol", 0, titleLength, OPEN},
          {"Version\t\t\t\t\t2", 0, 1, 0},
          {"Time To Live\t\t\t180 seconds", 1, 1, 0},
          {"CheckSum\t\t\t\t\tAB12", 2, 2, 0}};
}
Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Cdp, EveryRecordKind) {
  QuilletHost h;
  h.Decode("CISCO-CDP", FullCdpPacket());
  const std::string id = "ID\t\t\t\t\t\t" + LongId().substr(0, 120);
  ASSERT_EQ(id.size(), 128u);  // the bound of a line that quotes frame text
  ExpectLines(h.Lines(0),
              Head(294) + Lines{
                              {"Device ID", 4, 204, OPEN},
                              {"Type\t\t\t\t\tDevice ID", 4, 2, 0},
                              {"Length\t\t\t\t204", 6, 2, 0},
                              {id, 8, 200, CLOSE},
                              {"Address", 208, 17, OPEN},
                              {"Type\t\t\t\t\tAddress", 208, 2, 0},
                              {"Length\t\t\t\t17", 210, 2, 0},
                              {"Address Count\t\t1", 212, 4, 0},
                              {"Protocol", 216, 3, OPEN},
                              {"Type\t\t\t\tNLPID", 216, 1, 0},
                              {"Length\t\t\t1", 217, 1, 0},
                              {"Protocol\t\t\tCC ", 218, 1, CLOSE},
                              {"Address", 219, 6, OPEN},
                              {"Length\t\t\t4", 219, 2, 0},
                              {"Address\t\t\t192.168.0.1", 221, 4, CLOSE + 1},
                              {"Port ID", 225, 19, OPEN},
                              {"Type\t\t\t\t\tPort ID", 225, 2, 0},
                              {"Length\t\t\t\t19", 227, 2, 0},
                              {"ID\t\t\t\t\t\tFastEthernet0/1", 229, 15, CLOSE},
                              {"Capabilities", 244, 8, OPEN},
                              {"Type\t\t\t\t\tCapabilities", 244, 2, 0},
                              {"Length\t\t\t\t8", 246, 2, 0},
                              {"Capabilities", 248, 4, OPEN},
                              {"Provides L1\t\tOff\t[xxxxxxxx xxxxxxxx xxxxxxxx x0xxxxxx]", 248, 4, 0},
                              {"IGMP Not Fwd\tOn\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xx1xxxxx]", 248, 4, 0},
                              {"L3 Protocol\t\tOff\t[xxxxxxxx xxxxxxxx xxxxxxxx xxx0xxxx]", 248, 4, 0},
                              {"L2 Switch\t\tOn\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxx1xxx]", 248, 4, 0},
                              {"SR Bridge\t\tOff\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxx0xx]", 248, 4, 0},
                              {"L2 Bridge\t\tOff\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxxx0x]", 248, 4, 0},
                              {"L3 Router\t\tOn\t\t[xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxx1]", 248, 4, CLOSE + 1},
                              {"Version", 252, 12, OPEN},
                              {"Type\t\t\t\t\tVersion", 252, 2, 0},
                              {"Length\t\t\t\t12", 254, 2, 0},
                              {"Version\t\t\t\tIOS 12.1", 256, 8, CLOSE},
                              {"Platform", 264, 14, OPEN},
                              {"Type\t\t\t\t\tPlatform", 264, 2, 0},
                              {"Length\t\t\t\t14", 266, 2, 0},
                              {"Platform\t\t\t\tWS-C2950", 268, 10, CLOSE},  // up to the NUL
                              {"IP Prefix", 278, 9, OPEN},
                              {"Type\t\t\t\t\tIP Prefix", 278, 2, 0},
                              {"Length\t\t\t\t9", 280, 2, 0},
                              {"IP Prefix", 282, 5, CLOSE},
                              {"Unknown", 287, 7, OPEN},
                              {"Type\t\t\t\t\tUnknown", 287, 2, 0},
                              {"Length\t\t\t\t7", 289, 2, 0},
                              {"Unknown", 291, 3, CLOSE + 1},  // the record and the title
                          });
  EXPECT_EQ(h.Protocol(), "CDP");
  EXPECT_EQ(h.Description(), "Packet");
  EXPECT_EQ(h.Frames("CDP"), 1u);
  EXPECT_EQ(h.Bytes64("CDP"), 294u);
}

// A record that does not cover its own header ends the walk after its
// header lines; what follows is never read.
TEST(Cdp, RecordShorterThanItsHeaderEndsTheWalk) {
  for (int length : {0, 1, 3}) {
    SCOPED_TRACE(length);
    QuilletHost h;
    h.Decode("CISCO-CDP", Join({kCdpHeader, Record(1, {}, length), Record(3, Text("Fa0/1"))}));
    ExpectLines(h.Lines(0), Head(17) + Lines{
                                           {"Device ID", 4, length, OPEN},
                                           {"Type\t\t\t\t\tDevice ID", 4, 2, 0},
                                           {"Length\t\t\t\t" + std::to_string(length), 6, 2, CLOSE + 1},
                                       });
  }
}

// Values too short for their fixed words, and address entries that claim
// more than their record holds, end the record's lines at its own end; the
// next record is decoded as a record.
TEST(Cdp, ValuesAreBoundByTheirRecord) {
  const Lines kPortRecord = {
      {"Port ID", 0, 9, OPEN},  // offsets added below
      {"Type\t\t\t\t\tPort ID", 0, 2, 0},
      {"Length\t\t\t\t9", 2, 2, 0},
      {"ID\t\t\t\t\t\tFa0/1", 4, 5, CLOSE + 1},
  };
  const Bytes port = Record(3, Text("Fa0/1"));
  struct Case {
    const char* name;
    Bytes record;
    Lines lines;  // of the record, offsets from the packet
  };
  const Case cases[] = {
      {"overstated address count",
       Record(2, Hex("00 00 00 05 01 01 cc 00 04 0a 00 00 01")),
       {{"Address", 4, 17, OPEN},
        {"Type\t\t\t\t\tAddress", 4, 2, 0},
        {"Length\t\t\t\t17", 6, 2, 0},
        {"Address Count\t\t5", 8, 4, 0},
        {"Protocol", 12, 3, OPEN},
        {"Type\t\t\t\tNLPID", 12, 1, 0},
        {"Length\t\t\t1", 13, 1, 0},
        {"Protocol\t\t\tCC ", 14, 1, CLOSE},
        {"Address", 15, 6, OPEN},
        {"Length\t\t\t4", 15, 2, 0},
        {"Address\t\t\t10.0.0.1", 17, 4, CLOSE + 1}}},
      {"address longer than its record",
       Record(2, Hex("00 00 00 01 01 01 cc 00 10 0a 00 00 01")),
       {{"Address", 4, 17, OPEN},
        {"Type\t\t\t\t\tAddress", 4, 2, 0},
        {"Length\t\t\t\t17", 6, 2, 0},
        {"Address Count\t\t1", 8, 4, 0},
        {"Protocol", 12, 3, OPEN},
        {"Type\t\t\t\tNLPID", 12, 1, 0},
        {"Length\t\t\t1", 13, 1, 0},
        {"Protocol\t\t\tCC ", 14, 1, CLOSE},
        {"Address", 15, 18, OPEN},
        {"Length\t\t\t16", 15, 2, CLOSE + 1}}},
      {"protocol longer than its record",
       Record(2, Hex("00 00 00 01 02 08 aa aa 03")),
       {{"Address", 4, 13, OPEN},
        {"Type\t\t\t\t\tAddress", 4, 2, 0},
        {"Length\t\t\t\t13", 6, 2, 0},
        {"Address Count\t\t1", 8, 4, 0},
        {"Protocol", 12, 10, OPEN},
        {"Type\t\t\t\tIEEE 802.2", 12, 1, 0},
        {"Length\t\t\t8", 13, 1, CLOSE + 1}}},
      {"long protocol shows 8 bytes, unknown type",
       Record(2, Hex("00 00 00 01 07 09 01 02 03 04 05 06 07 08 09 00 00")),
       {{"Address", 4, 21, OPEN},
        {"Type\t\t\t\t\tAddress", 4, 2, 0},
        {"Length\t\t\t\t21", 6, 2, 0},
        {"Address Count\t\t1", 8, 4, 0},
        {"Protocol", 12, 11, OPEN},
        {"Type\t\t\t\tUnknown", 12, 1, 0},
        {"Length\t\t\t9", 13, 1, 0},
        {"Protocol\t\t\t01 02 03 04 05 06 07 08 ", 14, 9, CLOSE},
        {"Address", 23, 2, OPEN},
        {"Length\t\t\t0", 23, 2, 0},
        {"Address\t\t\t", 25, 0, CLOSE + 1}}},
      {"address entry cut after its protocol",
       Record(2, Hex("00 00 00 02 01 01 cc 00")),
       {{"Address", 4, 12, OPEN},
        {"Type\t\t\t\t\tAddress", 4, 2, 0},
        {"Length\t\t\t\t12", 6, 2, 0},
        {"Address Count\t\t2", 8, 4, 0},
        {"Protocol", 12, 3, OPEN},
        {"Type\t\t\t\tNLPID", 12, 1, 0},
        {"Length\t\t\t1", 13, 1, 0},
        {"Protocol\t\t\tCC ", 14, 1, CLOSE + 1}}},
      {"address count not in the record",
       Record(2, Hex("00 00")),
       {{"Address", 4, 6, OPEN}, {"Type\t\t\t\t\tAddress", 4, 2, 0}, {"Length\t\t\t\t6", 6, 2, CLOSE}}},
      {"capabilities word not in the record",
       Record(4, Hex("00 29")),
       {{"Capabilities", 4, 6, OPEN}, {"Type\t\t\t\t\tCapabilities", 4, 2, 0}, {"Length\t\t\t\t6", 6, 2, CLOSE}}},
      {"empty device id",
       Record(1, {}),
       {{"Device ID", 4, 4, OPEN},
        {"Type\t\t\t\t\tDevice ID", 4, 2, 0},
        {"Length\t\t\t\t4", 6, 2, 0},
        {"ID\t\t\t\t\t\t", 8, 0, CLOSE}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QuilletHost h;
    Bytes packet = Join({kCdpHeader, c.record, port});
    h.Decode("CISCO-CDP", packet);
    Lines want = Head((int)packet.size()) + c.lines;
    for (Line w : kPortRecord) {
      w.offset += 4 + (int)c.record.size();
      want.push_back(w);
    }
    ExpectLines(h.Lines(0), want);
  }
}

// Each address entry starts where the one before it ends and shows only its
// own fields.
TEST(Cdp, SecondAddressShowsItsOwnFields) {
  QuilletHost h;
  h.Decode("CISCO-CDP", Join({kCdpHeader, Record(2, Hex("00 00 00 02"
                                                        "01 01 cc 00 04 0a 00 00 01"
                                                        "02 08 aa aa 03 00 00 00 08 00 00 04 ac 10 05 09"))}));
  ExpectLines(h.Lines(0), Head(37) + Lines{
                                         {"Address", 4, 33, OPEN},
                                         {"Type\t\t\t\t\tAddress", 4, 2, 0},
                                         {"Length\t\t\t\t33", 6, 2, 0},
                                         {"Address Count\t\t2", 8, 4, 0},
                                         {"Protocol", 12, 3, OPEN},
                                         {"Type\t\t\t\tNLPID", 12, 1, 0},
                                         {"Length\t\t\t1", 13, 1, 0},
                                         {"Protocol\t\t\tCC ", 14, 1, CLOSE},
                                         {"Address", 15, 6, OPEN},
                                         {"Length\t\t\t4", 15, 2, 0},
                                         {"Address\t\t\t10.0.0.1", 17, 4, CLOSE},
                                         {"Protocol", 21, 10, OPEN},
                                         {"Type\t\t\t\tIEEE 802.2", 21, 1, 0},
                                         {"Length\t\t\t8", 22, 1, 0},
                                         {"Protocol\t\t\tAA AA 03 00 00 00 08 00 ", 23, 8, CLOSE},
                                         {"Address", 31, 6, OPEN},
                                         {"Length\t\t\t4", 31, 2, 0},
                                         {"Address\t\t\t172.16.5.9", 33, 4, CLOSE + 2},  // the record, the title
                                     });
}

TEST(Cdp, TruncatedCaptureShowsWhatItHas) {
  const Bytes full = FullCdpPacket();
  struct Case {
    const char* name;
    size_t cut;
    Lines records;
  };
  const std::string id = "ID\t\t\t\t\t\t" + LongId().substr(0, 42);
  const Case cases[] = {
      {"inside the device id",
       50,
       {{"Device ID", 4, 204, OPEN},
        {"Type\t\t\t\t\tDevice ID", 4, 2, 0},
        {"Length\t\t\t\t204", 6, 2, 0},
        {id, 8, 200, CLOSE + 1}}},
      {"inside the address bytes",
       223,
       {{"Device ID", 4, 204, OPEN},
        {"Type\t\t\t\t\tDevice ID", 4, 2, 0},
        {"Length\t\t\t\t204", 6, 2, 0},
        {"ID\t\t\t\t\t\t" + LongId().substr(0, 120), 8, 200, CLOSE},
        {"Address", 208, 17, OPEN},
        {"Type\t\t\t\t\tAddress", 208, 2, 0},
        {"Length\t\t\t\t17", 210, 2, 0},
        {"Address Count\t\t1", 212, 4, 0},
        {"Protocol", 216, 3, OPEN},
        {"Type\t\t\t\tNLPID", 216, 1, 0},
        {"Length\t\t\t1", 217, 1, 0},
        {"Protocol\t\t\tCC ", 218, 1, CLOSE},
        {"Address", 219, 6, OPEN},
        {"Length\t\t\t4", 219, 2, CLOSE + 2}}},
      // Fewer than 4 bytes left for the second record: the walk stops.
      {"record header cut",
       210,
       {{"Device ID", 4, 204, OPEN},
        {"Type\t\t\t\t\tDevice ID", 4, 2, 0},
        {"Length\t\t\t\t204", 6, 2, 0},
        {"ID\t\t\t\t\t\t" + LongId().substr(0, 120), 8, 200, CLOSE + 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QuilletHost h;
    h.Decode("CISCO-CDP", Bytes(full.begin(), full.begin() + (ptrdiff_t)c.cut));
    ExpectLines(h.Lines(0), Head((int)c.cut) + c.records);
  }
  QuilletHost h;
  h.Decode("CISCO-CDP", Hex("02 b4"));
  ExpectLines(h.Lines(0), {{"Cisco Discovery Protocol", 0, 2, OPEN},
                           {"Version\t\t\t\t\t2", 0, 1, 0},
                           {"Time To Live\t\t\t180 seconds", 1, 1, 0}});
}

TEST(Cdp, NothingIsReadPastTheCapture) {
  QuilletHost h;
  qvtest::ExpectBoundedAtEveryCut(h, "CISCO-CDP", FullCdpPacket());
  // Records whose declared lengths run past the capture.
  qvtest::ExpectBoundedAtEveryCut(h, "CISCO-CDP", Join({kCdpHeader, Record(2, kOneAddress, 400)}));
  qvtest::ExpectBoundedAtEveryCut(h, "CISCO-CDP", Join({kCdpHeader, Record(4, Hex("00 00 00 29"), 300)}));
}

TEST(Cdp, LinesStopWhenTheHostGivesNone) {
  QuilletHost h;
  qvtest::ExpectLineFailuresHandled(h, "CISCO-CDP", FullCdpPacket());
}

}  // namespace
}  // namespace quillettest
