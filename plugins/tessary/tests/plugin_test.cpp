// The library as the host meets it: registration, statistics, control forms,
// bindings under the parents by name id, the version check.
#include <string.h>

#include "tessary_host.h"

namespace tessarytest {
namespace {

TEST(TessaryLibrary, RegistersItsProtocolsInOrder) {
  TessaryHost h;
  ExpectRegistered(h, {
      {"NOVELL-IPX", "IPX", PROTOCOL_PARENT | PROTOCOL_CHILD, "IPX", 3},
      {"NOVELL-RIP", "IPX RIP", PROTOCOL_CHILD, "IPX RIP", 3},
      {"NOVELL-SAP", "IPX SAP", PROTOCOL_CHILD, "IPX SAP", 7},
      {"NOVELL-NETBIOS", "IPX NETBIOS", PROTOCOL_CHILD, "IPX NETBIOS", 5},
      {"MS-NMPI", "NMPI", PROTOCOL_CHILD, "NMPI", 7},
      {"IPX-NCP", "NCP", PROTOCOL_CHILD, "NCP", 6},
      {"NCP-TCP", "NCP Over TCP", PROTOCOL_PARENT | PROTOCOL_CHILD, "NCP Over TCP", 4},
  });
}

TEST(TessaryLibrary, ControlForms) {
  TessaryHost h;
  ProtocolDescriptor* ipx = h.host.Find("NOVELL-IPX");
  for (ProtocolDescriptor* d : h.host.protocols()) {
    SCOPED_TRACE(d->nameId);
    EXPECT_EQ(d->control(PCTL_GET_DESCRIPTOR, 0, 0, 0, 0), (CTRLARG)d);
    EXPECT_EQ(d->control(4, 0, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(7, 0, 0, 0, 0), 0u);
    if (d == ipx) continue;
    // Leaves, NCP over TCP too for all its parent flags: no table.
    EXPECT_EQ(d->control(PCTL_ADD_CHILD, 0x40452, (CTRLARG)h.StandInParse("A"), 0, 0), 0u);
    EXPECT_EQ(d->control(PCTL_FIND_CHILD, 0x40452, 0, 0, 0), 0u);
    EXPECT_EQ(d->control(PCTL_NEXT_CHILD, 0, 0, 0, 0), 0u);
  }
  // IPX's own table holds the keys of its children, newest first.
  const DWORD keys[] = {0x110451, 0x40553,  0x140553, 0x40552, 0x140552, 0x40551, 0x140551,
                        0x40550,  0x140550, 0x140455, 0x40455, 0x452,    0x40452, 0x10453};
  auto* e = (ChildEntry*)ipx->control(PCTL_NEXT_CHILD, 0, 0, 0, 0);
  for (DWORD key : keys) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->key, key);
    e = (ChildEntry*)ipx->control(PCTL_NEXT_CHILD, (CTRLARG)e, 0, 0, 0);
  }
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(ipx->control(PCTL_FIND_CHILD, 0x40452, 0, 0, 0), (CTRLARG)h.host.Find("NOVELL-SAP")->parse);
  EXPECT_EQ(ipx->control(PCTL_FIND_CHILD, 0x40453, 0, 0, 0), (CTRLARG)h.table()->DefaultParse);
  ExpectTerminateEmptiesChildTable(h, "NOVELL-IPX", 0x40452);
}

TEST(TessaryLibrary, BindsUnderItsParentsByNameId) {
  TessaryHost h({"MAC-802.3", "VLAN", "LLC-802.2", "IP-TCP", "IP-UDP"});
  ExpectBindings(h, {
      {"MAC-802.3", 0x8137, "NOVELL-IPX"},
      {"VLAN", 0x8137, "NOVELL-IPX"},
      {"LLC-802.2", 0xE0, "NOVELL-IPX"},
      {"IP-TCP", 524, "NCP-TCP"},
      {"IP-UDP", 524, "NCP-TCP"},
  });
}

TEST(TessaryLibrary, MissingParentsAreSkippedSilently) {
  TessaryHost h;
  ExpectNothingBoundWithoutParents(h, 7);
}

// The host's FindProtocol, blind to IPX-NCP.
ProtocolDescriptor* QV_CALL FindAllButNcp(const char* nameId) {
  return strcmp(nameId, "IPX-NCP") == 0 ? nullptr : qvhost::Host::Current()->Find(nameId);
}

// A protocol that the library hands to by name and does not find goes to
// DefaultParse, where it would have got the frame: MS-SMB (not loaded here)
// behind NetBIOS and NMPI, IPX-NCP behind the transport header of NCP over
// TCP and for NCP packets on other sockets than 0x0451.
TEST(TessaryLibrary, ProtocolsNotFoundHandOnToDefaultParse) {
  const Bytes smb = Hex("ff534d42 72 000000");
  const Bytes ncp = Hex("2222 01 05 02 01 17 0001 11");
  struct Case {
    const char* name;
    const char* root;
    Bytes frame;
    int at;  // where DefaultParse gets the frame, in every pass
  };
  const Case cases[] = {
      {"SMB behind a NetBIOS session header", "NOVELL-NETBIOS",
       Cat({Hex("40 06 0a00 0b00 0100 3600 0000 2400 0200 0000"), smb}), 18},
      {"SMB behind an NMPI mailslot write", "MS-NMPI", Cat({Bytes(32, 0), Bytes{0xFC}, Bytes(35, 0), smb}), 68},
      {"an NMPI packet that is SMB", "MS-NMPI", smb, 0},
      {"NCP behind a request header", "NCP-TCP", Cat({Hex("446d6454 0000001a 00000001 00000002"), ncp}), 16},
      {"NCP behind a reply header", "NCP-TCP", Cat({Hex("744e6350 00000010"), Hex("3333 01 05 02 01 00 00")}), 8},
      {"NCP to another socket", "NOVELL-IPX", Ipx(17, 0x5000, 0x4003, ncp), 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qvtest::TestHost h({"tessary"}, false);
    h.table()->FindProtocol = FindAllButNcp;
    h.Start();
    h.Decode(c.root, c.frame);
    ASSERT_EQ(h.handOns.size(), 3u);
    for (const HandOn& on : h.handOns) {
      EXPECT_EQ(on.to, "default");
      EXPECT_EQ(on.offset, c.at) << on.pass;
    }
    EXPECT_EQ(h.Frames("NCP"), 0u);
  }
}

TEST(TessaryLibrary, WrongTableVersionMakesItInert) { ExpectInertUnderOtherTableVersions("tessary", "Tessary"); }

TEST(TessaryLibrary, EachProtocolKeepsItsColourUnderItsNameId) {
  ExpectColoursKeptUnderNameIds({"tessary", "halvern", "pallisand"});
}

}  // namespace
}  // namespace tessarytest
