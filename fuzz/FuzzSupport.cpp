// What every fuzz target shares, set up once by libFuzzer before the first
// input: a scratch working directory, and the log kept off the disk (millions
// of runs would fill it).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "support/Log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/updater-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
  // The log opens on its first line, on the lowest free descriptor; that one then gets /dev/null.
  const int log = open("/dev/null", O_WRONLY);
  if (log < 0 || close(log) != 0) std::abort();
  logPrintf("fuzzing\n");
  struct stat named, held;
  if (stat("update.log", &named) != 0 || fstat(log, &held) != 0 || named.st_ino != held.st_ino) std::abort();
  const int sink = open("/dev/null", O_WRONLY);
  if (sink < 0 || dup2(sink, log) != log) std::abort();
  close(sink);
  unlink("update.log");
  return 0;
}
