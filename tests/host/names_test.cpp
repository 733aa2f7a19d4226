// The host's name file: loading, saving through a temporary file, savers in
// other processes, killed savers, odd files.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "combo.h"
#include "name_entry.h"
#include "qvhost/file_steps.h"
#include "testhost.h"

namespace {

using pallisand::NameEntry;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A name file line: name, address, its length, no flags, the value, the colours.
std::string Line(const std::string& name, const std::string& hex, int destination = 0, int value = 0) {
  return name + "," + hex + "," + std::to_string(hex.size() / 2) + ",   ,0," + std::to_string(value) + "," +
         std::to_string(destination) + ",0,0,0\n";
}

// The folder the tests' files go in, made when missing.
std::string ScratchRoot() {
  const char* base = getenv("QUORVANE_CONFIG_DIR");
  std::string root = base && *base ? base : "/tmp";
  for (size_t pos = 1; pos <= root.size(); pos++)
    if (pos == root.size() || root[pos] == '/') mkdir(root.substr(0, pos).c_str(), 0755);
  return root;
}

class HostNameFile : public testing::Test {
 public:
  HostNameFile() : HostNameFile({"pallisand"}, qvtest::PluginDir()) {}
  HostNameFile(const std::vector<std::string>& libraries, const std::string& folder) : h(libraries, false, folder) {
    h.host.hooks().afterAttach = nullptr;  // the table's own AddName
    h.Start();
    t = h.table();
  }

