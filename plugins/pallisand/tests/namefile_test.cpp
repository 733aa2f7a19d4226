// The name file: its lines, the save, the load and their failures.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "names_fixture.h"

namespace names_test {
namespace {

// A file in memory, opened for reading and writing.
class MemFile {
 public:
  explicit MemFile(unsigned flags = 0) : fd_(memfd_create("names", flags)) {}
  ~MemFile() {
    if (fd_ >= 0) close(fd_);
  }
  MemFile(const MemFile&) = delete;
  MemFile& operator=(const MemFile&) = delete;

  int fd() const { return fd_; }
  std::string Content() const {
    std::string s;
    char b[4096];
    ssize_t n;
    for (off_t at = 0; (n = pread(fd_, b, sizeof b, at)) > 0; at += n) s.append(b, (size_t)n);
    return s;
  }
  void Set(const std::string& content) {
    EXPECT_EQ(ftruncate(fd_, 0), 0);
    EXPECT_EQ(pwrite(fd_, content.data(), content.size(), 0), (ssize_t)content.size());
    // The library rewinds by itself; leave the pointer elsewhere.
    lseek(fd_, 0, SEEK_END);
  }

 private:
  int fd_;
};

class PallisandNameFile : public NamesTest {
 protected:
  // Each entry of the active list, with what the file keeps of it.
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (const std::string& name : Names()) {
      NameEntry* e = static_cast<NameEntry*>(t->AddName(name.c_str(), nullptr, 0, 0));
      char b[200];
      snprintf(b, sizeof b, "%s %s/%d %c%c%c v%d d%d s%d", e->name, AddressHex(e).c_str(), e->addressLength,
               e->flagged ? 'P' : '-', e->group ? 'G' : '-', e->locked ? 'L' : '-', e->value,
               (int)e->destinationColor, (int)e->sourceColor);
      out.push_back(b);
    }
    return out;
  }

  BYTE Save() { return t->SaveNameFile(file.fd()); }
  BYTE Load() { return t->LoadNameFile(file.fd()); }

  MemFile file;
};

// ---------------------------------------------------------------- save

TEST_F(PallisandNameFile, LinesHoldEveryFieldInOrder) {
  SetClock(2, 0, 0, 5);
  NameEntry* router = Add("Router1", "00A0C914C829");
  router->locked = 1;
  router->destinationColor = 255;
  NameEntry* group = AddFlagged("AllHosts", "01005E000001", 7);
  group->destinationColor = 0xFFFFFFFF;  // written as a signed number
  group->sourceColor = 0x00FF00;
  SetClock(3, 0, 0, 0);
  Bytes a = Hex("01005E000001");
  char text[64];
  COLORREF d, s;
  t->LookupName(a.data(), 6, 1, text, 0, &d, &s);
  t->LookupName(a.data(), 6, 1, text, 0, &d, &s);
  AddFlagged("Flagged", "02")->locked = 1;
  Add("Anything", "");
  SetChanged();

  EXPECT_EQ(Save(), TRUE);
  EXPECT_FALSE(Changed());
  const std::string t1 = std::to_string(Ticks(2, 0, 0, 5)), t3 = std::to_string(Ticks(3, 0, 0, 0));
  EXPECT_EQ(file.Content(), "Router1,00A0C914C829,6,  L,0,0,255,0," + t1 + ",0\n" +
                                "AllHosts,01005E000001,6,PG ,2,7,-1,65280," + t1 + "," + t3 + "\n" +
                                "Flagged,02,1,P L,0,0,0,0," + t3 + ",0\n" +
                                "Anything,,0,   ,0,0,0,0," + t3 + ",0\n");
  EXPECT_TRUE(h.messages.empty());
}

TEST_F(PallisandNameFile, SavingReplacesTheWholeFile) {
  file.Set(std::string(500, 'x'));
  Add("A", "0A");
  EXPECT_EQ(Save(), TRUE);
  EXPECT_EQ(file.Content(), "A,0A,1,   ,0,0,0,0," + std::to_string(Ticks(1, 0, 0, 0)) + ",0\n");

  // An empty table leaves an empty file, and that is a success.
  t->ClearNameTable();
  SetChanged();
  EXPECT_EQ(Save(), TRUE);
  EXPECT_EQ(file.Content(), "");
  EXPECT_FALSE(Changed());
}

TEST_F(PallisandNameFile, SaveFailuresAreReported) {
  Add("A", "0A");
  int readOnly = open("/proc/self/exe", O_RDONLY);
  ASSERT_GE(readOnly, 0);
  MemFile sealed(MFD_ALLOW_SEALING);
  ASSERT_EQ(fcntl(sealed.fd(), F_ADD_SEALS, F_SEAL_GROW), 0);
  int ftruncateError = ftruncate(readOnly, 0) == 0 ? 0 : errno;

  struct Case {
    const char* what;
    int fd;
    std::string text;
  } cases[] = {
      {"no file", -1, ErrorText("Error moving File Pointer!", EBADF)},
      {"read-only file", readOnly, ErrorText("Error clearing File Pointer!", (DWORD)ftruncateError)},
      {"file that cannot grow", sealed.fd(), ErrorText("Error writing to Name File!", EPERM)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.messages.clear();
    SetChanged();
    EXPECT_EQ(t->SaveNameFile(c.fd), FALSE);
    EXPECT_TRUE(Changed());
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].title, "Quorvane Network Monitor Error");
    EXPECT_EQ(h.messages[0].text, c.text);
  }
  close(readOnly);
}

