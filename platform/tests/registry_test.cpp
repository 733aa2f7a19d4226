// The file-backed registry store.
#include <dirent.h>
#include <errno.h>
#include <ftw.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <ctime>
#include <vector>

#include <gtest/gtest.h>

#include "plat/platform.h"

namespace {

using Bytes = std::vector<BYTE>;
using plat::HKEY;

Bytes B(std::string_view text) { return Bytes(text.begin(), text.end()); }

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

// Every test gets a config folder of its own (not yet created) below the one
// CTest names, so that test processes running in parallel never meet.
class PlatRegistry : public testing::Test {
 protected:
  void SetUp() override {
    const char* base = getenv("QUORVANE_CONFIG_DIR");
    std::string root = base && *base ? base : "/tmp";
    if (base) saved_ = base, hadSaved_ = true;
    std::string made;
    for (size_t pos = 1; pos <= root.size(); pos++)
      if (pos == root.size() || root[pos] == '/') mkdir(root.substr(0, pos).c_str(), 0755);
    std::string pattern = root + "/regXXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr) << strerror(errno);
    top_ = pattern;
    dir_ = top_ + "/config";
    setenv("QUORVANE_CONFIG_DIR", dir_.c_str(), 1);
    file_ = dir_ + "/current_user.reg";
  }
  void TearDown() override {
    nftw(top_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    if (hadSaved_)
      setenv("QUORVANE_CONFIG_DIR", saved_.c_str(), 1);
    else
      unsetenv("QUORVANE_CONFIG_DIR");
  }

  HKEY Open(const char* path, bool create = true) {
    HKEY key = nullptr;
    EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, path, create, &key), plat::ERROR_SUCCESS)
        << path << ": " << plat::RegLastErrorText();
    return key;
  }

  std::string Text() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  void WriteText(const std::string& text) const {
    mkdir(dir_.c_str(), 0755);
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << text;
  }

  // Changes the file's bytes (a comment) so that the next call parses it anew.
  void Touch() const { WriteText(Text() + "; touched\n"); }

  std::set<std::string> Entries() const {
    std::set<std::string> names;
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.insert(e->d_name);
      closedir(d);
    }
    return names;
  }

  // The whole value (type and bytes) through a size query and a read.
  static LONG Get(HKEY key, const char* name, DWORD* type, Bytes* data) {
    DWORD size = 0;
    LONG r = plat::RegQueryValue(key, name, type, nullptr, &size);
    if (r != plat::ERROR_SUCCESS) return r;
    data->assign(size, 0xcc);
    DWORD got = size;
    r = plat::RegQueryValue(key, name, type, data->data(), &got);
    EXPECT_EQ(got, size);
    return r;
  }

  std::string saved_;
  bool hadSaved_ = false;
  std::string top_, dir_, file_;
};

struct Sample {
  const char* name;
  DWORD type;
  Bytes set;    // what RegSetValue gets
  Bytes query;  // what RegQueryValue gives back
  const char* line;  // its line in the file
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = {
      {"Title", plat::REG_SZ, B("hello"), B(std::string("hello\0", 6)), "\"Title\"=sz:\"hello\""},
      {"Terminated", plat::REG_SZ, B(std::string("abc\0", 4)), B(std::string("abc\0", 4)), "\"Terminated\"=sz:\"abc\""},
      {"Empty", plat::REG_SZ, {}, {0}, "\"Empty\"=sz:\"\""},
      {"Count", plat::REG_DWORD, {0x2a, 0, 0, 0}, {0x2a, 0, 0, 0}, "\"Count\"=dword:0000002a"},
      {"Max", plat::REG_DWORD, {0xff, 0xfe, 0x01, 0x80}, {0xff, 0xfe, 0x01, 0x80}, "\"Max\"=dword:8001feff"},
      {"Short dword", plat::REG_DWORD, {1, 2}, {1, 2}, "\"Short dword\"=hex(4):01,02"},
      {"Bytes", plat::REG_BINARY, {0, 1, 0x7f, 0x80, 0xff}, {0, 1, 0x7f, 0x80, 0xff}, "\"Bytes\"=hex:00,01,7f,80,ff"},
      {"Nothing", plat::REG_BINARY, {}, {}, "\"Nothing\"=hex:"},
      {"Multi", 7, {'a', 0, 0}, {'a', 0, 0}, "\"Multi\"=hex(7):61,00,00"},
      {"", plat::REG_SZ, B("default"), B(std::string("default\0", 8)), "@=sz:\"default\""},
  };
  return samples;
}

