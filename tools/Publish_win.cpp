#include <filesystem>

#include "support/Exceptions.h"
#include "tools/Publish.h"

namespace fs = std::filesystem;

void replaceFolder(const std::string& fresh, const std::string& target) {
  fs::path freshPath = fs::u8path(fresh), targetPath = fs::u8path(target);
  fs::path old = fs::u8path(target + ".old");
  std::error_code error;
  bool existed = fs::exists(targetPath, error);
  if (existed) {
    fs::remove_all(old, error);
    // A folder cannot replace another in one step here.
    fs::rename(targetPath, old, error);
    if (error) throw IOException(target + ": " + error.message());
  }
  fs::rename(freshPath, targetPath, error);
  if (error) {
    std::error_code ignored;
    if (existed) fs::rename(old, targetPath, ignored);
    throw IOException(target + ": " + error.message());
  }
  if (existed) fs::remove_all(old, error);
}
