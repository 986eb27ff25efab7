#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/Exceptions.h"
#include "tools/Publish.h"

namespace fs = std::filesystem;

void replaceFolder(const std::string& fresh, const std::string& target) {
  std::error_code error;
  if (!fs::exists(target, error)) {
    fs::rename(fresh, target, error);
    if (error) throw IOException(target + ": " + error.message());
    return;
  }
  // One exchange: a server reading the folder meets the old or the new release,
  // never a missing folder. The old one leaves under the fresh folder's name.
  if (renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    fs::remove_all(fresh, error);
    return;
  }
  if (errno != EINVAL && errno != ENOSYS) throw IOException(target + ": " + std::strerror(errno));
  // A file system without the exchange: two renames.
  std::string old = target + ".old";
  fs::remove_all(old, error);
  fs::rename(target, old, error);
  if (error) throw IOException(target + ": " + error.message());
  fs::rename(fresh, target, error);
  if (error) {
    std::error_code ignored;
    fs::rename(old, target, ignored);
    throw IOException(target + ": " + error.message());
  }
  fs::remove_all(old, error);
}