TEST_F(PlatRegistry, RoundTripsEveryType) {
  HKEY key = Open("Software\\Quorvane\\Protocols");
  for (const auto& s : Samples())
    ASSERT_EQ(plat::RegSetValue(key, s.name, s.type, s.set.data(), (DWORD)s.set.size()), plat::ERROR_SUCCESS)
        << s.name << ": " << plat::RegLastErrorText();
  std::string text = Text();
  EXPECT_EQ(text.rfind("; ", 0), 0u) << "a header comment first";
  EXPECT_NE(text.find("\n[Software\\Quorvane\\Protocols]\n"), std::string::npos) << text;
  for (const auto& s : Samples()) EXPECT_NE(text.find(std::string("\n") + s.line + "\n"), std::string::npos) << s.line;
  for (int pass = 0; pass < 2; pass++) {  // from the cache, then from a fresh parse
    for (const auto& s : Samples()) {
      DWORD type = 0;
      Bytes got;
      ASSERT_EQ(Get(key, s.name, &type, &got), plat::ERROR_SUCCESS) << s.name;
      EXPECT_EQ(type, s.type) << s.name;
      EXPECT_EQ(got, s.query) << s.name;
    }
    Touch();
  }
  // A null name is the default value.
  DWORD type = 0;
  Bytes got;
  EXPECT_EQ(Get(key, nullptr, &type, &got), plat::ERROR_SUCCESS);
  EXPECT_EQ(got, B(std::string("default\0", 8)));
  // Setting the same value again leaves the file alone; a new one replaces it.
  text = Text();
  EXPECT_EQ(plat::RegSetValue(key, "Count", plat::REG_DWORD, Samples()[3].set.data(), 4), plat::ERROR_SUCCESS);
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(plat::RegSetValue(key, "Count", plat::REG_BINARY, (const BYTE*)"\x01", 1), plat::ERROR_SUCCESS);
  EXPECT_EQ(Get(key, "Count", &type, &got), plat::ERROR_SUCCESS);
  EXPECT_EQ(type, (DWORD)plat::REG_BINARY);
  EXPECT_EQ(got, Bytes{1});
  EXPECT_EQ(plat::RegCloseKey(key), plat::ERROR_SUCCESS);
}

TEST_F(PlatRegistry, OpensOrCreatesKeys) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "Software\\Quorvane", false, &key), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_NE(strstr(plat::RegLastErrorText(), "Software\\Quorvane"), nullptr) << plat::RegLastErrorText();
  struct stat st;
  EXPECT_NE(stat(dir_.c_str(), &st), 0) << "reading made the folder";

  key = Open("\\Software\\\\Quorvane\\Settings\\");  // stray backslashes do not count
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(stat(dir_.c_str(), &st), 0) << "the folder is made on writing";
  EXPECT_NE(Text().find("\n[Software\\Quorvane\\Settings]\n"), std::string::npos) << Text();
  plat::RegCloseKey(key);
  for (const char* path : {"Software\\Quorvane\\Settings", "Software\\Quorvane", "Software", "", "\\"}) {
    HKEY k = Open(path, false);  // ancestors exist through their children
    EXPECT_NE(k, nullptr) << path;
    plat::RegCloseKey(k);
  }
  std::string text = Text();
  plat::RegCloseKey(Open("software\\quorvane"));  // exists: nothing written
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_LOCAL_MACHINE, "Software\\Quorvane", false, &key), plat::ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(plat::RegOpenKey(plat::HKEY_LOCAL_MACHINE, "Software\\Quorvane", true, &key), plat::ERROR_SUCCESS);
  plat::RegCloseKey(key);
  EXPECT_EQ(Entries(), (std::set<std::string>{"current_user.reg", "current_user.reg.lock", "local_machine.reg",
                                              "local_machine.reg.lock"}));

  EXPECT_EQ(plat::RegOpenKey((plat::Hive)7, "X", true, &key), plat::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "Bad\nName", true, &key), plat::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "X", true, nullptr), plat::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(plat::RegQueryValue(nullptr, "x", nullptr, nullptr, nullptr), plat::ERROR_INVALID_HANDLE);
  EXPECT_EQ(plat::RegSetValue(nullptr, "x", plat::REG_SZ, nullptr, 0), plat::ERROR_INVALID_HANDLE);
  EXPECT_EQ(plat::RegDeleteValue(nullptr, "x"), plat::ERROR_INVALID_HANDLE);
  EXPECT_EQ(plat::RegCloseKey(nullptr), plat::ERROR_INVALID_HANDLE);
}