// ---------------------------------------------------------------- round trip

TEST_F(PallisandNameFile, SaveClearLoadBringsEveryMappingBack) {
  SetClock(4, 0, 0, 0);
  NameEntry* a = Add("Router1", "00A0C914C829");
  a->locked = 1;
  a->destinationColor = 255;
  NameEntry* b = AddFlagged("AllHosts", "01005E000001", -7);
  b->sourceColor = 0xFFFFFFFF;
  b->locked = 1;
  AddFlagged("Server", "080009", 12)->destinationColor = 0x123456;
  std::string name31(31, 'n');
  std::string address32(64, 'C');
  Add(name31.c_str(), address32.c_str(), 3);
  Add("Anything", "");
  Bytes look = Hex("00A0C914C829");
  char text[64];
  COLORREF d, s;
  t->LookupName(look.data(), 6, 1, text, 0, &d, &s);

  std::vector<std::string> before = Entries();
  ASSERT_EQ(Save(), TRUE);
  t->ClearNameTable();
  SetChanged();
  SetClock(9, 30, 0, 0);
  EXPECT_EQ(Load(), TRUE);
  EXPECT_FALSE(Changed());
  EXPECT_TRUE(h.messages.empty());
  EXPECT_EQ(Entries(), before);
  for (const std::string& name : Names()) {
    NameEntry* e = static_cast<NameEntry*>(t->AddName(name.c_str(), nullptr, 0, 0));
    EXPECT_EQ(e->accessCount, 0) << name;
    EXPECT_EQ(pallisand::FileTimeTicks(e->lastAccessed), 0u) << name;
    EXPECT_EQ(pallisand::FileTimeTicks(e->created), Ticks(9, 30, 0, 0)) << name;
  }
}

// Names with commas are quoted, so that the fields after them stay where they
// are; quotes inside a quoted name are doubled. Other names stand as they are.
TEST_F(PallisandNameFile, NamesWithCommasAndQuotesReadBackTheSame) {
  const std::vector<std::string> names = {"Lab,3", "Say \"hi\", Bob", ",", "\"Quoted\"", "\"", "Plain"};
  for (const std::string& n : names) ASSERT_NE(Add(n.c_str(), "00A0C9"), nullptr) << n;
  ASSERT_EQ(Save(), TRUE);
  const std::string tail = ",00A0C9,3,   ,0,0,0,0," + std::to_string(Ticks(1, 0, 0, 0)) + ",0\n";
  EXPECT_EQ(file.Content(), "\"Lab,3\"" + tail + "\"Say \"\"hi\"\", Bob\"" + tail + "\",\"" + tail +
                                "\"Quoted\"" + tail + "\"" + tail + "Plain" + tail);
  t->ClearNameTable();
  EXPECT_EQ(Load(), TRUE);
  EXPECT_EQ(Names(), names);
}

