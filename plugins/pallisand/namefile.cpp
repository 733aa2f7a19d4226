// The name file: one line per mapping, in table order (name_line.h). The
// loader uses name, address, length, P, L, value and the colours; the group
// flag comes from the address, times and counts start afresh.
//
// When another program saved the file since the host loaded it, the host
// hands both versions and the table's own save to MergeNameFile, which
// compares them name by name: a mapping the other program added, changed or
// removed, and this one left as it was loaded, comes into this table; where
// both changed one mapping, this program's is kept and the host is told.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "name_line.h"
#include "store.h"

namespace pallisand {

namespace {

const char kMoveError[] = "Error moving File Pointer!";
const char kClearError[] = "Error clearing File Pointer!";
const char kWriteError[] = "Error writing to Name File!";
const char kSizeError[] = "Failed to read FileSize information!";
const char kAllocError[] = "Failed to allocate resources!";

size_t FormatLine(const NameEntry* e, char* line) {
  NameLine l;
  memcpy(l.name, e->name, sizeof l.name);
  memcpy(l.address, e->address, sizeof l.address);
  l.length = e->addressLength;
  l.flags[0] = e->flagged ? 'P' : ' ';
  l.flags[1] = e->group ? 'G' : ' ';
  l.flags[2] = e->locked ? 'L' : ' ';
  l.accessCount = e->accessCount;
  l.value = e->value;
  l.destinationColor = (int32_t)e->destinationColor;
  l.sourceColor = (int32_t)e->sourceColor;
  l.created = FileTimeTicks(e->created);
  l.lastAccessed = FileTimeTicks(e->lastAccessed);
  return FormatNameLine(l, line);
}

// The insert and the settings of the entry it returns form one critical
// section: a deletion in between could hand the entry to someone else.
bool LoadMapping(const NameLine& l) {
  Lock active(ActiveMutex());
  if (!active.held()) return false;
  NameEntry* e = InsertNameEntry(l.name, l.address, l.length, l.value, l.flags[0] == 'P');
  if (!e) return false;
  e->destinationColor = (COLORREF)l.destinationColor;
  e->sourceColor = (COLORREF)l.sourceColor;
  e->locked = l.flags[2] == 'L';
  return true;
}

// ---------------------------------------------------------------- merging

std::string Key(const char* name) {
  std::string k = name;
  for (char& c : k)
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  return k;
}

// The mappings of a name file as the table would hold them after loading it
// into an empty table.
struct NameSet {
  std::vector<NameLine> lines;
  std::unordered_map<std::string, size_t> byName;
  bool complete = false;

