// IP-SNMP: the summary's checks of the outer structure, the BER walk of the
// detail with every decoder, both PDU layouts, BER lengths in both forms,
// and lengths, tags and texts that would carry a decoder too far.
#include <functional>

#include "corvale_host.h"

namespace corvaletest {
namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A BER item with its length in the short form, or in the long form of one
// or two bytes.
Bytes Ber(BYTE tag, const Bytes& contents) {
  const size_t n = contents.size();
  if (n < 0x80) return Cat({{tag, (BYTE)n}, contents});
  if (n < 0x100) return Cat({{tag, 0x81, (BYTE)n}, contents});
  return Cat({{tag, 0x82, (BYTE)(n >> 8), (BYTE)n}, contents});
}

const Bytes kSysDescr = Hex("2b 06 01 02 01 01 01 00");

// A version 2c message to community "public": identifier 0x1234, no error.
Bytes Message(BYTE pdu, const Bytes& bindings, const Bytes& version = Hex("01")) {
  return Ber(0x30, Cat({Ber(0x02, version), Ber(0x04, Text("public")),
                        Ber(pdu, Cat({Ber(0x02, Hex("12 34")), Ber(0x02, Hex("00")), Ber(0x02, Hex("00")),
                                      Ber(0x30, bindings)}))}));
}
Bytes Binding(const Bytes& value, const Bytes& name = Ber(0x06, kSysDescr)) { return Ber(0x30, Cat({name, value})); }

// The lines of one item: the label line with its value, the type group,
// the length line and the value line.
Lines Item(const std::string& label, int at, int field, int contents, const char* type, const std::string& value,
           const std::string& valueLine) {
  return {{label + value, at, 1 + field + contents, 0},
          {std::string("ASN Type\t\t\t\t") + type, at, 1, OPEN},
          {"Length\t\t\t\t" + std::to_string(contents), at + 1, field, 0},
          {valueLine, at + 1 + field, contents, CLOSE}};
}
Lines Sequence(int at, int field, int contents) {
  return {{"Sequence Header\t\t", at, 1 + field, 0},
          {"ASN Type\t\t\t\tSequence", at, 1, OPEN},
          {"Length\t\t\t\t" + std::to_string(contents), at + 1, field, CLOSE}};
}

TEST(Snmp, GetRequest) {
  const Bytes message = Message(0xA0, Binding(Ber(0x05, {})));
  ASSERT_EQ(message.size(), 41u);
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(17, Udp(1027, 161, message)));
  EXPECT_EQ(h.Protocol(), "SNMP");
  EXPECT_EQ(h.Description(), "Get");
  EXPECT_EQ(h.Frames("SNMP"), 1u);
  EXPECT_EQ(h.Bytes64("SNMP"), 41u);
  Lines want = Join({
      {{"Simple Network Management Protocol", 0, 41, OPEN}},
      Sequence(0, 1, 39),
      Item("Version\t\t\t\t\t", 2, 1, 1, "Integer", "1\tVersion 2", "Value\t\t\t\t\t1"),
      Item("Community\t\t\t\t", 5, 1, 6, "Octet string", "public", "Value\t\t\t\t\tpublic"),
      {{"PDU-type\t\t\t\t\tGet Request", 13, 1, 0}, {"Length\t\t\t\t\t26", 14, 1, 0}},
      Item("Identifier\t\t\t\t", 15, 1, 2, "Integer", "4660", "Value\t\t\t\t\t4660"),
      Item("Error Code\t\t\t\t", 19, 1, 1, "Integer", "0\tNo Error", "Value\t\t\t\t\t0"),
      Item("Error Offset\t\t\t", 22, 1, 1, "Integer", "0", "Value\t\t\t\t\t0"),
      Sequence(25, 1, 14),
      Sequence(27, 1, 12),
      Item("Variable\t\t\t\t\t", 29, 1, 8, "Object Identifier", "1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.1.0"),
      {{"Value\t\t\t\t\t\t(Null)", 39, 2, 0}, {"ASN Type\t\t\t\tNone", 39, 1, OPEN}, {"Length\t\t\t\t0", 40, 1, CLOSE}},
  });
  for (qvtest::Line& l : want) l.offset += 28;
  ExpectLines(h.Lines(2), want);
  // Bound under 162 too, not under TCP.
  h.Decode("DOD-IP", Ip(17, Udp(1027, 162, message)));
  EXPECT_EQ(h.Frames("SNMP"), 2u);
  h.Decode("DOD-IP", Ip(6, Tcp(1027, 161, 0x18, {}, message)));
  EXPECT_EQ(h.Frames("SNMP"), 2u);
}

