#pragma once
// File modes for the Linux tests of the run's file work.
#include <sys/stat.h>

#include <string>

#include "app/FileSystem.h"

namespace testing_support {

// Sets the process's umask for one test.
class Umask {
 public:
  explicit Umask(mode_t mask) : previous(umask(mask)) { rereadUmaskForTesting(); }
  ~Umask() {
    umask(previous);
    rereadUmaskForTesting();
  }
  Umask(const Umask&) = delete;
  Umask& operator=(const Umask&) = delete;

 private:
  mode_t previous;
};

}  // namespace testing_support
