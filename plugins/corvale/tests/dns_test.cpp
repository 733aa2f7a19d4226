// IP-DNS: the summary, the header and flags, questions and resource records
// with compressed names, the length prefix over TCP, and the bounds of
// names, records and headers that lie or are cut short.
#include <string.h>

#include "netbios_frames.h"

namespace corvaletest {
namespace {

// A name in labels: "www.example.com" -> 3 www 7 example 3 com 0. A label
// written "^C0xx" is a pointer to offset xx.
Bytes Name(const std::string& dotted) {
  Bytes b;
  size_t start = 0;
  while (start < dotted.size()) {
    size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    const std::string label = dotted.substr(start, dot - start);
    if (label[0] == '^') return Cat({b, Hex(label.c_str() + 1)});
    b.push_back((BYTE)label.size());
    b.insert(b.end(), label.begin(), label.end());
    start = dot + 1;
  }
  b.push_back(0);
  return b;
}
Bytes Dns(WORD flags, WORD questions, WORD answers, const Bytes& sections, WORD authority = 0, WORD additional = 0) {
  return Cat({Word(0x1234), Word(flags), Word(questions), Word(answers), Word(authority), Word(additional), sections});
}
Bytes Question(const Bytes& name, WORD type = 1) { return Cat({name, Word(type), Word(1)}); }
Bytes Rr(const Bytes& name, WORD type, const Bytes& data, DWORD ttl = 3600) {
  return Cat({name, Word(type), Word(1), Long(ttl), Word((WORD)data.size()), data});
}

const Bytes kQuery = Dns(0x0100, 1, 0, Question(Name("www.example.com")));

qvtest::Lines Header(int title, WORD flags, int questions, int answers, int authority = 0, int additional = 0,
                     int at = 0) {
  auto on = [&](WORD bit) { return std::string((flags & bit) ? "On" : "Off"); };
  char function[64], code[64];
  snprintf(function, sizeof function, "Function Code\t\t[0x%04x]\t", flags & 0x7800);
  snprintf(code, sizeof code, "Response Code\t\t[0x%04x]\t", flags & 0x000F);
  return {
      {"Domain Name Service Protocol", at, title, OPEN},
      {"Identifier\t\t\t\t4660", at, 2, 0},
      {"Flags", at + 2, 2, OPEN},
      {"Response\t\t\t\t[0x8000]\t" + on(0x8000), at + 2, 2, 0},
      {std::string(function) + "Query", at + 2, 2, 0},
      {"Authoritative\t\t[0x0400]\t" + on(0x0400), at + 2, 2, 0},
      {"Truncation\t\t\t[0x0200]\t" + on(0x0200), at + 2, 2, 0},
      {"Recursion Desired\t[0x0100]\t" + on(0x0100), at + 2, 2, 0},
      {"Recursion Avail\t[0x0080]\t" + on(0x0080), at + 2, 2, 0},
      {std::string(code) + "Success", at + 2, 2, CLOSE},
      {"Question Count\t\t\t" + std::to_string(questions), at + 4, 2, 0},
      {"Answer Count\t\t\t" + std::to_string(answers), at + 6, 2, 0},
      {"Authority Count\t\t" + std::to_string(authority), at + 8, 2, 0},
      {"Additional Count\t\t" + std::to_string(additional), at + 10, 2, 0},
  };
}

TEST(Dns, Query) {
  CorvaleHost h;
  h.Decode("IP-DNS", kQuery);
  ExpectLines(h.Lines(0), qvtest::Join({Header(33, 0x0100, 1, 0),
                                        {
                                            {"Questions", 12, 21, OPEN},
                                            {"Query Name\t\t\twww.example.com", 12, 17, 0},
                                            {"Type\t\t\t\t\tHost Address", 29, 2, 0},
                                            {"Class\t\t\t\t\tInternet", 31, 2, CLOSE + 1},
                                        }}));
  EXPECT_EQ(h.Protocol(), "DNS");
  EXPECT_EQ(h.Description(), "Query");
  EXPECT_EQ(h.Frames("DNS"), 1u);
  EXPECT_EQ(h.Bytes64("DNS"), 33u);
}

// A response with a record of every kind the detail decodes, names
// compressed through pointers that lead back to names which themselves end
// in pointers.
Bytes FullResponse() {
  return Dns(0x8180, 1, 6,
             Cat({
                 Question(Name("www.example.com")),                              // 12
                 Rr(Name("^c00c"), 5, Name("web.^c010")),                        // 33, data at 45
                 Rr(Name("^c02d"), 1, Hex("5d b8 d8 22")),                       // 51
                 Rr(Name("^c010"), 2, Name("ns1.^c010")),                        // 67, data at 79
                 Rr(Name("^c010"), 6,                                            // 85, data at 97
                    Cat({Name("^c04f"), Name("hostmaster.^c010"), Long(2024010101), Long(7200), Long(900),
                         Long(1209600), Long(0xFFFFFFFF)})),
                 Rr(Name("_sip._tcp.^c010"), 33, Cat({Word(10), Word(20), Word(5060), Name("^c04f")})),  // 132
                 Rr(Name(""), 28, Bytes(16, 0x20)),                                                      // 162
             }));
}

TEST(Dns, ResponseWithEveryRecordKind) {
  CorvaleHost h;
  const Bytes response = FullResponse();
  ASSERT_EQ(response.size(), 189u);
  h.Decode("IP-DNS", response);
  qvtest::Lines header = Header(189, 0x8180, 1, 6);
  auto record = [](int at, int nameLength, const char* owner, const char* type, int length) {
    const int t = at + nameLength;
    return qvtest::Lines{
        {"Answer Resource Record", at, 0, OPEN},
        {std::string("Owner Name\t\t") + owner, at, nameLength, 0},
        {std::string("Type\t\t\t\t") + type, t, 2, 0},
        {"Class\t\t\t\tInternet", t + 2, 2, 0},
        {"Time To Live\t3600", t + 4, 4, 0},
        {"Length\t\t\t" + std::to_string(length), t + 8, 2, 0},
    };
  };
  ExpectLines(h.Lines(0),
              qvtest::Join({
                  header,
                  {{"Questions", 12, 177, OPEN},
                   {"Query Name\t\t\twww.example.com", 12, 17, 0},
                   {"Type\t\t\t\t\tHost Address", 29, 2, 0},
                   {"Class\t\t\t\t\tInternet", 31, 2, CLOSE},
                   {"Answers", 33, 156, OPEN}},
                  record(33, 2, "www.example.com", "Canonical Name", 6),
                  {{"Canonical Name\tweb.example.com", 45, 6, CLOSE}},
                  record(51, 2, "web.example.com", "Host Address", 4),
                  {{"Address\t\t\t93.184.216.34", 63, 4, CLOSE}},
                  record(67, 2, "example.com", "Unknown", 6),  // type 2 has no name of its own
                  {{"Name Server\t\tns1.example.com", 79, 6, CLOSE}},
                  record(85, 2, "example.com", "Start of Authority", 35),
                  {{"Server Name\t\tns1.example.com", 97, 2, 0},
                   {"MailBox Name\thostmaster.example.com", 99, 13, 0},
                   {"Serial\t\t\t2024010101", 112, 4, 0},
                   {"Refresh\t\t\t7200", 116, 4, 0},
                   {"Retry\t\t\t\t900", 120, 4, 0},
                   {"Expire\t\t\t1209600", 124, 4, 0},
                   {"Minimum\t\t\t-1", 128, 4, CLOSE}},
                  record(132, 12, "_sip._tcp.example.com", "Location of Services", 8),
                  {{"Priority\t\t\t10", 154, 2, 0},
                   {"Weight\t\t\t20", 156, 2, 0},
                   {"Port\t\t\t\t5060", 158, 2, 0},
                   {"Target Name\t\tns1.example.com", 160, 2, CLOSE}},
                  record(162, 1, "ROOT NAME", "IP6 Address", 16),
                  {{"Unknown", 173, 0, CLOSE + 2}},
              }));
  EXPECT_EQ(h.Description(), "Query Response");
}

TEST(Dns, FunctionsAndResponseCodes) {
  struct Case {
    WORD flags;
    const char* description;
    const char* function;  // the function code line behind its label
    const char* code;      // the response code line behind its label
  };
  const Case cases[] = {
      {0x0100, "Query", "[0x0000]\tQuery", "[0x0000]\tSuccess"},
      {0x0800, "Inverse Query", "[0x0800]\tInverse Query", "[0x0000]\tSuccess"},
      {0x1000, "Status", "[0x1000]\tStatus", "[0x0000]\tSuccess"},
      {0x2000, "Notify", "[0x2000]\tNotify", "[0x0000]\tSuccess"},
      {0x2800, "Update", "[0x2800]\tUpdate", "[0x0000]\tSuccess"},
      {0x1800, "Unknown", "[0x1800]\tUnknown", "[0x0000]\tSuccess"},
      {0x8180, "Query Response", "[0x0000]\tQuery", "[0x0000]\tSuccess"},
      {0x8183, "Query Response Error", "[0x0000]\tQuery", "[0x0003]\tName Error"},
      {0xA005, "Notify Response Error", "[0x2000]\tNotify", "[0x0005]\tRefused"},
      {0x800A, "Query Response Error", "[0x0000]\tQuery", "[0x000a]\tName not contained in zone"},
      {0x800B, "Query Response Error", "[0x0000]\tQuery", "[0x000b]\tUnknown"},
      {0x0003, "Query", "[0x0000]\tQuery", "[0x0003]\tName Error"},  // a code without the response bit
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("IP-DNS", Dns(c.flags, 0, 0, {}));
    EXPECT_EQ(h.Description(), c.description) << std::hex << c.flags;
    EXPECT_EQ(h.Lines(0)[4].text, std::string("Function Code\t\t") + c.function);
    EXPECT_EQ(h.Lines(0)[9].text, std::string("Response Code\t\t") + c.code);
  }
  // No sections: the count lines end the title's group.
  EXPECT_EQ(h.Lines(0).size(), 14u);
  EXPECT_EQ(h.Lines(0).back().flags, CLOSE);
}

// Every response code: the line's name, and the summary's " Error" for
// every code but 0.
TEST(Dns, ResponseCodeNames) {
  const char* const names[16] = {"Success",
                                 "Format Error",
                                 "Server Failure",
                                 "Name Error",
                                 "Not Implemented",
                                 "Refused",
                                 "Name Exists when it should not",
                                 "RR Set Exists when it should not",
                                 "RR Set that should exist does not",
                                 "Server Not Authoritative for zone",
                                 "Name not contained in zone",
                                 "Unknown",
                                 "Unknown",
                                 "Unknown",
                                 "Unknown",
                                 "Unknown"};
  CorvaleHost h;
  for (WORD code = 0; code < 16; code++) {
    h.Decode("IP-DNS", Dns((WORD)(0x8000 | code), 0, 0, {}));
    char line[64];
    snprintf(line, sizeof line, "Response Code\t\t[0x%04x]\t", code);
    EXPECT_EQ(h.Lines(0)[9].text, std::string(line) + names[code]) << code;
    EXPECT_EQ(h.Description(), code ? "Query Response Error" : "Query Response") << code;
  }
}

// The two record sections behind the answers, each under its own heading,
// which runs to the captured end; the records of every section are
// "Answer Resource Record" groups.
TEST(Dns, AuthorityAndAdditionalRecords) {
  const Bytes sections = Cat({Rr(Name("a"), 1, Hex("0a000001")),               // answer at 12
                              Rr(Name("^c00c"), 2, Name("ns.^c00c")),           // authority at 29, data at 41
                              Rr(Name("^c029"), 1, Hex("0a000003"))});          // additional at 46
  CorvaleHost h;
  h.Decode("IP-DNS", Dns(0x8180, 0, 1, sections, 1, 1));
  auto record = [](int at, int owner, const char* name, const char* type, int length) {
    const int t = at + owner;
    return qvtest::Lines{{"Answer Resource Record", at, 0, OPEN},
                         {std::string("Owner Name\t\t") + name, at, owner, 0},
                         {std::string("Type\t\t\t\t") + type, t, 2, 0},
                         {"Class\t\t\t\tInternet", t + 2, 2, 0},
                         {"Time To Live\t3600", t + 4, 4, 0},
                         {"Length\t\t\t" + std::to_string(length), t + 8, 2, 0}};
  };
  ExpectLines(LinesFrom(h.Lines(0), "Answers"),
              qvtest::Join({{{"Answers", 12, 50, OPEN}},
                            record(12, 3, "a", "Host Address", 4),
                            {{"Address\t\t\t10.0.0.1", 25, 4, CLOSE + 1}, {"Authority Records", 29, 33, OPEN}},
                            record(29, 2, "a", "Unknown", 5),
                            {{"Name Server\t\tns.a", 41, 5, CLOSE + 1}, {"Additional Records", 46, 16, OPEN}},
                            record(46, 2, "ns.a", "Host Address", 4),
                            {{"Address\t\t\t10.0.0.3", 58, 4, CLOSE + 2}}}));
  // A section whose count is 0 has no heading.
  h.Decode("IP-DNS", Dns(0x8180, 0, 0, Rr(Name("a"), 1, Hex("0a000001")), 0, 1));
  EXPECT_TRUE(LinesStarting(h.Lines(0), "Authority Records").empty());
  EXPECT_EQ(LinesStarting(h.Lines(0), "Additional Records").size(), 1u);
}

TEST(Dns, TypeAndClassNames) {
  struct Case {
    WORD type;
    WORD cls;
    const char* typeName;
    const char* className;
  };
  const Case cases[] = {
      {1, 1, "Host Address", "Internet"},         {2, 2, "Unknown", "CSNET"},
      {12, 3, "Name Pointer", "Chaos"},           {42, 4, "APL", "Hesiod"},
      {43, 5, "Unknown", "Unknown"},              {100, 254, "IANA-Reserved", "None"},
      {103, 255, "IANA-Reserved", "Any"},         {104, 0, "Unknown", "Unknown"},
      {249, 256, "Transaction Key", "Unknown"},   {255, 1, "All Records", "Internet"},
      {256, 1, "Unknown", "Internet"},            {0, 1, "Unknown", "Internet"},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("IP-DNS", Dns(0, 1, 0, Cat({Name("a"), Word(c.type), Word(c.cls)})));
    std::vector<qvhost::FlatLine> lines = LinesFrom(h.Lines(0), "Type");
    ASSERT_EQ(lines.size(), 2u) << c.type;
    EXPECT_EQ(lines[0].text, std::string("Type\t\t\t\t\t") + c.typeName) << c.type;
    EXPECT_EQ(lines[1].text, std::string("Class\t\t\t\t\t") + c.className) << c.cls;
  }
}

// Over TCP every message leads with its 2-byte length: a query to port 53
// as well as an answer from it (the segment's ports decide, as recorded by
// TCP for the frame at hand in every pass).
TEST(Dns, LengthPrefixOverTcp) {
  CorvaleHost h;
  const Bytes response = Dns(0x8180, 0, 0, {});
  h.Decode("DOD-IP", Ip(6, Tcp(53, 1027, 0x18, {}, Cat({Word(12), response}))));
  qvtest::Lines want = Header(14, 0x8180, 0, 0, 0, 0, 42);
  want[0].offset = 40;
  want.insert(want.begin() + 1, {"Length\t\t\t\t\t12", 40, 2, 0});
  want.back().flags = CLOSE;  // no sections: the title's group ends here
  ExpectLines(h.Lines(2), want);
  EXPECT_EQ(h.Description(), "Query Response");

  // A query to port 53: its length, then the message behind it, in every
  // pass (the summary reads the flags behind the length too).
  h.Decode("DOD-IP", Ip(6, Tcp(1027, 53, 0x18, {}, Cat({Word(19), Dns(0x2800, 1, 0, Question(Name("a")))}))));
  EXPECT_EQ(h.Description(), "Update");
  const std::vector<qvhost::FlatLine> query = h.Lines(2);
  ASSERT_GE(query.size(), 3u);
  ExpectLines(std::vector<qvhost::FlatLine>(query.begin(), query.begin() + 3),
              {{"Domain Name Service Protocol", 40, 21, OPEN},
               {"Length\t\t\t\t\t19", 40, 2, 0},
               {"Identifier\t\t\t\t4660", 42, 2, 0}});
  EXPECT_EQ(LinesStarting(query, "Query Name")[0].offset, 54);
  // Over UDP there is never a prefix, whatever the ports.
  h.Decode("DOD-IP", Ip(17, Udp(53, 1027, response)));
  EXPECT_EQ(h.Lines(2)[1].text, "Identifier\t\t\t\t4660");
}

// Name compression: a pointer is two bytes whose top two bits are set; it is
// followed only when it leads strictly backwards, before the labels that
// hold it, so no chain loops. A pointer that is not followed ends the name.
TEST(Dns, NamePointers) {
  struct Case {
    const char* what;
    Bytes name;  // a question's name at 12
    const char* text;
    int length;  // bytes the name takes in place
  };
  const Case cases[] = {
      {"to itself", Name("www.^c00c"), "www.", 6},
      {"forwards", Name("www.^c020"), "www.", 6},
      {"a pointer first, to itself", Name("^c00c"), "", 2},
      {"0xC1 leads past the message", Cat({Hex("c1"), Bytes(193, 'x'), Hex("00")}), "", 2},
      {"0xFF leads forwards", Name("www.^ff00"), "www.", 6},
      {"0xC0 as the last byte", Hex("03 77 77 77 c0"), "www.", 5},
      {"0xBF is a label", Cat({Hex("bf"), Bytes(191, 'x'), Hex("00")}), nullptr, 193},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes message = c.name.back() == 0xC0 ? Cat({Dns(0, 1, 0, {}), c.name}) : Dns(0, 1, 0, Question(c.name));
    h.Decode("IP-DNS", message);
    std::vector<qvhost::FlatLine> lines = LinesStarting(h.Lines(0), "Query Name");
    ASSERT_EQ(lines.size(), 1u);
    if (c.text) {
      EXPECT_EQ(lines[0].text, std::string("Query Name\t\t\t") + c.text);
    }
    EXPECT_EQ(lines[0].length, c.length);
    EXPECT_EQ(lines[0].offset, 12);
  }
  // The 191-character label: the line holds 127 characters.
  h.Decode("IP-DNS", Dns(0, 1, 0, Question(Cat({Hex("bf"), Bytes(191, 'x'), Hex("00")}))));
  EXPECT_EQ(LinesStarting(h.Lines(0), "Query Name")[0].text, "Query Name\t\t\t" + std::string(114, 'x'));
}

TEST(Dns, PointerChains) {
  CorvaleHost h;
  // A name at 12, one that points to it (21), and one that points to that
  // one, which itself ends in a pointer (29).
  h.Decode("IP-DNS", Dns(0, 3, 0, Cat({Question(Name("com")), Question(Name("b.^c00c")), Question(Name("a.^c015"))})));
  std::vector<qvhost::FlatLine> names = LinesStarting(h.Lines(0), "Query Name");
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[1].text, "Query Name\t\t\tb.com");
  EXPECT_EQ(names[2].text, "Query Name\t\t\ta.b.com");
  EXPECT_EQ(names[2].offset, 29);
  EXPECT_EQ(names[2].length, 4);