  void SetUp() override {
    ASSERT_TRUE(h.loadErrors.empty()) << h.loadErrors[0];
    std::string pattern = ScratchRoot() + "/namesXXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr) << strerror(errno);
    dir = pattern;
    path = dir + "/names.txt";
  }
  void TearDown() override { nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

  NameEntry* Add(const std::string& name, const char* hex) {
    qvtest::Bytes a = qvtest::Hex(hex);
    return static_cast<NameEntry*>(t->AddName(name.c_str(), a.data(), (int)a.size(), 0));
  }
  void MarkChanged() { t->flags |= MT_NAMES_CHANGED; }
  // This program loads a file of A and adds B; another program then saves
  // `there` into the file.
  void AddedHereSavedThere(const std::string& there) {
    Write(path, Line("A", "0A"));
    EXPECT_TRUE(Load());
    Add("B", "0C");
    Write(path, there);
  }

  std::vector<std::string> Names() {
    pallisand::ComboBox combo;
    t->FillNameCombo(combo.hwnd());
    return combo.items;
  }
  // The table as "name hex destination", with " value N" where the value is
  // not 0, sorted.
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (const std::string& n : Names()) {
      NameEntry* e = static_cast<NameEntry*>(t->AddName(n.c_str(), nullptr, 0, 0));
      std::string hex;
      char b[3];
      for (int i = 0; i < e->addressLength; i++) snprintf(b, sizeof b, "%02X", e->address[i]), hex += b;
      out.push_back(n + " " + hex + " " + std::to_string((int)e->destinationColor) +
                    (e->value ? " value " + std::to_string(e->value) : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // The table after a fresh load of the file.
  std::vector<std::string> FileEntries() {
    t->ClearNameTable();
    std::string error;
    EXPECT_TRUE(h.host.LoadNames(path, &error)) << error;
    return Entries();
  }

  bool Load(std::string* error = nullptr) {
    t->ClearNameTable();
    std::string e;
    bool ok = h.host.LoadNames(path, &e);
    if (error) *error = e;
    return ok;
  }
  bool Save(std::string* error = nullptr) {
    std::string e;
    bool ok = h.host.SaveNamesIfChanged(path, &e);
    if (error) *error = e;
    return ok;
  }

  std::set<std::string> Files() const {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.insert(e->d_name);
      closedir(d);
    }
    return names;
  }

  qvtest::TestHost h;
  MonitorTable* t = nullptr;
  std::string dir, path;
};

// ---------------------------------------------------------------- what a save keeps

TEST_F(HostNameFile, SavingKeepsTheModeAndOwner) {
  for (mode_t mode : {0600, 0640, 0664, 0604}) {
    SCOPED_TRACE(testing::Message() << std::oct << mode);
    Write(path, Line("A", "0A"));
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    const bool root = geteuid() == 0;
    if (root) {
      ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
    }
    ASSERT_TRUE(Load());
    Add("B", "0C");
    std::string error;
    ASSERT_TRUE(Save(&error)) << error;
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    if (root) {
      EXPECT_EQ(st.st_uid, 4321u);
      EXPECT_EQ(st.st_gid, 4322u);
    }
    EXPECT_EQ(FileEntries(), (std::vector<std::string>{"A 0A 0", "B 0C 0"}));
  }
  // A new file gets the mode any new file gets.
  unlink(path.c_str());
  ASSERT_TRUE(Load());
  Add("C", "0E");
  ASSERT_TRUE(Save());
  mode_t mask = umask(022);
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);
  EXPECT_EQ(Files(), std::set<std::string>{"names.txt"});
}

TEST_F(HostNameFile, SavingThroughALinkReplacesItsTarget) {
  ASSERT_EQ(mkdir((dir + "/data").c_str(), 0755), 0);
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // link, what it points at
    std::string target;
    bool targetExists;
  } cases[] = {
      {"relative link", {{"names.txt", "data/real.txt"}}, "data/real.txt", true},
      {"absolute link", {{"names.txt", dir + "/data/real.txt"}}, "data/real.txt", true},
      {"link to a link", {{"names.txt", "data/middle"}, {"data/middle", "real.txt"}}, "data/real.txt", true},
      {"link to a file not there yet", {{"names.txt", "data/new.txt"}}, "data/new.txt", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& [link, to] : c.links) {
      unlink((dir + "/" + link).c_str());
      ASSERT_EQ(symlink(to.c_str(), (dir + "/" + link).c_str()), 0) << strerror(errno);
    }
    const std::string target = dir + "/" + c.target;
    unlink(target.c_str());
    if (c.targetExists) Write(target, Line("A", "0A"));
    ASSERT_TRUE(Load());
    Add("B", "0C");
    std::string error;
    ASSERT_TRUE(Save(&error)) << error;
    for (const auto& [link, to] : c.links) {
      struct stat st;
      ASSERT_EQ(lstat((dir + "/" + link).c_str(), &st), 0);
      EXPECT_TRUE(S_ISLNK(st.st_mode)) << link << " is no longer a link";
    }
    EXPECT_NE(Read(target).find("B,0C,1,"), std::string::npos);
    EXPECT_EQ(FileEntries().size(), c.targetExists ? 2u : 1u);
  }
}

// A user who made the file read-only wants it kept: the save leaves it as it
// is (the rename would replace it all the same), and the table stays changed.
TEST_F(HostNameFile, AReadOnlyFileIsLeftAsItIs) {
  for (mode_t mode : {0444, 0400}) {
    SCOPED_TRACE(testing::Message() << std::oct << mode);
    const std::string old = Line("A", "0A");
    Write(path, old);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    struct stat before, after;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_TRUE(Load());
    Add("B", "0C");
    std::string error;
    EXPECT_FALSE(Save(&error));
    EXPECT_EQ(error, path + ": not saved: the file is read-only, and is left as it is");
    EXPECT_TRUE(t->flags & MT_NAMES_CHANGED);
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, mode);
    EXPECT_EQ(Read(path), old);
    EXPECT_EQ(Files(), std::set<std::string>{"names.txt"});
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  }
}

// Reading a FIFO would wait for a writer that never comes.
TEST_F(HostNameFile, AnythingButARegularFileIsRefusedAtOnce) {
  alarm(60);
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((dir + "/folder").c_str(), 0755), 0);
  ASSERT_EQ(symlink("/dev/null", (dir + "/device").c_str()), 0);
  for (const char* name : {"fifo", "folder", "device"}) {
    SCOPED_TRACE(name);
    path = dir + "/" + name;
    std::string error;
    EXPECT_FALSE(Load(&error));
    EXPECT_EQ(error, path + ": not a regular file; the name table is neither loaded from it nor saved to it");
    // Nor is the table saved there, even when it was loaded from elsewhere.
    path = dir + "/names.txt";
    ASSERT_TRUE(Load());
    Add("A", "0A");
    path = dir + "/" + name;
    EXPECT_FALSE(Save(&error));
    EXPECT_EQ(error, path + ": not a regular file; the name table is neither loaded from it nor saved to it");
  }
  struct stat st;
  ASSERT_EQ(stat((dir + "/fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(Files(), (std::set<std::string>{"device", "fifo", "folder"}));
  alarm(0);
}

// ---------------------------------------------------------------- partial loads

// A file the table could not take whole is never saved over: saving would
// drop what was not loaded. A file with blank lines loads whole.
TEST_F(HostNameFile, AFileNotLoadedWholeIsLeftAsItIs) {
  struct Case {
    const char* what;
    std::string text;
    bool whole;
  } cases[] = {
      {"a line that is skipped", Line("A", "0A") + "B,0C,9,   ,0,0,0,0,0,0\n" + Line("C", "0E"), false},
      {"a line that ends the load", Line("A", "0A") + "Junk\n" + Line("C", "0E"), false},
      {"blank lines", Line("A", "0A") + "\n" + Line("C", "0E") + "\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write(path, c.text);
    std::string error;
    EXPECT_EQ(Load(&error), c.whole);
    EXPECT_EQ(error, c.whole ? "" : path + ": the name file could not be read completely; it will not be overwritten");
    // Nothing changed: nothing to save, and nothing to say.
    EXPECT_TRUE(Save(&error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(Read(path), c.text);
    Add("New", "10");
    EXPECT_EQ(Save(&error), c.whole);
    if (!c.whole) {
      EXPECT_EQ(error, path + ": not saved, since it could not be loaded completely");
      EXPECT_EQ(Read(path), c.text);
      EXPECT_TRUE(t->flags & MT_NAMES_CHANGED);
    } else {
      EXPECT_EQ(FileEntries(), (std::vector<std::string>{"A 0A 0", "C 0E 0", "New 10 0"}));
    }
  }
}

// ---------------------------------------------------------------- other savers

struct MergeCase {
  const char* what;
  std::function<void(HostNameFile*)> here;  // this program's changes after its load
  std::string there;                        // what another program saved meanwhile
  std::vector<std::string> entries;         // the file and the table afterwards
  std::string notice;
};

TEST_F(HostNameFile, WhatAnotherProgramSavedIsMergedNameByName) {
  const std::string base = Line("A", "0A") + Line("B", "0C") + Line("C", "0E");
  auto colour = [](HostNameFile* f, const char* name, int c) {
    f->Add(name, "")->destinationColor = (COLORREF)c;
    f->MarkChanged();
  };
  const MergeCase cases[] = {
      {"added there and here", [](HostNameFile* f) { f->Add("D", "10"); }, base + Line("E", "12"),
       {"A 0A 0", "B 0C 0", "C 0E 0", "D 10 0", "E 12 0"}, ""},
      {"changed there only", [](HostNameFile* f) { f->Add("D", "10"); },
       Line("A", "0A", 255) + Line("B", "0C") + Line("C", "0E"), {"A 0A 255", "B 0C 0", "C 0E 0", "D 10 0"}, ""},
      {"an address changed there", [](HostNameFile* f) { f->Add("D", "10"); },
       Line("A", "0A") + Line("B", "0C0C") + Line("C", "0E"), {"A 0A 0", "B 0C0C 0", "C 0E 0", "D 10 0"}, ""},
      {"only a value changed there", [](HostNameFile* f) { f->Add("D", "10"); },
       Line("A", "0A") + Line("B", "0C", 0, 5) + Line("C", "0E"), {"A 0A 0", "B 0C 0 value 5", "C 0E 0", "D 10 0"},
       ""},
      {"removed there only", [](HostNameFile* f) { f->Add("D", "10"); }, Line("A", "0A") + Line("C", "0E"),
       {"A 0A 0", "C 0E 0", "D 10 0"}, ""},
      {"everything removed there", [](HostNameFile* f) { f->Add("D", "10"); }, "", {"D 10 0"}, ""},
      {"removed here, changed there", [](HostNameFile* f) { f->t->DeleteName("C"); },
       Line("A", "0A") + Line("B", "0C") + Line("C", "0E", 7), {"A 0A 0", "B 0C 0", "C 0E 7"}, ""},
      {"removed here, unchanged there", [](HostNameFile* f) { f->t->DeleteName("C"); }, base + Line("E", "12"),
       {"A 0A 0", "B 0C 0", "E 12 0"}, ""},
      {"changed here, removed there", [&](HostNameFile* f) { colour(f, "C", 9); },
       Line("A", "0A") + Line("B", "0C"), {"A 0A 0", "B 0C 0", "C 0E 9"}, ""},
      {"changed on both sides", [&](HostNameFile* f) { colour(f, "A", 1); },
       Line("A", "0A", 2) + Line("B", "0C") + Line("C", "0E"), {"A 0A 1", "B 0C 0", "C 0E 0"}, "A"},
      {"changed alike on both sides", [&](HostNameFile* f) { colour(f, "A", 3); },
       Line("A", "0A", 3) + Line("B", "0C") + Line("C", "0E"), {"A 0A 3", "B 0C 0", "C 0E 0"}, ""},
      {"one name added on both sides", [](HostNameFile* f) { f->Add("F", "14"); }, base + Line("f", "16"),
       {"A 0A 0", "B 0C 0", "C 0E 0", "F 14 0"}, "F"},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.what);
    Write(path, base);
    ASSERT_TRUE(Load());
    c.here(this);
    Write(path, c.there);
    std::string error;
    EXPECT_TRUE(Save(&error)) << error;
    EXPECT_EQ(error, c.notice.empty() ? ""
                                      : path + ": another program changed mappings that were changed here too; "
                                               "kept as changed here: " + c.notice);
    EXPECT_EQ(Entries(), c.entries) << "the table";
    EXPECT_FALSE(t->flags & MT_NAMES_CHANGED);
    EXPECT_EQ(FileEntries(), c.entries) << "the file";
  }
}

// Whether the load would stop at the line or skip it, a merge would drop it.
TEST_F(HostNameFile, AFileAnotherProgramLeftUnreadableIsNotSavedOver) {
  const struct {
    const char* what;
    std::string there;
  } cases[] = {
      {"a line that ends the load", Line("A", "0A") + "Junk\n"},
      {"a line that is skipped", Line("A", "0A") + "C,0E,9,   ,0,0,0,0,0,0\n" + Line("D", "10")},
  };
  std::string error;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    AddedHereSavedThere(c.there);
    EXPECT_FALSE(Save(&error));
    EXPECT_EQ(error, path + ": not saved: another program changed it since it was loaded, and it now holds lines "
                            "that cannot be read");
    EXPECT_EQ(Read(path), c.there);
    EXPECT_TRUE(t->flags & MT_NAMES_CHANGED);
    EXPECT_EQ(Files(), std::set<std::string>{"names.txt"});
  }

  // A file removed since the load is no mapping saved by another program.
  unlink(path.c_str());
  EXPECT_TRUE(Save(&error)) << error;
  EXPECT_EQ(FileEntries(), (std::vector<std::string>{"A 0A 0", "B 0C 0"}));
}

// Two copies of the name table loaded, the second under another file name:
// the second fills the table's slots, so the table that is saved is its,
// and the merge must be its too (the first's would take the other
// program's mappings into a table that is never saved).
std::string TwoNameTablesFolder() {
  const std::string folder = ScratchRoot() + "/two-name-tables";
  mkdir(folder.c_str(), 0755);
  for (const char* copy : {"first", "second"}) {
    std::ifstream from(qvtest::PluginPath("pallisand"), std::ios::binary);
    std::ofstream(folder + "/lib" + copy + ".so", std::ios::binary | std::ios::trunc) << from.rdbuf();
  }
  return folder;
}

class TwoNameTables : public HostNameFile {
 public:
  TwoNameTables() : HostNameFile({"first", "second"}, TwoNameTablesFolder()) {}
};

TEST_F(TwoNameTables, TheMergeIsThatOfTheTableTheSlotsLeadTo) {
  AddedHereSavedThere(Line("A", "0A") + Line("C", "0E"));
  std::string error;
  EXPECT_TRUE(Save(&error)) << error;
  const std::vector<std::string> merged = {"A 0A 0", "B 0C 0", "C 0E 0"};
  EXPECT_EQ(Entries(), merged) << "the table";
  EXPECT_EQ(FileEntries(), merged) << "the file";
}

// Two programs, each loading the file, adding a name and saving, 200 times at
// once, while a third reads it: every load is whole, no save fails, and every
// name is there at the end.
TEST_F(HostNameFile, TwoProgramsSavingAtOnceLoseNothing) {
  const int rounds = 200;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; p++) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < rounds; i++) {
        std::string name = "P" + std::to_string(p) + "-" + std::to_string(i), error;
        if (!Load()) failures++;
        Add(name, "00A0C9");
        if (!Save(&error) || !error.empty()) failures++;
      }
      _exit(std::min(failures, 100));
    }
    children.push_back(pid);
  }
  int loads = 0;
  while (!children.empty()) {
    std::string error;
    ASSERT_TRUE(Load(&error)) << error;
    loads++;
    int status = 0;
    pid_t done = waitpid(-1, &status, WNOHANG);
    if (done > 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failures: " << WEXITSTATUS(status);
      children.erase(std::find(children.begin(), children.end(), done));
    }
  }
  EXPECT_GT(loads, 0);
  ASSERT_TRUE(Load());
  std::vector<std::string> names = Names();
  EXPECT_EQ(names.size(), 2u * rounds);
  for (int p = 0; p < 2; p++)
    for (int i = 0; i < rounds; i++) {
      std::string name = "P" + std::to_string(p) + "-" + std::to_string(i);
      EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    }
  EXPECT_EQ(Files(), std::set<std::string>{"names.txt"});
}

