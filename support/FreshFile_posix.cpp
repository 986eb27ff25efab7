#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "support/FreshFile.h"

FILE* openFreshFile(const std::string& path, bool) {
  // Created exclusively; whatever holds the name is removed only when something does.
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int descriptor = open(path.c_str(), flags, 0666);
  if (descriptor < 0 && errno == EEXIST) {
    if (unlink(path.c_str()) != 0) return nullptr;
    descriptor = open(path.c_str(), flags, 0666);
  }
  if (descriptor < 0) return nullptr;
  FILE* file = fdopen(descriptor, "wb");
  if (file == nullptr) {
    int error = errno;
    close(descriptor);
    errno = error;
  }
  return file;
}