// ---------------------------------------------------------------- load

struct LoadCase {
  const char* what;
  std::string file;
  std::vector<std::string> entries;
  BYTE complete;  // the result: TRUE when every line was loaded
  bool changed;   // the mark afterwards: set when the load stopped early
};

TEST_F(PallisandNameFile, LoadCases) {
  const std::string n40(40, 'q'), n31(31, 'q');
  const std::string hex66(66, 'E');
  // First address bytes are even unless a case is about the group flag.
  const std::string lineA = "A,0A,1,   ,0,0,0,0,0,0\n", lineB = "B,0C,1,   ,0,0,0,0,0,0\n";
  const std::string entryA = "A 0A/1 --- v0 d0 s0", entryB = "B 0C/1 --- v0 d0 s0";
  const std::string rest = ",0A,1,   ,0,0,0,0,0,0\n";
  const LoadCase cases[] = {
      {"empty file", "", {}, TRUE, false},
      {"two lines", lineA + lineB, {entryA, entryB}, TRUE, false},
      {"no final line feed", lineA + "B,0C,1,   ,0,0,0,0,1,2", {entryA, entryB}, TRUE, false},
      {"carriage returns before the line feeds", "A,0A,1,   ,0,0,0,0,1,2\r\nB,0C,1,   ,0,0,0,0,1,2\r\n",
       {entryA, entryB}, TRUE, false},
      {"P and L used, the middle flag, count and times not", "A,0A,1,PGL,99,5,-1,16,123,456\nB,0C,1, G ,0,0,0,0,0,0\n",
       {"A 0A/1 P-L v5 d-1 s16", entryB}, TRUE, false},
      {"group comes from the address", "A,01,1,   ,0,0,0,0,0,0\n", {"A 01/1 -G- v0 d0 s0"}, TRUE, false},
      {"lower-case hex", "A,00a0c9,3,   ,0,0,0,0,0,0\n", {"A 00A0C9/3 --- v0 d0 s0"}, TRUE, false},
      {"an odd last digit is dropped", "A,BAC,1,   ,0,0,0,0,0,0\n", {"A BA/1 --- v0 d0 s0"}, TRUE, false},
      {"the length governs", "A,0A02,1,   ,0,0,0,0,0,0\n", {entryA}, TRUE, false},
      {"blanks before numbers", "A,0A,1,   , 0, 2, 3, 4,0,0\n", {"A 0A/1 --- v2 d3 s4"}, TRUE, false},
      // Lines that add nothing and are no failure of the load.
      {"an empty name", ",0A,1,   ,0,0,0,0,0,0\n" + lineB, {entryB}, TRUE, false},
      {"a blank line", lineA + "\n" + lineB, {entryA, entryB}, TRUE, false},
      {"a blank line an editor left at the end", lineA + lineB + "\n", {entryA, entryB}, TRUE, false},
      {"a line of blanks", lineA + " \t\r\n" + lineB, {entryA, entryB}, TRUE, false},
      // Names in quotes: only a quoted text that holds a comma is one.
      {"a quoted name with a comma", "\"Lab,3\"" + rest, {"Lab,3 0A/1 --- v0 d0 s0"}, TRUE, false},
      {"doubled quotes inside", "\"Say \"\"hi\"\", Bob\"" + rest, {"Say \"hi\", Bob 0A/1 --- v0 d0 s0"}, TRUE, false},
      {"a name in quotes without a comma keeps its quotes", "\"Quoted\"" + rest, {"\"Quoted\" 0A/1 --- v0 d0 s0"},
       TRUE, false},
      {"a quote that never closes is part of the name", "\"Half" + rest, {"\"Half 0A/1 --- v0 d0 s0"}, TRUE, false},
      {"a quoted name of 40 characters keeps 31", "\"" + n40 + ",\"" + rest, {n31 + " 0A/1 --- v0 d0 s0"}, TRUE,
       false},
      // Lines that end the load: the lines before them stay.
      {"a line without commas ends the load", lineA + "Junk\n" + lineB, {entryA}, FALSE, true},
      {"a line with one comma ends the load", lineA + "B,0C\n" + lineB, {entryA}, FALSE, true},
      {"a NUL ends the text", lineA + std::string(1, '\0') + lineB, {entryA}, FALSE, false},
      // Lines that are skipped: the others load.
      {"a missing field is not read from the next line", "A,0A,1,   ,0,0,0,\n9,0C,1,   ,0,0,0,0,0,0\n",
       {"9 0C/1 --- v0 d0 s0"}, FALSE, false},
      {"a line without the colours", "A,0A,1,   ,0,0\nB,0C,1,   ,0,0,7,8,0,0\n", {"B 0C/1 --- v0 d7 s8"}, FALSE, false},
      {"flags cut short", "A,0A,1, \n" + lineB, {entryB}, FALSE, false},
      {"a length above the bytes given", "A,0A0B,3,   ,0,0,0,0,0,0\nB,0C0D,2,   ,0,0,0,0,0,0\n",
       {"B 0C0D/2 --- v0 d0 s0"}, FALSE, false},
      {"a negative length", "A,0A,-1,   ,0,0,0,0,0,0\n" + lineB, {entryB}, FALSE, false},
      {"a number beyond int", "A,0A,1,   ,0,4294967296,0,0,0,0\n" + lineB, {entryB}, FALSE, false},
      {"a name the table refuses", "A\rB,0A,1,   ,0,0,0,0,0,0\n" + lineB, {entryB}, FALSE, false},
      // Fields longer than the record's are cut.
      {"a name of 40 characters keeps 31", n40 + ",0A,1,   ,0,0,0,0,0,0\n", {n31 + " 0A/1 --- v0 d0 s0"}, TRUE, false},
      {"an address of 66 digits keeps 32 bytes",
       "A," + hex66 + ",32,   ,0,0,0,0,0,0\nB," + hex66 + ",33,   ,0,0,0,0,0,0\n",
       {"A " + hex66.substr(0, 64) + "/32 --- v0 d0 s0"}, FALSE, false},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.what);
    t->ClearNameTable();
    c.changed ? ClearChanged() : SetChanged();
    file.Set(c.file);
    EXPECT_EQ(Load(), c.complete);
    EXPECT_EQ(Entries(), c.entries);
    EXPECT_EQ(Changed(), c.changed);
    EXPECT_TRUE(h.messages.empty());
  }
}

