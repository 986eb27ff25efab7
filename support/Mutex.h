#pragma once
#include <cstdint>

#ifdef _WIN32
typedef void* MutexHandle;  // HANDLE
#else
#include <pthread.h>
typedef pthread_mutex_t* MutexHandle;
#endif

// A recursive mutex with Win32 semantics: each lock by the owner needs its own
// unlock, and when the owning thread ends the next waiter gets it as abandoned.
class Mutex {
 public:
  // Throws MutexException "CreateMutex failed".
  Mutex();
  ~Mutex();
  // 0, or 0x80 when the previous owner ended while holding it; the caller owns
  // the mutex either way. Throws MutexException "WaitForSingleObject failed".
  uint32_t lock();
  void unlock();
  // Whether another thread holds the mutex right now; never blocks.
  bool isHeldElsewhere();

  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

 private:
  MutexHandle handle;
};

// Holds a Mutex from construction to the end of the scope, on every way out.
class MutexGuard {
 public:
  explicit MutexGuard(Mutex& mutex) : mutex(mutex) { mutex.lock(); }
  ~MutexGuard() { mutex.unlock(); }
  MutexGuard(const MutexGuard&) = delete;
  MutexGuard& operator=(const MutexGuard&) = delete;

 private:
  Mutex& mutex;
};
