#include "app/DeferredScript.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// The script for one entry, from the texts its del, ren and if lines carry.
std::string oneEntryBatch(const std::string& target, const std::string& from, const std::string& to) {
  return "@echo off\n:1\ndel " + target + "\nren " + from + " " + to + "\nif exist " + from + " goto :1\ncls\n";
}
}  // namespace

TEST(DeferredScript, BatchForOneEntryQuotingNamesTheInterpreterCannotTakeAsWritten) {
  EXPECT_EQ(batchScriptText({{"client.dll.new", "client.dll"}}, false),
            "@echo off\n:1\ndel client.dll\nren client.dll.new client.dll\nif exist client.dll.new goto :1\ncls\n");
  const std::vector<std::vector<std::string>> cases = {
      {"data/maps/a.bin", "\"data\\maps\\a.bin\"", "\"data\\maps\\a.bin.new\"", "a.bin"},
      {"my file&100%.dat", "\"my file&100%%.dat\"", "\"my file&100%%.dat.new\"", "\"my file&100%%.dat\""},
      {"sub dir/x y.dat", "\"sub dir\\x y.dat\"", "\"sub dir\\x y.dat.new\"", "\"x y.dat\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(batchScriptText({{c[0] + ".new", c[0]}}, false), oneEntryBatch(c[1], c[2], c[3])) << c[0];
  }
}

TEST(DeferredScript, BatchForTwoEntriesRestartsTheUpdaterAfterTheLastLoop) {
  EXPECT_EQ(batchScriptText({{"updater.exe.new", "updater.exe"}, {"a.dll.new", "a.dll"}}, true),
            "@echo off\n:1\ndel a.dll\nren a.dll.new a.dll\nif exist a.dll.new goto :1\n"
            ":2\ndel updater.exe\nren updater.exe.new updater.exe\nif exist updater.exe.new goto :2\n"
            "start updater.exe\ncls\n");
}

TEST(DeferredScript, EntriesFollowByteOrderOfTheirKeysNotTheirRecording) {
  RenameMap renames;
  renames["b.dll.new"] = "b.dll";
  renames["a.dll.new"] = "a.dll";
  renames["B.dll.new"] = "B.dll";  // upper case sorts first byte-wise
  renames["\xe9.dll.new"] = "\xe9.dll";  // a high byte sorts last
  std::vector<std::string> lines = splitLines(batchScriptText(renames, false));
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[2], "del B.dll");
  EXPECT_EQ(lines[6], "del a.dll");
  EXPECT_EQ(lines[10], "del b.dll");
  EXPECT_EQ(lines[13], ":4");
  EXPECT_EQ(lines[14], "del \"\xe9.dll\"");
}

TEST(DeferredScript, BatchLeavesOutNamesNoQuotingCanCarry) {
  RenameMap renames;
  renames["a\"&del x\".new"] = "a\"&del x\"";
  renames["b\r\nformat.new"] = "b\r\nformat";
  renames["c.dll.new"] = "c.dll";
  EXPECT_EQ(batchScriptText(renames, false), oneEntryBatch("c.dll", "c.dll.new", "c.dll"));
  EXPECT_TRUE(isPlainBatchName("Client-2_x.DLL"));
  EXPECT_FALSE(isPlainBatchName("a b"));
  EXPECT_FALSE(isPlainBatchName("a/b"));
  EXPECT_FALSE(isPlainBatchName(""));
}

TEST(DeferredScript, ShellScriptQuotesEveryNameAndExecsTheNewUpdater) {
  EXPECT_EQ(shellScriptText({{"it's.so.new", "it's.so"}, {"updater.new", "updater"}}, true),
            "#!/bin/sh\n# 1\nwhile :; do\n  rm -f -- 'it'\\''s.so'\n  mv -f -- 'it'\\''s.so.new' 'it'\\''s.so'\n"
            "  [ -e 'it'\\''s.so.new' ] || break\n  sleep 1\ndone\n"
            "# 2\nwhile :; do\n  rm -f -- 'updater'\n  mv -f -- 'updater.new' 'updater'\n"
            "  [ -e 'updater.new' ] || break\n  sleep 1\ndone\nexec ./updater\n");
  EXPECT_EQ(shellScriptText({{"a.new", "a"}}, false).find("exec"), std::string::npos);
}

// The platform's interpreter runs the script to its end with every file in place,
// names with directories, blanks and the interpreter's special characters included.
TEST(DeferredScript, InterpreterRunsTheScriptToItsEnd) {
  ScopedWorkingDirectory dir;
  RenameMap renames;
  const std::vector<std::string> targets = {"client.dll", "data/maps/a.bin", "sub dir/x y&z 100%.dat",
                                            "-dash.txt"};
  for (const std::string& target : targets) {
    writeFile(target, "old " + target);
    writeFile(target + ".new", "new " + target);
    renames[target + ".new"] = target;
  }
  writeFile(kDeferredScriptName, deferredScriptText(renames, false));
  std::string command = onWindows() ? std::string("cmd.exe /c ") + kDeferredScriptName
                                    : std::string("/bin/sh ") + kDeferredScriptName + " 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  for (const std::string& target : targets) {
    EXPECT_EQ(readFile(target), "new " + target) << target;
    EXPECT_FALSE(fileExists(target + ".new")) << target;
  }
}
