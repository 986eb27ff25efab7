#include "app/FileSystem.h"

#include <cstdio>

namespace {
RenameFunction& renameOverride() {
  static RenameFunction function;
  return function;
}
}  // namespace

int renameFile(const std::string& from, const std::string& to) {
  if (renameOverride()) return renameOverride()(from, to);
  return std::rename(from.c_str(), to.c_str());
}

bool isDirectory(const std::string& path) {
  const FileAttributes attributes = readFileAttributes(path);
  return attributes.exists() && (attributes.word & kDirectoryAttribute) != 0;
}

void setRenameFunctionForTesting(RenameFunction function) { renameOverride() = std::move(function); }
