// The SMB commands, one row each (code, name, the layout of its words and
// its decoders), the decoders of the AndX commands' own words, and the hop
// from one block of an AndX chain to the next.
#include <inttypes.h>

#include <algorithm>
#include <array>
#include <iterator>

#include "wendrick.h"

namespace wendrick {

namespace {

BYTE g_creationState, g_accessState, g_shareState, g_securityState, g_attributesState;

constexpr qv::FlagBit kCreationFlags[] = {{0x2, "OpLock\t\t\t\t"}, {0x4, "Batch OpLock\t\t"}, {0x8, "Directory\t\t\t"}};
constexpr qv::FlagBit kAccessFlags[] = {
    {0x10000, "Delete\t\t\t\t"},    {0x20000, "Read Control\t\t"}, {0x40000, "Write DAC\t\t\t"},
    {0x80000, "Write Owner\t\t\t"}, {0x100000, "Synchronize\t\t\t"}, {0x1000000, "System\t\t\t\t"},
    {0x2000000, "Maximum\t\t\t\t"}, {0x10000000, "All\t\t\t\t\t"},   {0x20000000, "Execute\t\t\t\t"},
    {0x40000000, "Write\t\t\t\t\t"}, {0x80000000, "Read\t\t\t\t\t"},
};
constexpr qv::FlagBit kAttributeFlags[] = {
    {0x1, "Read Only\t\t\t"},        {0x2, "Hidden\t\t\t\t"},          {0x4, "System\t\t\t\t"},
    {0x10, "Directory\t\t\t"},       {0x20, "Archive\t\t\t\t"},        {0x80, "Normal\t\t\t\t"},
    {0x100, "Temporary\t\t\t"},      {0x800, "Compressed\t\t\t"},      {0x10000000, "Random Access\t\t"},
    {0x20000000, "No Buffering\t\t"}, {0x80000000, "Write Thru\t\t\t"}, {0x1000000, "Posix\t\t\t\t\t"},
    {0x2000000, "Backup\t\t\t\t"},   {0x4000000, "Delete\t\t\t\t"},    {0x8000000, "Sequential\t\t\t"},
};
constexpr qv::FlagBit kShareFlags[] = {
    {0x1, "Read Share\t\t\t"}, {0x2, "Write Share\t\t\t"}, {0x4, "Delete Share\t\t"}};
constexpr qv::FlagBit kSecurityFlags[] = {{0x1, "Context\t\t\t\t"}, {0x2, "Effective\t\t\t"}};

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

void SessionSetupRequest(FieldLines& f, bool) {
  const auto& w = kSessionSetupRequest;
  f.Number<"Max Buffer Size\t\t%d">(w.maxBufferSize);
  f.Number<"Max Mpx Count\t\t\t%d">(w.maxMpxCount);
  f.Number<"VC Number\t\t\t\t%d">(w.vcNumber);
  f.Number<"Session Key\t\t\t\t%d">(w.sessionKey);
  f.Number<"Password Length\t\t%d">(w.passwordLength);
  f.Number<"Reserved\t\t\t\t\t%d">(w.reserved);
  f.Number<"Byte Count\t\t\t\t%d">(w.byteCount);
}

void NtCreateResponse(FieldLines& f, bool) {
  const auto& w = kNtCreateResponse;
  f.Number<"Oplock\t\t\t\t\t%01d">(w.oplock);
  f.Number<"FID\t\t\t\t\t\t%01d">(w.fid);
  f.Number<"Byte Count\t\t\t\t%01d">(w.byteCount);
  f.Close();
}

const char kFileNameLabel[] = "File Name\t\t\t\t";

// The file name behind the byte count: UTF-16 after one pad byte, or bytes,
// up to a NUL within its declared length, as much as the line can show.
void FileName(FieldLines& f, DWORD nameLength, bool unicode) {
  const Field field = {kNtCreateRequest.fileName.at, (int)nameLength, In::kCapture};
  const qv::View name = f.v.Sub(unicode ? field.at + 1 : field.at, nameLength);
  // A name whose first byte is not captured is not shown.
  if (nameLength > 0 && name.empty()) return;
  char text[qv::kLineTextSize];
  const int room = qv::LineRoom(kFileNameLabel);
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

// Every command with a name, in code order: its layout, and for AndX
// commands the lines of a request's and a response's own words.
constexpr SmbCommand kCommands[] = {
    {0x00, "Create Directory"},
    {0x01, "Delete Directory"},
    {0x02, "Open File"},
    {0x03, "Create file"},
    {0x04, "Close File"},
    {0x05, "Flush File"},
    {0x06, "Delete File"},
    {0x07, "Rename File"},
    {0x08, "Get File Attributes"},
    {0x09, "Set File Attributes"},
    {0x0A, "Read from File"},
    {0x0B, "Write to File"},
    {0x0C, "Lock Byte Range"},
    {0x0D, "Unlock Byte Range"},
    {0x0E, "Create Temporary File"},
    {0x0F, "Make New File"},
    {0x10, "Check Directory Path"},
    {0x11, "Process Exit"},
    {0x12, "Seek"},
    {0x13, "Lock then Read Data"},
    {0x14, "Write then Unlock Data"},
    {0x1A, "Read Block Raw"},
    {0x1B, "Read Block Multiplexed"},
    {0x1C, "Read Block Secondary Response"},
    {0x1D, "Write Block Raw"},
    {0x1E, "Write Block Multiplexed"},
    {0x1F, "Write Block Secondary Request"},
    {0x20, "Write Complete Response"},
    {0x22, "Set File Attributes Extended"},
    {0x23, "Get File Attributes Extended"},
    {0x24, "Lock/Unlock Byte Ranges and X", Words::kAndX},
    {0x25, "Transaction", Words::kTransaction},
    {0x26, "Trasaction Secondary Request/Response"},
    {0x27, "IOCTL"},
    {0x28, "IOCTL Secondary Request/Response"},
    {0x29, "Copy"},
    {0x2A, "Move"},
    {0x2B, "Echo"},
    {0x2C, "Write and Close"},
    {0x2D, "Open and X", Words::kAndX},
    {0x2E, "Read and X", Words::kAndX},
    {0x2F, "Write and X", Words::kAndX},
    {0x31, "Close and Tree Disconnect"},
    {0x32, "Transaction 2"},
    {0x33, "Transaction 2 Secondary"},
    {0x34, "Find Close"},
    {0x35, "Find Notify Close"},
    {0x70, "Tree Connect"},
    {0x71, "Tree Disconnect"},
    {0x72, "Negotiate Protocol"},
    {0x73, "Session Setup and X", Words::kAndX, SessionSetupRequest},
    {0x74, "User Log Off and X", Words::kAndX},
    {0x75, "Tree Connect and X", Words::kAndX},
    {0x80, "Get Disk Attributes"},
    {0x81, "Search Directory"},
    {0x82, "Find First"},
    {0x83, "Find Unique"},
    {0x84, "Find Close 2"},
    {0xA0, "NT Transaction"},
    {0xA1, "NT Transaction Secondary"},
    {0xA2, "NT Create and X", Words::kAndX, NtCreateRequest, NtCreateResponse},
    {0xA4, "NT Cancel"},
    {0xC0, "Open Print Spool File"},
    {0xC1, "Write to Print Spool File"},
    {0xC2, "Close Print Spool File"},
    {0xC3, "Return Print Queue"},
    {0xD0, "Send Single Block Message"},
    {0xD1, "Send Broadcast Message"},
    {0xD2, "Forward User Name"},
    {0xD3, "Cancel Forward"},
    {0xD4, "Get Machine Name"},
    {0xD5, "Send Start of Multi-Block Message"},
    {0xD6, "Send End of Multi-Block Message"},
    {0xD7, "Send Text of Multi-Block Message"},
    {0xD8, "Read Bulk"},
    {0xD9, "Write Bulk"},
    {0xDA, "Write Bulk Data"},
    {0xFF, "None"},
};
constexpr SmbCommand kUnknownCommand = {0, "Unknown Function"};  // the row of every other code

consteval bool EachCodeOnce() {
  bool seen[256] = {};
  for (const SmbCommand& c : kCommands) {
    if (seen[c.code]) return false;
    seen[c.code] = true;
  }
  return true;
}
static_assert(EachCodeOnce(), "a command code has two rows");
static_assert(std::size(kCommands) < 256);

// By code, the command's place in kCommands plus one; 0: no row.
constexpr auto kRowOfCode = [] {
  std::array<BYTE, 256> rows{};
  for (size_t i = 0; i < std::size(kCommands); i++) rows[kCommands[i].code] = (BYTE)(i + 1);
  return rows;
}();

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
    DWORD c = units.Le16Or0(at);
    if (c == 0) break;
    // A surrogate pair is one character, which Windows-1252 has not.
    if (c >= 0xD800 && c <= 0xDBFF) {
      const WORD low = units.Le16Or0(at + 2);
      if (units.Has(at + 2, 2) && low >= 0xDC00 && low <= 0xDFFF) at += 2;
      c = 0xFFFD;
    }
    out[n++] = Windows1252(c);
  }
  out[n] = 0;
  return n;
}

const SmbCommand& FindSmbCommand(BYTE code) {
  const BYTE row = kRowOfCode[code];
  return row ? kCommands[row - 1] : kUnknownCommand;
}

const char* SmbCommandName(BYTE code) { return FindSmbCommand(code).name; }

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

bool DetailAndXCommand(qv::DetailList& list, const SmbCommand& command, bool response, const ParameterBlock& block,
                       bool unicode) {
  FieldLines f(list, block);
  if (!AndXHeader(f)) return false;
  if (const WordLines own = response ? command.response : command.request) own(f, unicode);
  return true;
}

}  // namespace wendrick