TEST(Snmp, Summary) {
  const Bytes get = Message(0xA0, Binding(Ber(0x05, {})));
  auto with = [](Bytes b, size_t at, BYTE value) {
    b[at] = value;
    return b;
  };
  auto cut = [](Bytes b, size_t n) {
    b.resize(n);
    return b;
  };
  // A response of more than 255 bytes: its lengths take two bytes.
  const Bytes large = Message(0xA2, Binding(Ber(0x04, Bytes(300, 'x'))));
  struct Case {
    const char* name;
    Bytes message;
    const char* description;
  };
  const Case cases[] = {
      {"get", get, "Get"},
      {"not a sequence", with(get, 0, 0x31), "Badly formed packet"},
      {"sequence of length 0", with(get, 1, 0), "Packet - invalid packet length"},
      {"long-form length of 0", Cat({Hex("30 81 00"), Bytes(get.begin() + 2, get.end())}), "Packet - invalid packet length"},
      {"length of five bytes", Cat({Hex("30 85 00 00 00 00 27"), Bytes(get.begin() + 2, get.end())}),
       "Packet - invalid packet length"},
      {"long form of two bytes", large, "Response"},
      {"version not an integer", with(get, 2, 0x04), "Badly formed packet"},
      {"version 2", Message(0xA0, {}, Hex("02")), "Packet - invalid version identifier"},
      {"version of five bytes", Message(0xA0, {}, Hex("01 00 00 00 00")), "Packet - invalid version identifier"},
      {"version 1 in five bytes", Message(0xA0, {}, Hex("00 00 00 00 01")), "Get"},
      {"version of no bytes", Message(0xA0, {}, {}), "Get"},
      {"community not a string", with(get, 5, 0x02), "Badly formed packet"},
      {"get next", with(get, 13, 0xA1), "Get Next"},
      {"set", with(get, 13, 0xA3), "Set"},
      {"trap", with(get, 13, 0xA4), "Trap (V1)"},
      {"get bulk", with(get, 13, 0xA5), "Get Bulk"},
      {"inform", with(get, 13, 0xA6), "Inform"},
      {"trap 2", with(get, 13, 0xA7), "Trap (V2)"},
      {"type 8", with(get, 13, 0xA8), "Unknown PDU"},
      {"type 31", with(get, 13, 0xBF), "Unknown PDU"},
      {"PDU tag 0x20", with(get, 13, 0x20), "Get - badly formed PDU Type"},
      {"PDU tag 0x62", with(get, 13, 0x62), "Response - badly formed PDU Type"},
      // Cut before the byte that decides: nothing to say.
      {"cut before the PDU", cut(get, 13), ""},
      {"cut in the community", cut(get, 9), ""},
      {"cut in the length", Hex("30 82 01"), ""},
      {"nothing", {}, ""},
  };
  for (const Case& c : cases) {
    CorvaleHost h;
    h.Decode("IP-SNMP", c.message);
    EXPECT_EQ(h.Protocol(), "SNMP") << c.name;
    EXPECT_EQ(h.Description(), c.description) << c.name;
  }
}

