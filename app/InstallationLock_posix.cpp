#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "app/InstallationLock.h"

// The lock is a flock on the installation directory itself: no file is left
// behind, and the descriptor is closed on exec, so a program the updater starts
// does not keep holding it.
InstallationLock::InstallationLock()
    : handle(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)), held(false) {}

InstallationLock::~InstallationLock() {
  if (handle >= 0) close(handle);
}

bool InstallationLock::acquire(unsigned timeoutMilliseconds) {
  if (handle < 0) return false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  for (;;) {
    if (flock(handle, LOCK_EX | LOCK_NB) == 0) return held = true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void InstallationLock::release() {
  if (held) flock(handle, LOCK_UN);
  held = false;
}
