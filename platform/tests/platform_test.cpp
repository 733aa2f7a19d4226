// Errors, heap, mutexes, message boxes, window messages, string tables,
// files and time of the platform stand-ins.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "plat/platform.h"

namespace {

using namespace std::chrono_literals;

// ---------------------------------------------------------------- errors

TEST(PlatErrors, LastErrorIsPerThread) {
  plat::SetLastError(EIO);
  DWORD other = 1;
  std::thread([&] {
    other = plat::GetLastError();
    plat::SetLastError(ENOENT);
  }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(plat::GetLastError(), (DWORD)EIO);
}

TEST(PlatErrors, FormatsSystemTexts) {
  char text[128];
  plat::FormatSystemError(ENOENT, text, sizeof text);
  EXPECT_STREQ(text, "No such file or directory");
  plat::FormatSystemError(ENOENT, text, 5);
  EXPECT_STREQ(text, "No s");
  plat::FormatSystemError(0xfffffu, text, sizeof text);
  EXPECT_NE(text[0], '\0');
  EXPECT_EQ(strchr(text, '\n'), nullptr);
}

// ---------------------------------------------------------------- heap

TEST(PlatHeap, AllocatesZeroFilledAndCounts) {
  unsigned long before = plat::LocalAllocCount();
  auto* block = static_cast<unsigned char*>(plat::LocalAlloc(4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 4096; i++) ASSERT_EQ(block[i], 0) << i;
  void* empty = plat::LocalAlloc(0);
  EXPECT_NE(empty, nullptr);
  EXPECT_EQ(plat::LocalAllocCount(), before + 2);
  plat::LocalFree(block);
  plat::LocalFree(empty);
  plat::LocalFree(nullptr);
}

TEST(PlatHeap, FailureSwitch) {
  struct Case {
    unsigned nth;
    bool repeat;
    const char* expected;  // outcome of the next six calls: + made, - failed
  } cases[] = {
      {1, false, "-+++++"}, {3, false, "++-+++"}, {2, true, "+-----"}, {0, false, "++++++"}, {0, true, "++++++"},
  };
  for (const auto& c : cases) {
    plat::SetAllocFailure(c.nth, c.repeat);
    std::string got;
    unsigned long before = plat::LocalAllocCount();
    for (int i = 0; i < 6; i++) {
      plat::SetLastError(0);
      void* block = plat::LocalAlloc(16);
      got += block ? '+' : '-';
      if (!block) {
        EXPECT_EQ(plat::GetLastError(), (DWORD)ENOMEM);
      }
      plat::LocalFree(block);
    }
    plat::SetAllocFailure(0);
    EXPECT_EQ(got, c.expected) << "nth " << c.nth << " repeat " << c.repeat;
    EXPECT_EQ(plat::LocalAllocCount() - before, (unsigned long)std::count(got.begin(), got.end(), '+'));
  }
}

TEST(PlatHeap, FailureSwitchAcrossThreads) {
  plat::SetAllocFailure(150);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; i++) {
        void* block = plat::LocalAlloc(8);
        if (!block) failures++;
        plat::LocalFree(block);
      }
    });
  for (auto& t : threads) t.join();
  plat::SetAllocFailure(0);
  EXPECT_EQ(failures.load(), 1);
}

// ---------------------------------------------------------------- mutexes

// Tries the mutex from another thread; true when it was taken (and released).
bool TakenElsewhere(plat::Mutex* mutex, DWORD wait) {
  bool taken = false;
  std::thread([&] {
    if (plat::WaitForMutex(mutex, wait) == plat::WAIT_OK) {
      taken = true;
      EXPECT_TRUE(plat::ReleaseMutex(mutex));
    }
  }).join();
  return taken;
}

