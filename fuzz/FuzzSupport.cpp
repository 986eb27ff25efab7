#include "fuzz/FuzzSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/Log.h"

namespace fuzzing {

void prepareProcess() {
  char pattern[] = "/tmp/updater-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
  // The log opens on its first line; its descriptor then gets /dev/null.
  logPrintf("fuzzing\n");
  int sink = open("/dev/null", O_WRONLY);
  DIR* descriptors = opendir("/proc/self/fd");
  if (sink < 0 || descriptors == nullptr) std::abort();
  while (dirent* entry = readdir(descriptors)) {
    char target[4096];
    std::string link = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    target[length] = '\0';
    const char* tail = "/update.log";
    if (static_cast<std::size_t>(length) >= std::strlen(tail) &&
        std::strcmp(target + length - std::strlen(tail), tail) == 0) {
      dup2(sink, std::atoi(entry->d_name));
    }
  }
  closedir(descriptors);
  close(sink);
  unlink("update.log");
}

}  // namespace fuzzing