TEST_F(PlatRegistry, DeletesValues) {
  HKEY key = Open("Software\\Quorvane");
  ASSERT_EQ(plat::RegSetValue(key, "a", plat::REG_SZ, (const BYTE*)"1", 1), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::RegSetValue(key, "b", plat::REG_SZ, (const BYTE*)"2", 1), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::RegDeleteValue(key, "A"), plat::ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(plat::RegQueryValue(key, "a", nullptr, nullptr, &size), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plat::RegQueryValue(key, "b", nullptr, nullptr, &size), plat::ERROR_SUCCESS);
  EXPECT_EQ(Text().find("\"a\""), std::string::npos);
  std::string text = Text();
  EXPECT_EQ(plat::RegDeleteValue(key, "a"), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plat::RegDeleteValue(key, nullptr), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(plat::RegDeleteValue(key, "b"), plat::ERROR_SUCCESS);
  plat::RegCloseKey(key);
  plat::RegCloseKey(Open("Software\\Quorvane", false));  // the key stays
}

TEST_F(PlatRegistry, ShortBuffersAndSizeQueries) {
  HKEY key = Open("Software\\Quorvane\\Protocols");
  Bytes forty(40);
  for (int i = 0; i < 40; i++) forty[i] = (BYTE)(i + 1);
  ASSERT_EQ(plat::RegSetValue(key, "ETHERNET", plat::REG_BINARY, forty.data(), 40), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::RegSetValue(key, "Name", plat::REG_SZ, (const BYTE*)"abc", 4), plat::ERROR_SUCCESS);
  struct Case {
    const char* name;
    DWORD room;
    LONG result;
    DWORD size;
    Bytes copied;  // the buffer afterwards (0xcc = untouched)
  } cases[] = {
      {"ETHERNET", 36, plat::ERROR_MORE_DATA, 40, Bytes(forty.begin(), forty.begin() + 36)},
      {"ETHERNET", 40, plat::ERROR_SUCCESS, 40, forty},
      {"ETHERNET", 0, plat::ERROR_MORE_DATA, 40, {}},
      {"Name", 3, plat::ERROR_MORE_DATA, 4, B("abc")},
      {"Name", 4, plat::ERROR_SUCCESS, 4, B(std::string("abc\0", 4))},
      {"Name", 10, plat::ERROR_SUCCESS, 4, B(std::string("abc\0", 4))},
      {"Name", 1, plat::ERROR_MORE_DATA, 4, B("a")},
  };
  for (const auto& c : cases) {
    Bytes buffer(48, 0xcc);
    DWORD size = c.room, type = 0;
    EXPECT_EQ(plat::RegQueryValue(key, c.name, &type, buffer.data(), &size), c.result) << c.name << "/" << c.room;
    EXPECT_EQ(size, c.size) << c.name << "/" << c.room;
    Bytes expected = c.copied;
    expected.resize(48, 0xcc);
    EXPECT_EQ(buffer, expected) << c.name << "/" << c.room;
    DWORD need = 0;
    EXPECT_EQ(plat::RegQueryValue(key, c.name, nullptr, nullptr, &need), plat::ERROR_SUCCESS);
    EXPECT_EQ(need, c.size);
  }
  DWORD type = 0;
  EXPECT_EQ(plat::RegQueryValue(key, "ETHERNET", &type, nullptr, nullptr), plat::ERROR_SUCCESS);  // exists?
  EXPECT_EQ(type, (DWORD)plat::REG_BINARY);
  BYTE byte;
  EXPECT_EQ(plat::RegQueryValue(key, "ETHERNET", &type, &byte, nullptr), plat::ERROR_INVALID_PARAMETER);
  plat::RegCloseKey(key);
}

TEST_F(PlatRegistry, KeysAndNamesIgnoreCaseAndKeepTheFirstSpelling) {
  HKEY first = Open("Software\\Quorvane\\Protocols");
  HKEY second = Open("SOFTWARE\\quorvane\\PROTOCOLS", false);
  ASSERT_EQ(plat::RegSetValue(first, "TextColor", plat::REG_DWORD, (const BYTE*)"\x01\0\0\0", 4), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::RegSetValue(second, "TEXTCOLOR", plat::REG_DWORD, (const BYTE*)"\x02\0\0\0", 4), plat::ERROR_SUCCESS);
  DWORD value = 0, size = 4;
  EXPECT_EQ(plat::RegQueryValue(first, "textcolor", nullptr, (BYTE*)&value, &size), plat::ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);
  HKEY other = Open("software\\QUORVANE\\Other");
  plat::RegCloseKey(other);
  std::string text = Text();
  EXPECT_NE(text.find("\"TextColor\"=dword:00000002"), std::string::npos) << text;
  EXPECT_EQ(text.find("TEXTCOLOR"), std::string::npos) << text;
  EXPECT_NE(text.find("[Software\\Quorvane\\Other]"), std::string::npos) << text;
  EXPECT_EQ(text.find("PROTOCOLS"), std::string::npos) << text;
  plat::RegCloseKey(first);
  plat::RegCloseKey(second);
}

TEST_F(PlatRegistry, EscapesOddBytes) {
  std::string every;
  for (int c = 1; c < 256; c++) every += (char)c;
  Bytes all(256);
  for (int c = 0; c < 256; c++) all[c] = (BYTE)c;
  const std::string name = "a \"quoted\" \\name\\ with\ttab\nand [brackets]=";
  HKEY key = Open("Software\\Odd ]Key[ \xe9t\xe9 ;#@");
  ASSERT_EQ(plat::RegSetValue(key, name.c_str(), plat::REG_SZ, (const BYTE*)every.data(), (DWORD)every.size()),
            plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::RegSetValue(key, every.c_str(), plat::REG_BINARY, all.data(), 256), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::RegSetValue(key, "embedded", plat::REG_SZ, (const BYTE*)"a\0b", 3), plat::ERROR_SUCCESS);
  std::string text = Text();
  EXPECT_NE(text.find("\"a \\\"quoted\\\" \\\\name\\\\ with\\x09tab\\x0aand [brackets]=\"=sz:\""), std::string::npos)
      << text;
  EXPECT_NE(text.find("\"embedded\"=sz:\"a\\x00b\""), std::string::npos) << text;
  EXPECT_NE(text.find("\\x1f !\\\"#"), std::string::npos) << "printable bytes stay as they are";
  EXPECT_NE(text.find("~\\x7f\x80\x81"), std::string::npos) << "0x80-0xff stay as they are";
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << "header, blank, section, three values:\n" << text;
  Touch();  // parse it back
  HKEY again = Open("SOFTWARE\\ODD ]KEY[ \xe9T\xe9 ;#@", false);
  DWORD type = 0;
  Bytes got;
  ASSERT_EQ(Get(again, name.c_str(), &type, &got), plat::ERROR_SUCCESS) << plat::RegLastErrorText();
  Bytes expected = B(every);
  expected.push_back(0);
  EXPECT_EQ(got, expected);
  ASSERT_EQ(Get(again, every.c_str(), &type, &got), plat::ERROR_SUCCESS);
  EXPECT_EQ(got, all);
  ASSERT_EQ(Get(again, "embedded", &type, &got), plat::ERROR_SUCCESS);
  EXPECT_EQ(got, B(std::string("a\0b\0", 4)));
  plat::RegCloseKey(key);
  plat::RegCloseKey(again);
}

TEST_F(PlatRegistry, ReadsHandWrittenFiles) {
  WriteText(
      "; written by hand\r\n"
      "# another comment\n"
      "\n"
      "  [Software\\Quorvane]  \r\n"
      "\"Text\"=sz:\"tab\\there\\r\\n\\x41\"\n"
      "@=dword:DEADBEEF\n"
      "\"Hex\"=hex:0A,bC\n"
      "\"Str\"=hex(1):68,69,00\n"
      "[software\\quorvane]\n"  // a repeated section adds to the first
      "\"Later\"=hex(2):25,00\n"
      "\"Text\"=sz:\"replaced\"\n"
      "[Software\\Quorvane\\Empty]");
  HKEY key = Open("Software\\Quorvane", false);
  struct Case {
    const char* name;
    DWORD type;
    Bytes data;
  } cases[] = {
      {"Text", plat::REG_SZ, B(std::string("replaced\0", 9))},
      {"", plat::REG_DWORD, {0xef, 0xbe, 0xad, 0xde}},
      {"Hex", plat::REG_BINARY, {0x0a, 0xbc}},
      {"Str", plat::REG_SZ, B(std::string("hi\0", 3))},
      {"Later", 2, {0x25, 0}},
  };
  for (const auto& c : cases) {
    DWORD type = 0;
    Bytes got;
    ASSERT_EQ(Get(key, c.name, &type, &got), plat::ERROR_SUCCESS) << c.name << ": " << plat::RegLastErrorText();
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(got, c.data) << c.name;
  }
  plat::RegCloseKey(key);
  plat::RegCloseKey(Open("Software\\Quorvane\\Empty", false));
}

TEST_F(PlatRegistry, DamagedFileIsReportedAndLeftAlone) {
  using namespace std::string_literals;
  struct Case {
    std::string text;
    int line;
  } cases[] = {
      {"\"x\"=dword:00000001\n", 1},
      {"; header\n[K]\n\"x\"=sz:\"unterminated\n", 3},
      {"[K]\n\"x\"=sz:\"bad \\q escape\"\n", 2},
      {"[K]\n\"x\"=sz:\"ok\" trailing\n", 2},
      {"[K]\n\"x\"=dword:1234567\n", 2},
      {"[K]\n\"x\"=dword:1234567g\n", 2},
      {"[K]\n\"x\"=hex:0,1\n", 2},
      {"[K]\n\"x\"=hex:00,\n", 2},
      {"[K]\n\"x\"=hex(zz):00\n", 2},
      {"[K]\n\"x\"=\"plain\"\n", 2},
      {"[K]\n\n\ngarbage\n", 4},
      {"[K\n", 1},
      {"[K]\n\"x\"=sz:\"a\001b\"\n", 2},
      {"[K]\n\"x\"=sz:\"a\0b\"\n"s, 2},
      {"[K]\n\"x\"=sz:\"\\x4\"\n", 2},
      {"[K]\n\"x\"=hex:00\n\x89PNG\n", 3},
  };
  // A key opened while the file was sound.
  HKEY before = Open("K");
  for (const auto& c : cases) {
    const std::string& damaged = c.text;
    WriteText(damaged);
    struct stat st0;
    ASSERT_EQ(stat(file_.c_str(), &st0), 0);
    const std::string where = file_ + ", line " + std::to_string(c.line) + ":";
    HKEY key = nullptr;
    for (bool create : {false, true}) {
      EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "K", create, &key), plat::ERROR_REGISTRY_CORRUPT) << damaged;
      EXPECT_EQ(key, nullptr);
      EXPECT_NE(strstr(plat::RegLastErrorText(), where.c_str()), nullptr) << plat::RegLastErrorText();
    }
    DWORD size = 0;
    EXPECT_EQ(plat::RegQueryValue(before, "x", nullptr, nullptr, &size), plat::ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(plat::RegSetValue(before, "y", plat::REG_BINARY, (const BYTE*)"z", 1), plat::ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(plat::RegDeleteValue(before, "x"), plat::ERROR_REGISTRY_CORRUPT);
    EXPECT_NE(strstr(plat::RegLastErrorText(), where.c_str()), nullptr) << plat::RegLastErrorText();
    EXPECT_EQ(Text(), damaged) << "the damaged file was changed";
    struct stat st1;
    ASSERT_EQ(stat(file_.c_str(), &st1), 0);
    EXPECT_EQ(st1.st_ino, st0.st_ino) << "the damaged file was replaced";
    EXPECT_EQ(Entries(), (std::set<std::string>{"current_user.reg", "current_user.reg.lock"}));
  }
  // The other hive is not affected; repairing the file brings the hive back.
  HKEY machine = nullptr;
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_LOCAL_MACHINE, "K", true, &machine), plat::ERROR_SUCCESS);
  plat::RegCloseKey(machine);
  WriteText("[K]\n\"x\"=hex:01\n");
  EXPECT_EQ(plat::RegSetValue(before, "y", plat::REG_BINARY, (const BYTE*)"z", 1), plat::ERROR_SUCCESS);
  plat::RegCloseKey(before);
}

