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

// Holds the mutex from construction to the end of the scope.
class MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) : mutex(mutex) { mutex.lock(); }
  ~MutexLock() { mutex.unlock(); }

  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex;
};
