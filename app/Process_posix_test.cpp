#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "app/DeferredScript.h"
#include "app/Process.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
void writeProgram(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
}
}  // namespace

// The working directory first, then PATH, where a file that is not executable
// is passed over; a value with blanks is one program path; a failed exec is
// reported. The program is no child of the updater and inherits no other descriptor.
TEST(ProcessPosix, AProgramIsLookedUpByItsWholeValueAndRunsOnItsOwnWithNoOtherDescriptor) {
  ScopedWorkingDirectory dir;
  const int extra = open("extra", O_WRONLY | O_CREAT, 0600);
  ASSERT_EQ(dup2(extra, 200), 200);
  close(extra);
  writeProgram("true", "echo working directory > " + dir.path() + "/marker\n");
  writeProgram("bin/client", "echo \"$0|$#|$([ -e /proc/$$/fd/200 ] && echo open)\" > " + dir.path() + "/marker\n");
  writeProgram("my client", "echo blanks > marker\n");
  writeFile("client", "not a program");
  writeFile("noexec", "#!/bin/sh\n");
  const std::string path = std::getenv("PATH");  // each test runs in a process of its own
  setenv("PATH", ("/nowhere:" + dir.path() + "/bin").c_str(), 1);
  const std::pair<std::string, std::string> cases[] = {
      {"true", "working directory\n"}, {"client", dir.path() + "/bin/client|0|\n"}, {"./my client", "blanks\n"}};
  int32_t id = 0;
  for (const auto& [name, started] : cases) {
    std::remove("marker");
    ASSERT_TRUE(startClientProgram(name, "\"" + name + "\"", id));
    ASSERT_TRUE(eventually([] { return hasLine("marker"); }));
    EXPECT_EQ(readFile("marker"), started);  // one program path, no arguments
  }
  EXPECT_FALSE(startClientProgram("./my client -x", "\"./my client -x\"", id));
  EXPECT_FALSE(startClientProgram("./noexec", "\"./noexec\"", id));
  EXPECT_EQ(errno, EACCES);
  setenv("PATH", path.c_str(), 1);
  close(200);
  // Nothing to reap: each program was handed on by a child that has ended.
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(ProcessPosix, TheDeferredScriptRunsInASessionOfItsOwn) {
  ScopedWorkingDirectory dir;
  writeFile(kDeferredScriptName, "echo \"$$ $(cut -d' ' -f6 /proc/$$/stat)\" > marker\n");
  int32_t id = 0;
  ASSERT_TRUE(startDeferredScript(id));
  ASSERT_TRUE(eventually([] { return hasLine("marker"); }));
  long pid = 0, session = 0;
  std::istringstream(readFile("marker")) >> pid >> session;
  EXPECT_EQ(pid, id);
  // A session of its own, which it does not lead, so no terminal can claim it.
  EXPECT_GT(session, 0);
  EXPECT_NE(session, static_cast<long>(getsid(0)));
  EXPECT_NE(session, pid);
}
