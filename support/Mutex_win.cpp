#include <windows.h>

#include "support/Exceptions.h"
#include "support/Mutex.h"

Mutex::Mutex() : handle(CreateMutexA(nullptr, FALSE, nullptr)) {
  if (handle == nullptr) throw MutexException("CreateMutex failed");
}

Mutex::~Mutex() { CloseHandle(handle); }

uint32_t Mutex::lock() {
  DWORD result = WaitForSingleObject(handle, INFINITE);
  if (result == WAIT_FAILED) throw MutexException("WaitForSingleObject failed");
  return result;
}

void Mutex::unlock() { ReleaseMutex(handle); }

bool Mutex::isHeldElsewhere() {
  DWORD result = WaitForSingleObject(handle, 0);
  if (result == WAIT_OBJECT_0) {
    ReleaseMutex(handle);
    return false;
  }
  if (result == WAIT_TIMEOUT) return true;
  throw MutexException("WaitForSingleObject failed");
}