// A saver killed at any point leaves the old file or the new one, whole; the
// next saver clears the temporary file it left.
TEST_F(HostNameFile, ASaverKilledMidwayLeavesAWholeFile) {
  std::string text;
  for (int i = 0; i < 3000; i++) text += Line("Seed" + std::to_string(i), "00A0C91234");
  Write(path, text);
  srand((unsigned)time(nullptr));
  size_t count = 3000;
  for (int round = 0; round < 25; round++) {
    ASSERT_TRUE(Load());
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0;; i++) {
        Add("Child" + std::to_string(round) + "-" + std::to_string(i), "00A0C9");
        Save();
      }
    }
    usleep((useconds_t)(1000 + rand() % 30000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    std::string error;
    ASSERT_TRUE(Load(&error)) << "round " << round << ": " << error;
    size_t now = Names().size();
    EXPECT_GE(now, count) << "round " << round;
    count = now;
    Add("Parent" + std::to_string(round), "00A0C9");
    ASSERT_TRUE(Save(&error)) << error;
    EXPECT_EQ(Files(), std::set<std::string>{"names.txt"}) << "round " << round;
  }
}

TEST_F(HostNameFile, OnlyTemporariesOfThisFileAreCleared) {
  for (const char* name : {"names.txt.tmp-AbC123", "names.txt.tmp-old", "names.txt.tmp-AbC1234", "names.txt.bak",
                           "other.txt.tmp-XyZ987"})
    Write(dir + "/" + name, "x");
  ASSERT_TRUE(Load());
  Add("A", "0A");
  ASSERT_TRUE(Save());
  EXPECT_EQ(Files(), (std::set<std::string>{"names.txt", "names.txt.tmp-old", "names.txt.tmp-AbC1234",
                                            "names.txt.bak", "other.txt.tmp-XyZ987"}));
}

