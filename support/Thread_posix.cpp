#include <pthread.h>
#include <time.h>

#include <cerrno>

#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/Thread.h"

// What a Win32 thread handle gives for free: a thread that can be waited for with
// a time-out, any number of times, also after it has ended.
struct PosixThread {
  Thread* owner;
  pthread_t id;
  pthread_mutex_t lock;
  pthread_cond_t ended;
  bool done = false;
  bool joined = false;

  explicit PosixThread(Thread* thread) : owner(thread) {
    pthread_mutex_init(&lock, nullptr);
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&ended, &attributes);
    pthread_condattr_destroy(&attributes);
  }
  ~PosixThread() {
    pthread_cond_destroy(&ended);
    pthread_mutex_destroy(&lock);
  }
};

namespace {
void markEnded(PosixThread* thread) {
  pthread_mutex_lock(&thread->lock);
  thread->done = true;
  pthread_cond_broadcast(&thread->ended);
  pthread_mutex_unlock(&thread->lock);
}

void* threadEntry(void* parameter) {
  PosixThread* thread = static_cast<PosixThread*>(parameter);
  runThreadBody(thread->owner);
  markEnded(thread);
  return nullptr;
}
}  // namespace

Thread::Thread() : handle(nullptr) {}

Thread::~Thread() {
  if (handle == nullptr) return;
  // The thread must be gone before the object it runs on is.
  wait(kInfinite);
  delete handle;
}

ThreadHandle Thread::start() {
  PosixThread* thread = new PosixThread(this);
  int error = pthread_create(&thread->id, nullptr, threadEntry, thread);
  if (error != 0) {
    delete thread;
    errno = error;
    throw ThreadException("CreateThread: " + systemErrorText());
  }
  handle = thread;
  return handle;
}

uint32_t Thread::wait(uint32_t milliseconds) {
  if (handle == nullptr) return kWaitFailed;
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  pthread_mutex_lock(&handle->lock);
  while (!handle->done) {
    if (milliseconds == kInfinite) {
      pthread_cond_wait(&handle->ended, &handle->lock);
    } else if (milliseconds == 0 || pthread_cond_timedwait(&handle->ended, &handle->lock, &deadline) == ETIMEDOUT) {
      if (handle->done) break;
      pthread_mutex_unlock(&handle->lock);
      return kWaitTimeout;
    }
  }
  bool mustJoin = !handle->joined;
  handle->joined = true;
  pthread_mutex_unlock(&handle->lock);
  if (mustJoin) pthread_join(handle->id, nullptr);
  return kWaitObject0;
}
