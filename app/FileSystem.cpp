#include "app/FileSystem.h"

#include <cerrno>

namespace {
RenameFunction& renameOverride() {
  static RenameFunction function;
  return function;
}
}  // namespace

int renameFile(const std::string& from, const std::string& to) {
  if (renameOverride()) return renameOverride()(from, to);
  return systemRename(from, to);
}

std::string directoryOf(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int removeFileEvenReadOnly(const std::string& path) {
  // Mostly there is nothing to remove: the flag is looked at only when a removal fails.
  if (removeFile(path) == 0) return 0;
  if (errno == ENOENT) return -1;
  const int error = errno;
  const FileAttributes attributes = readFileAttributes(path);
  if (!attributes.readOnly()) {
    errno = error;
    return -1;
  }
  writeFileAttributes(path, attributes.withWord(attributes.word & ~kReadOnlyAttribute));
  return removeFile(path);
}

bool isDirectory(const std::string& path) {
  const FileAttributes attributes = readFileAttributes(path);
  return attributes.exists() && (attributes.word & kDirectoryAttribute) != 0;
}

void setRenameFunctionForTesting(RenameFunction function) { renameOverride() = std::move(function); }
