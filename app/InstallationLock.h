#pragma once
// One updater per installation: held from the start of the process, before
// "update.log" is opened, to its end. A second updater (a double click, or the
// new updater started while the old one is still ending) waits for it. The
// system releases the hold when the process ends, however it ends, so a killed
// updater never blocks the next one. Used on the main thread only.
#include <string>

#ifdef _WIN32
typedef void* InstallationLockHandle;
#else
typedef int InstallationLockHandle;
#endif

// How long a second updater waits for the first before it gives up.
constexpr unsigned kInstallationLockWaitMilliseconds = 30000;

class InstallationLock {
 public:
  // Names the lock of the working directory; takes nothing yet.
  InstallationLock();
  // Releases the lock if held.
  ~InstallationLock();
  InstallationLock(const InstallationLock&) = delete;
  InstallationLock& operator=(const InstallationLock&) = delete;

  // Waits at most the given time for the lock; false when another updater
  // still holds it then (or the lock cannot be had at all).
  bool acquire(unsigned timeoutMilliseconds);
  void release();

 private:
  InstallationLockHandle handle;
  bool held;
};
