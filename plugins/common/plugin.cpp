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
  for (size_t i = 0; i < info.cacheCount; i++) *info.caches[i] = g_svc.DefaultParse;
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
        for (size_t i = 0; i < info.descriptorCount; i++) g_table->RegisterProtocol(info.descriptors[i]);
      break;
    default:
      break;
  }
  return 0;
}

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

ProtocolParse FindChildProtocol(const ChildTable* table, DWORD key) {
  for (const ChildEntry* e = table->buckets[ChildBucket(key)]; e; e = e->hashNext)
    if (e->key == key) return e->parse;
  return g_svc.DefaultParse;
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

CTRLARG RunControl(const Protocol& p, DWORD command, CTRLARG a1, CTRLARG a2, CTRLARG a3, CTRLARG) {
  if (g_inert || !g_table) return 0;
  switch (command) {
    case PCTL_INIT:
      LoadProtocolSettings(p.descriptor);
      if (g_table->RegisterStatistics)
        for (size_t i = 0; i < p.statisticsCount; i++) g_table->RegisterStatistics(p.statistics[i]);
      if (p.init) p.init();
      return 0;
    case PCTL_TERMINATE:
      SaveProtocolSettings(p.descriptor);
      if (p.form == CONTROL_PARENT && p.children) FreeChildTable(p.children);
      return 0;
    case PCTL_GET_DESCRIPTOR:
      return p.form == CONTROL_MINIMAL ? 0 : (CTRLARG)p.descriptor;
    default:
      break;
  }
  if (p.form != CONTROL_PARENT || !p.children) return 0;
  switch (command) {
    case PCTL_ADD_CHILD:
      AddChildProtocol(p.children, (DWORD)a1, (ProtocolParse)a2, (ProtocolControl)a3);
      return 0;
    case PCTL_FIND_CHILD:
      return (CTRLARG)FindChildProtocol(p.children, (DWORD)a1);
    case PCTL_NEXT_CHILD:
      return (CTRLARG)NextChildProtocol(p.children, (const ChildEntry*)a1);
    default:
      return 0;
  }
}

// ---------------------------------------------------------------- passes

static DWORD ParseLeaf(const LeafRoutines& r, DWORD pass, CaptureFrame* frame, void* out, bool nextList) {
  const BYTE* header = frame->data + frame->offset;
  MarkFrame(r.descriptor, frame);
  switch (pass) {
    case PASS_COUNT:
      if (r.count) r.count(header, frame, out);
      break;
    case PASS_SUMMARY:
      if (r.summary) r.summary(header, frame, out);
      break;
    case PASS_DETAIL:
      if (r.detail && *r.descriptor->enabled)
        r.detail(header, frame, nextList ? static_cast<DetailLine**>(out) + 1 : out);
      break;
    default:
      break;
  }
  return 0;
}

DWORD ParseLeafProtocol(const LeafRoutines& r, DWORD pass, CaptureFrame* frame, void* out) {
  return ParseLeaf(r, pass, frame, out, false);
}

DWORD ParseLeafProtocolNextList(const LeafRoutines& r, DWORD pass, CaptureFrame* frame, void* out) {
  return ParseLeaf(r, pass, frame, out, true);
}

// ---------------------------------------------------------------- text

namespace {

// A bounded writer into the caller's buffer.
struct Out {
  char* p;
  char* end;  // last byte, kept for the NUL
  void Put(char c) {
    if (p < end) *p++ = c;
  }
  void Put(const char* text, size_t n) {
    size_t room = (size_t)(end - p);
    if (n > room) n = room;
    if (n <= 8) {
      for (size_t i = 0; i < n; i++) p[i] = text[i];
    } else {
      memcpy(p, text, n);
    }
    p += n;
  }
  void Fill(char c, size_t n) {
    size_t room = (size_t)(end - p);
    if (n > room) n = room;
    memset(p, c, n);
    p += n;
  }
};

struct Conversion {
  bool left = false, zero = false;
  int width = 0, precision = -1;
  int length = 0;  // 0 int, 1 long, 2 long long, 3 size_t, -1 short, -2 char
  char conversion = 0;
};

// Parses one conversion after '%'; false for what the fast path leaves to
// the C library (flags other than '-' and '0', '*', floating point, ...).
bool ParseConversion(const char*& f, Conversion* conv) {
  switch (*f) {  // the usual case: a bare conversion
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'c': case 's': case '%':
      conv->conversion = *f++;
      return true;
    default:
      break;
  }
  for (;; f++) {
    if (*f == '-')
      conv->left = true;
    else if (*f == '0')
      conv->zero = true;
    else
      break;
  }
  while (*f >= '0' && *f <= '9') conv->width = conv->width * 10 + (*f++ - '0');
  if (*f == '.') {
    f++;
    conv->precision = 0;
    while (*f >= '0' && *f <= '9') conv->precision = conv->precision * 10 + (*f++ - '0');
  }
  if (f[0] == 'h' && f[1] == 'h') {
    conv->length = -2;
    f += 2;
  } else if (*f == 'h') {
    conv->length = -1;
    f++;
  } else if (f[0] == 'l' && f[1] == 'l') {
    conv->length = 2;
    f += 2;
  } else if (*f == 'l') {
    conv->length = 1;
    f++;
  } else if (*f == 'z') {
    conv->length = 3;
    f++;
  }
  conv->conversion = *f;
  if ((*f == 'c' || *f == 's') && conv->length != 0) return false;  // wide text
  switch (*f) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'c': case 's': case '%':
      f++;
      return conv->width < 512 && conv->precision < 512;
    default:
      return false;
  }
}

void PutPadded(Out* out, const Conversion& conv, const char* sign, const char* digits, size_t n, bool numeric) {
  if (conv.width == 0 && conv.precision < 0) {
    if (*sign) out->Put(*sign);
    out->Put(digits, n);
    return;
  }
  size_t signLength = strlen(sign);
  size_t zeros = 0;
  if (numeric && conv.precision >= 0 && (size_t)conv.precision > n) zeros = (size_t)conv.precision - n;
  size_t body = signLength + zeros + n;
  size_t pad = conv.width > 0 && (size_t)conv.width > body ? (size_t)conv.width - body : 0;
  bool zeroPad = numeric && conv.zero && !conv.left && conv.precision < 0;
  if (!conv.left && !zeroPad) out->Fill(' ', pad);
  out->Put(sign, signLength);
  if (zeroPad) out->Fill('0', pad);
  out->Fill('0', zeros);
  out->Put(digits, n);
  if (conv.left) out->Fill(' ', pad);
}

// False, having written part of the text, when the format holds a conversion
// it leaves to the C library.
bool FastFormat(Out* out, const char* f, va_list args) {
  while (*f) {
    const char* percent = strchr(f, '%');
    if (!percent) {
      out->Put(f, strlen(f));
      return true;
    }
    out->Put(f, (size_t)(percent - f));
    f = percent + 1;
    Conversion conv;
    if (!ParseConversion(f, &conv)) return false;
    char digits[32];
    char* end = digits + sizeof digits;
    char* d = end;
    switch (conv.conversion) {
      case '%':
        out->Put('%');
        break;
      case 'c':
        digits[0] = (char)va_arg(args, int);
        PutPadded(out, conv, "", digits, 1, false);
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        if (!text) return false;  // the C library's own rendering of a null
        size_t n = conv.precision >= 0 ? strnlen(text, (size_t)conv.precision) : strlen(text);
        PutPadded(out, conv, "", text, n, false);
        break;
      }
      case 'd':
      case 'i': {
        long long v;
        switch (conv.length) {
          case 1: v = va_arg(args, long); break;
          case 2: v = va_arg(args, long long); break;
          case 3: v = (long long)va_arg(args, ptrdiff_t); break;
          case -1: v = (short)va_arg(args, int); break;
          case -2: v = (signed char)va_arg(args, int); break;
          default: v = va_arg(args, int); break;
        }
        unsigned long long u = v < 0 ? 0ull - (unsigned long long)v : (unsigned long long)v;
        do *--d = (char)('0' + u % 10); while (u /= 10);
        if (conv.precision == 0 && v == 0) d = end;
        PutPadded(out, conv, v < 0 ? "-" : "", d, (size_t)(end - d), true);
        break;
      }
      default: {  // u x X
        unsigned long long u;
        switch (conv.length) {
          case 1: u = va_arg(args, unsigned long); break;
          case 2: u = va_arg(args, unsigned long long); break;
          case 3: u = va_arg(args, size_t); break;
          case -1: u = (unsigned short)va_arg(args, unsigned); break;
          case -2: u = (unsigned char)va_arg(args, unsigned); break;
          default: u = va_arg(args, unsigned); break;
        }
        bool zero = u == 0;
        if (conv.conversion == 'u') {
          do *--d = (char)('0' + u % 10); while (u /= 10);
        } else {
          const char* hex = conv.conversion == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
          do *--d = hex[u & 15]; while (u >>= 4);
        }
        if (conv.precision == 0 && zero) d = end;
        PutPadded(out, conv, "", d, (size_t)(end - d), true);
        break;
      }
    }
  }
  return true;
}

}  // namespace