// The value of a response's one binding, by the decoder its tag picks.
TEST(Snmp, Values) {
  const std::string label = "Value\t\t\t\t\t\t";
  const std::string a113(113, 'a');
  struct Case {
    const char* name;
    Bytes value;
    std::string labelLine;
    std::string lastLine;  // empty: the type and length lines at most follow the label line
    bool ends = false;     // the detail ends at this item, its groups open
  };
  const Case cases[] = {
      {"integer", Ber(0x02, Hex("ff")), "255", "Value\t\t\t\t\t255"},
      {"integer of five bytes", Ber(0x02, Hex("00 00 00 01 00")), "256", "Value\t\t\t\t\t256"},
      {"integer too large", Ber(0x02, Hex("01 00 00 00 00")), "Invalid Range", "", true},
      {"integer of no bytes", Ber(0x02, {}), "0", "Value\t\t\t\t\t0"},
      {"string", Ber(0x04, Text("Linux box")), "Linux box", "Value\t\t\t\t\tLinux box"},
      {"string up to its zero byte", Ber(0x04, Hex("61 62 00 63")), "ab", "Value\t\t\t\t\tab"},
      {"long string", Ber(0x04, Bytes(150, 'a')), a113 + "...", "Value\t\t\t\t\t" + a113 + "..."},
      {"null", Ber(0x05, {}), "(Null)", "Length\t\t\t\t0"},
      {"null with a length", Hex("05 01"), "(Null)", "Length\t\t\t\tError"},
      {"object identifier", Ber(0x06, Hex("2b 06 01 02 01")), "1.3.6.1.2.1", "1.3.6.1.2.1"},
      {"object identifier of one byte", Ber(0x06, Hex("2b")), "1.3", "1.3"},
      {"object identifier not 1.3", Ber(0x06, Hex("2c 06")), "Badly Formed", "Invalid first byte", true},
      {"empty object identifier", Ber(0x06, {}), "Badly Formed", "Invalid first byte", true},
      {"sequence", Ber(0x30, {}), "", "Length\t\t\t\t0"},
      {"ip address", Ber(0x40, Hex("c0 a8 00 01")), "192.168.0.1", "IP Address\t\t\t192.168.0.1"},
      {"ip address of five bytes", Ber(0x40, Hex("c0 a8 00 01 02")), "Invalid Range", "", true},
      {"counter", Ber(0x41, Hex("01 00 00 00")), "16777216", "Value\t\t\t\t\t16777216"},
      {"gauge", Ber(0x42, Hex("ff ff ff ff")), "4294967295", "Value\t\t\t\t\t4294967295"},
      {"time ticks", Ber(0x43, Hex("01 02")), "258", "Value\t\t\t\t\t258"},
      {"time ticks of five bytes", Ber(0x43, Hex("00 00 00 01 02")), "Invalid Range", "", true},
      {"counter64", Ber(0x46, Hex("00 00 00 07")), "7", "Value\t\t\t\t\t7"},
      {"counter64 of eight bytes", Ber(0x46, Hex("00 00 00 00 00 00 00 07")), "Invalid Range", "", true},
      {"unsigned", Ber(0x47, Hex("2a")), "42", "Value\t\t\t\t\t42"},
      {"opaque", Ber(0x44, Hex("01 02")), "", "", true},
      {"unknown type", Ber(0x80, {}), "Unknown Type", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CorvaleHost h;
    h.Decode("IP-SNMP", Message(0xA2, Binding(c.value)));
    EXPECT_EQ(h.Description(), "Response");
    const auto lines = LinesFrom(h.Lines(0), label);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text, label + c.labelLine);
    EXPECT_EQ(lines[0].length, c.ends ? 1 : (int)c.value.size());
    if (c.lastLine.empty()) {
      EXPECT_LE(lines.size(), 3u) << lines.back().text;
    } else {
      EXPECT_EQ(lines.back().text, c.lastLine);
      EXPECT_EQ(lines.back().flags, c.ends ? 0u : CLOSE);
    }
    for (const auto& l : lines) EXPECT_LE(l.text.size(), 128u);
  }
}

// A bit string is not decoded; the walk goes on with the next binding.
TEST(Snmp, BitStringIsSkipped) {
  const Bytes bits = Ber(0x03, Hex("00 ff"));
  CorvaleHost h;
  h.Decode("IP-SNMP", Message(0xA2, Cat({Binding(bits), Binding(Ber(0x02, Hex("05")))})));
  const auto values = LinesStarting(h.Lines(0), "Value\t\t\t\t\t\t");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].text, "Value\t\t\t\t\t\t");
  EXPECT_EQ(values[0].length, 4);
  EXPECT_EQ(values[1].text, "Value\t\t\t\t\t\t5");
  EXPECT_EQ(LinesStarting(h.Lines(0), "Variable").size(), 2u);
}