  const NameLine* Find(const std::string& key) const {
    auto it = byName.find(key);
    return it == byName.end() ? nullptr : &lines[it->second];
  }
};

NameSet ReadNames(const char* text, size_t size) {
  NameSet set;
  std::string copy(text, size);  // the reader cuts the lines in place
  NameTextResult r = ReadNameText(copy.data(), copy.size(), [&set](const NameLine& l) {
    auto [it, added] = set.byName.emplace(Key(l.name), set.lines.size());
    if (added) {
      set.lines.push_back(l);
    } else {  // a name met again keeps its address, P flag and value
      NameLine& first = set.lines[it->second];
      first.destinationColor = l.destinationColor;
      first.sourceColor = l.sourceColor;
      first.flags[2] = l.flags[2];
    }
    return true;
  });
  set.complete = !r.stopped && !r.skipped;
  return set;
}

// What the load keeps of a mapping.
bool SameMapping(const NameLine* a, const NameLine* b) {
  if (!a || !b) return a == b;
  return strcmp(a->name, b->name) == 0 && a->length == b->length &&
         memcmp(a->address, b->address, (size_t)a->length) == 0 && (a->flags[0] == 'P') == (b->flags[0] == 'P') &&
         (a->flags[2] == 'L') == (b->flags[2] == 'L') && a->value == b->value &&
         a->destinationColor == b->destinationColor && a->sourceColor == b->sourceColor;
}

struct MergePlan {
  std::vector<std::string> remove;  // names to take out of this table
  std::vector<NameLine> load;       // mappings to load (after the removals)
  std::vector<std::string> kept;    // changed on both sides: this table's stays
};

MergePlan PlanMerge(const NameSet& base, const NameSet& theirs, const NameSet& ours) {
  MergePlan plan;
  std::unordered_set<std::string> seen;
  for (const NameSet* side : {&theirs, &base, &ours}) {
    for (const NameLine& line : side->lines) {
      std::string key = Key(line.name);
      if (!seen.insert(key).second) continue;
      const NameLine *b = base.Find(key), *t = theirs.Find(key), *o = ours.Find(key);
      if (SameMapping(b, t)) continue;  // not theirs to change
      if (SameMapping(o, b)) {          // changed there only
        if (o) plan.remove.push_back(o->name);
        if (t) plan.load.push_back(*t);
      } else if (!o) {  // removed here, changed there: the mapping stays
        plan.load.push_back(*t);
      } else if (t && !SameMapping(o, t)) {  // two versions of one mapping: this one stays
        plan.kept.push_back(o->name);
      }  // changed here, removed there: the mapping stays
    }
  }
  return plan;
}

DWORD Merge(const char* base, size_t baseSize, const char* theirs, size_t theirsSize, const char* ours,
            size_t oursSize, KeptNameProc kept, void* context) {
  NameSet now = ReadNames(theirs, theirsSize);
  if (!now.complete) return NAME_MERGE_UNREADABLE;
  MergePlan plan = PlanMerge(ReadNames(base, baseSize), now, ReadNames(ours, oursSize));
  DWORD result = NAME_MERGE_NOTHING;
  if (!plan.remove.empty() || !plan.load.empty()) {
    for (const std::string& name : plan.remove) DeleteName(name.c_str());
    result = NAME_MERGE_TAKEN;
    for (const NameLine& l : plan.load)
      if (!LoadMapping(l)) result = NAME_MERGE_FAILED;
  }
  if (kept)
    for (const std::string& name : plan.kept) kept(context, name.c_str());
  return result;
}

}  // namespace

BYTE QV_CALL SaveNameFile(FileHandle file) {
  if (!plat::SetFilePointer(file, 0, plat::FILE_BEGIN, nullptr)) {
    ShowSystemError(nullptr, kMoveError, plat::GetLastError());
    return FALSE;
  }
  if (!plat::SetEndOfFile(file)) {
    ShowSystemError(nullptr, kClearError, plat::GetLastError());
    return FALSE;
  }
  DWORD code = 0;
  {
    Lock active(ActiveMutex());
    if (!active.held()) {
      code = ETIMEDOUT;
    } else {
      for (const NameEntry* e = FirstActive(); e; e = e->next) {
        char line[kNameLineSize];
        DWORD size = (DWORD)FormatLine(e, line);
        DWORD done = 0;
        if (!plat::WriteFile(file, line, size, &done)) {
          code = plat::GetLastError();
          break;
        }
        if (done != size) {  // the platform retries short writes; one that stays short is reported
          code = ENOSPC;
          break;
        }
      }
      // Cleared before the lock goes: a mapping added after the walk keeps
      // the table marked as changed.
      if (code == 0) ClearNamesChanged();
    }
  }
  if (code != 0) {
    ShowSystemError(nullptr, kWriteError, code);
    return FALSE;
  }
  return TRUE;
}

// TRUE when every line of the file was loaded. A load that skipped lines
// clears the mark as a complete one does (the table holds what the file could
// give); the host learns from the result that saving would drop those lines.
// A load that stopped early or failed leaves the mark set.
BYTE QV_CALL LoadNameFile(FileHandle file) {
  if (!plat::SetFilePointer(file, 0, plat::FILE_BEGIN, nullptr)) {
    ShowSystemError(nullptr, kMoveError, plat::GetLastError());
    SetNamesChanged();
    return FALSE;
  }
  int64_t size = 0;
  if (!plat::GetFileSize(file, &size)) {
    ShowSystemError(nullptr, kSizeError, plat::GetLastError());
    SetNamesChanged();
    return FALSE;
  }
  char* buffer = nullptr;
  if (size >= 0 && (uint64_t)size < 0xFFFFFFFFu && (uint64_t)size < SIZE_MAX)
    buffer = static_cast<char*>(plat::LocalAlloc((size_t)size + 1));
  else
    plat::SetLastError(ENOMEM);
  if (!buffer) {
    ShowSystemError(nullptr, kAllocError, plat::GetLastError());
    SetNamesChanged();
    return FALSE;
  }
  DWORD got = 0;
  bool whole = plat::ReadFile(file, buffer, (DWORD)size, &got) && got == (DWORD)size;

  NameTextResult r = ReadNameText(buffer, got, LoadMapping);
  plat::LocalFree(buffer);
  bool cleared = false;
  if (!r.stopped) {
    Lock active(ActiveMutex());
    if (active.held()) {
      ClearNamesChanged();
      cleared = true;
    }
  }
  if (!cleared) SetNamesChanged();
  return whole && cleared && !r.skipped ? TRUE : FALSE;
}

}  // namespace pallisand

// Out of memory ends the merge as a failure: nothing is thrown past the
// library's edge.
QV_EXPORT DWORD QV_CALL MergeNameFile(const char* base, size_t baseSize, const char* theirs, size_t theirsSize,
                                      const char* ours, size_t oursSize, KeptNameProc kept, void* context) {
  try {
    return pallisand::Merge(base, baseSize, theirs, theirsSize, ours, oursSize, kept, context);
  } catch (...) {
    return NAME_MERGE_FAILED;
  }
}
