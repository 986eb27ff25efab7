#include "app/DeferredScript.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/TestSupport.h"

using namespace testing_support;

TEST(DeferredScript, BatchForOneEntry) {
  EXPECT_EQ(batchScriptText({{"client.dll.new", "client.dll"}}, false),
            "@echo off\n"
            ":1\n"
            "del client.dll\n"
            "ren client.dll.new client.dll\n"
            "if exist client.dll.new goto :1\n"
            "cls\n");
}

TEST(DeferredScript, BatchForTwoEntriesRestartsTheUpdaterAfterTheLastLoop) {
  std::string text = batchScriptText({{"updater.exe.new", "updater.exe"}, {"a.dll.new", "a.dll"}}, true);
  EXPECT_EQ(text,
            "@echo off\n"
            ":1\n"
            "del a.dll\n"
            "ren a.dll.new a.dll\n"
            "if exist a.dll.new goto :1\n"
            ":2\n"
            "del updater.exe\n"
            "ren updater.exe.new updater.exe\n"
            "if exist updater.exe.new goto :2\n"
            "start updater.exe\n"
            "cls\n");
  EXPECT_EQ(splitLines(text).size(), 11u);
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

TEST(DeferredScript, BatchQuotesNamesTheInterpreterCannotTakeAsWritten) {
  EXPECT_EQ(batchScriptText({{"data/maps/a.bin.new", "data/maps/a.bin"}}, false),
            "@echo off\n"
            ":1\n"
            "del \"data\\maps\\a.bin\"\n"
            "ren \"data\\maps\\a.bin.new\" a.bin\n"
            "if exist \"data\\maps\\a.bin.new\" goto :1\n"
            "cls\n");
  EXPECT_EQ(batchScriptText({{"my file&100%.dat.new", "my file&100%.dat"}}, false),
            "@echo off\n"
            ":1\n"
            "del \"my file&100%%.dat\"\n"
            "ren \"my file&100%%.dat.new\" \"my file&100%%.dat\"\n"
            "if exist \"my file&100%%.dat.new\" goto :1\n"
            "cls\n");
  EXPECT_EQ(batchScriptText({{"sub dir/x y.dat.new", "sub dir/x y.dat"}}, false),
            "@echo off\n"
            ":1\n"
            "del \"sub dir\\x y.dat\"\n"
            "ren \"sub dir\\x y.dat.new\" \"x y.dat\"\n"
            "if exist \"sub dir\\x y.dat.new\" goto :1\n"
            "cls\n");
}

TEST(DeferredScript, BatchLeavesOutNamesNoQuotingCanCarry) {
  RenameMap renames;
  renames["a\"&del x\".new"] = "a\"&del x\"";
  renames["b\r\nformat.new"] = "b\r\nformat";
  renames["c.dll.new"] = "c.dll";
  EXPECT_EQ(batchScriptText(renames, false),
            "@echo off\n"
            ":1\n"
            "del c.dll\n"
            "ren c.dll.new c.dll\n"
            "if exist c.dll.new goto :1\n"
            "cls\n");
  EXPECT_TRUE(isPlainBatchName("Client-2_x.DLL"));
  EXPECT_FALSE(isPlainBatchName("a b"));
  EXPECT_FALSE(isPlainBatchName("a/b"));
  EXPECT_FALSE(isPlainBatchName(""));
}

TEST(DeferredScript, ShellScriptQuotesEveryNameAndExecsTheNewUpdater) {
  EXPECT_EQ(shellScriptText({{"it's.so.new", "it's.so"}, {"updater.new", "updater"}}, true),
            "#!/bin/sh\n"
            "# 1\n"
            "while :; do\n"
            "  rm -f -- 'it'\\''s.so'\n"
            "  mv -f -- 'it'\\''s.so.new' 'it'\\''s.so'\n"
            "  [ -e 'it'\\''s.so.new' ] || break\n"
            "  sleep 1\n"
            "done\n"
            "# 2\n"
            "while :; do\n"
            "  rm -f -- 'updater'\n"
            "  mv -f -- 'updater.new' 'updater'\n"
            "  [ -e 'updater.new' ] || break\n"
            "  sleep 1\n"
            "done\n"
            "exec ./updater\n");
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
