#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "support/FreshFile.h"

// _O_EXCL becomes CREATE_NEW, which fails on any name already there, a link too.
FILE* openFreshFile(const std::string& path, bool text) {
  if (_unlink(path.c_str()) != 0 && errno != ENOENT) return nullptr;
  int descriptor = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_NOINHERIT | (text ? _O_TEXT : _O_BINARY),
                         _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  FILE* file = _fdopen(descriptor, text ? "wt" : "wb");
  if (file == nullptr) {
    int error = errno;
    _close(descriptor);
    errno = error;
  }
  return file;
}
