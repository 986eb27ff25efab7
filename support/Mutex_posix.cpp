#include <pthread.h>

#include <cerrno>

#include "support/Exceptions.h"
#include "support/Mutex.h"
#include "support/Thread.h"

Mutex::Mutex() : handle(new pthread_mutex_t) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  // Robust: a thread that ends while holding it hands it on as abandoned.
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  int error = pthread_mutex_init(handle, &attributes);
  pthread_mutexattr_destroy(&attributes);
  if (error != 0) {
    delete handle;
    throw MutexException("CreateMutex failed");
  }
}

Mutex::~Mutex() {
  pthread_mutex_destroy(handle);
  delete handle;
}

uint32_t Mutex::lock() {
  int error = pthread_mutex_lock(handle);
  if (error == 0) return kWaitObject0;
  if (error == EOWNERDEAD) {
    pthread_mutex_consistent(handle);
    return kWaitAbandoned;
  }
  throw MutexException("WaitForSingleObject failed");
}

void Mutex::unlock() { pthread_mutex_unlock(handle); }

bool Mutex::isHeldElsewhere() {
  int error = pthread_mutex_trylock(handle);
  if (error == 0) {
    pthread_mutex_unlock(handle);
    return false;
  }
  if (error == EBUSY) return true;
  if (error == EOWNERDEAD) {
    // As with Win32, the caller now owns the abandoned mutex.
    pthread_mutex_consistent(handle);
  }
  throw MutexException("WaitForSingleObject failed");
}