TEST_F(PallisandNameFile, LoadingAddsToTheTableAndUpdatesNamesPresent) {
  NameEntry* router = AddFlagged("Router", "00A0C9", 3);
  router->sourceColor = 99;
  NameEntry* hub = Add("Hub", "0C");
  hub->locked = 1;
  file.Set("ROUTER,0A02,2,  L,0,9,255,16,0,0\nhub,0E,1,P  ,0,1,0,0,0,0\nNew,06,1,   ,0,0,0,0,0,0\n");
  Load();
  // A name present keeps its address, P flag and value; it takes the colours
  // and the lock flag of the line.
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Router 00A0C9/3 P-L v3 d255 s16", "Hub 0C/1 --- v0 d0 s0",
                                                 "New 06/1 --- v0 d0 s0"}));
  EXPECT_FALSE(Changed());
}

TEST_F(PallisandNameFile, LoadFailuresAreReportedAndLeaveTheMark) {
  file.Set("A,01,1,   ,0,0,0,0,0,0\n");
  struct Case {
    const char* what;
    int fd;
    unsigned failAllocation;
    std::string text;
  } cases[] = {
      {"no file", -1, 0, ErrorText("Error moving File Pointer!", EBADF)},
      {"no memory", file.fd(), 1, ErrorText("Failed to allocate resources!", ENOMEM)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.messages.clear();
    ClearChanged();
    plat::SetAllocFailure(c.failAllocation);
    EXPECT_EQ(t->LoadNameFile(c.fd), FALSE);
    plat::SetAllocFailure(0);
    EXPECT_TRUE(Changed());
    EXPECT_TRUE(Names().empty());
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0].title, "Quorvane Network Monitor Error");
    EXPECT_EQ(h.messages[0].text, c.text);
  }
}

}  // namespace
}  // namespace names_test