// Values whose items hold more than the walk takes from them: a sequence
// gives only its header, so the walk goes on into its contents, and a null
// takes two bytes whatever its length says. The next binding's header is
// read from there.
TEST(Snmp, WalkBehindSequenceAndNullValues) {
  const Bytes next = Binding(Ber(0x02, Hex("05")));
  struct Case {
    const char* name;
    Bytes value;       // of the first binding
    size_t values;     // "Value" label lines
    std::string last;  // the detail's last line
  };
  const Case cases[] = {
      {"empty sequence", Ber(0x30, {}), 2, "Value\t\t\t\t\t5"},
      {"sequence with contents", Ber(0x30, Ber(0x02, Hex("07"))), 1, "Sequence Header\t\tInvalid Type"},
      {"null of length 1 without its byte", Hex("05 01"), 2, "Value\t\t\t\t\t5"},
      {"null of length 1 with its byte", Hex("05 01 00"), 1, "Sequence Header\t\tInvalid Type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CorvaleHost h;
    h.Decode("IP-SNMP", Message(0xA2, Cat({Binding(c.value), next})));
    const auto lines = h.Lines(0);
    EXPECT_EQ(LinesStarting(lines, "Value\t\t\t\t\t\t").size(), c.values);
    EXPECT_EQ(lines.back().text, c.last);
    if (c.values == 2) {
      EXPECT_EQ(LinesStarting(lines, "Value\t\t\t\t\t\t5").size(), 1u);
    }
  }
}

// Every error status and generic trap name, and the texts past the last.
TEST(Snmp, ErrorAndTrapNames) {
  const char* const errors[] = {"No Error",
                                "Too Big",
                                "No Such Name",
                                "Bad Value",
                                "Read Only",
                                "Undefined Error",
                                "No Access",
                                "Wrong Type",
                                "Wrong Length",
                                "Wrong Encoding",
                                "Wrong Value",
                                "No Creation",
                                "Inconsistent Value",
                                "Resource Unavailable",
                                "Commit Failed",
                                "Undo Failed",
                                "Authorization Error",
                                "Not Writable",
                                "Inconsistent Name",
                                "Unknown Error Code"};
  CorvaleHost h;
  for (BYTE code = 0; code < 20; code++) {
    h.Decode("IP-SNMP", Ber(0x30, Cat({Ber(0x02, Hex("01")), Ber(0x04, Text("public")),
                                       Ber(0xA2, Cat({Ber(0x02, Hex("12 34")), Ber(0x02, {code}),
                                                      Ber(0x02, Hex("00")), Ber(0x30, {})}))})));
    EXPECT_EQ(LinesStarting(h.Lines(0), "Error Code")[0].text,
              "Error Code\t\t\t\t" + std::to_string(code) + "\t" + errors[code]);
  }
  const char* const traps[] = {"Cold Start",  "Warm Start", "Link Down",           "Link Up",
                               "Authentication Failure", "EGP Neighbor Loss", "Enterprise Specific", "Unknown"};
  for (BYTE type = 0; type < 8; type++) {
    h.Decode("IP-SNMP", Ber(0x30, Cat({Ber(0x02, Hex("00")), Ber(0x04, Text("public")),
                                       Ber(0xA4, Cat({Ber(0x06, Hex("2b 06 01 04 01")), Ber(0x40, Hex("c0 a8 00 01")),
                                                      Ber(0x02, {type}), Ber(0x02, Hex("00")), Ber(0x43, Hex("01")),
                                                      Ber(0x30, {})}))})));
    EXPECT_EQ(LinesStarting(h.Lines(0), "Trap Type")[0].text,
              "Trap Type\t\t\t\t" + std::to_string(type) + "\t" + traps[type]);
  }
}

// An object identifier prints up to four characters a byte: its text stops
// before the line's bound, with "..." where it was cut.
TEST(Snmp, ObjectIdentifierTextsStayWithinTheLine) {
  for (size_t n : {20, 29, 30, 31, 32, 40, 100, 119, 126}) {
    SCOPED_TRACE(n);
    Bytes oid = Cat({Hex("2b"), Bytes(n - 1, 0xFF)});
    CorvaleHost h;
    h.Decode("IP-SNMP", Message(0xA2, Binding(Ber(0x05, {}), Ber(0x06, oid))));
    const auto variable = LinesStarting(h.Lines(0), "Variable");
    ASSERT_EQ(variable.size(), 1u);
    const std::string& text = variable[0].text;
    EXPECT_LE(text.size(), 128u);
    const std::string full = "Variable\t\t\t\t\t1.3" + [&] {
      std::string s;
      for (size_t i = 1; i < n; i++) s += ".255";
      return s;
    }();
    if (full.size() <= 128) {
      EXPECT_EQ(text, full);
    } else {
      EXPECT_EQ(text.substr(text.size() - 3), "...");
      EXPECT_EQ(full.compare(0, text.size() - 3, text, 0, text.size() - 3), 0) << text;
      EXPECT_GT(text.size(), 124u);
    }
    // The walk goes on behind it.
    EXPECT_EQ(LinesStarting(h.Lines(0), "Value\t\t\t\t\t\t(Null)").size(), 1u);
  }
  // A variable whose tag carries class bits is decoded, marked.
  CorvaleHost h;
  h.Decode("IP-SNMP", Message(0xA0, Binding(Ber(0x05, {}), Ber(0x46, Hex("2b 06 01")))));
  EXPECT_EQ(LinesStarting(h.Lines(0), "Variable")[0].text, "Variable\t\t\t\t\tInvalid Attributes - 1.3.6.1");
}

// The detail names the PDU from its own list; only the eight known types
// are decoded further, whatever the tag's class bits say.
TEST(Snmp, DetailPduNames) {
  struct Case {
    BYTE tag;
    const char* line;
    bool decoded;
  };
  const Case cases[] = {
      {0xA0, "Get Request", true},
      {0xA1, "Get Next Request", true},
      {0xA2, "Response", true},
      {0xA3, "Set Request", true},
      {0xA5, "Get Bulk", true},
      {0xA6, "Inform", true},
      {0xA7, "Trap", true},
      {0xA8, "Unknown", false},
      {0xBF, "Unknown", false},
      {0x20, "Get Request - badly formed PDU Type", true},
      {0xE3, "Set Request - badly formed PDU Type", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    CorvaleHost h;
    h.Decode("IP-SNMP", Message(c.tag, Binding(Ber(0x05, {}))));
    const auto lines = LinesFrom(h.Lines(0), "PDU-type");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, std::string("PDU-type\t\t\t\t\t") + c.line);
    EXPECT_EQ(lines[1].text, "Length\t\t\t\t\t26");
    EXPECT_EQ(LinesStarting(lines, "Identifier\t\t\t\t4660").size(), c.decoded ? 1u : 0u);
    EXPECT_EQ(LinesStarting(lines, "Value\t\t\t\t\t\t(Null)").size(), c.decoded ? 1u : 0u);
    if (!c.decoded) {
      EXPECT_EQ(lines.size(), 2u);
    }
  }
}

// Long object identifiers under every label that takes one, the longest
// label among them (a tag with class bits) included: both the label line
// and the value line stop within the line's bound, cut with "...", and the
// walk goes on behind the item.
TEST(Snmp, LongObjectIdentifiersUnderEveryLabel) {
  auto trap = [](const Bytes& enterprise) {
    return Ber(0x30, Cat({Ber(0x02, Hex("00")), Ber(0x04, Text("public")),
                          Ber(0xA4, Cat({enterprise, Ber(0x40, Hex("c0 a8 00 01")), Ber(0x02, Hex("06")),
                                         Ber(0x02, Hex("01")), Ber(0x43, Hex("01 00")), Ber(0x30, {})}))}));
  };
  struct Case {
    const char* label;
    std::function<Bytes(const Bytes&)> message;
    const char* prefix;  // of the label line's value
    const char* next;    // a line of the item behind
  };
  const Case cases[] = {
      {"Variable\t\t\t\t\t", [](const Bytes& oid) { return Message(0xA2, Binding(Ber(0x05, {}), Ber(0x06, oid))); },
       "1.3.", "Value\t\t\t\t\t\t(Null)"},
      {"Variable\t\t\t\t\t", [](const Bytes& oid) { return Message(0xA2, Binding(Ber(0x05, {}), Ber(0xC6, oid))); },
       "Invalid Attributes - 1.3.", "Value\t\t\t\t\t\t(Null)"},
      {"Value\t\t\t\t\t\t", [](const Bytes& oid) { return Message(0xA2, Cat({Binding(Ber(0x06, oid)), Binding(Ber(0x05, {}))})); },
       "1.3.", "Value\t\t\t\t\t\t(Null)"},
      {"Enterprise\t\t\t\t", [&](const Bytes& oid) { return trap(Ber(0x06, oid)); }, "1.3.", "Agent Address\t\t\t192.168.0.1"},
  };
  for (const Case& c : cases) {
    for (size_t n : {40, 126, 127, 300}) {
      SCOPED_TRACE(std::string(c.prefix) + " " + std::to_string(n));
      const Bytes oid = Cat({Hex("2b"), Bytes(n - 1, 0x80)});
      CorvaleHost h;
      h.Decode("IP-SNMP", c.message(oid));
      const auto lines = LinesFrom(h.Lines(0), std::string(c.label) + c.prefix);
      ASSERT_GE(lines.size(), 4u);
      EXPECT_GT(lines[0].text.size(), 122u) << "room left on the label line: " << lines[0].text;
      for (const auto& l : {lines[0], lines[3]}) {
        EXPECT_LE(l.text.size(), 128u) << l.text;
        EXPECT_EQ(l.text.substr(l.text.size() - 4), "8...") << l.text;
      }
      EXPECT_EQ(lines[3].text.rfind("1.3.128.128.", 0), 0u);
      EXPECT_EQ(lines[3].length, (int)n);
      EXPECT_EQ(LinesStarting(lines, c.next).size(), 1u);
    }
  }
}

TEST(Snmp, VersionChecks) {
  struct Case {
    Bytes version;
    const char* label;
    const char* length;
  };
  const Case cases[] = {
      {Hex("00"), "Version\t\t\t\t\t0\tVersion 1", "Length\t\t\t\t1"},
      {Hex("03"), "Version\t\t\t\t\t3\tUnknown", "Length\t\t\t\t1"},
      {{}, "Version\t\t\t\t\t - invalid length", "Invalid Length"},
      {Hex("00 00 00 00 01"), "Version\t\t\t\t\tInvalid Range", "Length\t\t\t\t5"},
  };
  for (const Case& c : cases) {
    CorvaleHost h;
    h.Decode("IP-SNMP", Message(0xA0, {}, c.version));
    const auto lines = LinesFrom(h.Lines(0), "Version");
    ASSERT_GE(lines.size(), 3u) << c.label;
    EXPECT_EQ(lines[0].text, c.label);
    EXPECT_EQ(lines[2].text, c.length);
    // Only a good version goes on to the community.
    EXPECT_EQ(LinesStarting(lines, "Community").size(), c.version.size() == 1 ? 1u : 0u) << c.label;
  }
}

TEST(Snmp, Version1Trap) {
  const Bytes trap = Ber(0x30, Cat({Ber(0x02, Hex("00")), Ber(0x04, Text("public")),
                                    Ber(0xA4, Cat({Ber(0x06, Hex("2b 06 01 04 01 09 01 01")), Ber(0x40, Hex("c0 a8 00 01")),
                                                   Ber(0x02, Hex("06")), Ber(0x02, Hex("01")), Ber(0x43, Hex("01 00")),
                                                   Ber(0x30, Binding(Ber(0x02, Hex("07"))))}))}));
  CorvaleHost h;
  h.Decode("IP-SNMP", trap);
  EXPECT_EQ(h.Description(), "Trap (V1)");
  const auto lines = h.Lines(0);
  std::vector<std::string> labels;
  for (const auto& l : lines)
    if (l.text.rfind("ASN Type", 0) != 0 && l.text.rfind("Length\t\t\t\t", 0) != 0 && l.text.rfind("Value\t\t\t\t\t", 0) != 0 &&
        l.text.rfind("1.3", 0) != 0 && l.text.rfind("IP Address", 0) != 0)
      labels.push_back(l.text);
  EXPECT_EQ(labels, (std::vector<std::string>{"Simple Network Management Protocol", "Sequence Header\t\t",
                                              "Version\t\t\t\t\t0\tVersion 1", "Community\t\t\t\tpublic",
                                              "PDU-type\t\t\t\t\tVersion 1 Trap", "Enterprise\t\t\t\t1.3.6.1.4.1.9.1.1",
                                              "Agent Address\t\t\t192.168.0.1", "Trap Type\t\t\t\t6\tEnterprise Specific",
                                              "Specific Trap\t\t\t1", "Time Stamp\t\t\t\t256", "Sequence Header\t\t",
                                              "Sequence Header\t\t", "Variable\t\t\t\t\t1.3.6.1.2.1.1.1.0"}));
  EXPECT_EQ(LinesStarting(lines, "IP Address\t\t\t192.168.0.1").size(), 1u);
  EXPECT_EQ(lines.back().text, "Value\t\t\t\t\t7");
  EXPECT_EQ(LinesStarting(lines, "Value\t\t\t\t\t\t7").size(), 1u);
}

// Lengths in the long form are read whole, the PDU length line's too; a
// message of 256 bytes and more is decoded to its end.
TEST(Snmp, LongFormLengths) {
  const Bytes large = Message(0xA2, Binding(Ber(0x04, Bytes(300, 'x'))));
  ASSERT_EQ(large.size(), 351u);
  CorvaleHost h;
  h.Decode("IP-SNMP", large);
  const auto lines = h.Lines(0);
  EXPECT_EQ(LinesStarting(lines, "Sequence Header")[0].length, 4);
  const auto pdu = LinesFrom(lines, "PDU-type");
  ASSERT_GE(pdu.size(), 2u);
  EXPECT_EQ(pdu[1].text, "Length\t\t\t\t\t332");
  EXPECT_EQ(pdu[1].offset, 16);
  EXPECT_EQ(pdu[1].length, 3);
  const auto value = LinesFrom(lines, "Value\t\t\t\t\t\t");
  ASSERT_EQ(value.size(), 4u);
  EXPECT_EQ(value[0].length, 304);
  EXPECT_EQ(value[2].text, "Length\t\t\t\t300");
  EXPECT_EQ(value[2].length, 3);
  EXPECT_EQ(value[3].offset, 351 - 300);
}

// Lengths that cannot be taken, contents past the capture, and positions
// that would go back: the detail ends at the item, and no byte is read
// twice.
TEST(Snmp, LengthsThatCannotBeTaken) {
  struct Case {
    const char* name;
    Bytes value;
    const char* lastLine;
  };
  const Case cases[] = {
      {"length of 2^31", Hex("04 84 80 00 00 00 61 62"), "Length\t\t\t\t2147483648"},
      {"length of 2^32 - 1", Hex("04 84 ff ff ff ff 61 62"), "Length\t\t\t\t4294967295"},
      {"five length bytes", Hex("04 85 00 00 00 00 02 61 62"), "Invalid Length"},
      {"indefinite length byte", Hex("30 80"), "Length\t\t\t\t0"},
      {"contents past the capture", Hex("04 10 61 62"), "Length\t\t\t\t16"},
      {"length bytes past the capture", Hex("04 83 00 01"), "ASN Type\t\t\t\tOctet string"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The value is the last thing in the message.
    const Bytes message = Cat({Hex("30 82 01 00 02 01 01 04 06"), Text("public"),
                               Hex("a2 82 00 f0 02 01 01 02 01 00 02 01 00 30 82 00 e0 30 82 00 e0 06 03 2b 06 01"),
                               c.value});
    CorvaleHost h;
    h.Decode("IP-SNMP", message);
    const auto lines = h.Lines(0);
    EXPECT_EQ(lines.back().text, c.lastLine);
    EXPECT_EQ(LinesStarting(lines, "Variable").size(), 1u);
    EXPECT_EQ(LinesStarting(lines, "Value\t\t\t\t\t\t").size(), 1u);
    for (const auto& l : lines) EXPECT_LE(l.offset + l.length, (int)message.size()) << l.text;
  }
  // The PDU's own length of five bytes.
  CorvaleHost h;
  h.Decode("IP-SNMP", Cat({Hex("30 20 02 01 01 04 06"), Text("public"), Hex("a0 85 00 00 00 00 10 02 01 01")}));
  EXPECT_EQ(h.Lines(0).back().text, "Invalid Length");
  EXPECT_EQ(h.Lines(0).back().offset, 14);
}

TEST(Snmp, BoundedAndLineFailures) {
  const Bytes messages[] = {
      Message(0xA0, Cat({Binding(Ber(0x05, {})), Binding(Ber(0x04, Text("a string"))), Binding(Ber(0x40, Hex("0a000001"))),
                         Binding(Ber(0x03, Hex("00 ff"))), Binding(Ber(0x43, Hex("01 02 03")))})),
      Message(0xA2, Binding(Ber(0x04, Bytes(140, 'x')))),
      Ber(0x30, Cat({Ber(0x02, Hex("00")), Ber(0x04, Text("public")),
                     Ber(0xA4, Cat({Ber(0x06, Hex("2b 06 01 04 01 09")), Ber(0x40, Hex("c0 a8 00 01")), Ber(0x02, Hex("06")),
                                    Ber(0x02, Hex("01")), Ber(0x43, Hex("01 00")), Ber(0x30, Binding(Ber(0x02, Hex("07"))))}))})),
  };
  for (const Bytes& message : messages) {
    CorvaleHost h;
    qvtest::ExpectBoundedAtEveryCut(h, "IP-SNMP", message, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, "IP-SNMP", message);
  }
}

}  // namespace
}  // namespace corvaletest
