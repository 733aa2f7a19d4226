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

// Every AndX block begins so, from its word count.
constexpr struct {
  Field command{1, 1};  // the secondary command
  Field reserved{2, 1};
  Field offset{3, 2};  // of the next block, from the SMB header's first byte
} kAndX{};

// Session Setup and X request, in the layout of word count 10.
constexpr struct {
  Field maxBufferSize{5, 2};
  Field maxMpxCount{7, 2};
  Field vcNumber{9, 2};
  Field sessionKey{11, 4};
  Field passwordLength{15, 2};
  Field reserved{17, 4};
  Field byteCount{21, 2, In::kByteCount};
} kSessionSetupRequest{};

// NT Create and X request, word count 24.
constexpr struct {
  Field reserved{5, 1};
  Field nameLength{6, 2};
  Field creationFlags{8, 4};
  Field rootFid{12, 4};
  Field desiredAccess{16, 4};
  Field specificBits{16, 2};  // the low half of the desired access
  Field allocationSize{20, 8};
  Field extFileAttributes{28, 4};
  Field shareAccess{32, 4};
  Field createDisposition{36, 4};
  Field createOptions{40, 4};
  Field impersonationLevel{44, 4};
  Field securityFlags{48, 1};
  Field byteCount{49, 2, In::kByteCount};
  Field fileName{51, 0, In::kCapture};  // name length bytes; in Unicode a pad byte first
} kNtCreateRequest{};

// NT Create and X response, word count 34.
constexpr struct {
  Field oplock{5, 1};
  Field fid{6, 2};
  Field byteCount{69, 2, In::kByteCount};
} kNtCreateResponse{};

bool AndXHeader(FieldLines& f) {
  f.Number<"Word Count\t\t\t\t%d">(ParameterBlock::kWordCount);
  DWORD command;
  if (f.Read(kAndX.command, &command)) f.Add<"Secondary Command\t\t%s">(kAndX.command, SmbCommandName((BYTE)command));
  f.Number<"Reserved\t\t\t\t\t%01d">(kAndX.reserved);
  f.Number<"Offset to Next\t\t\t%01d">(kAndX.offset);
  return f.ok();
}

void SessionSetupRequest(FieldLines& f) {
  const auto& w = kSessionSetupRequest;
  f.Number<"Max Buffer Size\t\t%d">(w.maxBufferSize);
  f.Number<"Max Mpx Count\t\t\t%d">(w.maxMpxCount);
  f.Number<"VC Number\t\t\t\t%d">(w.vcNumber);
  f.Number<"Session Key\t\t\t\t%d">(w.sessionKey);
  f.Number<"Password Length\t\t%d">(w.passwordLength);
  f.Number<"Reserved\t\t\t\t\t%d">(w.reserved);
  f.Number<"Byte Count\t\t\t\t%d">(w.byteCount);
}

void NtCreateResponse(FieldLines& f) {
  const auto& w = kNtCreateResponse;
  f.Number<"Oplock\t\t\t\t\t%01d">(w.oplock);
  f.Number<"FID\t\t\t\t\t\t%01d">(w.fid);
  f.Number<"Byte Count\t\t\t\t%01d">(w.byteCount);
  f.Close();
}

const char kFileNameLabel[] = "File Name\t\t\t\t";
const int kMaxLineText = 128;  // characters of a line that quotes frame text

// The file name behind the byte count: UTF-16 after one pad byte, or bytes,
// up to a NUL within its declared length, as much as the line can show.
void FileName(FieldLines& f, DWORD nameLength, bool unicode) {
  const Field field = {kNtCreateRequest.fileName.at, (int)nameLength, In::kCapture};
  const qv::View name = f.v().Sub(unicode ? field.at + 1 : field.at, nameLength);
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
  f.Add<"%s%.*s">(f.Cut(field), kFileNameLabel, n, text);
  f.Close();
}

void NtCreateRequest(FieldLines& f, bool unicode) {
  const auto& w = kNtCreateRequest;
  f.Number<"Reserved\t\t\t\t\t%01d">(w.reserved);
  DWORD nameLength = 0;
  if (f.Read(w.nameLength, &nameLength)) f.Add<"Name Length\t\t\t\t%01d">(w.nameLength, nameLength);
  f.FlagGroup(&g_creationState, w.creationFlags, "Creation Flags", kCreationFlags);
  f.Number<"Root FID\t\t\t\t\t%d">(w.rootFid);
  DWORD access;
  if (f.Read(w.desiredAccess, &access)) {
    f.Group<"Desired Access">(&g_accessState, w.desiredAccess);
    f.Add<"Specific Bits\t\t%04x">(w.specificBits, access & 0xFFFF);
    f.FlagLines(w.desiredAccess, access, kAccessFlags);
  }
  uint64_t allocation;
  if (f.Read(w.allocationSize, &allocation))
    f.Add(w.allocationSize, "Allocation Size\t\t%" PRId64, (int64_t)allocation);
  f.FlagGroup(&g_attributesState, w.extFileAttributes, "Extended File Attributes", kAttributeFlags);
  f.FlagGroup(&g_shareState, w.shareAccess, "Share Access", kShareFlags);
  f.Number<"Create Disposition\t0x%08X">(w.createDisposition);
  f.Number<"Create Options\t\t\t0x%08X">(w.createOptions);
  f.Number<"Impersonation Level\t0x%08X">(w.impersonationLevel);
  f.FlagGroup(&g_securityState, w.securityFlags, "Security Flags", kSecurityFlags);
  f.Number<"Byte Count\t\t\t\t%d">(w.byteCount);
  if (f.ok()) FileName(f, nameLength, unicode);
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
  DWORD command, offset;
  if (!b.Read(kAndX.command, &command) || !b.Read(kAndX.offset, &offset)) return end;
  if (command == 0 || command == 0xFF) return end;
  const int target = headerOffset + (int)offset;
  // Only forward, past this block's words and byte count, and to a block
  // whose word count was captured: no hop can revisit a block or leave the
  // capture.
  if (target < b.Offset(b.WordsEnd() + 2) || target >= capturedLength) return end;
  return {(BYTE)command, target};
}

bool DetailAndXHeader(qv::DetailList& list, const ParameterBlock& block) {
  FieldLines f(list, block);
  return AndXHeader(f);
}

bool DetailAndXCommand(qv::DetailList& list, BYTE command, bool response, const ParameterBlock& block, bool unicode) {
  FieldLines f(list, block);
  if (!AndXHeader(f)) return false;
  if (command == 0x73 && !response)
    SessionSetupRequest(f);
  else if (command == 0xA2)
    response ? NtCreateResponse(f) : NtCreateRequest(f, unicode);
  return true;
}

}  // namespace wendrick
