// IP-OSPF: Open Shortest Path First (version 2) over IP protocol 89. The
// common header, then the Hello fields, the Database Description fields or
// link state advertisements with the bodies of the five LSA types. A leaf.
//
// Every field is shown only when it was captured. A header or body cut
// short ends the detail where it is, its groups left open; every LSA is
// read within its own length and the capture.
#include <inttypes.h>

#include "corvale.h"

namespace corvale {

namespace {

const int kHeader = 24;
const int kLsaHeader = 20;
const int kHelloNeighbors = 44;

BYTE g_lsaState, g_routerTosState, g_summaryTosState, g_asbrTosState, g_externalTosState;

constexpr qv::Name kPacketTypes[] = {
    {1, "Hello"},
    {2, "Database Description"},
    {3, "Link State Request"},
    {4, "Link State Update"},
    {5, "Link State Acknowledgment"},
};
constexpr qv::NameTable kPacketTypeNames(kPacketTypes, "Unknown");

constexpr qv::Name kLsaTypes[] = {
    {1, "Router-LSA"}, {2, "Network-LSA"}, {3, "IP Summary-LSA"}, {4, "ASBR Summary-LSA"}, {5, "AS External-LSA"},
};
constexpr qv::NameTable kLsaTypeNames(kLsaTypes, "Unknown-LSA");

constexpr qv::Name kLinkTypes[] = {{1, "PPP"}, {2, "Transit"}, {3, "Stub"}, {4, "Virtaul"}};
constexpr qv::NameTable kLinkTypeNames(kLinkTypes, "Unknown");

// One record's fields: each line only when its field lies inside the
// record; the first that does not (or a line the host does not give) makes
// every later call fail too.
struct Fields {
  qv::DetailList& list;
  const qv::View& v;
  bool ok = true;

