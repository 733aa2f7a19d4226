// The store under several threads: lookups, adds, deletions, purges and
// saves at once, the flags word shared with others, and lock timeouts.
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "names_fixture.h"

namespace names_test {
namespace {

using PallisandThreads = NamesTest;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  return s;
}

Bytes AddressOf(int i) { return Bytes{0x02, 0x00, 0x00, 0x00, (BYTE)(i >> 8), (BYTE)i}; }

TEST_F(PallisandThreads, SameNamesAddedAtOnceAreAddedOnce) {
  constexpr int kThreads = 8, kNames = 100;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int th = 0; th < kThreads; th++) {
    threads.emplace_back([&, th] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kNames; i++) {
        // Half of the threads spell the names in lower case.
        std::string name = (th % 2 ? "host" : "HOST") + std::to_string(i);
        Bytes a = AddressOf(i);
        EXPECT_NE(t->AddName(name.c_str(), a.data(), 6, th), nullptr);
      }
    });
  }
  go = true;
  for (std::thread& th : threads) th.join();
  std::vector<std::string> names = Names();
  EXPECT_EQ(names.size(), (size_t)kNames);
  std::set<std::string> unique;
  for (const std::string& n : names) unique.insert(Upper(n));
  EXPECT_EQ(unique.size(), (size_t)kNames);
}

TEST_F(PallisandThreads, AddsLookupsAndPurgesAtOnceKeepTheTableWhole) {
  constexpr int kAdders = 3, kLookups = 2000, kRounds = 300;
  Bytes anchor = {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE};
  NameEntry* kept = static_cast<NameEntry*>(t->AddFlaggedName("Anchor", anchor.data(), 6, 0));
  ASSERT_NE(kept, nullptr);

  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int th = 0; th < kAdders; th++) {
    threads.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      for (int round = 0; round < kRounds; round++) {
        std::string name = "N" + std::to_string(round % 50);
        Bytes a = AddressOf(round % 50);
        t->AddName(name.c_str(), a.data(), 6, 0);
        if (round % 7 == 0) t->DeleteName(name.c_str());
      }
    });
  }
  for (int th = 0; th < 2; th++) {
    threads.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      char text[129];
      COLORREF d, s;
      for (int i = 0; i < kLookups; i++) {
        t->LookupName(anchor.data(), 6, 1, text, 0, &d, &s);
        EXPECT_STREQ(text, "Anchor");
        Bytes a = AddressOf(i % 50);
        t->LookupAllNames(a.data(), 6, text, 0, 128);
      }
    });
  }
  threads.emplace_back([&] {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < 200; i++) {
      t->PurgeNames(1, 1);
      t->ReserveNameEntries(2);
      std::this_thread::yield();
    }
  });
  go = true;
  for (std::thread& th : threads) th.join();

  // Every lookup of the anchor was counted, none lost between threads.
  EXPECT_EQ(kept->accessCount, 2 * kLookups);
  std::vector<std::string> names = Names();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "Anchor");
  std::set<std::string> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), names.size());
  // The lists are still sound: the table empties and fills as usual.
  t->PurgeNames(0, 0);
  EXPECT_TRUE(Names().empty());
  EXPECT_NE(Add("After", "0A"), nullptr);
  EXPECT_EQ(Names(), std::vector<std::string>{"After"});
}

// Other bits of the flags word are written by other threads; the library's
// changes of its own bit must never undo theirs.
TEST_F(PallisandThreads, NamesChangedMarkLeavesTheOtherFlagsAlone) {
  int fd = memfd_create("names", 0);
  ASSERT_GE(fd, 0);
  const DWORD original = t->flags & MT_SHOW_VENDOR;
  std::atomic<bool> go{false}, done{false};
  std::thread toggler([&] {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < 200000; i++) __atomic_fetch_xor(&t->flags, (DWORD)MT_SHOW_VENDOR, __ATOMIC_SEQ_CST);
    done = true;
  });
  go = true;
  for (int i = 0; !done.load(); i++) {
    std::string name = "T" + std::to_string(i % 20);
    Add(name.c_str(), "0A");
    t->DeleteName(name.c_str());
    if (i % 10 == 0) t->SaveNameFile(fd);
  }
  toggler.join();
  EXPECT_EQ(t->flags & MT_SHOW_VENDOR, original);
  close(fd);
}

// A mapping added while a save runs is either in the file or leaves the
// table marked as changed. The add waits for the lock the save holds, so it
// lands just as the save lets go; the window is narrow, hence many rounds.
TEST_F(PallisandThreads, SaveNeverMarksAMappingAddedMeanwhileAsSaved) {
  int fd = memfd_create("names", 0);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < 300; i++) Add(("Base" + std::to_string(i)).c_str(), "0A");
  for (int round = 0; round < 200; round++) {
    std::string name = "Late" + std::to_string(round);
    std::atomic<bool> saving{false};
    std::thread saver([&] {
      saving = true;
      EXPECT_EQ(t->SaveNameFile(fd), TRUE);
    });
    while (!saving.load()) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    Add(name.c_str(), "0C");
    saver.join();
    if (!Changed()) {
      std::string content;
      char b[4096];
      ssize_t n;
      for (off_t at = 0; (n = pread(fd, b, sizeof b, at)) > 0; at += n) content.append(b, (size_t)n);
      ASSERT_NE(content.find("\n" + name + ","), std::string::npos) << "round " << round;
    }
    t->DeleteName(name.c_str());
  }
  close(fd);
}

// While another thread holds the table's lock past the bounded wait, the
// services give up in their usual way, and work again once it is released.
TEST_F(PallisandThreads, ServicesGiveUpWhenTheLockStaysTaken) {
  Add("Router", "00A0C914C829");
  std::atomic<int> stage{0};
  std::thread holder([&] {
    plat::Mutex* m = plat::CreateMutex("ActiveNameQue");
    ASSERT_EQ(plat::WaitForMutex(m, plat::INFINITE), (DWORD)plat::WAIT_OK);
    stage = 1;
    while (stage.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    plat::ReleaseMutex(m);
    plat::CloseMutex(m);
  });
  while (stage.load() != 1) std::this_thread::yield();

  auto start = std::chrono::steady_clock::now();
  Bytes a = Hex("00A0C914C829");
  std::thread lookup([&] {
    char text[64];
    COLORREF d = 1, s = 1;
    EXPECT_EQ(t->LookupName(a.data(), 6, 1, text, 0, &d, &s), FALSE);
    EXPECT_STREQ(text, "00-A0-C9-14-C8-29");
    EXPECT_EQ(d, 0u);
  });
  std::thread all([&] {
    char text[64];
    EXPECT_EQ(t->LookupAllNames(a.data(), 6, text, 0, 63), FALSE);
    EXPECT_STREQ(text, "00-A0-C9-14-C8-29");
  });
  std::thread add([&] { EXPECT_EQ(Add("Other", "0A"), nullptr); });
  lookup.join();
  all.join();
  add.join();
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(9900));
  stage = 2;
  holder.join();

  char text[64];
  COLORREF d, s;
  EXPECT_EQ(t->LookupName(a.data(), 6, 1, text, 0, &d, &s), TRUE);
  EXPECT_STREQ(text, "Router");
  EXPECT_EQ(Names(), std::vector<std::string>{"Router"});
}

}  // namespace
}  // namespace names_test
