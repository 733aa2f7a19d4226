// NOVELL-SAP: the IPX Service Advertising Protocol on socket 0x0452. The
// operation, the service type and, in responses, the first server entry are
// shown; nothing is handed on.
#include <string.h>

#include "tessary.h"

namespace tessary {

namespace {

const int kEntryLength = 62;  // name, network, node, socket, hop count
const int kNameLength = 48;

constexpr qv::Name kOperations[] = {
    {1, "General service request"},
    {2, "General service response"},
    {3, "Nearest service request"},
    {4, "Nearest service response"},
};
constexpr qv::NameTable kOperationNames(kOperations, "Unknown Function");

// Service types by code; several texts stand under two codes.
constexpr qv::Name kServiceTypes[] = {
    {0x0001, "User"},
    {0x0002, "User Group"},
    {0x0003, "Print Queue"},
    {0x0004, "File Server"},
    {0x0005, "Job Server"},
    {0x0006, "Gateway"},
    {0x0007, "Print Server"},
    {0x0008, "Archive Queue"},
    {0x0009, "Archive Server"},
    {0x000A, "Job Queue"},
    {0x000B, "Administration"},
    {0x000F, "Novell TI-RPC"},
    {0x0017, "Diagnostics"},
    {0x0020, "NetBIOS"},
    {0x0021, "NAS SNA Gateway"},
    {0x0023, "Asynchronous Gateway"},
    {0x0024, "Remote Bridge or Routing Service"},
    {0x0026, "Bridge Server"},
    {0x0027, "TCP/IP Gateway Server"},
    {0x0028, "Point to Point (Eicon) X.25 Bridge Server"},
    {0x0029, "Eicon 3270 Gateway"},
    {0x002C, "PC Chalkboard"},
    {0x002D, "Time Synchronization Server"},
    {0x002E, "ARCserve 5.0"},
    {0x0045, "DI3270 Gateway"},
    {0x0047, "Advertising Print Server"},
    {0x004A, "NetBlazer Modems"},
    {0x004B, "Btrieve VAP/NLM 5.0"},
    {0x004C, "Netware SQL VAP/NLM Server"},
    {0x004D, "Xtree Network Version Netware XTree"},
    {0x0050, "Btrieve VAP 4.11"},
    {0x0052, "QuickLink (Cubix)"},
    {0x0053, "Print Queue User"},
    {0x0058, "Multipoint X.25 Eicon Router"},
    {0x0064, "ARCserve"},
    {0x0066, "ARCserve 3.0"},
    {0x0072, "WAN Copy Utility"},
    {0x007A, "TES-Netware for VMS"},
    {0x0092, "WATCOM Debugger"},
    {0x0098, "Netware Access Server"},
    {0x009A, "Named Pipe Server"},
    {0x009B, "Netware Access Server"},
    {0x009E, "Portable Netware Server"},
    {0x00A1, "Powerchute APC UPS NLM"},
    {0x00AC, "Compaq IDA Status Monitor"},
    {0x0102, "LAN Protect Bindery"},
    {0x0103, "Oracle DataBase Server"},
    {0x0107, "RSPX Remote Console"},
    {0x010F, "Novell SNA Gateway"},
    {0x0111, "Test Server"},
    {0x0112, "Print Server (HP)"},
    {0x0114, "CSA MUX (f/Communications Executive)"},
    {0x0115, "CSA LCA (f/Communications Executive)"},
    {0x0116, "CSA CM  (f/Communications Executive)"},
    {0x0117, "CSA SMA (f/Communications Executive)"},
    {0x0118, "CSA DBA (f/Communications Executive)"},
    {0x0119, "CSA NMA (f/Communications Executive)"},
    {0x011A, "CSA SSA (f/Communications Executive)"},
    {0x011B, "CSA STATUS (f/Communications Executive)"},
    {0x011E, "CSA APPC (f/Communications Executive)"},
    {0x0126, "SNA TEST SSA Profile"},
    {0x012A, "CSA TRACE (f/Communications Executive)"},
    {0x012B, "Netware for SAA"},
    {0x012D, "IKARUS virus scan utility"},
    {0x0130, "Communications Executive"},
    {0x0133, "NNS Domain Server"},
    {0x0135, "Netware Naming Services Profile"},
    {0x0137, "NNS Print Queue"},
    {0x0141, "LAN Spool Server"},
    {0x0152, "IRMALAN Gateway"},
    {0x0154, "Named Pipe Server"},
    {0x0166, "NetWare Management"},
    {0x0168, "Intel PICKIT Comm Server"},
    {0x0173, "Compaq"},
    {0x0174, "Compaq SNMP Agent"},
    {0x0175, "Compaq"},
    {0x0180, "XTree Server"},
    {0x018A, "NASI services broadcast server"},
    {0x01B0, "GARP Gateway"},
    {0x01B1, "Lan Support Group"},
    {0x01BF, "Intel LanDesk Manager"},
    {0x01CB, "Shiva NetModem/E"},
    {0x01CC, "Shiva LanRover/E"},
    {0x01CD, "Shiva LanRover/T"},
    {0x01CE, "Shiva Universal"},
    {0x01D8, "Castelle FAXPress Server"},
    {0x01DA, "Castelle LANPress Print Server"},
    {0x01DC, "Castille FAX/Xerox 7033 Fax Server/Excel Lan Fax"},
    {0x0233, "Netware Management Agent"},
    {0x0237, "NMS IPX Discovery"},
    {0x0238, "NMS IP Discovery"},
    {0x023A, "LABtern"},
    {0x023F, "Novell SMDR"},
    {0x024E, "Netware Connect"},
    {0x024F, "NASI server broadcast (Cisco)"},
    {0x026A, "Network Management Service Console"},
    {0x026B, "Time Synchronization Server"},
    {0x0278, "Directory Server"},
    {0x027B, "Netware Management Agent"},
    {0x0280, "Novell File and Printer Sharing Service"},
    {0x0304, "Novell SAA Gateway"},
    {0x030A, "Galacticomm's Worldgroup Server"},
    {0x030C, "Intel Netport 2"},
    {0x0320, "Attachmate Gateway"},
    {0x0327, "Microsoft Diagnostiocs"},
    {0x0328, "WATCOM SQL server"},
    {0x0335, "MultiTech Systems Multisynch Comm Server"},
    {0x0343, "Xylogics Remote Access Server"},
    {0x0355, "Arcada Backup Exec"},
    {0x037F, "ViruSafe Notify"},
    {0x0386, "HP Bridge"},
    {0x0387, "HP Hub"},
    {0x0394, "NetWare SAA Gateway"},
    {0x039B, "Lotus Notes"},
    {0x03B7, "Certus Anti Virus NLM"},
    {0x03C4, "ARCserve 4.0 (Cheyenne)"},
    {0x03C7, "LANspool 3.5 (Intel)"},
    {0x03D7, "Lexmark printer server"},
    {0x03D8, "Lexmark XLE printer server"},
    {0x03DD, "Banyan ENS for Netware Client NLM"},
    {0x03DE, "Gupta Sequel Base Server"},
    {0x03E1, "Univel Unixware"},
    {0x03E4, "Univel Unixware"},
    {0x03FC, "Intel Netport"},
    {0x03FD, "Intel Print SErver Queue"},
    {0x0414, "NET Silicon"},
    {0x0429, "Site Lock Virus"},
    {0x0433, "Synoptics 281x Advanced SNMP Agent"},
    {0x0444, "Microsoft NT SNA Server"},
    {0x0448, "Oracle"},
    {0x044C, "ARCserve 5.01"},
    {0x0457, "Canon GP55"},
    {0x045A, "QMS Printers"},
    {0x045B, "Dell SCSI Array (DSA) Monitor"},
    {0x0491, "NetBlazer Modems"},
    {0x04AC, "On-Time Scheduler NLM"},
    {0x04B0, "CD-Net (Meridian)"},
    {0x0520, "Site Lock Checks"},
    {0x0529, "Site Lock Checks (Brightworks)"},
    {0x052D, "Citrix OS/2 App Server"},
    {0x053F, "Tektronix"},
    {0x056B, "IBM 8235 modem server"},
    {0x056C, "Shiva LanRover/E PLUS"},
    {0x056D, "Shiva LanRover/T PLUS"},
    {0x0580, "McAfee's NetShield anti-virus"},
    {0x05B8, "NLM to workstation communication"},
    {0x05BA, "Compatible Systems Routers"},
    {0x05BE, "Cheyenne Hierarchical Storage Manager"},
    {0x0606, "JCWatermark Imaging"},
    {0x060C, "AXIS Network Printer"},
    {0x0621, "IBM AntiVirus NLM"},
    {0x0640, "Microsoft Gateway Services for NetWare"},
    {0x064E, "Microsoft Internet Information Server"},
    {0x067B, "Microsoft File and Print Sharing for NetWare"},
    {0x067C, "Microsoft File and Print Sharing for NetWare"},
    {0x076C, "Xerox"},
    {0x079B, "Shiva LanRover/E 115"},
    {0x07A6, "Shiva LanRover/T 115"},
    {0x07B4, "Cubix WorldDesk"},
    {0x07C1, "Quarterdeck IWare Connect V3.x NLM"},
    {0x07C2, "Quarterdeck IWare Connect V2.x NLM"},
    {0x0824, "Shiva LanRover Access Switch/E"},
    {0x086A, "ISSC collector NLMs"},
    {0x087F, "ISSC DAS agent for AIX"},
    {0x0880, "Intel Netport PRO"},
    {0x0881, "Intel Netport PRO"},
    {0x0B29, "Site Lock"},
    {0x0C29, "Site Lock Applications"},
    {0x0C2C, "Licensing Server"},
    {0x2380, "LAI Site Lock"},
    {0x238C, "Meeting Maker"},
    {0x4808, "Site Lock Server"},
    {0x5555, "Site Lock User"},
    {0x6312, "Tapeware"},
    {0x6F00, "Rabbit Gateway (3270)"},
    {0x8002, "NetPort Printers"},
    {0x8008, "WordPerfect Network Version"},
    {0x85BE, "Cisco Enhanced Interior Routing Protocol (EIGRP)"},
    {0x8888, "WordPerfect Network Version"},
    {0x9000, "McAfee's NetShield anti-virus"},
    {0xB6A8, "Ocean Isle Reachout Remote Control"},
    {0xF11F, "Site Lock Metering VAP/NLM"},
    {0xF1FF, "Site Lock"},
    {0xF503, "Microsoft SQL Server"},
    {0xF905, "IBM Time and Place/2 application"},
    {0xFBFB, "TopCall III fax server"},
    {0xFFFF, "Any Service"},
};
constexpr qv::NameTable kServiceTypeNames(kServiceTypes, "Unknown Service Type");

bool IsResponse(WORD operation) { return operation == 2 || operation == 4; }

void SummarizeSap(qv::Layer& l, SummaryRow* row) {
  WORD operation;
  qv::SetCellText(row->protocol, "IPX SAP");
  qv::SetCellText(row->description, l.header.Be16(0, &operation) ? kOperationNames(operation) : "");
}

// The first server entry of a response, read within its own 62 bytes.
// False when a field was not captured or the host gave no line.
bool DetailServer(const qv::View& entry, qv::DetailList& list) {
  static BYTE state;
  const BYTE* name = entry.Bytes(0, kNameLength);
  if (!name) return false;
  const void* end = memchr(name, 0, kNameLength);
  const int nameLength = end ? (int)(static_cast<const BYTE*>(end) - name) : kNameLength;
  list.Group<"Server Information">(&state, entry.Offset(0), kEntryLength);
  list.Add<"Server Name\t\t\t%.*s">(entry.Offset(0), kNameLength, nameLength, reinterpret_cast<const char*>(name));
  DWORD network;
  WORD socket, hops;
  if (!entry.Be32(48, &network)) return false;
  list.Add<"Network\t\t\t\t%08x">(entry.Offset(48), 4, (unsigned)network);
  const BYTE* node = entry.Bytes(52, 6);
  if (!node) return false;
  char text[128];
  IpxNodeText(node, text, sizeof text);
  list.Add<"Node\t\t\t\t\t%s">(entry.Offset(52), 6, text);
  if (!entry.Be16(58, &socket)) return false;
  const char* socketName;
  const bool named = IpxSocketName(socket, &socketName);
  list.Add<"Socket\t\t\t\t%04x%s%s">(entry.Offset(58), 2, (unsigned)socket, named ? "\t"sv : ""sv, socketName);
  if (!entry.Be16(60, &hops)) return false;
  list.Add<"Hop Count\t\t\t%01d">(entry.Offset(60), 2, hops);
  list.Close();
  return true;
}

// The lines end at the first field that was not captured; the last line of
// a whole packet also ends the title group.
void DetailSap(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  if (!list.Group<"Novell Service Advertising Protocol">(&l.protocol.titleState, o, (int)h.size())) return;
  WORD operation, type;
  if (!h.Be16(0, &operation)) return;
  list.Add<"Function Type\t\t\t%s">(o, 2, kOperationNames(operation));
  if (!h.Be16(2, &type)) return;
  list.Add<"Service Type\t\t\t%s">(o + 2, 2, kServiceTypeNames(type));
  if (IsResponse(operation) && !DetailServer(h.Sub(4, kEntryLength), list)) return;
  list.Close();
}

constexpr qv::Binding kBindings[] = {{"NOVELL-IPX", 0x40452}, {"NOVELL-IPX", 0x452}};

}  // namespace

const char* SapServiceTypeName(WORD type) { return kServiceTypeNames(type); }

constexpr qv::ProtocolDecl kSapDecl = {
    .nameId = "NOVELL-SAP",
    .description = "IPX SAP",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "IPX SAP"},
    .summary = SummarizeSap,
    .detail = DetailSap,
    .bindings = kBindings,
};
qv::Protocol g_sap = qv::Declare<g_sap, kSapDecl>();

}  // namespace tessary