TEST_F(PlatRegistry, HivePathFollowsTheEnvironment) {
  char path[512];
  plat::RegHivePath(plat::HKEY_CURRENT_USER, path, sizeof path);
  EXPECT_EQ(path, dir_ + "/current_user.reg");
  plat::RegHivePath(plat::HKEY_LOCAL_MACHINE, path, sizeof path);
  EXPECT_EQ(path, dir_ + "/local_machine.reg");
  const char* xdg = getenv("XDG_CONFIG_HOME");
  const char* home = getenv("HOME");
  std::string savedXdg = xdg ? xdg : "", savedHome = home ? home : "";
  unsetenv("QUORVANE_CONFIG_DIR");
  setenv("XDG_CONFIG_HOME", "/xdg/conf", 1);
  plat::RegHivePath(plat::HKEY_CURRENT_USER, path, sizeof path);
  EXPECT_STREQ(path, "/xdg/conf/quorvane/current_user.reg");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone", 1);
  plat::RegHivePath(plat::HKEY_CURRENT_USER, path, sizeof path);
  EXPECT_STREQ(path, "/home/someone/.config/quorvane/current_user.reg");
  plat::RegHivePath(plat::HKEY_CURRENT_USER, path, 6);
  EXPECT_STREQ(path, "/home");
  if (xdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  if (home)
    setenv("HOME", savedHome.c_str(), 1);
  else
    unsetenv("HOME");
  setenv("QUORVANE_CONFIG_DIR", dir_.c_str(), 1);
}

// Writers setting values of one key: each keeps all of its values.
int WriteMany(const char* prefix, int count) {
  HKEY key = nullptr;
  if (plat::RegOpenKey(plat::HKEY_CURRENT_USER, "Software\\Quorvane\\Shared", true, &key) != plat::ERROR_SUCCESS)
    return 100;
  int failures = 0;
  for (int i = 0; i < count; i++) {
    std::string name = prefix + std::to_string(i);
    DWORD value = (DWORD)i * 7;
    if (plat::RegSetValue(key, name.c_str(), plat::REG_DWORD, (const BYTE*)&value, 4) != plat::ERROR_SUCCESS)
      failures++;
  }
  plat::RegCloseKey(key);
  return failures;
}

void ExpectAll(HKEY key, const std::vector<std::string>& prefixes, int count) {
  for (const auto& prefix : prefixes)
    for (int i = 0; i < count; i++) {
      DWORD value = 0, size = 4;
      std::string name = prefix + std::to_string(i);
      ASSERT_EQ(plat::RegQueryValue(key, name.c_str(), nullptr, (BYTE*)&value, &size), plat::ERROR_SUCCESS) << name;
      EXPECT_EQ(value, (DWORD)i * 7) << name;
    }
}

TEST_F(PlatRegistry, ConcurrentWritersInTwoProcesses) {
  const int count = 200;
  HKEY key = Open("Software\\Quorvane\\Shared");
  std::vector<pid_t> children;
  for (const char* prefix : {"first", "second"}) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(WriteMany(prefix, count));
    children.push_back(pid);
  }
  // Meanwhile a reader never sees a damaged or half-written file.
  int reads = 0;
  for (;;) {
    DWORD size = 0;
    LONG r = plat::RegQueryValue(key, "first0", nullptr, nullptr, &size);
    ASSERT_TRUE(r == plat::ERROR_SUCCESS || r == plat::ERROR_FILE_NOT_FOUND) << r << plat::RegLastErrorText();
    reads++;
    int status = 0;
    pid_t done = waitpid(-1, &status, WNOHANG);
    if (done > 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failures: " << WEXITSTATUS(status);
      children.erase(std::find(children.begin(), children.end(), done));
      if (children.empty()) break;
    }
  }
  ExpectAll(key, {"first", "second"}, count);
  EXPECT_GT(reads, 0);
  Touch();
  ExpectAll(key, {"first", "second"}, count);
  plat::RegCloseKey(key);
  EXPECT_EQ(Entries(), (std::set<std::string>{"current_user.reg", "current_user.reg.lock"})) << "no temporary left";
}

