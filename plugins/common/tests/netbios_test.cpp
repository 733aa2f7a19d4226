// NetBIOS name fields decoded inside a message: inline names, pointers, the
// cut at blanks, suffix texts and fields that are cut short or lie.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netbios.h"
#include "services.h"

namespace {

typedef std::vector<BYTE> Bytes;

// A 34-byte inline field: length byte 0x20, 16 characters (name padded with
// blanks, then the suffix) in first-level encoding.
Bytes Field(const std::string& name, BYTE suffix, BYTE length = 0x20) {
  std::string sixteen = name;
  sixteen.resize(15, ' ');
  sixteen += (char)suffix;
  Bytes b = {length};
  for (unsigned char c : sixteen) {
    b.push_back((BYTE)('A' + (c >> 4)));
    b.push_back((BYTE)('A' + (c & 0x0F)));
  }
  b.push_back(0);
  return b;
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Decoded {
  int64_t end;
  qv::NetBiosName name;
};
Decoded Decode(const Bytes& message, int64_t field) {
  Decoded d;
  d.end = qv::DecodeNetBiosName(qv::View::Over(message.data(), (int64_t)message.size()), field, &d.name);
  return d;
}

TEST(NetBiosName, SuffixTexts) {
  struct Case {
    BYTE suffix;
    const char* text;
  };
  const Case cases[] = {
      {0x00, ".[Workstation Service]"},
      {0x1D, ".[Master Browser]"},
      {0x20, ".[File Server Service]"},
      {0x44, ".[SMS Administrators Remote Control Tool]"},
      {0x52, ".[DEC Pathworks TCPIP Service]"},
      {0xBF, ".[Network Monitor Application]"},
      {0x02, ".[Unknown Suffix]"},
      {0x99, ".[Unknown Suffix]"},
      {0xFF, ".[Unknown Suffix]"},
  };
  for (const Case& c : cases) EXPECT_STREQ(qv::NetBiosSuffixText(c.suffix), c.text) << (int)c.suffix;
}

TEST(NetBiosName, InlineNames) {
  struct Case {
    const char* what;
    Bytes field;
    const char* text;
    BYTE suffix;
    bool plain;
  };
  Bytes lower = Field("PC1", 0x00);
  lower[1] = 'e';  // ('e' - 'A') << 4 keeps its low byte: '@'
  const Case cases[] = {
      {"file server", Field("SERVER", 0x20), "SERVER.[File Server Service]", 0x20, true},
      {"inner blank ends the name", Field("MY PC", 0x00), "MY.[Workstation Service]", 0x00, true},
      {"leading blanks stay", Field("  AB", 0x03), "  AB.[Messenger Service]", 0x03, true},
      {"fifteen characters", Field("ABCDEFGHIJKLMNO", 0x1C), "ABCDEFGHIJKLMNO.[Domain Controller]", 0x1C, true},
      {"unknown suffix", Field("X", 0x99), "X.[Unknown Suffix]", 0x99, true},
      {"longest suffix text", Field("ABCDEFGHIJKLMNO", 0x44),
       "ABCDEFGHIJKLMNO.[SMS Administrators Remote Control Tool]", 0x44, true},
      {"a NUL ends the text", Field(std::string("AB\0CD", 5), 0x20), "AB.[File Server Service]", 0x20, true},
      {"characters outside A..P", lower, "@C1.[Workstation Service]", 0x00, false},
      // 0x3F characters: 31 pairs, of which 16 are read.
      {"long length byte", Field("NAME", 0x20, 0x3F), "NAME.[File Server Service]", 0x20, true},
      {"length byte counts its low six bits", Field("NAME", 0x20, 0x60), "NAME.[File Server Service]", 0x20, true},
      // Four pairs: "NAM" and the suffix 'E'.
      {"short length byte", Field("NAME", 0x20, 0x08), "NAM.[SMS Clients Remote Chat]", 'E', true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded d = Decode(Bytes{1, 2, 3} + c.field, 3);
    EXPECT_EQ(d.end, 3 + 34);
    EXPECT_EQ(d.name.used, 34);
    EXPECT_STREQ(d.name.text, c.text);
    EXPECT_EQ(d.name.suffix, c.suffix);
    EXPECT_EQ(d.name.plain, c.plain);
  }
}

TEST(NetBiosName, NamesWithoutCharacters) {
  for (BYTE length : {0x00, 0x01, 0x40, 0xBF - 0x3E}) {
    SCOPED_TRACE(length);
    Bytes field = Field("PC", 0x20);
    field[0] = length;
    const Decoded d = Decode(field, 0);
    EXPECT_EQ(d.end, 34);
    EXPECT_STREQ(d.name.text, "");
    EXPECT_FALSE(d.name.plain);
  }
}

// A pointer's one byte counts from the message start; it must lead strictly
// backwards, to characters that are all captured.
TEST(NetBiosName, Pointers) {
  const Bytes message = Bytes(12, 0) + Field("PC1", 0x00);  // the name at 12, pointers behind it at 46
  struct Case {
    const char* what;
    Bytes pointer;
    const char* text;
  };
  const Case cases[] = {
      {"to the name at 12", {0xC0, 12}, "PC1.[Workstation Service]"},
      {"any byte from 0xC0 on", {0xFF, 12}, "PC1.[Workstation Service]"},
      {"only the second byte counts", {0xC1, 12}, "PC1.[Workstation Service]"},
      {"to itself", {0xC0, 46}, ""},
      {"forwards", {0xC0, 47}, ""},
      {"to a name without characters", {0xC0, 0}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded d = Decode(message + c.pointer, 46);
    EXPECT_EQ(d.end, 48);
    EXPECT_EQ(d.name.used, 2);
    EXPECT_STREQ(d.name.text, c.text);
    EXPECT_EQ(d.name.plain, c.text[0] != 0);
  }
  // A backward pointer to a length byte whose characters run past the
  // capture shows no name.
  Bytes cut = message + Bytes{0xC0, 44};
  cut[44] = 0x20;
  const Decoded d = Decode(cut, 46);
  EXPECT_EQ(d.end, 48);
  EXPECT_STREQ(d.name.text, "");
}

TEST(NetBiosName, FieldsCutShortAreNotDecoded) {
  const Bytes field = Field("SERVER", 0x20);
  for (size_t cut = 0; cut < field.size() - 1; cut++) {
    const Decoded d = Decode(Bytes(field.begin(), field.begin() + (ptrdiff_t)cut), 0);
    EXPECT_EQ(d.end, -1) << cut;
    EXPECT_STREQ(d.name.text, "");
  }
  EXPECT_EQ(Decode(Bytes{0, 0, 0xC0}, 2).end, -1);
  EXPECT_EQ(Decode(Field("SERVER", 0x20), -1).end, -1);
}

// What the name table is asked to learn, through its AddName slot.
struct Learnt {
  std::string name;
  Bytes address;
  int value;
};
std::vector<Learnt> g_learnt;
void* QV_CALL RecordAddName(const char* name, const BYTE* address, int length, int value) {
  g_learnt.push_back({name, Bytes(address, address + length), value});
  return nullptr;
}

// The rule every NetBIOS decoder learns by: a name only for a media source
// that is the station's own, and only a name without control characters.
TEST(NetBiosName, LearntOnlyWhereTheSourceIsTheStationAndTheNamePrintable) {
  struct Case {
    const char* what;
    const char* name;
    DWORD flags;
    int captured;
    bool learnt;
  };
  const Case cases[] = {
      {"a plain name", "PC1", 0, 14, true},
      {"an inner blank", "MY PC", 0, 14, true},
      {"a letter above 0x7F", "CAF\xc9", 0, 14, true},
      {"the source captured and no more", "PC1", 0, 12, true},
      {"a TAB", "PC\t1", 0, 14, false},
      {"0x01", "\x01PC", 0, 14, false},
      {"0x1F", "PC\x1f", 0, 14, false},
      {"DEL", "PC\x7f", 0, 14, false},
      {"an empty name", "", 0, 14, false},
      {"a frame that came through 802.11", "PC1", FRAME_WIRELESS_MEDIA, 14, false},
      {"a datagram that crossed a router", "PC1", FRAME_ROUTED, 14, false},
      {"the source cut by the capture", "PC1", 0, 11, false},
  };
  const Bytes header = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29, 0x08, 0x00};
  alignas(CaptureFrame) BYTE storage[sizeof(CaptureFrame) + 14];
  CaptureFrame* frame = reinterpret_cast<CaptureFrame*>(storage);
  qv::g_svc.AddName = RecordAddName;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    memset(storage, 0, sizeof storage);
    memcpy(frame->data, header.data(), header.size());
    frame->flags = c.flags;
    frame->frameLength = frame->capturedLength = c.captured;
    g_learnt.clear();
    qv::LearnNetBiosName(frame, c.name);
    if (!c.learnt) {
      EXPECT_TRUE(g_learnt.empty());
      continue;
    }
    ASSERT_EQ(g_learnt.size(), 1u);
    EXPECT_EQ(g_learnt[0].name, c.name);
    EXPECT_EQ(g_learnt[0].address, Bytes(header.begin() + 6, header.begin() + 12));
    EXPECT_EQ(g_learnt[0].value, 0);
  }
  // Without a name table nothing is called.
  qv::g_svc.AddName = nullptr;
  qv::LearnNetBiosName(frame, "PC1");
}

}  // namespace