// A save killed before its rename leaves a temporary as large as the file: the
// next load clears it, but not while a saver holds the file's lock (the
// temporary may be that saver's).
TEST_F(HostNameFile, TheLoadClearsTemporariesOfKilledSavers) {
  Write(path, Line("A", "0A"));
  for (const char* name : {"names.txt.tmp-AbC123", "names.txt.tmp-old", "other.txt.tmp-XyZ987"})
    Write(dir + "/" + name, Line("A", "0A"));
  const std::set<std::string> all = {"names.txt", "names.txt.tmp-AbC123", "names.txt.tmp-old", "other.txt.tmp-XyZ987"};
  int saver = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(saver, 0);
  ASSERT_EQ(flock(saver, LOCK_EX), 0);
  ASSERT_TRUE(Load());
  EXPECT_EQ(Files(), all);
  close(saver);
  ASSERT_TRUE(Load());
  EXPECT_EQ(Files(), (std::set<std::string>{"names.txt", "names.txt.tmp-old", "other.txt.tmp-XyZ987"}));
  EXPECT_FALSE(t->flags & MT_NAMES_CHANGED);
}

// A full disk (here: a file size limit) fails the save and keeps the old file.
TEST_F(HostNameFile, AFailedWriteKeepsTheOldFile) {
  const std::string old = Line("A", "0A");
  Write(path, old);
  ASSERT_TRUE(Load());
  Add("B", "0C");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {8, 8};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string error;
    bool saved = Save(&error);
    bool marked = t->flags & MT_NAMES_CHANGED;
    _exit(saved ? 1 : !marked ? 2 : error != path + ": not saved: the name table could not be written" ? 3 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
  EXPECT_EQ(Read(path), old);
  EXPECT_EQ(Files(), std::set<std::string>{"names.txt"});
}

// ---------------------------------------------------------------- what reaches the disk

// The steps of a save as they reach the disk: each write of the table, each
// flush and the rename, with the file or folder that each one reached.
struct DiskStep {
  std::string step;
  struct stat reached;
  std::string to;  // the new name of a rename
};
std::vector<DiskStep>* g_steps = nullptr;
NameFileProc g_tableSave = nullptr;

BYTE QV_CALL RecordedSave(FileHandle fd) {
  g_steps->push_back({"write", {}, ""});
  fstat(fd, &g_steps->back().reached);
  return g_tableSave(fd);
}
int RecordedSync(int fd) {
  g_steps->push_back({"sync", {}, ""});
  fstat(fd, &g_steps->back().reached);
  return fsync(fd);
}
int RecordedRename(const char* from, const char* to) {
  const char* slash = strrchr(to, '/');
  g_steps->push_back({"rename", {}, slash ? slash + 1 : to});
  stat(from, &g_steps->back().reached);
  return rename(from, to);
}

// After a crash at any moment the file is the old one or the new one, whole:
// the new file is flushed before the rename puts it in place (else the name
// could lead to a file whose bytes never reached the disk), and the folder
// after it, so that the rename lasts.
TEST_F(HostNameFile, TheNewFileIsOnTheDiskBeforeItTakesTheOldOnesPlace) {
  struct Case {
    const char* what;
    std::string there;  // the file when this program saves
    std::vector<std::string> steps;
  };
  const Case cases[] = {
      {"a change saved", Line("A", "0A"),
       {"write new file", "sync new file", "rename new file to names.txt", "sync folder"}},
      {"a change merged with another program's", Line("A", "0A") + Line("C", "0E"),
       {"write new file", "write new file", "sync new file", "rename new file to names.txt", "sync folder"}},
  };
  std::vector<DiskStep> steps;
  struct Recording {
    HostNameFile* f;
    qvhost::FileSteps disk = qvhost::g_nameFileSteps;
    explicit Recording(HostNameFile* fixture, std::vector<DiskStep>* steps) : f(fixture) {
      g_steps = steps;
      g_tableSave = f->t->SaveNameFile;
      f->t->SaveNameFile = RecordedSave;
      qvhost::g_nameFileSteps = {RecordedSync, RecordedRename};
    }
    ~Recording() {
      qvhost::g_nameFileSteps = disk;
      f->t->SaveNameFile = g_tableSave;
      g_steps = nullptr;
    }
  } recording(this, &steps);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AddedHereSavedThere(c.there);
    steps.clear();
    std::string error;
    ASSERT_TRUE(Save(&error)) << error;
    struct stat file, folder;
    ASSERT_EQ(stat(path.c_str(), &file), 0);
    ASSERT_EQ(stat(dir.c_str(), &folder), 0);
    auto is = [](const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; };
    std::vector<std::string> got;
    for (const DiskStep& s : steps)
      got.push_back(s.step + (is(s.reached, file) ? " new file" : is(s.reached, folder) ? " folder" : " another file") +
                    (s.to.empty() ? "" : " to " + s.to));
    EXPECT_EQ(got, c.steps);
  }
}

}  // namespace
