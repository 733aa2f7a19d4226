// Named recursive mutexes with bounded waits, shared by the whole process.
//
// Each name maps to one refcounted shared mutex; every CreateMutex call gets
// its own handle object. The underlying mutex is locked once per owner and
// the recursion depth is counted here, so recursion has no library limit and
// a release by a thread that does not own the mutex is refused, not undefined.
#include <errno.h>
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "plat/platform.h"

namespace plat {

namespace {

// The expedited barrier of membarrier(2): a full memory barrier on every
// running thread of the process. Registered once; false where the kernel
// has none, and then no mutex is ever biased.
bool BarrierRegistered() {
  static const bool registered = syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  return registered;
}
void BarrierOnEveryThread() {
  if (syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) != 0)
    syscall(__NR_membarrier, MEMBARRIER_CMD_GLOBAL, 0, 0);
}

// The owner is compared only with the calling thread's own id, which only
// that thread ever stores: relaxed order suffices (the mutex orders the data).
//
// Biased to the first thread that waits for it: the name table takes its
// mutex twice per summary row, from the one thread that decodes, and that
// thread then takes and releases it with plain stores (`inside`), no
// read-modify-write. The first wait of any other thread revokes the bias for
// good: it marks the mutex revoked, makes every thread pass a full barrier
// (so the biased thread either is seen inside or sees the mark on its next
// way in), and from then on every thread takes the word below, and waits too
// until the biased thread has left.
//
// The word is taken with one compare-and-swap; only a thread that finds it
// held goes to the condition variable. A waiter marks the word contended
// under `gate` before it sleeps, and a release that finds the mark takes
// `gate` before it wakes them, so no wake-up falls between a waiter's test
// and its sleep.
struct SharedMutex {
  enum : int { BIASED, REVOKING, REVOKED };
  std::atomic<std::thread::id> biasedTo{};  // set once
  std::atomic<int> bias{BIASED};
  std::atomic<bool> inside{false};  // the biased thread holds it without the word
  std::atomic<unsigned> word{0};    // 0 free, 1 held, 2 held and maybe waited for
  std::mutex gate;
  std::condition_variable released;
  std::atomic<std::thread::id> owner{};
  unsigned long depth = 0;  // touched by the owner only
  bool heldBiased = false;  // touched by the owner only
  unsigned long handles = 0;  // guarded by g_namesMutex
  std::string name;
  bool named = false;

  // The biased thread's way in; false once the bias is revoked.
  bool EnterBiased() {
    inside.store(true, std::memory_order_relaxed);
    // Not reordered here by the compiler; the revoker's barrier orders the
    // two for the processor.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (bias.load(std::memory_order_relaxed) == BIASED) return true;
    inside.store(false, std::memory_order_release);
    return false;
  }
  // True when the calling thread holds the bias (claiming it if no thread
  // does); otherwise revokes it. Once revoked, false for every thread.
  bool Biased(std::thread::id self) {
    if (bias.load(std::memory_order_acquire) == REVOKED) return false;
    std::thread::id to = biasedTo.load(std::memory_order_relaxed);
    if (to == std::thread::id() && bias.load(std::memory_order_relaxed) == BIASED) {
      if (!BarrierRegistered()) {
        bias.store(REVOKED, std::memory_order_release);
        return false;
      }
      if (biasedTo.compare_exchange_strong(to, self, std::memory_order_relaxed)) to = self;
    }
    if (to == self) return bias.load(std::memory_order_relaxed) == BIASED;
    int expected = BIASED;
    bias.compare_exchange_strong(expected, REVOKING, std::memory_order_seq_cst);
    if (expected != REVOKED) {
      // Whoever marked it, this thread reads `inside` only after a barrier.
      BarrierOnEveryThread();
      bias.store(REVOKED, std::memory_order_release);
    }
    return false;
  }
  // Until the biased thread is out, within the deadline; false when it runs
  // out. The biased thread leaves with a plain store, so this looks again
  // after ever longer naps rather than being woken.
  bool AwaitBiasedLeft(DWORD milliseconds, std::chrono::steady_clock::time_point deadline) {
    for (auto nap = std::chrono::microseconds(10); inside.load(std::memory_order_acquire);) {
      if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(nap);
      if (nap < std::chrono::milliseconds(1)) nap *= 2;
    }
    return true;
  }