TEST_F(PlatRegistry, ConcurrentWritersInOneProcess) {
  const int count = 50;
  std::vector<std::thread> threads;
  int failures[3] = {};
  const char* prefixes[3] = {"a", "b", "c"};
  for (int t = 0; t < 3; t++) threads.emplace_back([&, t] { failures[t] = WriteMany(prefixes[t], count); });
  for (auto& t : threads) t.join();
  for (int f : failures) EXPECT_EQ(f, 0);
  HKEY key = Open("Software\\Quorvane\\Shared", false);
  ExpectAll(key, {"a", "b", "c"}, count);
  plat::RegCloseKey(key);
}

// A hive that is a symbolic link stays one: a write replaces the file the
// link names (through a chain of links, absolute or relative, or one not
// made yet) with its mode, and leaves no temporary beside either.
TEST_F(PlatRegistry, LinkedHiveStaysALink) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // file below top_, what it names
    bool made;  // the named file is there before the write
  };
  const std::string target = "elsewhere/settings.reg";
  const Case cases[] = {
      {"Absolute", {{"config/current_user.reg", top_ + "/" + target}}, true},
      {"Relative", {{"config/current_user.reg", "../" + target}}, true},
      {"Chain", {{"config/current_user.reg", "middle.reg"}, {"config/middle.reg", top_ + "/" + target}}, true},
      {"NotMadeYet", {{"config/current_user.reg", "../" + target}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* folder : {"config", "elsewhere"}) ASSERT_EQ(mkdir((top_ + "/" + folder).c_str(), 0755), 0);
    const std::string named = top_ + "/" + target;
    if (c.made) {
      std::ofstream(named) << "[K]\n\"old\"=dword:00000001\n";
      ASSERT_EQ(chmod(named.c_str(), 0600), 0);
    }
    std::set<std::string> kept;
    for (const auto& [link, to] : c.links) {
      ASSERT_EQ(symlink(to.c_str(), (top_ + "/" + link).c_str()), 0) << strerror(errno);
      kept.insert(link.substr(link.find('/') + 1));
    }

    HKEY key = Open("K");
    const DWORD two = 2;
    ASSERT_EQ(plat::RegSetValue(key, "new", plat::REG_DWORD, (const BYTE*)&two, 4), plat::ERROR_SUCCESS)
        << plat::RegLastErrorText();
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(key, "new", &type, &data), plat::ERROR_SUCCESS);
    EXPECT_EQ(data, (Bytes{2, 0, 0, 0}));
    plat::RegCloseKey(key);

    for (const auto& [link, to] : c.links) {
      char was[PATH_MAX];
      const ssize_t n = readlink((top_ + "/" + link).c_str(), was, sizeof was);
      ASSERT_GT(n, 0) << link << " is no link now";
      EXPECT_EQ(std::string(was, (size_t)n), to);
    }
    struct stat st;
    ASSERT_EQ(lstat(named.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    if (c.made) {
      EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
    std::ifstream in(named);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("\"old\"=dword:00000001") != std::string::npos, c.made) << text.str();
    EXPECT_NE(text.str().find("\"new\"=dword:00000002"), std::string::npos) << text.str();
    EXPECT_EQ(Entries(), kept);
    std::set<std::string> beside;
    if (DIR* d = opendir((top_ + "/elsewhere").c_str())) {
      while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) beside.insert(e->d_name);
      closedir(d);
    }
    EXPECT_EQ(beside, (std::set<std::string>{"settings.reg", "settings.reg.lock"}));
    nftw((top_ + "/config").c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    nftw((top_ + "/elsewhere").c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }

  // A link that names itself names no file: nothing is read or written.
  ASSERT_EQ(mkdir(dir_.c_str(), 0755), 0);
  ASSERT_EQ(symlink("current_user.reg", file_.c_str()), 0);
  HKEY key = nullptr;
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "K", true, &key), plat::ERROR_REGISTRY_IO);
  EXPECT_NE(std::string(plat::RegLastErrorText()).find("Too many levels of symbolic links"), std::string::npos)
      << plat::RegLastErrorText();
  struct stat st;
  ASSERT_EQ(lstat(file_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// Reading a FIFO would wait for a writer that never comes.
TEST_F(PlatRegistry, AnythingButARegularFileIsRefusedAtOnce) {
  alarm(60);
  ASSERT_EQ(mkdir(dir_.c_str(), 0755), 0);
  for (bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "fifo" : "folder");
    ASSERT_EQ(fifo ? mkfifo(file_.c_str(), 0644) : mkdir(file_.c_str(), 0755), 0);
    HKEY key = nullptr;
    for (bool create : {false, true})
      EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "K", create, &key), plat::ERROR_REGISTRY_IO);
    EXPECT_EQ(plat::RegLastErrorText(), "registry file " + file_ + " is not a regular file (it is left as it is)");
    struct stat st;
    ASSERT_EQ(stat(file_.c_str(), &st), 0);
    EXPECT_EQ(fifo ? S_ISFIFO(st.st_mode) : S_ISDIR(st.st_mode), true);
    EXPECT_EQ(fifo ? unlink(file_.c_str()) : rmdir(file_.c_str()), 0);
  }
  alarm(0);
}

