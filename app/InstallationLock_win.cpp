#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "app/InstallationLock.h"

namespace {
// A session-wide mutex named after the installation's full path, folded to
// lower case as the file system compares it. A mutex whose owner died is
// handed over as abandoned, never left blocking.
std::string mutexName() {
  char path[MAX_PATH * 2] = "";
  DWORD length = GetCurrentDirectoryA(sizeof path, path);
  uint64_t hash = 1469598103934665603ull;
  for (DWORD i = 0; i < length && i < sizeof path; ++i) {
    char c = path[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "Local\\updater-%016llx", static_cast<unsigned long long>(hash));
  return name;
}
}  // namespace

InstallationLock::InstallationLock() : handle(CreateMutexA(nullptr, FALSE, mutexName().c_str())), held(false) {}

InstallationLock::~InstallationLock() {
  release();
  if (handle != nullptr) CloseHandle(handle);
}

bool InstallationLock::acquire(unsigned timeoutMilliseconds) {
  if (handle == nullptr) return false;
  DWORD result = WaitForSingleObject(handle, timeoutMilliseconds);
  held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  return held;
}

void InstallationLock::release() {
  if (held) ReleaseMutex(handle);
  held = false;
}
