#include <windows.h>
#include <direct.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "app/FileSystem.h"

namespace {
constexpr DWORD kShareRetryMilliseconds = 2000;
}  // namespace

FileAttributes readFileAttributes(const std::string& path) {
  return FileAttributes{GetFileAttributesA(path.c_str()), 0};
}

bool writeFileAttributes(const std::string& path, const FileAttributes& attributes) {
  return SetFileAttributesA(path.c_str(), attributes.word) != 0;
}

FileAttributes newFileAttributes(const std::string&) { return FileAttributes{kInvalidFileAttributes, 0}; }

void rereadUmaskForTesting() {}

int systemRename(const std::string& from, const std::string& to) {
  // A sharing violation is often a scanner or an indexer that opened the fresh
  // file for a moment: wait a little, doubling, about 2 s in all, before the file
  // counts as in use.
  DWORD waited = 0;
  DWORD pause = 16;
  for (;;) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
    DWORD error = GetLastError();
    bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    if (!held || waited >= kShareRetryMilliseconds) {
      if (held) errno = EACCES;
      return -1;
    }
    Sleep(pause);
    waited += pause;
    pause = pause * 2 > 256 ? 256 : pause * 2;
  }
}

bool syncFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool synced = FlushFileBuffers(file) != 0;
  CloseHandle(file);
  return synced;
}

bool syncOpenFile(FILE* file) {
  return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != 0;
}

void syncDirectory(const std::string&) {}

int removeFile(const std::string& path) { return _unlink(path.c_str()); }

int makeDirectory(const std::string& path) { return _mkdir(path.c_str()); }

bool pathExists(const std::string& path) {
  struct _stat information;
  return _stat(path.c_str(), &information) == 0;
}

// The runtime library reports a sharing violation as EACCES.
bool isInUseError(int error) { return error == EACCES || error == EBUSY; }
