#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/FileSystem.h"

namespace {
constexpr mode_t kAllWrite = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t kPermissionBits = 07777;

// The mask is read where the kernel shows it: setting it to learn it would,
// for that moment, let files made by a parallel download's other workers be
// writable by everyone.
mode_t readUmask() {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr)
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  // Kernels before 4.7 do not show it: only there is the moment open.
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// The updater never changes its mask, and the kernel's status text costs more
// than the rest of an installation: it is read once. -1 until then.
std::atomic<int> knownUmask(-1);

mode_t processUmask() {
  int mask = knownUmask.load();
  if (mask < 0) knownUmask = mask = static_cast<int>(readUmask());
  return static_cast<mode_t>(mask);
}

bool startsAsProgram(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  unsigned char head[4] = {0, 0, 0, 0};
  const ssize_t length = read(descriptor, head, sizeof head);
  close(descriptor);
  bool elf = length == 4 && head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
  bool script = length >= 2 && head[0] == '#' && head[1] == '!';
  return elf || script;
}
}  // namespace

FileAttributes readFileAttributes(const std::string& path) {
  struct stat information;
  if (stat(path.c_str(), &information) != 0) return FileAttributes{kInvalidFileAttributes, 0};
  uint32_t word = kArchiveAttribute;
  if (S_ISDIR(information.st_mode)) word |= kDirectoryAttribute;
  if ((information.st_mode & S_IWUSR) == 0) word |= kReadOnlyAttribute;
  return FileAttributes{word, static_cast<uint32_t>(information.st_mode & kPermissionBits)};
}

bool writeFileAttributes(const std::string& path, const FileAttributes& attributes) {
  mode_t mode = static_cast<mode_t>(attributes.mode & kPermissionBits);
  bool wantReadOnly = (attributes.word & kReadOnlyAttribute) != 0;
  // The bits as they were read already say what the word says: take them whole.
  // Otherwise read-only takes every write bit away, and writable gives the owner
  // write permission back.
  if (wantReadOnly != ((mode & S_IWUSR) == 0)) {
    mode = wantReadOnly ? (mode & ~kAllWrite) : (mode | S_IWUSR);
  }
  return chmod(path.c_str(), mode) == 0;
}

FileAttributes newFileAttributes(const std::string& path) {
  mode_t mode = (startsAsProgram(path) ? 0755 : 0644) & ~processUmask();
  uint32_t word = kArchiveAttribute | ((mode & S_IWUSR) == 0 ? kReadOnlyAttribute : 0);
  return FileAttributes{word, static_cast<uint32_t>(mode)};
}

void rereadUmaskForTesting() { knownUmask = -1; }

int systemRename(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()); }

bool syncFile(const std::string& path) {
  int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  bool synced = fsync(descriptor) == 0;
  close(descriptor);
  return synced;
}

bool syncOpenFile(FILE* file) { return fsync(fileno(file)) == 0; }

void syncDirectory(const std::string& directory) {
  int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  fsync(descriptor);
  close(descriptor);
}

int removeFile(const std::string& path) { return unlink(path.c_str()); }

int makeDirectory(const std::string& path) { return mkdir(path.c_str(), 0777); }

bool pathExists(const std::string& path) {
  struct stat information;
  return stat(path.c_str(), &information) == 0;
}

// Renaming a file never fails for a reader or a running program on POSIX; EBUSY
// (a mount point, a locked file system) and ETXTBSY are the cases that clear up
// by themselves. EACCES is a real permission error here.
bool isInUseError(int error) { return error == EBUSY || error == ETXTBSY; }
