#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "support/FreshFile.h"

namespace {
FILE* streamOf(int descriptor, bool text) {
  if (descriptor < 0) return nullptr;
  FILE* file = _fdopen(descriptor, text ? "wt" : "wb");
  if (file == nullptr) {
    int error = errno;
    _close(descriptor);
    errno = error;
  }
  return file;
}

// A file another process holds open (a restarted updater's log) cannot be
// removed here: it is emptied in place instead, unless it is a link.
FILE* emptyInPlace(const std::string& path, bool text) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EACCES;
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION information;
  bool plain = GetFileInformationByHandle(handle, &information) &&
               (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
  if (!plain || !SetEndOfFile(handle)) {
    CloseHandle(handle);
    errno = EACCES;
    return nullptr;
  }
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), text ? _O_TEXT : _O_BINARY);
  if (descriptor < 0) CloseHandle(handle);
  return streamOf(descriptor, text);
}
}  // namespace

// _O_EXCL becomes CREATE_NEW, which fails on any name already there, a link too.
FILE* openFreshFile(const std::string& path, bool text) {
  if (_unlink(path.c_str()) != 0 && errno != ENOENT) return errno == EACCES ? emptyInPlace(path, text) : nullptr;
  return streamOf(_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_NOINHERIT | (text ? _O_TEXT : _O_BINARY),
                        _S_IREAD | _S_IWRITE),
                  text);
}