  // A name whose pointer leads forwards stops there, also when reached
  // through another name's pointer.
  h.Decode("IP-DNS", Dns(0, 2, 0, Cat({Question(Hex("01 61 c0 10")), Hex("c0 0c 00 01 00 01")})));
  names = LinesStarting(h.Lines(0), "Query Name");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].text, "Query Name\t\t\ta.");
  EXPECT_EQ(names[1].text, "Query Name\t\t\ta.");

  // Twenty names, each one label and a pointer to the one before.
  Bytes sections = Question(Name("n0"));
  int previous = 12;
  for (int i = 1; i < 20; i++) {
    const int at = 12 + (int)sections.size();
    sections = Cat({sections, Question(Cat({Hex("01"), Bytes{(BYTE)('a' + i)}, Bytes{0xC0, (BYTE)previous}}))});
    previous = at;
  }
  h.Decode("IP-DNS", Dns(0, 20, 0, sections));
  names = LinesStarting(h.Lines(0), "Query Name");
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(names[19].text, "Query Name\t\t\tt.s.r.q.p.o.n.m.l.k.j.i.h.g.f.e.d.c.b.n0");
}

// In a message longer than 255 bytes a pointer's offset takes 14 bits: the
// name at 291 is found through C1 23, and every record behind it is read
// in place.
TEST(Dns, PointersPastTheFirst256Bytes) {
  const Bytes sections = Cat({
      Question(Name("example.com")),                  // 12
      Rr(Name("^c00c"), 16, Bytes(250, 't')),         // 29
      Rr(Name("www.^c00c"), 1, Hex("0a000001")),      // 291 (0x123)
      Rr(Name("^c123"), 1, Hex("0a000002")),          // 311
      Rr(Name("^c00c"), 1, Hex("0a000003")),          // 327
  });
  CorvaleHost h;
  h.Decode("IP-DNS", Dns(0x8180, 1, 4, sections));
  const std::vector<qvhost::FlatLine> owners = LinesStarting(h.Lines(0), "Owner Name");
  ASSERT_EQ(owners.size(), 4u);
  EXPECT_EQ(owners[2].text, "Owner Name\t\twww.example.com");
  EXPECT_EQ(owners[2].offset, 311);
  EXPECT_EQ(owners[2].length, 2);
  EXPECT_EQ(owners[3].text, "Owner Name\t\texample.com");
  EXPECT_EQ(LinesStarting(h.Lines(0), "Address").size(), 3u);
  EXPECT_EQ(h.Lines(0).back().text, "Address\t\t\t10.0.0.3");
  EXPECT_EQ(h.Lines(0).back().flags, CLOSE + 2);
}