struct Failure {
  bool writing;
  LONG code;
  std::string text;
};

void RecordFailure(bool writing, LONG code, const char* text, void* context) {
  static_cast<std::vector<Failure>*>(context)->push_back(Failure{writing, code, text});
}

// The store tells its sink when it cannot read or write its file, and only
// then: a missing key or value, or a value stored already, is no failure.
TEST_F(PlatRegistry, FailuresOfTheStoreReachTheSink) {
  std::vector<Failure> failures;
  plat::SetRegFailureSink(RecordFailure, &failures);
  HKEY key = Open("K");
  const DWORD one = 1, two = 2;
  ASSERT_EQ(plat::RegSetValue(key, "v", plat::REG_DWORD, (const BYTE*)&one, 4), plat::ERROR_SUCCESS);
  DWORD size = 4;
  EXPECT_EQ(plat::RegQueryValue(key, "missing", nullptr, nullptr, &size), plat::ERROR_FILE_NOT_FOUND);
  HKEY none = nullptr;
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "Missing", false, &none), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(failures.empty());

  // Where nothing can be written, a value stored already needs no write.
  const std::string lock = file_ + ".lock";
  ASSERT_EQ(unlink(lock.c_str()), 0);
  ASSERT_EQ(mkdir(lock.c_str(), 0755), 0);
  EXPECT_EQ(plat::RegSetValue(key, "v", plat::REG_DWORD, (const BYTE*)&one, 4), plat::ERROR_SUCCESS);
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(plat::RegSetValue(key, "v", plat::REG_DWORD, (const BYTE*)&two, 4), plat::ERROR_REGISTRY_IO);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_TRUE(failures[0].writing);
  EXPECT_EQ(failures[0].code, plat::ERROR_REGISTRY_IO);
  EXPECT_EQ(failures[0].text, "cannot open lock file " + lock + ": Is a directory");
  ASSERT_EQ(rmdir(lock.c_str()), 0);

  failures.clear();
  WriteText("garbage\n");
  EXPECT_EQ(plat::RegQueryValue(key, "v", nullptr, nullptr, &size), plat::ERROR_REGISTRY_CORRUPT);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_FALSE(failures[0].writing);
  EXPECT_EQ(failures[0].code, plat::ERROR_REGISTRY_CORRUPT);
  EXPECT_NE(failures[0].text.find(file_ + ", line 1: "), std::string::npos) << failures[0].text;

  plat::SetRegFailureSink(nullptr, nullptr);
  EXPECT_EQ(plat::RegQueryValue(key, "v", nullptr, nullptr, &size), plat::ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(failures.size(), 1u);
  plat::RegCloseKey(key);
}

