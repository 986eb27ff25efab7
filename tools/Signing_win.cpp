#include <windows.h>

#include <cerrno>

#include "tools/Signing.h"

// The file takes the folder's inherited access rights: a key belongs in a
// folder of its owner's.
bool createPrivateFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
    return false;
  }
  DWORD written = 0;
  BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  BOOL closed = CloseHandle(file);
  if (wrote && closed && written == bytes.size()) return true;
  DeleteFileA(path.c_str());
  errno = EIO;
  return false;
}