TEST(PlatMutex, SameNameSharesOneMutex) {
  plat::Mutex* a = plat::CreateMutex("qv-test-shared");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(plat::GetLastError(), 0u);
  plat::Mutex* b = plat::CreateMutex("qv-test-shared");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(plat::GetLastError(), (DWORD)EEXIST);
  EXPECT_NE(a, b);  // one handle per call
  plat::Mutex* other = plat::CreateMutex("QV-TEST-SHARED");  // names are case-sensitive
  plat::Mutex* unnamed = plat::CreateMutex(nullptr);

  ASSERT_EQ(plat::WaitForMutex(a, 0), plat::WAIT_OK);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(TakenElsewhere(b, 60));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);
  EXPECT_TRUE(TakenElsewhere(other, 0));
  EXPECT_TRUE(TakenElsewhere(unnamed, 0));
  EXPECT_TRUE(plat::ReleaseMutex(b));  // the same mutex through another handle
  EXPECT_TRUE(TakenElsewhere(b, 0));

  plat::CloseMutex(a);
  EXPECT_EQ(plat::WaitForMutex(b, 0), plat::WAIT_OK);  // b keeps it alive
  EXPECT_TRUE(plat::ReleaseMutex(b));
  plat::CloseMutex(b);
  plat::Mutex* fresh = plat::CreateMutex("qv-test-shared");
  EXPECT_EQ(plat::GetLastError(), 0u);  // the name was freed with its last handle
  plat::CloseMutex(fresh);
  plat::CloseMutex(other);
  plat::CloseMutex(unnamed);
}

TEST(PlatMutex, RecursionAndOwnership) {
  plat::Mutex* m = plat::CreateMutex("qv-test-recursive");
  for (int i = 0; i < 3; i++) ASSERT_EQ(plat::WaitForMutex(m, 0), plat::WAIT_OK);
  bool releasedElsewhere = true;
  std::thread([&] { releasedElsewhere = plat::ReleaseMutex(m); }).join();
  EXPECT_FALSE(releasedElsewhere);  // only the owner releases
  for (int i = 0; i < 2; i++) {
    EXPECT_TRUE(plat::ReleaseMutex(m));
    EXPECT_FALSE(TakenElsewhere(m, 10)) << "still held after " << i + 1 << " releases";
  }
  EXPECT_TRUE(plat::ReleaseMutex(m));
  EXPECT_FALSE(plat::ReleaseMutex(m));
  EXPECT_TRUE(TakenElsewhere(m, 0));
  plat::CloseMutex(m);
  EXPECT_EQ(plat::WaitForMutex(nullptr, 0), plat::WAIT_ERROR);
  EXPECT_FALSE(plat::ReleaseMutex(nullptr));
  plat::CloseMutex(nullptr);
}

TEST(PlatMutex, BoundedWaitSucceedsWhenReleasedInTime) {
  plat::Mutex* m = plat::CreateMutex("qv-test-handover");
  std::atomic<bool> held{false};
  std::thread holder([&] {
    ASSERT_EQ(plat::WaitForMutex(m, 0), plat::WAIT_OK);
    held = true;
    std::this_thread::sleep_for(50ms);
    plat::ReleaseMutex(m);
  });
  while (!held) std::this_thread::yield();
  EXPECT_EQ(plat::WaitForMutex(m, 5000), plat::WAIT_OK);
  EXPECT_TRUE(plat::ReleaseMutex(m));
  holder.join();
  EXPECT_EQ(plat::WaitForMutex(m, plat::INFINITE), plat::WAIT_OK);
  plat::CloseMutex(m);  // closing the last handle of a held mutex releases it
}

// Unbounded and bounded waits both sleep while the mutex is held elsewhere
// and wake when it is released.
TEST(PlatMutex, ExcludesAcrossThreads) {
  for (DWORD wait : {(DWORD)plat::INFINITE, (DWORD)10000}) {
    SCOPED_TRACE(wait);
    plat::Mutex* m = plat::CreateMutex("qv-test-counter");
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
      threads.emplace_back([&] {
        plat::Mutex* mine = plat::CreateMutex("qv-test-counter");
        for (int i = 0; i < 2000; i++) {
          ASSERT_EQ(plat::WaitForMutex(mine, wait), plat::WAIT_OK);
          ASSERT_EQ(plat::WaitForMutex(mine, 0), plat::WAIT_OK);
          long seen = counter;
          if (i % 64 == 0) std::this_thread::yield();  // others find it held
          counter = seen + 1;
          plat::ReleaseMutex(mine);
          plat::ReleaseMutex(mine);
        }
        plat::CloseMutex(mine);
      });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 8000);
    plat::CloseMutex(m);
  }
}

