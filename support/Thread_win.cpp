#include <windows.h>

#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/Thread.h"

namespace {
DWORD WINAPI threadEntry(LPVOID parameter) { return runThreadBody(static_cast<Thread*>(parameter)); }
}  // namespace

Thread::Thread() : handle(nullptr) {}

Thread::~Thread() {
  if (handle == nullptr) return;
  // The thread must be gone before the object it runs on is.
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
}

ThreadHandle Thread::start() {
  DWORD id;
  handle = CreateThread(nullptr, 0, threadEntry, this, 0, &id);
  if (handle == nullptr) throw ThreadException("CreateThread: " + systemErrorText());
  return handle;
}

uint32_t Thread::wait(uint32_t milliseconds) {
  if (handle == nullptr) return kWaitFailed;
  return WaitForSingleObject(handle, milliseconds);
}