// The text of a name keeps what fits in 255 characters; the name still
// takes all its bytes, so the type and class behind it are read in place.
TEST(Dns, OverLongNameTakesItsBytes) {
  const std::string label(63, 'z');
  const Bytes name = Name(label + "." + label + "." + label + "." + label + "." + label);
  ASSERT_EQ(name.size(), 321u);
  CorvaleHost h;
  h.Decode("IP-DNS", Dns(0, 1, 1, Cat({Question(name, 28), Rr(Name("^c00c"), 1, Hex("0a 00 00 01"))})));
  std::vector<qvhost::FlatLine> lines = LinesFrom(h.Lines(0), "Query Name");
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].length, 321);
  EXPECT_EQ(lines[0].text.size(), 127u);
  EXPECT_EQ(lines[1].text, "Type\t\t\t\t\tIP6 Address");
  EXPECT_EQ(lines[1].offset, 12 + 321);
  lines = LinesFrom(h.Lines(0), "Address");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "Address\t\t\t10.0.0.1");
}

// Record data shows only what lies inside the record: a short address, and
// SOA and SRV records whose fields their length does not cover.
TEST(Dns, RecordDataStaysInsideItsRecord) {
  const Bytes soa = Cat({Name("ns.^c00c"), Name("mail.^c00c"), Long(1), Long(2), Long(3), Long(4), Long(5)});
  struct Case {
    const char* what;
    WORD type;
    Bytes data;
    qvtest::Lines lines;  // the data lines, offsets from the data
  };
  const Case cases[] = {
      {"address of 2 bytes", 1, Hex("0a 00"), {{"Unknown", 0, 0, CLOSE}}},
      {"address of 5 bytes", 1, Hex("0a 00 00 01 ff"), {{"Address\t\t\t10.0.0.1", 0, 4, CLOSE}}},
      {"empty name server", 2, {}, {{"Unknown", 0, 0, CLOSE}}},
      {"name server cut by its length", 2, Hex("05 61 62"), {{"Name Server\t\tab", 0, 3, CLOSE}}},
      {"SOA with the server name only", 6, Name("ns.^c00c"),
       {{"Server Name\t\tns.a", 0, 5, CLOSE}}},
      {"SOA with two values", 6, Bytes(soa.begin(), soa.begin() + 20),
       {{"Server Name\t\tns.a", 0, 5, 0},
        {"MailBox Name\tmail.a", 5, 7, 0},
        {"Serial\t\t\t1", 12, 4, 0},
        {"Refresh\t\t\t2", 16, 4, CLOSE}}},
      {"SOA whose last value is cut", 6, Bytes(soa.begin(), soa.end() - 1),
       {{"Server Name\t\tns.a", 0, 5, 0},
        {"MailBox Name\tmail.a", 5, 7, 0},
        {"Serial\t\t\t1", 12, 4, 0},
        {"Refresh\t\t\t2", 16, 4, 0},
        {"Retry\t\t\t\t3", 20, 4, 0},
        {"Expire\t\t\t4", 24, 4, CLOSE}}},
      {"SRV of one byte", 33, Hex("00"), {{"Unknown", 0, 0, CLOSE}}},
      {"SRV without its target", 33, Hex("00 01 00 02 00 35"),
       {{"Priority\t\t\t1", 0, 2, 0}, {"Weight\t\t\t2", 2, 2, 0}, {"Port\t\t\t\t53", 4, 2, CLOSE}}},
      {"SRV with part of a weight", 33, Hex("00 01 00"), {{"Priority\t\t\t1", 0, 2, CLOSE}}},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A record, then a second one that must be found where the first ends.
    const Bytes sections = Cat({Question(Name("a")), Rr(Name("^c00c"), c.type, c.data),
                                Rr(Name("^c00c"), 1, Hex("0a 00 00 02"))});
    h.Decode("IP-DNS", Dns(0x8180, 1, 2, sections));
    const int data = 12 + 7 + 12;
    qvtest::Lines want = c.lines;
    for (Line& w : want) w.offset += data;
    std::vector<qvhost::FlatLine> lines = h.Lines(0);
    const size_t first = 14 + 5 + 6;  // header, question, first record's own lines
    ASSERT_GT(lines.size(), first + want.size());
    ExpectLines(std::vector<qvhost::FlatLine>(lines.begin() + (ptrdiff_t)first,
                                              lines.begin() + (ptrdiff_t)(first + want.size())),
                want);
    EXPECT_EQ(lines.back().text, "Address\t\t\t10.0.0.2");
    EXPECT_EQ(lines.back().offset, data + (int)c.data.size() + 12);
  }
}

