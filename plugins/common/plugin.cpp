// What every parser plug-in does alike: the table's version check at attach,
// the host's services copied at DLLC_GET_SERVICES (fallbacks until then),
// registration, a protocol's colour kept in the settings, child tables, and
// the PCTL commands answered from a protocol's declaration.
#include "plugin.h"

#include <stdio.h>
#include <string.h>

namespace qv {

namespace {

// Fallbacks in force until DLLC_GET_SERVICES copies the host's services.
DWORD QV_CALL NoParse(DWORD, CaptureFrame*, void*) { return 0; }
DetailLine* QV_CALL NoLine() { return nullptr; }
DWORD QV_CALL NoFree(DetailLine*) { return 0; }

}  // namespace

MonitorTable* g_table = nullptr;
BYTE g_inert = 0;
Services g_svc = {
    NoLine, NoFree, nullptr, NoParse, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

bool AttachTable(MonitorTable* table, const char* mismatchText) {
  g_table = table;
  if (table == nullptr || table->version != MONITOR_TABLE_VERSION) {
    plat::MessageBox(nullptr, mismatchText, MT_ERROR_TITLE, plat::MB_OK);
    g_inert = 1;
    return false;
  }
  return true;
}

static void CopyServices(const PluginInfo& info) {
  const MonitorTable* t = g_table;
  g_svc.AllocDetailLine = t->AllocDetailLine ? t->AllocDetailLine : NoLine;
  g_svc.FreeDetailLine = t->FreeDetailLine ? t->FreeDetailLine : NoFree;
  g_svc.AddHexDumpLines = t->AddHexDumpLines;
  g_svc.DefaultParse = t->DefaultParse ? t->DefaultParse : NoParse;
  g_svc.reserved52 = t->reserved52;
  g_svc.AddStationTraffic = t->AddStationTraffic;
  g_svc.AddBssEntry = t->AddBssEntry;
  g_svc.AddName = t->AddName;
  g_svc.LookupName = t->LookupName;
  g_svc.LookupAllNames = t->LookupAllNames;
  g_svc.FormatHexAddress = t->FormatHexAddress;
  g_svc.FormatDottedAddress = t->FormatDottedAddress;
  g_svc.RetrieveEtherType = t->RetrieveEtherType;
  g_svc.RetrieveOUI = t->RetrieveOUI;
  g_svc.RetrieveLSap = t->RetrieveLSap;
  g_svc.GetHexEtherType = t->GetHexEtherType;
  g_svc.GetHexOUI = t->GetHexOUI;
  g_svc.GetHexLSap = t->GetHexLSap;
  g_svc.RetrieveIPProtocol = t->RetrieveIPProtocol;
  for (Protocol* p : info.protocols)
    for (const Cache& c : p->decl.caches) *c.parse = g_svc.DefaultParse;
}

DWORD ParserDLLControl(const PluginInfo& info, DWORD type, MonitorTable* table) {
  if (g_inert) return 0;
  switch (type) {
    case DLLC_ATTACH:
      if (AttachTable(table, info.mismatchText) && info.attach) info.attach(table);
      break;
    case DLLC_GET_SERVICES:
      // Sent before DLLC_ATTACH there is no table to copy from.
      if (g_table) CopyServices(info);
      break;
    case DLLC_REGISTER:
      if (g_table && g_table->RegisterProtocol)
        for (Protocol* p : info.protocols) g_table->RegisterProtocol(&p->descriptor);
      break;
    default:
      break;
  }
  return 0;
}

// Out of line, so that no caller's null reaches the format check.
__attribute__((noinline)) void SetCellNull(SummaryCell* cell, const char* text) { SetCell(cell, "%s", text); }
__attribute__((noinline)) void AppendCellNull(SummaryCell* cell, const char* text) { AppendCell(cell, "%s", text); }

// ---------------------------------------------------------------- settings

void LoadProtocolSettings(const ProtocolDescriptor* d) {
  if (!g_table || !g_table->OpenSettingsKey) return;
  HKEY key = g_table->OpenSettingsKey();
  if (!key) return;
  BYTE buffer[PROTOCOL_SETTINGS_SIZE] = {};
  DWORD type = 0, size = sizeof buffer;
  // A longer value gives its first 36 bytes; a missing or short one leaves zeros.
  plat::RegQueryValue(key, d->nameId, &type, buffer, &size);
  *d->textColor = (DWORD)buffer[0] | ((DWORD)buffer[1] << 8) | ((DWORD)buffer[2] << 16) | ((DWORD)buffer[3] << 24);
  plat::RegCloseKey(key);
}

void SaveProtocolSettings(const ProtocolDescriptor* d) {
  if (!g_table || !g_table->OpenSettingsKey) return;
  HKEY key = g_table->OpenSettingsKey();
  if (!key) return;
  BYTE buffer[PROTOCOL_SETTINGS_SIZE] = {};
  DWORD c = *d->textColor;
  buffer[0] = (BYTE)c;
  buffer[1] = (BYTE)(c >> 8);
  buffer[2] = (BYTE)(c >> 16);
  buffer[3] = (BYTE)(c >> 24);
  plat::RegSetValue(key, d->nameId, plat::REG_BINARY, buffer, sizeof buffer);
  plat::RegCloseKey(key);
}

// ---------------------------------------------------------------- child table

ChildEntry* AddChildProtocol(ChildTable* table, DWORD key, ProtocolParse parse, ProtocolControl control) {
  ChildEntry* e = static_cast<ChildEntry*>(plat::LocalAlloc(sizeof(ChildEntry)));
  if (!e) return nullptr;
  e->key = key;
  e->parse = parse;
  e->control = control;
  unsigned b = ChildBucket(key);
  e->hashNext = table->buckets[b];
  table->buckets[b] = e;
  e->listNext = table->first;
  table->first = e;
  return e;
}

ChildEntry* NextChildProtocol(const ChildTable* table, const ChildEntry* previous) {
  return previous ? previous->listNext : table->first;
}

void FreeChildTable(ChildTable* table) {
  for (ChildEntry*& head : table->buckets) {
    while (ChildEntry* e = head) {
      head = e->hashNext;
      plat::LocalFree(e);
    }
  }
  table->first = nullptr;
}

// ---------------------------------------------------------------- control

void BindUnder(const char* parentNameId, DWORD key, ProtocolParse parse, ProtocolControl control) {
  ProtocolDescriptor* parent = g_table->FindProtocol ? g_table->FindProtocol(parentNameId) : nullptr;
  if (parent && parent->control) parent->control(PCTL_ADD_CHILD, key, (CTRLARG)parse, (CTRLARG)control, 0);
}

void CacheParse(const char* nameId, ProtocolParse* cache) {
  ProtocolDescriptor* d = g_table->FindProtocol ? g_table->FindProtocol(nameId) : nullptr;
  if (d && d->parse) *cache = d->parse;
}

CTRLARG RunControl(Protocol& p, DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG) {
  if (g_inert || !g_table) return 0;
  const ProtocolDecl& decl = p.decl;
  switch (command) {
    case PCTL_INIT:
      LoadProtocolSettings(&p.descriptor);
      if (g_table->RegisterStatistics) {
        if (p.statistics.name) g_table->RegisterStatistics(&p.statistics);
        for (StatisticsEntry* e : decl.moreStatistics) g_table->RegisterStatistics(e);
      }
      for (const Binding& b : decl.bindings) BindUnder(b.parent, b.key, p.entries[b.variant], p.descriptor.control);
      for (const Cache& c : decl.caches) CacheParse(c.nameId, c.parse);
      if (decl.init) decl.init();
      return 0;
    case PCTL_TERMINATE:
      SaveProtocolSettings(&p.descriptor);
      if (decl.children) FreeChildTable(decl.children);
      return 0;
    case PCTL_GET_DESCRIPTOR:
      return decl.control == CONTROL_MINIMAL ? 0 : (CTRLARG)&p.descriptor;
    default:
      break;
  }
  if (decl.control != CONTROL_PARENT || !decl.children) return 0;
  switch (command) {
    case PCTL_ADD_CHILD:
      AddChildProtocol(decl.children, (DWORD)a1, (ProtocolParse)a2, (ProtocolControl)a3);
      return 0;
    case PCTL_FIND_CHILD:
      return (CTRLARG)FindChildProtocol(decl.children, (DWORD)a1);
    case PCTL_NEXT_CHILD:
      return (CTRLARG)NextChildProtocol(decl.children, (const ChildEntry*)a1);
    default:
      return 0;
  }
}

// ---------------------------------------------------------------- passes

DetailLine* Layer::Title(DetailList& list, int length) const {
  const char* d = protocol.descriptor.description;
  // A null description as the formatter prints one.
  const std::string_view title = d ? std::string_view(d, protocol.titleLength) : std::string_view("(null)");
  return list.Group<"%s">(&protocol.titleState, offset(), length, title);
}

bool Layer::OpenDetail(DetailList& list, int64_t length, int first) const {
  if (!Title(list, (int)(length < header.size() ? length : header.size()))) return false;
  if (header.Has(0, first)) return true;
  list.Close();
  return false;
}

// Passes above PASS_DETAIL only mark.
DWORD RunMarkOnly(Protocol& p, CaptureFrame* frame) {
  MarkFrame(p, frame);
  return 0;
}

}  // namespace qv
