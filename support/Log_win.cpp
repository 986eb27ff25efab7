#include <windows.h>

#include "support/Log.h"

namespace {
struct LocalBuffer {
  char* text = nullptr;
  ~LocalBuffer() {
    if (text != nullptr) LocalFree(text);
  }
};
}  // namespace

std::string systemErrorText() {
  DWORD code = GetLastError();
  LocalBuffer buffer;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&buffer.text), 0, nullptr);
  if (length == 0) return "???";
  return std::string(buffer.text, length);
}
