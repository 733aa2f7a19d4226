// Brannock's library entry: the string table of its detail labels, loaded
// when the library is, and DLLControl.
#include <dlfcn.h>

#include <iterator>

#include "brannock.h"

namespace brannock {

namespace {

const plat::StringRow kStrings[] = {
    {104, "Group Address Bit"},
    {105, "Local Address Bit"},
    {106, "on [xxxxxxx1 xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]"},
    {107, "off [xxxxxxx0 xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]"},
    {108, "on [xxxxxx1x xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]"},
    {109, "off [xxxxxx0x xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]"},
    {110, "Vendor Name"},
    {111, "Logical Name(s)"},
    {112, "Destination Address"},
    {113, "Source Address"},
    {114, "Ether Type"},
    {116, "Hex Address"},
};


// The library entry at process attach: keep the module handle, load the
// labels. Ids without a row (115) stay empty.
__attribute__((constructor)) void AttachLibrary() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&AttachLibrary), &info)) g_module = info.dli_fbase;
  for (unsigned id = kFirstLabel; id <= kLastLabel; id++) {
    const unsigned i = id - kFirstLabel;
    g_labelLengths[i] = (unsigned char)plat::LoadString(kStrings, std::size(kStrings), id, g_labels[i], kLabelSize);
  }
}

qv::Protocol* const kProtocols[] = {&g_mac, &g_llc, &g_snap, &g_ppoe};

const qv::PluginInfo kPlugin = {"Brannock has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

const void* g_module = nullptr;
char g_labels[kLastLabel - kFirstLabel + 1][kLabelSize];
unsigned char g_labelLengths[kLastLabel - kFirstLabel + 1];

}  // namespace brannock

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(brannock::kPlugin, type, table);
}
