// IP-OSPF: Open Shortest Path First (version 2) over IP protocol 89. The
// common header, then the Hello fields, the Database Description fields or
// link state advertisements with the bodies of the five LSA types. A leaf.
// The packet and LSA formats are those of RFC 2328, appendix A.
//
// Every field is shown only when it was captured. A header or body cut
// short by the capture ends the detail where it is, its groups left open;
// every LSA is read within its own length, the packet's and the capture.
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
// record; the first that does not (or a line the host does not give) ends
// every later one.
struct Fields : qv::FieldLines {
  using FieldLines::FieldLines;
  int open = 0;  // groups opened below the record's own and not closed

  template <qv::literal::Format F>
  bool Address(int64_t at) {
    const BYTE* address = ok() ? v.Bytes(at, 4) : nullptr;
    char text[32];
    if (address) DottedAddress(address, text);
    return Field<F>(at, 4, address ? text : "");
  }
};

bool Header(Fields& f) {
  f.Number<"Version\t\t\t\t\t%d">(0, 1);
  f.Field<"Type\t\t\t\t\t\t%s">(1, 1, kPacketTypeNames(f.v.U8Or0(1)));
  f.Number<"Length\t\t\t\t\t%d">(2, 2);
  f.Address<"Router ID\t\t\t\t%s">(4);
  f.Address<"Area ID\t\t\t\t\t%s">(8);
  f.Number<"Check Sum\t\t\t\t%04x">(12, 2);
  f.Number<"Authentication Type\t%04x">(14, 2);
  uint64_t authentication;
  return f.Check(f.v.Be64(16, &authentication)) && f.Add(16, 8, "Authentication Info\t%" PRIu64, authentication);
}

bool Hello(Fields& f) {
  f.Address<"Network Mask\t\t\t%s">(24);
  f.Number<"Hello Interval\t\t\t%d">(28, 2);
  f.Number<"Options\t\t\t\t\t%d">(30, 1);
  f.Number<"Router Priority\t\t%d">(31, 1);
  f.Number<"Router Dead Interval\t%d">(32, 4);
  f.Address<"Designated Router\t\t%s">(36);
  f.Address<"Backup Router\t\t\t%s">(40);
  // As many neighbours as the packet length holds, and no more than were
  // captured.
  const int64_t declared = ((int64_t)f.v.Be16Or0(2) - kHelloNeighbors) / 4;
  const int64_t captured = (f.v.size() - kHelloNeighbors) / 4;
  for (int64_t i = 0; f.ok() && i < declared && i < captured; i++)
    f.Address<"Neighbor\t\t\t\t\t%s">(kHelloNeighbors + 4 * i);
  return f.ok();
}

// Type-of-service entries of an LSA body from `at`; an entry starts only
// while bytes of the LSA are left.
bool TosEntries(Fields& f, int64_t at, int64_t count, BYTE* state) {
  for (int64_t i = 0; f.ok() && i < count && at < f.v.size(); i++, at += 4) {
    f.Group<"Type of Service">(state, at, (int)f.v.Sub(at, 4).size());
    f.open++;
    f.Number<"TOS\t\t\t\t%d">(at, 1);
    // The reserved byte is shown multiplied by 256.
    f.Field<"Reserved\t\t\t%d">(at + 1, 1, f.v.U8Or0(at + 1) * 256);
    f.Number<"TOS Metric\t\t%d">(at + 2, 2);
    if (f.ok()) {
      f.Close();
      f.open--;
    }
  }
  return f.ok();
}

int64_t TosCount(WORD lsaLength, int fixed) { return lsaLength > fixed ? (lsaLength - fixed) / 4 : 0; }

bool RouterLsa(Fields& f) {
  f.Number<"Flags\t\t\t\t\t%d">(20, 2);
  f.Number<"Links\t\t\t\t\t%d">(22, 2);
  const WORD links = f.v.Be16Or0(22);
  int64_t k = 24;
  for (WORD i = 0; f.ok() && i < links; i++) {
    f.Address<"Link ID\t\t\t\t%s">(k);
    f.Address<"Link Data\t\t\t%s">(k + 4);
    f.Field<"Link Type\t\t\t%s">(k + 8, 1, kLinkTypeNames(f.v.U8Or0(k + 8)));
    f.Number<"Number of TOS\t\t%d">(k + 9, 1);
    f.Number<"Metric\t\t\t\t%d">(k + 10, 2);
    const BYTE tos = f.v.U8Or0(k + 9);
    TosEntries(f, k + 12, tos, &g_routerTosState);
    k += 12 + 4 * tos;
  }
  return f.ok();
}

// The routers the LSA length declares, no more than were captured.
bool NetworkLsa(Fields& f, WORD lsaLength) {
  f.Address<"Network Mask\t\t%s">(20);
  const int64_t declared = lsaLength > 24 ? (lsaLength - 24) / 4 : 0;
  for (int64_t i = 0; f.ok() && i < declared && f.v.Has(24 + 4 * i, 4); i++)
    f.Address<"Router ID\t\t\t%s">(24 + 4 * i);
  return f.ok();
}