// The summary needs the flags, each header line its field; the sections
// start once the whole header is there.
TEST(Dns, HeadersCutShort) {
  CorvaleHost h;
  for (size_t cut = 0; cut <= 12; cut++) {
    SCOPED_TRACE(cut);
    h.Decode("IP-DNS", Bytes(kQuery.begin(), kQuery.begin() + (ptrdiff_t)cut), qvhost::RUN_ALL, 33);
    EXPECT_EQ(h.Protocol(), cut >= 4 ? "DNS" : "");
    const size_t lines = cut < 3 ? 0 : cut < 4 ? 2 : 10 + (cut - 4) / 2 + (cut == 12 ? 1 : 0);
    EXPECT_EQ(h.Lines(0).size(), lines);
    if (lines) {
      EXPECT_EQ(h.Lines(0)[0].length, (int)cut);
    }
    EXPECT_EQ(h.Frames("DNS"), cut + 1);
  }
  // The whole header and nothing more: the question that cannot start ends
  // the detail at its section's heading.
  ExpectLines(LinesFrom(h.Lines(0), "Additional Count\t\t0"),
              {{"Additional Count\t\t0", 10, 2, 0}, {"Questions", 12, 0, OPEN}});

  // A record that cannot start is "Incomplete"; a cut record ends the detail
  // without closing its groups.
  const Bytes answer = Dns(0x8180, 0, 2, Rr(Name("a"), 1, Hex("0a 00 00 01")));
  h.Decode("IP-DNS", answer);
  ExpectLines(LinesFrom(h.Lines(0), "Address"), {{"Address\t\t\t10.0.0.1", 25, 4, CLOSE},
                                                 {"Answer Resource Record", 29, 0, OPEN},
                                                 {"Incomplete", 29, 0, CLOSE}});
  h.Decode("IP-DNS", Bytes(answer.begin(), answer.end() - 1));
  EXPECT_EQ(h.Lines(0).back().text, "Length\t\t\t4");
  EXPECT_EQ(h.Lines(0).back().flags, 0u);
}

TEST(Dns, NothingIsReadPastTheCapture) {
  CorvaleHost h;
  for (const Bytes& message : {kQuery, FullResponse(), Dns(0, 1, 0, Question(Name("a.b.^c00c")))})
    qvtest::ExpectBoundedAtEveryCut(h, "IP-DNS", message);
  qvtest::ExpectBoundedAtEveryCut(h, "DOD-IP", Ip(6, Tcp(53, 1027, 0x18, {}, Cat({Word(189), FullResponse()}))));
}

TEST(Dns, LinesStopWhenTheHostGivesNone) {
  CorvaleHost h;
  qvtest::ExpectLineFailuresHandled(h, "IP-DNS", FullResponse());
}

}  // namespace
}  // namespace corvaletest
