#include <windows.h>
#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "app/FileSystem.h"

FileAttributes readFileAttributes(const std::string& path) {
  return FileAttributes{GetFileAttributesA(path.c_str()), 0};
}

bool writeFileAttributes(const std::string& path, const FileAttributes& attributes) {
  return SetFileAttributesA(path.c_str(), attributes.word) != 0;
}

FileAttributes newFileAttributes(const std::string&) { return FileAttributes{kInvalidFileAttributes, 0}; }

void prepareDeferredFile(const std::string&, const FileAttributes&) {}

int removeFile(const std::string& path) { return _unlink(path.c_str()); }

int makeDirectory(const std::string& path) { return _mkdir(path.c_str()); }

bool pathExists(const std::string& path) {
  struct _stat information;
  return _stat(path.c_str(), &information) == 0;
}

// The runtime library reports a sharing violation as EACCES.
bool isInUseError(int error) { return error == EACCES || error == EBUSY; }