bool SummaryLsa(Fields& f, WORD lsaLength) {
  f.Address<"Network Mask\t\t%s">(20);
  f.Number<"Metric\t\t\t\t%d">(24, 4);
  return TosEntries(f, 28, TosCount(lsaLength, 28), &g_summaryTosState);
}

bool AsbrSummaryLsa(Fields& f, WORD lsaLength) {
  f.Number<"Unused\t\t\t\t%d">(20, 4);
  f.Number<"Metric\t\t\t\t%d">(24, 4);
  return TosEntries(f, 28, TosCount(lsaLength, 28), &g_asbrTosState);
}

bool ExternalLsa(Fields& f, WORD lsaLength) {
  f.Address<"Network Mask\t\t%s">(20);
  f.Number<"Metric\t\t\t\t%d">(24, 4);
  f.Address<"Forwarding\t\t\t%s">(28);
  f.Address<"External Route\t\t%s">(32);
  return TosEntries(f, 36, TosCount(lsaLength, 36), &g_externalTosState);
}

// One LSA from the start of rest (the packet's bytes from there on, as far
// as they were captured; captureCut: the capture ends before the packet
// does). Its length counts as 20 when it says less and as what is left when
// it says more, so an LSA always moves the walk forward. A field past the
// LSA's own length or the packet's ends the LSA: its groups close and the
// walk goes on. False when the capture cut the LSA short (its groups stay
// open) or the host gave no line.
bool Lsa(qv::DetailList& list, const qv::View& rest, bool captureCut, int64_t* consumed) {
  const int64_t r = rest.size();
  const WORD declared = rest.Be16Or0(18);
  const int64_t needed = declared < kLsaHeader ? kLsaHeader : declared;
  const int64_t length = needed < r ? needed : r;
  *consumed = length;
  const qv::View lsa = rest.Sub(0, length);
  list.Group<"Link State Advertisement">(&g_lsaState, lsa.Offset(), (int)length);
  Fields f(list, lsa);
  f.Number<"Age\t\t\t\t\t%d">(0, 2);
  f.Number<"Options\t\t\t\t%d">(2, 1);
  f.Field<"Type\t\t\t\t\t%s">(3, 1, kLsaTypeNames(lsa.U8Or0(3)));
  f.Address<"Link State ID\t\t%s">(4);
  f.Address<"Router\t\t\t\t%s">(8);
  f.Number<"Sequence Number\t%d">(12, 4);
  f.Number<"CheckSum\t\t\t\t%d">(16, 2);
  f.Number<"Length\t\t\t\t%d">(18, 2);
  if (f.ok()) {
    switch (lsa.U8Or0(3)) {
      case 1: RouterLsa(f); break;
      case 2: NetworkLsa(f, declared); break;
      case 3: SummaryLsa(f, declared); break;
      case 4: AsbrSummaryLsa(f, declared); break;
      case 5: ExternalLsa(f, declared); break;
      default: break;
    }
  }
  if (list.stopped || (!f.ok() && captureCut && needed > r)) return false;
  for (int i = 0; i <= f.open; i++) list.Close();
  return true;
}

// The packet's bytes as far as its length says and the capture holds them;
// an authentication digest behind them is not the packet's.
struct Body {
  qv::View v;
  bool captureCut;  // the capture ends before the packet does
};
Body PacketBody(const qv::Layer& l) {
  const WORD length = l.header.Be16Or0(2);
  const qv::View v = l.header.Sub(0, length);
  return {v, v.size() < length && l.frame->capturedLength < l.frame->frameLength};
}

// Database Description and Acknowledgment packets: one LSA, whose body (by
// its type) is read from the bytes behind its header, when any are there.
bool OneLsa(qv::DetailList& list, const Body& body, int64_t at) {
  int64_t consumed;
  return body.v.Left(at) == 0 || Lsa(list, body.v.From(at), body.captureCut, &consumed);
}

bool Database(Fields& f, const Body& body) {
  f.Number<"MTU\t\t\t\t\t\t%d">(24, 2);
  f.Number<"Options\t\t\t\t\t%d">(26, 2);
  f.Number<"Sequence Number\t\t%d">(28, 4);
  return f.ok() && OneLsa(f.list, body, 32);
}

bool Update(Fields& f, const Body& body) {
  if (!f.Number<"Lsa Count\t\t\t\t%d">(24, 4)) return false;
  const DWORD count = f.v.Be32Or0(24);
  int64_t at = 28;
  for (DWORD i = 0; i < count && body.v.Left(at) > 0; i++) {
    int64_t consumed;
    if (!Lsa(f.list, body.v.From(at), body.captureCut, &consumed)) return false;
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
  Fields f(list, v);
  if (!Header(f)) return;
  const Body body = PacketBody(l);
  bool ok = true;
  switch (v.U8Or0(1)) {
    case 1: ok = Hello(f); break;
    case 2: ok = Database(f, body); break;
    case 4: ok = Update(f, body); break;
    case 5: ok = OneLsa(list, body, kHeader); break;
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
