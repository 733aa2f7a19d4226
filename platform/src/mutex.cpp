// Named recursive mutexes with bounded waits, shared by the whole process.
//
// Each name maps to one refcounted shared mutex; every CreateMutex call gets
// its own handle object. The underlying mutex is locked once per owner and
// the recursion depth is counted here, so recursion has no library limit and
// a release by a thread that does not own the mutex is refused, not undefined.
#include <errno.h>

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
// The owner is compared only with the calling thread's own id, which only
// that thread ever stores: relaxed order suffices (the mutex orders the data).
//
// The lock is one word taken with one compare-and-swap, as the name table
// takes it twice per summary row; only a thread that finds it held goes to
// the condition variable. A waiter marks the word contended under `gate`
// before it sleeps, and a release that finds the mark takes `gate` before it
// wakes them, so no wake-up falls between a waiter's test and its sleep.
struct SharedMutex {
  std::atomic<unsigned> word{0};  // 0 free, 1 held, 2 held and maybe waited for
  std::mutex gate;
  std::condition_variable released;
  std::atomic<std::thread::id> owner{};
  unsigned long depth = 0;  // touched by the owner only
  unsigned long handles = 0;  // guarded by g_namesMutex
  std::string name;
  bool named = false;

  bool TryLock() {
    unsigned free = 0;
    return word.compare_exchange_strong(free, 1, std::memory_order_acquire, std::memory_order_relaxed);
  }
  // Taken within the wait (INFINITE: any wait); false when it runs out.
  bool LockWithin(DWORD milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
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
    if (word.exchange(0, std::memory_order_release) != 2) return;
    std::lock_guard<std::mutex> lock(gate);
    released.notify_all();
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

DWORD WaitForMutex(Mutex* mutex, DWORD milliseconds) {
  if (!mutex || !mutex->shared) {
    SetLastError(EINVAL);
    return WAIT_ERROR;
  }
  SharedMutex& s = *mutex->shared;
  const std::thread::id self = std::this_thread::get_id();
  if (s.owner.load(std::memory_order_relaxed) == self) {
    s.depth++;
    return WAIT_OK;
  }
  // An uncontended lock needs no deadline (and no clock reading).
  if (!s.TryLock() && (milliseconds == 0 || !s.LockWithin(milliseconds))) return WAIT_TIMED_OUT;
  s.owner.store(self, std::memory_order_relaxed);
  s.depth = 1;
  return WAIT_OK;
}

bool ReleaseMutex(Mutex* mutex) {
  if (!mutex || !mutex->shared) {
    SetLastError(EINVAL);
    return false;
  }
  SharedMutex& s = *mutex->shared;
  if (s.owner.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
    SetLastError(EPERM);  // not the owner
    return false;
  }
  if (--s.depth == 0) {
    s.owner.store(std::thread::id(), std::memory_order_relaxed);
    s.Unlock();
  }
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
    s->owner.store(std::thread::id());
    s->depth = 0;
    s->Unlock();
  } else if (s->owner.load() != std::thread::id()) {
    return;
  }
  delete s;
}

}  // namespace plat
