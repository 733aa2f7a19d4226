// The library entry: attach (with the protocol-number service for slot
// +272), service copies and registration in the suite's order.
#include "corvale.h"

namespace {

// The suite in registration order; each protocol still to come takes the
// place its comment holds.
qv::Protocol* const kProtocols[] = {
    &corvale::g_ip,  // DOD-IP
    &corvale::g_icmp,  // IP-ICMP
    &corvale::g_igmp,  // IP-IGMP
    &corvale::g_arp,  // IP-ARP
    &corvale::g_udp,  // IP-UDP
    &corvale::g_tcp,  // IP-TCP
    &corvale::g_nbns,  // IP-NBNS
    &corvale::g_nbds,  // IP-NBDS
    &corvale::g_nbss,  // IP-NBSS
    &corvale::g_bootp,  // IP_BOOTP
    &corvale::g_tftp,  // IP-TFTP
    &corvale::g_ftp,  // IP-FTP
    &corvale::g_http,  // IP-HTTP
    &corvale::g_dns,  // IP-DNS
    &corvale::g_egp,  // IP-EGP
    &corvale::g_slp,  // IP-SLP
    &corvale::g_ospf,  // IP-OSPF
    &corvale::g_snmp,  // IP-SNMP
    &corvale::g_ssdp,  // IP-SSDP
    &corvale::g_radius,  // RADIUS
    &corvale::g_smtp,  // IP-SMTP
    &corvale::g_pop3,  // IP-POP3
};

void Attach(MonitorTable* table) { table->RetrieveIPProtocol = RetrieveIPProtocol; }

const qv::PluginInfo kPlugin = {"Corvale has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, Attach};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
