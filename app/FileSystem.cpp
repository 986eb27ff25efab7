#include "app/FileSystem.h"


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

int removeFileEvenReadOnly(const std::string& path) {
  FileAttributes attributes = readFileAttributes(path);
  if (attributes.readOnly()) writeFileAttributes(path, attributes.withWord(attributes.word & ~kReadOnlyAttribute));
  return removeFile(path);
}

void setRenameFunctionForTesting(RenameFunction function) { renameOverride() = std::move(function); }