int FormatTextV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  // Detail lines and cells are formatted for every frame: the conversions
  // they use are done here, anything else by the C library.
  va_list again;
  va_copy(again, args);
  Out out{buffer, buffer + size - 1};
  bool done = FastFormat(&out, format, args);
  *out.p = 0;
  if (done) {
    va_end(again);
    return (int)(out.p - buffer);
  }
  int n = vsnprintf(buffer, size, format, again);
  va_end(again);
  if (n < 0) return (int)strnlen(buffer, size - 1);  // keep what was written
  return (size_t)n >= size ? (int)(size - 1) : n;
}

int FormatText(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buffer, size, format, args);
  va_end(args);
  return n;
}

int AppendText(char* buffer, size_t size, const char* format, ...) {
  size_t used = strnlen(buffer, size);
  if (used >= size) return (int)used;
  va_list args;
  va_start(args, format);
  int n = FormatTextV(buffer + used, size - used, format, args);
  va_end(args);
  return (int)used + n;
}

int SetCell(SummaryCell* cell, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatTextV(cell->text, sizeof cell->text, format, args);
  va_end(args);
  return n;
}

int AppendCell(SummaryCell* cell, const char* format, ...) {
  size_t used = strnlen(cell->text, sizeof cell->text);
  if (used >= sizeof cell->text) return (int)used;
  va_list args;
  va_start(args, format);
  int n = FormatTextV(cell->text + used, sizeof cell->text - used, format, args);
  va_end(args);
  return (int)used + n;
}

