#include <cerrno>
#include <cstring>

#include "support/Log.h"

std::string systemErrorText() {
  // The last error of a POSIX thread is errno.
  int code = errno;
  char buffer[256];
  // GNU strerror_r returns the text, which may not be in the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  if (text == nullptr || *text == '\0') return "???";
  return text;
}