  bool TryLock() {
    unsigned free = 0;
    return word.compare_exchange_strong(free, 1, std::memory_order_acquire, std::memory_order_relaxed);
  }
  // Taken within the wait (INFINITE: any wait); false when it runs out.
  bool LockWithin(DWORD milliseconds, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(gate);
    for (;;) {
      if (word.exchange(2, std::memory_order_acquire) == 0) return true;
      if (milliseconds == INFINITE)
        released.wait(lock);
      else if (released.wait_until(lock, deadline) == std::cv_status::timeout)
        return word.exchange(2, std::memory_order_acquire) == 0;
    }
  }
  void Unlock() {
    if (word.exchange(0, std::memory_order_release) == 2) WakeWaiters();
  }
  [[gnu::noinline]] void WakeWaiters() {
    std::lock_guard<std::mutex> lock(gate);
    released.notify_all();
  }
  // The owner's last release.
  void Leave() {
    owner.store(std::thread::id(), std::memory_order_relaxed);
    depth = 0;
    if (heldBiased)
      inside.store(false, std::memory_order_release);
    else
      Unlock();
  }
};

std::mutex g_namesMutex;
std::map<std::string, SharedMutex*>& Names() {
  static auto* names = new std::map<std::string, SharedMutex*>;  // never destroyed: safe at exit
  return *names;
}
}  // namespace

struct Mutex {
  SharedMutex* shared;
};

Mutex* CreateMutex(const char* name) {
  Mutex* handle = new (std::nothrow) Mutex{nullptr};
  if (!handle) {
    SetLastError(ENOMEM);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_namesMutex);
  bool existed = false;
  try {
    if (name) {
      auto& names = Names();
      auto it = names.find(name);
      if (it != names.end()) {
        handle->shared = it->second;
        existed = true;
      } else {
        auto* shared = new SharedMutex;
        shared->name = name;
        shared->named = true;
        names.emplace(shared->name, shared);
        handle->shared = shared;
      }
    } else {
      handle->shared = new SharedMutex;
    }
  } catch (const std::bad_alloc&) {
    delete handle;
    SetLastError(ENOMEM);
    return nullptr;
  }
  handle->shared->handles++;
  SetLastError(existed ? EEXIST : 0);
  return handle;
}

namespace {

// Every way in but the two that take no lock: the first wait of a thread
// (which claims or revokes the bias), the word, and the waits.
[[gnu::noinline]] DWORD WaitForShared(SharedMutex& s, std::thread::id self, DWORD milliseconds) {
  if (s.Biased(self) && s.EnterBiased()) {
    s.heldBiased = true;
  } else {
    // An uncontended lock needs no deadline (and no clock reading).
    const bool free = s.TryLock();
    if (!free && milliseconds == 0) return WAIT_TIMED_OUT;
    auto deadline = std::chrono::steady_clock::time_point::max();
    if (milliseconds != INFINITE && (!free || s.inside.load(std::memory_order_acquire)))
      deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    if (!free && !s.LockWithin(milliseconds, deadline)) return WAIT_TIMED_OUT;
    if (!s.AwaitBiasedLeft(milliseconds, deadline)) {
      s.Unlock();
      return WAIT_TIMED_OUT;
    }
    s.heldBiased = false;
  }
  s.owner.store(self, std::memory_order_relaxed);
  s.depth = 1;
  return WAIT_OK;
}

}  // namespace

// The biased thread's and the owner's ways in are kept apart from the rest,
// so that they run without the others' register saves: the name table
// takes its mutex for every address of every summary row.
DWORD WaitForMutex(Mutex* mutex, DWORD milliseconds) {
  SharedMutex* s = mutex ? mutex->shared : nullptr;
  if (!s) {
    SetLastError(EINVAL);
    return WAIT_ERROR;
  }
  const std::thread::id self = std::this_thread::get_id();
  if (s->owner.load(std::memory_order_relaxed) == self) {
    s->depth++;
    return WAIT_OK;
  }
  // What Biased(self) finds for the thread the mutex is biased to.
  if (s->biasedTo.load(std::memory_order_relaxed) == self &&
      s->bias.load(std::memory_order_acquire) == SharedMutex::BIASED && s->EnterBiased()) {
    s->heldBiased = true;
    s->owner.store(self, std::memory_order_relaxed);
    s->depth = 1;
    return WAIT_OK;
  }
  return WaitForShared(*s, self, milliseconds);
}

bool ReleaseMutex(Mutex* mutex) {
  SharedMutex* s = mutex ? mutex->shared : nullptr;
  if (!s) {
    SetLastError(EINVAL);
    return false;
  }
  if (s->owner.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
    SetLastError(EPERM);  // not the owner
    return false;
  }
  if (--s->depth == 0) s->Leave();
  return true;
}

void CloseMutex(Mutex* mutex) {
  if (!mutex) return;
  SharedMutex* s = mutex->shared;
  delete mutex;
  if (!s) return;
  std::lock_guard<std::mutex> lock(g_namesMutex);
  if (--s->handles != 0) return;
  if (s->named) Names().erase(s->name);
  // The last handle is gone. A mutex still held by this thread is released;
  // one held by another thread can never be released now and is left alone
  // (destroying a locked mutex is undefined).
  const std::thread::id self = std::this_thread::get_id();
  if (s->owner.load() == self) {
    s->Leave();
  } else if (s->owner.load() != std::thread::id()) {
    return;
  }
  delete s;
}

}  // namespace plat
