// The decoders of the eight AndX commands and the hop from one block of an
// AndX chain to the next.
#include <inttypes.h>
#include <string.h>

#include <algorithm>

#include "wendrick.h"

namespace wendrick {

namespace {

BYTE g_creationState, g_accessState, g_shareState, g_securityState, g_attributesState;

constexpr Flag kCreationFlags[] = {{0x2, "OpLock\t\t\t\t"}, {0x4, "Batch OpLock\t\t"}, {0x8, "Directory\t\t\t"}};
constexpr Flag kAccessFlags[] = {
    {0x10000, "Delete\t\t\t\t"},    {0x20000, "Read Control\t\t"}, {0x40000, "Write DAC\t\t\t"},
    {0x80000, "Write Owner\t\t\t"}, {0x100000, "Synchronize\t\t\t"}, {0x1000000, "System\t\t\t\t"},
    {0x2000000, "Maximum\t\t\t\t"}, {0x10000000, "All\t\t\t\t\t"},   {0x20000000, "Execute\t\t\t\t"},
    {0x40000000, "Write\t\t\t\t\t"}, {0x80000000, "Read\t\t\t\t\t"},
};
constexpr Flag kAttributeFlags[] = {
    {0x1, "Read Only\t\t\t"},        {0x2, "Hidden\t\t\t\t"},          {0x4, "System\t\t\t\t"},
    {0x10, "Directory\t\t\t"},       {0x20, "Archive\t\t\t\t"},        {0x80, "Normal\t\t\t\t"},
    {0x100, "Temporary\t\t\t"},      {0x800, "Compressed\t\t\t"},      {0x10000000, "Random Access\t\t"},
    {0x20000000, "No Buffering\t\t"}, {0x80000000, "Write Thru\t\t\t"}, {0x1000000, "Posix\t\t\t\t\t"},
    {0x2000000, "Backup\t\t\t\t"},   {0x4000000, "Delete\t\t\t\t"},    {0x8000000, "Sequential\t\t\t"},
};
constexpr Flag kShareFlags[] = {{0x1, "Read Share\t\t\t"}, {0x2, "Write Share\t\t\t"}, {0x4, "Delete Share\t\t"}};
constexpr Flag kSecurityFlags[] = {{0x1, "Context\t\t\t\t"}, {0x2, "Effective\t\t\t"}};

bool AndXHeader(BlockLines& f) {
  const qv::View& v = f.v();
  if (f.Counted()) f.Add<"Word Count\t\t\t\t%d">(0, 1, v.U8(0));
  if (f.Word(1, 1)) f.Add<"Secondary Command\t\t%s">(1, 1, SmbCommandName(v.U8(1)));
  if (f.Word(2, 1)) f.Add<"Reserved\t\t\t\t\t%01d">(2, 1, v.U8(2));
  if (f.Word(3, 2)) f.Add<"Offset to Next\t\t\t%01d">(3, 2, v.Le16(3));
  return f.ok();
}

// Session Setup request, read in the layout of word count 10.
void SessionSetupRequest(BlockLines& f) {
  const qv::View& v = f.v();
  if (f.Word(5, 2)) f.Add<"Max Buffer Size\t\t%d">(5, 2, v.Le16(5));
  if (f.Word(7, 2)) f.Add<"Max Mpx Count\t\t\t%d">(7, 2, v.Le16(7));
  if (f.Word(9, 2)) f.Add<"VC Number\t\t\t\t%d">(9, 2, v.Le16(9));
  if (f.Word(11, 4)) f.Add<"Session Key\t\t\t\t%d">(11, 4, (int32_t)v.Le32(11));
  if (f.Word(15, 2)) f.Add<"Password Length\t\t%d">(15, 2, v.Le16(15));
  if (f.Word(17, 4)) f.Add<"Reserved\t\t\t\t\t%d">(17, 4, (int32_t)v.Le32(17));
  if (f.Tail(21, 2)) f.Add<"Byte Count\t\t\t\t%d">(21, 2, v.Le16(21));
}

void NtCreateResponse(BlockLines& f) {
  const qv::View& v = f.v();
  if (f.Word(5, 1)) f.Add<"Oplock\t\t\t\t\t%01d">(5, 1, v.U8(5));
  if (f.Word(6, 2)) f.Add<"FID\t\t\t\t\t\t%01d">(6, 2, v.Le16(6));
  if (f.Tail(69, 2)) f.Add<"Byte Count\t\t\t\t%01d">(69, 2, v.Le16(69));
  f.Close();
}

const char kFileNameLabel[] = "File Name\t\t\t\t";
const int kMaxLineText = 128;  // characters of a line that quotes frame text

// The file name behind the byte count: UTF-16 after one pad byte, or bytes,
// up to a NUL within its declared length, as much as the line can show.
void FileName(BlockLines& f, WORD nameLength, bool unicode) {
  const int at = unicode ? 52 : 51;
  const qv::View name = f.v().Sub(at, nameLength);
  // A name whose first byte is not captured is not shown.
  if (nameLength > 0 && name.empty()) return;
  char text[kMaxLineText + 1];
  const int room = kMaxLineText - (int)strlen(kFileNameLabel);
  int n;
  if (unicode) {
    n = Utf16ToWindows1252(name, text, room);
  } else {
    const int64_t end = name.Find(0, 0);
    n = (int)std::min<int64_t>(end >= 0 ? end : name.size(), room);
    name.Copy(0, n, reinterpret_cast<BYTE*>(text));
    text[n] = 0;
  }
  f.Add<"%s%.*s">(51, f.Cut(51, nameLength), kFileNameLabel, n, text);
  f.Close();
}

void NtCreateRequest(BlockLines& f, bool unicode) {
  const qv::View& v = f.v();
  if (f.Word(5, 1)) f.Add<"Reserved\t\t\t\t\t%01d">(5, 1, v.U8(5));
  if (f.Word(6, 2)) f.Add<"Name Length\t\t\t\t%01d">(6, 2, v.Le16(6));
  if (f.Word(8, 4)) f.FlagGroup(&g_creationState, 8, 4, "Creation Flags", v.Le32(8), kCreationFlags);
  if (f.Word(12, 4)) f.Add<"Root FID\t\t\t\t\t%d">(12, 4, (int32_t)v.Le32(12));
  if (f.Word(16, 4)) {
    const DWORD access = v.Le32(16);
    f.Group<"Desired Access">(&g_accessState, 16, 4);
    f.Add<"Specific Bits\t\t%04x">(16, 2, access & 0xFFFF);
    f.FlagLines(16, 4, access, kAccessFlags);
  }
  uint64_t allocation = 0;
  if (f.Word(20, 8) && v.Le64(20, &allocation)) f.Add(20, 8, "Allocation Size\t\t%" PRId64, (int64_t)allocation);
  if (f.Word(28, 4))
    f.FlagGroup(&g_attributesState, 28, 4, "Extended File Attributes", v.Le32(28), kAttributeFlags);
  if (f.Word(32, 4)) f.FlagGroup(&g_shareState, 32, 4, "Share Access", v.Le32(32), kShareFlags);
  if (f.Word(36, 4)) f.Add<"Create Disposition\t0x%08X">(36, 4, v.Le32(36));
  if (f.Word(40, 4)) f.Add<"Create Options\t\t\t0x%08X">(40, 4, v.Le32(40));
  if (f.Word(44, 4)) f.Add<"Impersonation Level\t0x%08X">(44, 4, v.Le32(44));
  if (f.Word(48, 1)) f.FlagGroup(&g_securityState, 48, 1, "Security Flags", v.U8(48), kSecurityFlags);
  if (f.Tail(49, 2)) f.Add<"Byte Count\t\t\t\t%d">(49, 2, v.Le16(49));
  if (f.ok()) FileName(f, v.Le16(6), unicode);
}

// Windows-1252 bytes 0x80 to 0x9F by the character each stands for; the
// five unassigned bytes stand for the control characters of their value.
constexpr WORD kHighCharacters[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char Windows1252(DWORD c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return (char)c;
  for (int i = 0; i < 32; i++)
    if (kHighCharacters[i] == c) return (char)(0x80 + i);
  return '?';
}

}  // namespace

int Utf16ToWindows1252(const qv::View& units, char* out, int max) {
  int n = 0;
  for (int64_t at = 0; n < max && units.Has(at, 2); at += 2) {
    DWORD c = units.Le16(at);
    if (c == 0) break;
    // A surrogate pair is one character, which Windows-1252 has not.
    if (c >= 0xD800 && c <= 0xDBFF) {
      const WORD low = units.Le16(at + 2);
      if (units.Has(at + 2, 2) && low >= 0xDC00 && low <= 0xDFFF) at += 2;
      c = 0xFFFD;
    }
    out[n++] = Windows1252(c);
  }
  out[n] = 0;
  return n;
}

bool IsAndXCommand(BYTE command) {
  switch (command) {
    case 0x24: case 0x2D: case 0x2E: case 0x2F: case 0x73: case 0x74: case 0x75: case 0xA2:
      return true;
    default:
      return false;
  }
}

AndXHop NextAndX(const ParameterBlock& b, int headerOffset, int capturedLength) {
  const AndXHop end = {0xFF, 0};
  if (!b.Word(1, 1) || !b.Word(3, 2)) return end;
  const BYTE command = b.view().U8(1);
  if (command == 0 || command == 0xFF) return end;
  const int target = headerOffset + b.view().Le16(3);
  // Only forward, past this block's words and byte count, and to a block
  // whose word count was captured: no hop can revisit a block or leave the
  // capture.
  if (target < b.Offset(b.WordsEnd() + 2) || target >= capturedLength) return end;
  return {command, target};
}

bool DetailAndXHeader(qv::DetailList& list, const ParameterBlock& block) {
  BlockLines f(list, block);
  return AndXHeader(f);
}

bool DetailAndXCommand(qv::DetailList& list, BYTE command, bool response, const ParameterBlock& block, bool unicode) {
  BlockLines f(list, block);
  if (!AndXHeader(f)) return false;
  if (command == 0x73 && !response)
    SessionSetupRequest(f);
  else if (command == 0xA2)
    response ? NtCreateResponse(f) : NtCreateRequest(f, unicode);
  return true;
}

}  // namespace wendrick