  // A big-endian number of 1, 2 or 4 bytes; format takes it as an int.
  bool Number(int64_t at, int size, const char* format) {
    DWORD value = 0;
    if (ok && v.Has(at, size)) {
      for (int i = 0; i < size; i++) value = (value << 8) | v.U8(at + i);
      ok = list.Add(v.Offset(at), size, format, value) != nullptr;
    } else {
      ok = false;
    }
    return ok;
  }
  bool Text(int64_t at, int size, const char* label, const char* text) {
    ok = ok && v.Has(at, size) && list.Add<"%s%s">(v.Offset(at), size, label, text);
    return ok;
  }
  bool Address(int64_t at, const char* label) {
    const BYTE* address = ok ? v.Bytes(at, 4) : nullptr;
    char text[32];
    if (address) DottedAddress(address, text);
    return Text(at, 4, label, address ? text : "");
  }
};

bool Header(Fields& f) {
  const qv::View& v = f.v;
  f.Number(0, 1, "Version\t\t\t\t\t%d");
  f.Text(1, 1, "Type\t\t\t\t\t\t", kPacketTypeNames(v.U8(1)));
  f.Number(2, 2, "Length\t\t\t\t\t%d");
  f.Address(4, "Router ID\t\t\t\t");
  f.Address(8, "Area ID\t\t\t\t\t");
  f.Number(12, 2, "Check Sum\t\t\t\t%04x");
  f.Number(14, 2, "Authentication Type\t%04x");
  uint64_t authentication;
  f.ok = f.ok && v.Be64(16, &authentication) &&
         f.list.Add(v.Offset(16), 8, "Authentication Info\t%" PRIu64, authentication);
  return f.ok;
}

bool Hello(Fields& f) {
  f.Address(24, "Network Mask\t\t\t");
  f.Number(28, 2, "Hello Interval\t\t\t%d");
  f.Number(30, 1, "Options\t\t\t\t\t%d");
  f.Number(31, 1, "Router Priority\t\t%d");
  f.Number(32, 4, "Router Dead Interval\t%d");
  f.Address(36, "Designated Router\t\t");
  f.Address(40, "Backup Router\t\t\t");
  // As many neighbours as the packet length holds, and no more than were
  // captured.
  const int64_t declared = ((int64_t)f.v.Be16(2) - kHelloNeighbors) / 4;
  const int64_t captured = (f.v.size() - kHelloNeighbors) / 4;
  for (int64_t i = 0; f.ok && i < declared && i < captured; i++)
    f.Address(kHelloNeighbors + 4 * i, "Neighbor\t\t\t\t\t");
  return f.ok;
}

// Type-of-service entries of an LSA body from `at`; an entry starts only
// while bytes of the LSA are left.
bool TosEntries(Fields& f, int64_t at, int64_t count, BYTE* state) {
  for (int64_t i = 0; f.ok && i < count && at < f.v.size(); i++, at += 4) {
    f.list.Group<"Type of Service">(state, f.v.Offset(at), (int)f.v.Sub(at, 4).size());
    f.Number(at, 1, "TOS\t\t\t\t%d");
    // The reserved byte is shown multiplied by 256.
    f.ok = f.ok && f.v.Has(at + 1, 1) && f.list.Add<"Reserved\t\t\t%d">(f.v.Offset(at + 1), 1, f.v.U8(at + 1) * 256);
    f.Number(at + 2, 2, "TOS Metric\t\t%d");
    if (f.ok) f.list.Close();
  }
  return f.ok;
}

int64_t TosCount(WORD lsaLength, int fixed) { return lsaLength > fixed ? (lsaLength - fixed) / 4 : 0; }

bool RouterLsa(Fields& f) {
  f.Number(20, 2, "Flags\t\t\t\t\t%d");
  f.Number(22, 2, "Links\t\t\t\t\t%d");
  const WORD links = f.v.Be16(22);
  int64_t k = 24;
  for (WORD i = 0; f.ok && i < links; i++) {
    f.Address(k, "Link ID\t\t\t\t");
    f.Address(k + 4, "Link Data\t\t\t");
    f.Text(k + 8, 1, "Link Type\t\t\t", kLinkTypeNames(f.v.U8(k + 8)));
    f.Number(k + 9, 1, "Number of TOS\t\t%d");
    f.Number(k + 10, 2, "Metric\t\t\t\t%d");
    const BYTE tos = f.v.U8(k + 9);
    TosEntries(f, k + 12, tos, &g_routerTosState);
    k += 12 + 4 * tos;
  }
  return f.ok;
}

// The routers the LSA length declares, no more than were captured.
bool NetworkLsa(Fields& f, WORD lsaLength) {
  f.Address(20, "Network Mask\t\t");
  const int64_t declared = lsaLength > 24 ? (lsaLength - 24) / 4 : 0;
  for (int64_t i = 0; f.ok && i < declared && f.v.Has(24 + 4 * i, 4); i++)
    f.Address(24 + 4 * i, "Router ID\t\t\t");
  return f.ok;
}

bool SummaryLsa(Fields& f, WORD lsaLength) {
  f.Address(20, "Network Mask\t\t");
  f.Number(24, 4, "Metric\t\t\t\t%d");
  return TosEntries(f, 28, TosCount(lsaLength, 28), &g_summaryTosState);
}

bool AsbrSummaryLsa(Fields& f, WORD lsaLength) {
  f.Number(20, 4, "Unused\t\t\t\t%d");
  f.Number(24, 4, "Metric\t\t\t\t%d");
  return TosEntries(f, 28, TosCount(lsaLength, 28), &g_asbrTosState);
}

bool ExternalLsa(Fields& f, WORD lsaLength) {
  f.Address(20, "Network Mask\t\t");
  f.Number(24, 4, "Metric\t\t\t\t%d");
  f.Address(28, "Forwarding\t\t\t");
  f.Address(32, "External Route\t\t");
  return TosEntries(f, 36, TosCount(lsaLength, 36), &g_externalTosState);
}

// One LSA from the start of rest (the captured bytes from there on). Its
// length counts as 20 when it says less and as what is captured when it
// says more, so an LSA always moves the walk forward. False when the LSA
// was cut short.
bool Lsa(qv::DetailList& list, const qv::View& rest, int64_t* consumed) {
  const int64_t r = rest.size();
  int64_t length = r;
  const WORD declared = rest.Be16(18);
  if (r >= kLsaHeader) length = declared < kLsaHeader ? kLsaHeader : declared < r ? declared : r;
  *consumed = length;
  const qv::View lsa = rest.Sub(0, length);
  list.Group<"Link State Advertisement">(&g_lsaState, lsa.Offset(), (int)length);
  Fields f{list, lsa};
  f.Number(0, 2, "Age\t\t\t\t\t%d");
  f.Number(2, 1, "Options\t\t\t\t%d");
  f.Text(3, 1, "Type\t\t\t\t\t", kLsaTypeNames(lsa.U8(3)));
  f.Address(4, "Link State ID\t\t");
  f.Address(8, "Router\t\t\t\t");
  f.Number(12, 4, "Sequence Number\t%d");
  f.Number(16, 2, "CheckSum\t\t\t\t%d");
  f.Number(18, 2, "Length\t\t\t\t%d");
  if (!f.ok) return false;
  switch (lsa.U8(3)) {
    case 1: RouterLsa(f); break;
    case 2: NetworkLsa(f, declared); break;
    case 3: SummaryLsa(f, declared); break;
    case 4: AsbrSummaryLsa(f, declared); break;
    case 5: ExternalLsa(f, declared); break;
    default: break;
  }
  if (f.ok) list.Close();
  return f.ok;
}

// Database Description and Acknowledgment packets: one LSA, whose body (by
// its type) is read from the bytes behind its header, when any are there.
bool OneLsa(qv::DetailList& list, const qv::View& v, int64_t at) {
  int64_t consumed;
  return v.Left(at) == 0 || Lsa(list, v.From(at), &consumed);
}

bool Database(Fields& f) {
  f.Number(24, 2, "MTU\t\t\t\t\t\t%d");
  f.Number(26, 2, "Options\t\t\t\t\t%d");
  f.Number(28, 4, "Sequence Number\t\t%d");
  return f.ok && OneLsa(f.list, f.v, 32);
}

bool Update(Fields& f) {
  if (!f.Number(24, 4, "Lsa Count\t\t\t\t%d")) return false;
  const DWORD count = f.v.Be32(24);
  int64_t at = 28;
  for (DWORD i = 0; i < count && f.v.Left(at) > 0; i++) {
    int64_t consumed;
    if (!Lsa(f.list, f.v.From(at), &consumed)) return false;
    at += consumed;
  }
  return true;
}

void SummarizeOspf(qv::Layer& l, SummaryRow* row) {
  BYTE type;
  qv::SetCellText(row->protocol, "OSPF");
  qv::SetCellText(row->description, l.header.U8(1, &type) ? kPacketTypeNames(type) : "");
}

void DetailOspf(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  if (v.empty() || !l.Title(list, (int)v.size())) return;
  Fields f{list, v};
  if (!Header(f)) return;
  bool ok = true;
  switch (v.U8(1)) {
    case 1: ok = Hello(f); break;
    case 2: ok = Database(f); break;
    case 4: ok = Update(f); break;
    case 5: ok = OneLsa(list, v, kHeader); break;
    default: break;  // the request body and unknown types are not decoded
  }
  if (ok) list.Close();
}

constexpr qv::Binding kBindings[] = {{"DOD-IP", 89}};

}  // namespace

constexpr qv::ProtocolDecl kOspfDecl = {
    .nameId = "IP-OSPF",
    .description = "Open Shortest Path First Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {7, "OSPF"},
    .summary = SummarizeOspf,
    .detail = DetailOspf,
    .bindings = kBindings,
};
qv::Protocol g_ospf = qv::Declare<g_ospf, kOspfDecl>();

}  // namespace corvale
