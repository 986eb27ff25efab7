#pragma once
#include <cstdint>

#ifdef _WIN32
typedef void* ThreadHandle;  // HANDLE
#else
struct PosixThread;
typedef PosixThread* ThreadHandle;
#endif

// Wait results, with the values the Win32 wait functions give them.
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitAbandoned = 0x80;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
constexpr uint32_t kInfinite = 0xFFFFFFFF;

// An object that runs its own `run` on a thread of its own. Started at most once.
// Threads are never killed: a subclass whose `run` may block asks it to return
// and waits for it in its own destructor, before the members `run` uses go. The
// destructor here only waits for the thread.
class Thread {
 public:
  Thread();
  virtual ~Thread();
  // Throws ThreadException "CreateThread: " + the system's text.
  virtual ThreadHandle start();
  // 0 once the thread has ended, 258 when the time ran out, 0xFFFFFFFF on failure.
  virtual uint32_t wait(uint32_t milliseconds);
  virtual uint32_t run() = 0;

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

 protected:
  ThreadHandle handle;
};

// The thread body's wrapper: logs what `run` throws and ends the thread quietly.
uint32_t runThreadBody(Thread* thread);