// The first thread to wait holds the mutex with plain stores; a second one
// that starts while the first goes on taking it must still be kept out, and
// a bounded wait for it must still run out while the first holds it.
TEST(PlatMutex, FirstThreadGivesWayToASecond) {
  plat::Mutex* m = plat::CreateMutex("qv-test-bias");
  long counter = 0;
  auto work = [&](int times, DWORD wait) {
    for (int i = 0; i < times; i++) {
      ASSERT_EQ(plat::WaitForMutex(m, wait), plat::WAIT_OK);
      long seen = counter;
      if (i % 16 == 0) std::this_thread::yield();
      counter = seen + 1;
      ASSERT_TRUE(plat::ReleaseMutex(m));
    }
  };
  work(1000, plat::INFINITE);
  std::atomic<bool> started{false};
  std::thread second([&] {
    started = true;
    work(20000, 10000);
  });
  while (!started) std::this_thread::yield();
  work(20000, plat::INFINITE);
  second.join();
  EXPECT_EQ(counter, 41000);

  plat::Mutex* fresh = plat::CreateMutex("qv-test-bias-held");
  ASSERT_EQ(plat::WaitForMutex(fresh, 0), plat::WAIT_OK);
  EXPECT_FALSE(TakenElsewhere(fresh, 0));
  EXPECT_FALSE(TakenElsewhere(fresh, 30));
  EXPECT_TRUE(plat::ReleaseMutex(fresh));
  EXPECT_TRUE(TakenElsewhere(fresh, 0));
  EXPECT_EQ(plat::WaitForMutex(fresh, 0), plat::WAIT_OK);
  EXPECT_TRUE(plat::ReleaseMutex(fresh));
  plat::CloseMutex(fresh);
  plat::CloseMutex(m);
}

// ---------------------------------------------------------------- messages

struct Recorded {
  std::vector<std::string> boxes;
};

int RecordingSink(HWND, const char* text, const char* title, DWORD style, void* context) {
  static_cast<Recorded*>(context)->boxes.push_back(std::string(title) + "|" + text + "|" + std::to_string(style));
  return 7;
}

TEST(PlatMessages, SinkReceivesEveryBox) {
  Recorded recorded;
  plat::SetMessageSink(RecordingSink, &recorded);
  EXPECT_EQ(plat::MessageBox(nullptr, "Table version mismatch", "Quorvane", plat::MB_ICONERROR), 7);
  std::thread([] { plat::MessageBox(nullptr, "second", "T", plat::MB_OK); }).join();
  plat::SetMessageSink(nullptr, nullptr);
  ASSERT_EQ(recorded.boxes.size(), 2u);
  EXPECT_EQ(recorded.boxes[0], "Quorvane|Table version mismatch|16");
  EXPECT_EQ(recorded.boxes[1], "T|second|0");
  testing::internal::CaptureStderr();
  EXPECT_EQ(plat::MessageBox(nullptr, "text", "title", plat::MB_OK), plat::IDOK);
  // Nobody answers the printed question: No, the answer that changes nothing.
  EXPECT_EQ(plat::MessageBox(nullptr, "Delete?", "Q", plat::MB_YESNO | plat::MB_ICONQUESTION), plat::IDNO);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "title: text\nQ: Delete?\n");
  EXPECT_EQ(recorded.boxes.size(), 2u);
}

// ---------------------------------------------------------------- windows

intptr_t Echo(HWND window, DWORD message, uintptr_t wParam, intptr_t lParam) {
  *static_cast<int*>(window->context) += 1;
  return (intptr_t)message + (intptr_t)wParam * 10 + lParam * 100;
}

TEST(PlatWindows, SendMessageCallsTheHandler) {
  int calls = 0;
  PlatWindow window{Echo, &calls};
  PlatWindow inert{nullptr, &calls};
  EXPECT_EQ(plat::SendMessage(&window, 3, 2, 1), 123);
  EXPECT_EQ(plat::SendMessage(&inert, 3, 2, 1), 0);
  EXPECT_EQ(plat::SendMessage(nullptr, 3, 2, 1), 0);
  EXPECT_EQ(calls, 1);
}

// ---------------------------------------------------------------- strings

TEST(PlatStrings, LoadStringLooksUpAndCuts) {
  const plat::StringRow table[] = {{7, "Hello"}, {2, "Ethernet"}, {9, ""}, {11, nullptr}};
  struct Case {
    unsigned id;
    int size;
    const char* text;
    int length;
  } cases[] = {
      {7, 64, "Hello", 5}, {7, 6, "Hello", 5}, {7, 5, "Hell", 4}, {7, 1, "", 0},
      {2, 4, "Eth", 3},    {9, 8, "", 0},      {11, 8, "", 0},    {5, 8, "", 0},
  };
  for (const auto& c : cases) {
    char buffer[72];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(plat::LoadString(table, 4, c.id, buffer, c.size), c.length) << c.id << "/" << c.size;
    EXPECT_STREQ(buffer, c.text) << c.id << "/" << c.size;
    EXPECT_EQ(buffer[c.size], 'x') << "wrote past the buffer";
  }
  char untouched = 'x';
  EXPECT_EQ(plat::LoadString(table, 4, 7, &untouched, 0), 0);
  EXPECT_EQ(untouched, 'x');
}

