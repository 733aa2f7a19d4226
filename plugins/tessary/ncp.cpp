// IPX-NCP: the NetWare Core Protocol header, reached from IPX (socket
// 0x0451 or any packet of type 17) and from NCP over TCP. Requests and
// replies are decoded one by one; nothing is handed on.
#include "tessary.h"

namespace tessary {

namespace {

enum : WORD {
  kCreateConnection = 0x1111,
  kRequest = 0x2222,
  kReply = 0x3333,
  kDestroyConnection = 0x5555,
  kBurst = 0x7777,
  kBeingProcessed = 0x9999,
};

constexpr qv::Name kPacketTypes[] = {
    {kCreateConnection, "Create Service Connection Request"},
    {kRequest, "File Server Request"},
    {kReply, "File Server Reply"},
    {kDestroyConnection, "Destroy Service Connection Request"},
    {kBurst, "Burst Mode"},
    {kBeingProcessed, "Positive Acknowledge"},
};
constexpr qv::NameTable kPacketTypeNames(kPacketTypes, "Unknown Packet Type");

constexpr qv::Name kConnectionStates[] = {
    {0x00, "Success"},
    {0x01, "Bad Service Connection"},
    {0x04, "No further connections available"},
    {0x10, "Service is down,"},
};
constexpr qv::NameTable kConnectionStateNames(kConnectionStates, nullptr);

constexpr qv::Name kCompletionCodes[] = {
    {0x00, "Success"},
    {0x01, "Error -- out of disk space or illegal station number or invalid parameter"},
    {0x73, "Error -- revoke handle rights not found"},
    {0x77, "Error -- insufficient buffer size"},
    {0x78, "Error -- service unavailable on this volume"},
    {0x79, "Error -- invalid start number, object type or parent object type"},
    {0x7A, "Error -- connection already temporary"},
    {0x7B, "Error -- connection already logged in"},
    {0x7C, "Error -- connection not authenticated"},
    {0x7E, "Error -- invalid length"},
    {0x7F, "Error waiting for lock"},
    {0x80, "Error -- lock failure"},
    {0x81, "Error -- out of handles"},
    {0x82, "Error -- no open privileges"},
    {0x83, "Error -- Hard I/O Error"},
    {0x84, "Error -- no create privileges"},
    {0x85, "Error -- no create or delete privileges"},
    {0x87, "Error -- creating filename"},
    {0x88, "Error -- invalid file handle"},
    {0x89, "Error -- no search privileges"},
    {0x8A, "Error -- no delete privileges"},
    {0x8B, "Error -- no rename privileges"},
    {0x8C, "Error -- no set privileges"},
    {0x8D, "Error -- some files in use"},
    {0x8E, "Error --  all files in use"},
    {0x8F, "Error -- some files read only"},
    {0x90, "Error --  all files read only"},
    {0x91, "Error --  some names already exist"},
    {0x92, "Error --  all names exist"},
    {0x93, "Error --  no read privileges"},
    {0x94, "Error -- no write privileges"},
    {0x95, "Error -- file detached"},
    {0x96, "Error -- no server memory"},
    {0x98, "Error -- disk map error or invalid volume"},
    {0x99, "Error -- directory full"},
    {0x9A, "Error -- rename across volume"},
    {0x9B, "Error -- bad directory handle or file structure not supported"},
    {0x9C, "Error -- invalid path"},
    {0x9D, "Error -- no directory handle"},
    {0x9E, "Error -- bad file name"},
    {0x9F, "Error -- directory active"},
    {0xA0, "Error -- directory not empty"},
    {0xA1, "Error -- I/O error"},
    {0xA2, "Error -- I/O lock error"},
    {0xA4, "Error -- invalid directory rename attempted"},
    {0xA8, "Error -- invalid support module id or access denied"},
    {0xBE, "Error -- invalid data stream"},
    {0xBF, "Error -- invalid name space"},
    {0xC1, "Error -- no account balance"},
    {0xC2, "Error -- credit limit exceeded"},
    {0xC5, "Error -- server login locked"},
    {0xC6, "Error -- no console rights"},
    {0xC9, "Error -- extended attribute not found"},
    {0xCA, "Error -- extended attribute invalid handle type"},
    {0xCB, "Error -- extended attribute with no key, no data"},
    {0xCE, "Error -- bad directory number"},
    {0xCF, "Error -- invalid extended attribute handle"},
    {0xD0, "Error -- queue error"},
    {0xD1, "Error -- no queue or access denied for extended attribute"},
    {0xD2, "Error -- no queue server"},
    {0xD3, "Error -- no queue rights or no volume mounted for extended attribute"},
    {0xD4, "Error -- queue full"},
    {0xD5, "Error -- no queue job"},
    {0xD6, "Error -- unencrypted password"},
    {0xD7, "Error -- account bad"},
    {0xD8, "Error -- queue not active"},
    {0xD9, "Error -- maximum logins exceeded"},
    {0xDA, "Error -- queue halted"},
    {0xDB, "Error -- maximum queue servers"},
    {0xE0, "Error -- no login connections available"},
    {0xE2, "Error -- too few fragments"},
    {0xE3, "Error -- too many fragments"},
    {0xE4, "Error -- protocol violation"},
    {0xE5, "Error -- size limit exceeded"},
    {0xE8, "Error -- writing to group"},
    {0xEA, "Error -- no such member"},
    {0xEB, "Error -- property not set correctly"},
    {0xEC, "Error -- no such set"},
    {0xEE, "Error -- object already exists"},
    {0xEF, "Error -- illegal name"},
    {0xF0, "Error -- illegal wildcard"},
    {0xF2, "Error -- no object read"},
    {0xF5, "Error -- invalid start number"},
    {0xFA, "Error -- temporary remap"},
    {0xFB, "Error -- bad directory handle"},
    {0xFC, "Error -- no such object"},
    {0xFD, "Error -- lock collision or bad station number"},
    {0xFE, "Error -- time expired or locked directory or user/trustee not found"},
    {0xFF, "Error locking/unlocking, no files found, bad parameter or failure"},
};
constexpr qv::NameTable kCompletionCodeNames(kCompletionCodes, nullptr);

void SummarizeNcp(qv::Layer& l, SummaryRow* row) {
  const qv::View& h = l.header;
  qv::SetCellText(row->protocol, "NCP");
  qv::SetCellText(row->description, "");
  WORD type;
  if (!h.Be16(0, &type)) return;
  char name[128];
  BYTE completion, status;
  switch (type) {
    case kCreateConnection:
      qv::SetCellText(row->description, "Create Service Connection Request");
      break;
    case kRequest:
      if (NcpFunctionName(h, name, sizeof name)) {
        qv::SetCellText(row->description, name);
        qv::AppendCellText(row->description, " Request");
      }
      break;
    case kReply:
      qv::SetCellText(row->description, "File Server Response = ");
      if (h.U8(6, &completion) && h.U8(7, &status))
        qv::AppendCellText(row->description, completion == 0 && status == 0 ? "Success" : "Failure");
      break;
    case kDestroyConnection:
      qv::SetCellText(row->description, "Destroy Service Connection");
      break;
    case kBurst:
      qv::SetCellText(row->description, "Burst Mode");
      break;
    case kBeingProcessed:
      qv::SetCellText(row->description, "Request Being Processed");
      break;
    default:
      qv::SetCell(row->description, "invalid packet type = %x", (unsigned)type);
      break;
  }
}

// Numeric fields of the header, each a line "label%d" (a 32-bit value
// beyond 2^31 reads negative). A field that was not captured ends the lines.
enum Width : BYTE { U8, BE16, BE32, LE32 };
struct Field {
  int at;
  Width width;
  const char* format;
};

bool AddFields(const qv::View& h, std::span<const Field> fields, qv::DetailList& list) {
  for (const Field& f : fields) {
    DWORD v = 0;
    BYTE b;
    WORD w;
    bool captured = false;
    int length = 4;
    switch (f.width) {
      case U8:
        captured = h.U8(f.at, &b);
        v = b;
        length = 1;
        break;
      case BE16:
        captured = h.Be16(f.at, &w);
        v = w;
        length = 2;
        break;
      case BE32:
        captured = h.Be32(f.at, &v);
        break;
      case LE32:
        captured = h.Le32(f.at, &v);
        break;
    }
    if (!captured) return false;
    if (!list.Add(h.Offset(f.at), length, f.format, (int)v)) return false;
  }
  return true;
}

constexpr Field kConnectionFields[] = {
    {2, U8, "Sequence Number\t\t\t%d"},
    {3, U8, "Connection Num\t\t\t\t%d"},
};
constexpr Field kRequestFields[] = {
    {2, U8, "Sequence Number\t\t\t%d"},
    {5, U8, "Connection Num High\t\t%d"},
    {3, U8, "Connection Number Low\t%d"},
    {4, U8, "Task Number\t\t\t\t\t%d"},
};
constexpr Field kReplyFields[] = {
    {2, U8, "Sequence Number\t\t\t%d"},
    {5, U8, "Connection Num High\t\t%d"},
    {3, U8, "Connection Num Low\t\t%d"},
    {4, U8, "Task Number\t\t\t\t\t%d"},
};
constexpr Field kBurstFields[] = {
    {4, LE32, "Source Connection Id\t\t%01d"},
    {8, LE32, "Destination Connection Id\t%01d"},
    {12, BE32, "Packet Sequence Number\t%01d"},
    {16, BE32, "Send Delay Time\t\t\t%01d"},
    {20, BE16, "Burst Sequence Number\t%01d"},
    {22, BE16, "Ack Sequence Number\t\t%01d"},
    {24, BE32, "Burst Length\t\t\t\t%01d"},
    {28, BE32, "Data Offset\t\t\t\t%01d"},
    {32, BE16, "Data Bytes\t\t\t\t\t%01d"},
    {34, BE16, "Missing Fragment List Count\t%01d"},
};
constexpr Field kAcknowledgeFields[] = {
    {3, U8, "Connection Number\t\t\t%d"},
    {4, U8, "Task Number\t\t\t%d"},
};

bool DetailRequest(const qv::View& h, qv::DetailList& list) {
  BYTE function, subfunction;
  WORD length;
  char name[128];
  if (!AddFields(h, kRequestFields, list) || !h.U8(6, &function)) return false;
  const int at = NcpSubfunctionAt(function);
  if (at == 0) {
    NcpFunctionName(h, name, sizeof name);
    list.Add<"Function\t\t\t\t\t\t[%01d]\t%s">(h.Offset(6), 1, function, name);
    return true;
  }
  list.Add<"Function\t\t\t\t\t\t[%01d]\tExtended Function">(h.Offset(6), 1, function);
  if (at == 9) {
    if (!h.Be16(7, &length)) return false;
    list.Add<"SubFunction Length\t\t%01d">(h.Offset(7), 2, length);
  }
  if (!h.U8(at, &subfunction)) return false;
  NcpFunctionName(h, name, sizeof name);
  list.Add<"SubFunction\t\t\t\t\t[%01d]\t%s">(h.Offset(at), 1, subfunction, name);
  return true;
}

bool DetailReply(const qv::View& h, qv::DetailList& list) {
  BYTE completion, status;
  if (!AddFields(h, kReplyFields, list) || !h.U8(6, &completion)) return false;
  char text[128];
  NcpCompletionCodeText(completion, text, sizeof text);
  list.Add<"Completion Code\t\t\t%s">(h.Offset(6), 1, text);
  if (!h.U8(7, &status)) return false;
  if (const char* name = kConnectionStateNames(status))
    qv::FormatText(text, sizeof text, "%s", name);
  else
    qv::FormatText(text, sizeof text, "Unknown connection status = %x", status);
  list.Add<"Connection Status\t\t\t%s">(h.Offset(7), 1, text);
  return true;
}

bool DetailBurst(const qv::View& h, qv::DetailList& list) {
  BYTE stream, flags;
  if (!h.U8(2, &stream)) return false;
  list.Add<"Stream type\t\t\t\t%01d">(h.Offset(2), 1, stream);
  if (!h.U8(3, &flags)) return false;
  // The later words continue the first: "Set for abort request, set for
  // end of burst, set for system packet".
  char words[96] = "";
  if (flags & 0x04) qv::AppendText(words, sizeof words, "Set for abort request");
  if (flags & 0x10) qv::AppendText(words, sizeof words, "%set for end of burst", words[0] ? ", s" : "S");
  if (flags & 0x80) qv::AppendText(words, sizeof words, "%set for system packet", words[0] ? ", s" : "S");
  list.Add<"System Flags\t\t\t\t%s">(h.Offset(3), 1, words);
  return AddFields(h, kBurstFields, list);
}

// The last line of a whole header ends the title group; a header cut by the
// capture ends its lines at the first field that is missing and leaves the
// group to the host.
void DetailNcp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  if (!list.Group<"Netware Core Protocol">(&l.protocol.titleState, o, (int)h.size())) return;
  WORD type;
  if (!h.Be16(0, &type)) return;
  list.Add<"Packet Type\t\t\t\t\t%s">(o, 2, kPacketTypeNames(type));
  bool whole = true;
  switch (type) {
    case kCreateConnection:
    case kDestroyConnection:
      whole = AddFields(h, kConnectionFields, list);
      break;
    case kRequest:
      whole = DetailRequest(h, list);
      break;
    case kReply:
      whole = DetailReply(h, list);
      break;
    case kBurst:
      whole = DetailBurst(h, list);
      break;
    case kBeingProcessed:
      whole = AddFields(h, kAcknowledgeFields, list);
      break;
    default:
      break;
  }
  if (whole) list.Close();
}

constexpr qv::Binding kBindings[] = {{"NOVELL-IPX", 0x110451}};

}  // namespace

void NcpCompletionCodeText(BYTE code, char* text, size_t size) {
  if (const char* name = kCompletionCodeNames(code))
    qv::FormatText(text, size, "%s", name);
  else
    qv::FormatText(text, size, "Unknown completion code = %x", code);
}

constexpr qv::ProtocolDecl kNcpDecl = {
    .nameId = "IPX-NCP",
    .description = "NCP",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {6, "NCP"},
    .summary = SummarizeNcp,
    .detail = DetailNcp,
    .bindings = kBindings,
};
qv::Protocol g_ncp = qv::Declare<g_ncp, kNcpDecl>();

}  // namespace tessary
