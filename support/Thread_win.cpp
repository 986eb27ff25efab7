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
  terminate();
  // TerminateThread does not wait; the object must not be touched by the thread
  // once it is gone.
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
}

ThreadHandle Thread::start() {
  DWORD id;
  handle = CreateThread(nullptr, 0, threadEntry, this, 0, &id);
  if (handle == nullptr) throw ThreadException("CreateThread: " + systemErrorText());
  return handle;
}

int Thread::terminate() { return handle != nullptr && TerminateThread(handle, 0) ? 1 : 0; }

uint32_t Thread::wait(uint32_t milliseconds) {
  if (handle == nullptr) return kWaitFailed;
  return WaitForSingleObject(handle, milliseconds);
}