// ---------------------------------------------------------------- files

class PlatFiles : public testing::Test {
 protected:
  void SetUp() override {
    strcpy(path_, "/tmp/qvplat-fileXXXXXX");
    int made = mkstemp(path_);
    ASSERT_GE(made, 0);
    close(made);
    // The owner opens descriptors for 64-bit offsets (matters on i386 only).
    fd_ = open(path_, O_RDWR | O_CLOEXEC | O_LARGEFILE);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    close(fd_);
    unlink(path_);
  }
  char path_[64];
  int fd_ = -1;
};

TEST_F(PlatFiles, PointerTruncateAndSize) {
  DWORD done = 0;
  ASSERT_TRUE(plat::WriteFile(fd_, "0123456789", 10, &done));
  EXPECT_EQ(done, 10u);
  int64_t position = -1, size = -1;
  struct Step {
    int64_t distance;
    plat::SeekFrom from;
    int64_t position;
  } steps[] = {{4, plat::FILE_BEGIN, 4}, {2, plat::FILE_CURRENT, 6}, {-3, plat::FILE_END, 7}, {0, plat::FILE_CURRENT, 7}};
  for (const auto& s : steps) {
    ASSERT_TRUE(plat::SetFilePointer(fd_, s.distance, s.from, &position));
    EXPECT_EQ(position, s.position);
  }
  ASSERT_TRUE(plat::SetFilePointer(fd_, 4, plat::FILE_BEGIN, nullptr));
  ASSERT_TRUE(plat::SetEndOfFile(fd_));
  ASSERT_TRUE(plat::GetFileSize(fd_, &size));
  EXPECT_EQ(size, 4);
  char buffer[16] = {};
  ASSERT_TRUE(plat::SetFilePointer(fd_, 0, plat::FILE_BEGIN, nullptr));
  ASSERT_TRUE(plat::ReadFile(fd_, buffer, sizeof buffer, &done));  // stops at end of file
  EXPECT_EQ(done, 4u);
  EXPECT_STREQ(buffer, "0123");
  ASSERT_TRUE(plat::ReadFile(fd_, buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0u);

  // Offsets beyond 4 GiB work on the 32-bit build too.
  const int64_t big = 5LL << 30;
  ASSERT_TRUE(plat::SetFilePointer(fd_, big, plat::FILE_BEGIN, &position));
  EXPECT_EQ(position, big);
  ASSERT_TRUE(plat::SetEndOfFile(fd_));
  ASSERT_TRUE(plat::GetFileSize(fd_, &size));
  EXPECT_EQ(size, big);
}

TEST_F(PlatFiles, FailuresSetTheLastError) {
  int64_t value = 0;
  DWORD done = 99;
  char byte = 0;
  plat::SetLastError(0);
  EXPECT_FALSE(plat::SetFilePointer(fd_, -1, plat::FILE_BEGIN, &value));
  EXPECT_EQ(plat::GetLastError(), (DWORD)EINVAL);
  EXPECT_FALSE(plat::SetFilePointer(fd_, 0, (plat::SeekFrom)9, &value));
  EXPECT_EQ(plat::GetLastError(), (DWORD)EINVAL);
  EXPECT_FALSE(plat::GetFileSize(-1, &value));
  EXPECT_EQ(plat::GetLastError(), (DWORD)EBADF);
  EXPECT_FALSE(plat::SetEndOfFile(-1));
  EXPECT_EQ(plat::GetLastError(), (DWORD)EBADF);
  EXPECT_FALSE(plat::ReadFile(-1, &byte, 1, &done));
  EXPECT_EQ(plat::GetLastError(), (DWORD)EBADF);
  EXPECT_EQ(done, 0u);
  int readOnly = open(path_, O_RDONLY);
  EXPECT_FALSE(plat::WriteFile(readOnly, "x", 1, &done));
  EXPECT_EQ(plat::GetLastError(), (DWORD)EBADF);
  close(readOnly);
}

void Interrupted(int) {}

// A pipe gives short reads and writes, and a storm of signals without
// SA_RESTART interrupts both sides: every byte must still arrive in order.
TEST(PlatFileTransfers, RetryShortAndInterruptedTransfers) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  struct sigaction action = {}, previous = {};
  action.sa_handler = Interrupted;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

  std::vector<unsigned char> out(3 << 20), in(out.size(), 0);
  for (size_t i = 0; i < out.size(); i++) out[i] = (unsigned char)(i * 131 + (i >> 16));
  std::atomic<int> finished{0};
  bool wrote = false, read = false;
  DWORD written = 0, got = 0;
  std::thread writer([&] {
    wrote = plat::WriteFile(fds[1], out.data(), (DWORD)out.size(), &written);
    finished++;
  });
  std::thread reader([&] {
    read = plat::ReadFile(fds[0], in.data(), (DWORD)in.size(), &got);
    finished++;
  });
  while (finished < 2) {
    pthread_kill(writer.native_handle(), SIGUSR1);
    pthread_kill(reader.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(50us);
  }
  writer.join();
  reader.join();
  sigaction(SIGUSR1, &previous, nullptr);
  close(fds[0]);
  close(fds[1]);
  EXPECT_TRUE(wrote);
  EXPECT_TRUE(read);
  EXPECT_EQ(written, out.size());
  EXPECT_EQ(got, in.size());
  EXPECT_TRUE(in == out);
}

// ---------------------------------------------------------------- time

uint64_t Ticks(const plat::FILETIME& t) { return ((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime; }

TEST(PlatTime, FileTimeOfKnownDates) {
  struct Case {
    plat::SYSTEMTIME time;
    uint64_t ticks;
  } cases[] = {
      {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
      {{1601, 1, 0, 1, 0, 0, 0, 1}, 10000},
      {{1700, 3, 0, 1, 0, 0, 0, 0}, 31292352000000000ULL},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ULL},
      {{2000, 1, 6, 1, 0, 0, 0, 0}, 125911584000000000ULL},
      {{2024, 2, 4, 29, 12, 34, 56, 789}, 133536836967890000ULL},
      {{9999, 12, 5, 31, 23, 59, 59, 999}, 2650467743999990000ULL},
  };
  for (const auto& c : cases) {
    plat::FILETIME ft = {1, 1};
    ASSERT_TRUE(plat::SystemTimeToFileTime(&c.time, &ft)) << c.time.wYear;
    EXPECT_EQ(Ticks(ft), c.ticks) << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay;
  }
}

TEST(PlatTime, CalendarFieldsOfFileTimes) {
  const plat::SYSTEMTIME cases[] = {
      {1601, 1, 1, 1, 0, 0, 0, 0},          {1601, 12, 1, 31, 23, 59, 59, 999}, {1700, 3, 1, 1, 0, 0, 0, 0},
      {1900, 2, 3, 28, 6, 5, 4, 3},         {1970, 1, 4, 1, 0, 0, 0, 0},        {2000, 2, 2, 29, 12, 0, 0, 1},
      {2000, 12, 0, 31, 0, 0, 0, 0},        {2024, 2, 4, 29, 12, 34, 56, 789},  {2400, 12, 0, 31, 1, 2, 3, 4},
      {30827, 12, 5, 31, 23, 59, 59, 999},
  };
  for (const auto& c : cases) {
    plat::FILETIME ft;
    ASSERT_TRUE(plat::SystemTimeToFileTime(&c, &ft)) << c.wYear;
    plat::SYSTEMTIME t = {};
    ASSERT_TRUE(plat::FileTimeToSystemTime(&ft, &t)) << c.wYear;
    EXPECT_EQ(memcmp(&t, &c, sizeof t), 0) << c.wYear << "-" << c.wMonth << "-" << c.wDay << " came back as " << t.wYear
                                           << "-" << t.wMonth << "-" << t.wDay << " day " << t.wDayOfWeek << " "
                                           << t.wHour << ":" << t.wMinute << ":" << t.wSecond << "." << t.wMilliseconds;
  }
  // 100 ns ticks below a millisecond are dropped; years past 30827 are refused.
  plat::FILETIME ft = {9999, 0};
  plat::SYSTEMTIME t;
  ASSERT_TRUE(plat::FileTimeToSystemTime(&ft, &t));
  EXPECT_EQ(t.wMilliseconds, 0);
  const plat::SYSTEMTIME last = {30827, 12, 5, 31, 23, 59, 59, 999};
  ASSERT_TRUE(plat::SystemTimeToFileTime(&last, &ft));
  uint64_t next = Ticks(ft) + 10000;
  ft = plat::FILETIME{(DWORD)next, (DWORD)(next >> 32)};
  EXPECT_FALSE(plat::FileTimeToSystemTime(&ft, &t));
  ft = plat::FILETIME{0xFFFFFFFFu, 0xFFFFFFFFu};
  EXPECT_FALSE(plat::FileTimeToSystemTime(&ft, &t));
  EXPECT_FALSE(plat::FileTimeToSystemTime(nullptr, &t));
}

TEST(PlatTime, RejectsInvalidFields) {
  const plat::SYSTEMTIME bad[] = {
      {1600, 12, 0, 31, 0, 0, 0, 0}, {2023, 2, 0, 29, 0, 0, 0, 0}, {1900, 2, 0, 29, 0, 0, 0, 0},
      {2000, 13, 0, 1, 0, 0, 0, 0},  {2000, 0, 0, 1, 0, 0, 0, 0},  {2000, 4, 0, 31, 0, 0, 0, 0},
      {2000, 1, 0, 0, 0, 0, 0, 0},   {2000, 1, 0, 1, 24, 0, 0, 0}, {2000, 1, 0, 1, 0, 60, 0, 0},
      {2000, 1, 0, 1, 0, 0, 60, 0},  {2000, 1, 0, 1, 0, 0, 0, 1000},
  };
  plat::FILETIME ft = {};
  for (const auto& t : bad) EXPECT_FALSE(plat::SystemTimeToFileTime(&t, &ft)) << t.wYear << "-" << t.wMonth;
  const plat::SYSTEMTIME leap = {2000, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_TRUE(plat::SystemTimeToFileTime(&leap, &ft));
  EXPECT_FALSE(plat::SystemTimeToFileTime(nullptr, &ft));
  EXPECT_FALSE(plat::SystemTimeToFileTime(&leap, nullptr));
}

void FixedClock(plat::SYSTEMTIME* t) { *t = plat::SYSTEMTIME{2000, 1, 6, 1, 0, 0, 0, 0}; }

TEST(PlatTime, LocalClockAndTestHook) {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  plat::SYSTEMTIME t = {};
  plat::GetLocalTime(&t);
  EXPECT_EQ(t.wYear, local.tm_year + 1900);
  EXPECT_EQ(t.wDayOfWeek, local.tm_wday);
  EXPECT_LT(t.wMilliseconds, 1000);
  plat::FILETIME ft;
  EXPECT_TRUE(plat::SystemTimeToFileTime(&t, &ft));
  // Local, not UTC: the ticks agree with the local calendar fields.
  plat::SYSTEMTIME fields = {(WORD)(local.tm_year + 1900), (WORD)(local.tm_mon + 1), 0, (WORD)local.tm_mday,
                             (WORD)local.tm_hour, (WORD)local.tm_min, (WORD)(local.tm_sec % 60), 0};
  plat::FILETIME expected;
  ASSERT_TRUE(plat::SystemTimeToFileTime(&fields, &expected));
  int64_t skew = (int64_t)(Ticks(ft) - Ticks(expected));
  EXPECT_LT(skew < 0 ? -skew : skew, 30LL * 10000000);
  // The stamp of the two at once, from the coarse clock, read twice as a
  // second turns: each agrees with the calendar fields read beside it.
  for (int i = 0; i < 2; i++) {
    plat::FILETIME stamp = {};
    ASSERT_TRUE(plat::GetLocalFileTime(&stamp));
    plat::GetLocalTime(&t);
    ASSERT_TRUE(plat::SystemTimeToFileTime(&t, &ft));
    skew = (int64_t)(Ticks(ft) - Ticks(stamp));
    EXPECT_GE(skew, -10LL * 10000) << "a coarse tick is a few milliseconds";
    EXPECT_LT(skew, 500LL * 10000) << "the stamp of a second before";
    if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1000 - t.wMilliseconds));
  }

  plat::SetClockSource(FixedClock);
  plat::GetLocalTime(&t);
  plat::FILETIME stamp = {};
  EXPECT_TRUE(plat::GetLocalFileTime(&stamp));
  plat::SetClockSource(nullptr);
  EXPECT_EQ(Ticks(stamp), 125911584000000000ULL);
  ASSERT_TRUE(plat::SystemTimeToFileTime(&t, &ft));
  EXPECT_EQ(Ticks(ft), 125911584000000000ULL);
  plat::GetLocalTime(&t);
  EXPECT_EQ(t.wYear, local.tm_year + 1900);
}

}  // namespace
