#include "app/DeferredScript.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
const std::string kWait = "\"%SystemRoot%\\system32\\ping.exe\" -n 2 127.0.0.1 >nul\n";

// One entry's loop, from the texts its del, ren and if lines carry.
std::string batchLoop(int k, const std::string& target, const std::string& from, const std::string& to) {
  const std::string label = std::to_string(k);
  return ":" + label + "\ndel " + target + "\nren " + from + " " + to + "\nif not exist " + from + " goto :" + label +
         "done\n" + kWait + "goto :" + label + "\n:" + label + "done\n";
}
}  // namespace

// One entry's batch: names quoted where the interpreter cannot take them as
// written, and left out where no quoting can carry them; the new updater starts
// after the last loop.
TEST(DeferredScript, BatchQuotesWhatItMustAndLeavesOutNamesNoQuotingCanCarry) {
  const std::vector<std::vector<std::string>> cases = {
      {"client.dll", "client.dll", "client.dll.new", "client.dll"},
      {"data\\maps\\b.bin", "\"data\\maps\\b.bin\"", "\"data\\maps\\b.bin.new\"", "b.bin"},
      {"data/maps/a.bin", "\"data\\maps\\a.bin\"", "\"data\\maps\\a.bin.new\"", "a.bin"},
      {"my file&100%.dat", "\"my file&100%%.dat\"", "\"my file&100%%.dat.new\"", "\"my file&100%%.dat\""},
      {"sub dir/x y.dat", "\"sub dir\\x y.dat\"", "\"sub dir\\x y.dat.new\"", "\"x y.dat\""},
      {"a\"&del x\""},
      {"b\r\nformat"},
  };
  for (const auto& c : cases) {
    RenameMap renames{{c[0] + ".new", c[0]}};
    if (c.size() == 1) renames["c.dll.new"] = "c.dll";  // then the only loop, the first
    const bool restart = c[0] == "client.dll";
    const std::string loop = c.size() == 1 ? batchLoop(1, "c.dll", "c.dll.new", "c.dll") : batchLoop(1, c[1], c[2], c[3]);
    EXPECT_EQ(batchScriptText(renames, restart),
              "@echo off\n" + loop + (restart ? "start updater.exe\n" : "") + "cls\n") << c[0];
  }
  EXPECT_TRUE(isPlainBatchName("Client-2_x.DLL"));
  for (const char* name : {"a b", "a/b", ""}) EXPECT_FALSE(isPlainBatchName(name)) << name;
}

// The platform's interpreter runs the script to its end with every file in place,
// names with directories, blanks and the interpreter's special characters included.
TEST(DeferredScript, InterpreterRunsTheScriptToItsEnd) {
  ScopedWorkingDirectory dir;
  RenameMap renames;
  const std::vector<std::string> targets = {"client.dll", "data/maps/a.bin", "sub dir/x y&z 100%.dat",
                                            "-dash.txt", "back\\slash\\b.bin", "it's.so"};
  for (const std::string& target : targets) {
    writeFile(target, "old " + target);
    writeFile(target + ".new", "new " + target);
    renames[target + ".new"] = target;
  }
  writeFile(kDeferredScriptName, deferredScriptText(renames, false));
  std::string command = onWindows() ? std::string("cmd.exe /c ") + kDeferredScriptName
                                    : std::string("/bin/sh ") + kDeferredScriptName + " 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  for (const std::string& target : targets) EXPECT_EQ(contentsOf({target, target + ".new"}), "new " + target + "|-");
}