const char* NibbleBitsText(int value) {
  static const char kBits[16][5] = {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
                                    "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111"};
  return kBits[value & 0xF];
}

// ---------------------------------------------------------------- detail lines

DetailLine* DetailList::Take(int offset, int length) {
  if (stopped) return nullptr;
  DetailLine* line = g_svc.AllocDetailLine();
  if (!line) {
    stopped = true;
    return nullptr;
  }
  line->offset = offset;
  line->length = length;
  if (last)
    last->next = line;
  else
    *head = line;
  last = line;
  return line;
}

DetailLine* DetailList::AddV(int offset, int length, const char* format, va_list args) {
  DetailLine* line = Take(offset, length);
  if (line) FormatTextV(line->text, sizeof line->text, format, args);
  return line;
}

DetailLine* DetailList::Add(int offset, int length, const char* format, ...) {
  va_list args;
  va_start(args, format);
  DetailLine* line = AddV(offset, length, format, args);
  va_end(args);
  return line;
}

DetailLine* DetailList::Group(BYTE* expandState, int offset, int length, const char* format, ...) {
  va_list args;
  va_start(args, format);
  DetailLine* line = AddV(offset, length, format, args);
  va_end(args);
  if (line) {
    line->flags |= DETAIL_GROUP_OPEN;
    line->expandState = expandState;
  }
  return line;
}

DetailLine* DetailList::Text(int offset, int length, const char* text) {
  DetailLine* line = Take(offset, length);
  if (line) {
    size_t n = strnlen(text, sizeof line->text - 1);
    memcpy(line->text, text, n);
    line->text[n] = 0;
  }
  return line;
}

DetailLine* DetailList::HexDump(const char* label, const BYTE* data, int length, int frameOffset) {
  // Dumps always follow a line of their own protocol (its title at least).
  if (stopped || !last || !g_svc.AddHexDumpLines || length <= 0) return last;
  DetailLine* end = g_svc.AddHexDumpLines(last, label, data, length, frameOffset);
  if (end) last = end;
  return last;
}

}  // namespace qv
