#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "tools/Signing.h"

bool createPrivateFile(const std::string& path, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  int error = errno;
  bool closed = ::close(fd) == 0;
  if (done == bytes.size() && closed) return true;
  ::unlink(path.c_str());
  errno = done == bytes.size() ? EIO : error;
  return false;
}