// A writer killed at any point leaves the old file or the new one; the next
// writer removes the temporary file it left, and only such files.
TEST_F(PlatRegistry, KilledWritersLeaveNoTemporaryBehind) {
  HKEY key = Open("Software\\Quorvane\\Shared");
  ASSERT_EQ(WriteMany("seed", 300), 0);
  for (const char* other : {"current_user.reg.bak", "current_user.reg.AbC1234", "local_machine.reg.AbC123"})
    std::ofstream(dir_ + "/" + other) << "x";
  srand((unsigned)time(nullptr));
  for (int round = 0; round < 25; round++) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(WriteMany(("child" + std::to_string(round) + "-").c_str(), 1000000));
    usleep((useconds_t)(1000 + rand() % 20000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ExpectAll(key, {"seed"}, 300);
    DWORD value = (DWORD)round;
    ASSERT_EQ(plat::RegSetValue(key, "parent", plat::REG_DWORD, (const BYTE*)&value, 4), plat::ERROR_SUCCESS)
        << plat::RegLastErrorText();
    EXPECT_EQ(Entries(), (std::set<std::string>{"current_user.reg", "current_user.reg.lock", "current_user.reg.bak",
                                                "current_user.reg.AbC1234", "local_machine.reg.AbC123"}))
        << "round " << round;
  }
  plat::RegCloseKey(key);
}

// A batch reads the file once and writes what it changed once, at its end,
// on what the file holds then: another program's values written meanwhile
// stay, unless the batch changed the same value.
TEST_F(PlatRegistry, ABatchReadsOnceAndWritesItsChangesAtItsEnd) {
  WriteText("[K]\n\"same\"=hex:01\n\"gone\"=hex:02\n\"mine\"=hex:03\n");
  ASSERT_EQ(plat::RegBeginBatch(plat::HKEY_CURRENT_USER), plat::ERROR_SUCCESS);
  ASSERT_EQ(plat::RegBeginBatch(plat::HKEY_CURRENT_USER), plat::ERROR_SUCCESS);  // nested: one batch
  const std::string theirs = "[K]\n\"same\"=hex:01\n\"gone\"=hex:02\n\"mine\"=hex:33\n\"other\"=hex:04\n";
  WriteText(theirs);  // another program, after the reading
  HKEY key = Open("K");
  HKEY made = Open("Made", true);
  DWORD type = 0;
  Bytes data;
  EXPECT_EQ(Get(key, "other", &type, &data), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Get(key, "mine", &type, &data), plat::ERROR_SUCCESS);
  EXPECT_EQ(data, (Bytes{3}));
  EXPECT_EQ(plat::RegSetValue(key, "same", plat::REG_BINARY, Bytes{1}.data(), 1), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::RegSetValue(key, "mine", plat::REG_BINARY, Bytes{5}.data(), 1), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::RegSetValue(made, "new", plat::REG_BINARY, Bytes{6}.data(), 1), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::RegDeleteValue(key, "gone"), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::RegDeleteValue(key, "gone"), plat::ERROR_FILE_NOT_FOUND);
  // The batch's calls see its changes; the file has none of them yet.
  EXPECT_EQ(Get(key, "mine", &type, &data), plat::ERROR_SUCCESS);
  EXPECT_EQ(data, (Bytes{5}));
  EXPECT_EQ(Get(key, "gone", &type, &data), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plat::RegEndBatch(plat::HKEY_CURRENT_USER), plat::ERROR_SUCCESS);
  EXPECT_EQ(Text(), theirs);
  EXPECT_EQ(plat::RegEndBatch(plat::HKEY_CURRENT_USER), plat::ERROR_SUCCESS);
  const std::string text = Text();
  for (const char* line : {"\"same\"=hex:01\n", "\"mine\"=hex:05\n", "\"other\"=hex:04\n", "[Made]\n\"new\"=hex:06\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  EXPECT_EQ(text.find("gone"), std::string::npos) << text;
  // Outside a batch every call reads the file again.
  EXPECT_EQ(Get(key, "other", &type, &data), plat::ERROR_SUCCESS);
  EXPECT_EQ(plat::RegEndBatch(plat::HKEY_CURRENT_USER), plat::ERROR_INVALID_PARAMETER);
  plat::RegCloseKey(key);
  plat::RegCloseKey(made);
}

// A reading that failed fails each call of the batch as it would fail alone,
// and nothing is written; a write that fails at the end reaches the sink.
TEST_F(PlatRegistry, ABatchFailsAsItsCallsWouldAlone) {
  std::vector<Failure> failures;
  plat::SetRegFailureSink(RecordFailure, &failures);
  WriteText("garbage\n");
  EXPECT_EQ(plat::RegBeginBatch(plat::HKEY_CURRENT_USER), plat::ERROR_REGISTRY_CORRUPT);
  EXPECT_TRUE(failures.empty());
  HKEY key = nullptr;
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "K", true, &key), plat::ERROR_REGISTRY_CORRUPT);
  EXPECT_NE(strstr(plat::RegLastErrorText(), (file_ + ", line 1: ").c_str()), nullptr) << plat::RegLastErrorText();
  WriteText("[K]\n");  // mended during the batch: the batch keeps its reading
  EXPECT_EQ(plat::RegOpenKey(plat::HKEY_CURRENT_USER, "K", false, &key), plat::ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(plat::RegEndBatch(plat::HKEY_CURRENT_USER), plat::ERROR_SUCCESS);
  EXPECT_EQ(Text(), "[K]\n");
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_FALSE(failures[0].writing);
  EXPECT_EQ(failures[1].code, plat::ERROR_REGISTRY_CORRUPT);

  failures.clear();
  ASSERT_EQ(plat::RegBeginBatch(plat::HKEY_CURRENT_USER), plat::ERROR_SUCCESS);
  key = Open("K");
  const std::string lock = file_ + ".lock";
  unlink(lock.c_str());
  ASSERT_EQ(mkdir(lock.c_str(), 0755), 0);
  EXPECT_EQ(plat::RegSetValue(key, "v", plat::REG_BINARY, Bytes{1}.data(), 1), plat::ERROR_SUCCESS);
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(plat::RegEndBatch(plat::HKEY_CURRENT_USER), plat::ERROR_REGISTRY_IO);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_TRUE(failures[0].writing);
  EXPECT_EQ(failures[0].text, "cannot open lock file " + lock + ": Is a directory");
  EXPECT_EQ(Text(), "[K]\n");
  plat::SetRegFailureSink(nullptr, nullptr);
  plat::RegCloseKey(key);
}

}  // namespace
