// Kills the real updater at random moments of a 24-module update (SIGKILL on
// Linux, TerminateProcess of the Wine process on Windows), then runs it to the
// end and checks that the installation is exactly release B. The number of
// kills comes from UPDATER_KILLS (default 30 on Linux, 5 under Wine); see the
// README for the long form. Every state found after the kills is counted by kind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>

#include "app/FileSystem.h"
#include "tests/Installation.h"
#include "tests/Modules.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {
using Clock = std::chrono::steady_clock;

// Release A's bytes (empty: new in B) and B's; installedReadOnly: read-only in A without being forced.
struct ReleaseModule { std::string name, before, after; bool critical, forceReadOnly = false, installedReadOnly = false,
                       slow = false; };

// Nested folders, critical and not, read-only and forced read-only, two large
// slow files, changed, unchanged and new files, and the updater itself.
std::vector<ReleaseModule> releases() {
  const std::string updater = readFile(builtProgram("updater")), client = readFile(builtProgram("sample_client"));
  // Of the same length for every seed, and different.
  auto bytes = [](std::size_t length, unsigned seed) { return testBytes(length + seed).substr(seed); };
  std::vector<ReleaseModule> modules = {
      {"updater" + exe(), updater, updater + "release B", true},
      {"client" + exe(), client, client, true},
      {"bin/tool.sh", "#!/bin/sh\necho A\n", "#!/bin/sh\necho B\n", false},
      {"ro/locked.dat", "locked A", "locked B", false, false, true, false},
      {"ro/forced.dat", "forced A", "forced B", true, true, false, false},
      {"ro/forced-new.dat", "", "forced new", false, true, false, false},
      {"big/one.pak", bytes(3 << 20, 1), bytes(3 << 20, 2), true, false, false, true},
      {"big/two.pak", bytes(3 << 20, 3), bytes(3 << 20, 4), false, false, false, true},
  };
  for (unsigned i = 0; i < 6; ++i) {
    const std::string n = std::to_string(i);
    modules.push_back({"data/maps/m" + n + ".bin", bytes(20000 + i, 10 + i), bytes(20000 + i, 20 + i), i < 2});
    if (i < 4) modules.push_back({"data/text/t" + n + ".txt", "text " + n, "text " + n, false});
    if (i < 3) modules.push_back({"lib/core" + n + ".dll", bytes(5000, 30 + i), bytes(5000, 40 + i), true});
  }
  for (const char* name : {"new/extra0.pak", "new/extra1.pak", "new/deep/er/extra2.pak"})
    modules.push_back({name, "", std::string("new ") + name, name[10] == '0'});
  return modules;
}

std::string version(const ReleaseModule& module, bool releaseB) {
  return releaseB && module.before != module.after ? "2.0" : "1.0";
}

std::string moduleList(const std::vector<ReleaseModule>& modules, bool releaseB, const std::string& baseUrl) {
  std::string text = "<?xml version=\"1.0\"?>\n<modules>\n";
  for (const ReleaseModule& module : modules) {
    const std::string& content = releaseB ? module.after : module.before;
    if (!releaseB && module.before.empty()) continue;
    text += "<module name=\"" + module.name + "\" version=\"" + version(module, releaseB) + "\" url=\"" + baseUrl +
            "/files/" + module.name + "\" md5sum=\"" + md5Of(content) + "\" contentLength=\"" +
            std::to_string(content.size()) + "\" critical=\"" + (module.critical ? "true" : "false") +
            "\" forceReadOnly=\"" + (module.forceReadOnly ? "true" : "false") + "\"/>\n";
  }
  return text + "</modules>\n";
}

void installReleaseA(const std::vector<ReleaseModule>& modules, const std::string& settings) {
  writeFile("UpdaterIni.xml", settings);
  writeFile("installed.xml", moduleList(modules, false, "http://unused"));
  for (const ReleaseModule& module : modules) {
    if (module.before.empty()) continue;
    writeFile(module.name, module.before);
    FileAttributes attributes = readFileAttributes(module.name);
    bool program = module.name == "updater" + exe() || module.name == "client" + exe() || module.name == "bin/tool.sh";
    attributes.mode = program ? 0755 : 0644;
    if (module.installedReadOnly || module.forceReadOnly) attributes.word |= kReadOnlyAttribute;
    writeFileAttributes(module.name, attributes);
  }
}

bool isNeighbour(const fs::path& path) { return path.extension() == ".new" || path.extension() == ".old"; }

// What the kills left, in a few words: the modules file, the module files, the neighbours.
std::string stateKind(const std::vector<ReleaseModule>& modules) {
  std::string list = fileExists("installed.xml") ? "list A" : "list missing";
  try {
    const std::vector<std::string> records = recordsOf("installed.xml");
    if (contains(records, modules[0].name + "=2.0")) list = "list A+updater";
    if (contains(records, "lib/core0.dll=2.0")) list = "list B";
  } catch (const std::string&) {
  }
  std::size_t inB = 0, inA = 0, missing = 0, neighbours = 0;
  for (const ReleaseModule& module : modules) {
    if (module.before == module.after) continue;
    if (!fileExists(module.name)) {
      missing += module.before.empty() ? 0 : 1;  // a new one may simply not be fetched yet
    } else {
      ++(readFile(module.name) == module.after ? inB : inA);
    }
  }
  for (const auto& entry : fs::recursive_directory_iterator(".")) neighbours += isNeighbour(entry.path()) ? 1 : 0;
  std::string files = inA == 0 ? "files B" : (inB == 0 ? "files A" : "files mixed");
  return list + ", " + files + (missing ? ", a file missing" : "") + (neighbours ? ", .new/.old left" : "");
}

// Everything a finished update must show; empty when it does.
std::string faultsOfReleaseB(const std::vector<ReleaseModule>& modules,
                             const std::map<std::string, FileAttributes>& attributes) {
  std::string faults;
  std::vector<std::string> records;
  try {
    records = recordsOf("installed.xml");
  } catch (const std::string& e) {
    faults += "modules file: " + e + "\n";
  }
  for (const ReleaseModule& module : modules) {
    if (!contains(records, module.name + "=" + version(module, true))) faults += "record of " + module.name + "\n";
    if (!fileExists(module.name) || readFile(module.name) != module.after) faults += "content of " + module.name + "\n";
    const FileAttributes actual = readFileAttributes(module.name), expected = attributes.at(module.name);
    if (actual.word != expected.word || actual.mode != expected.mode) faults += "attributes of " + module.name + "\n";
  }
  for (const auto& entry : fs::recursive_directory_iterator("."))
    if (isNeighbour(entry.path())) faults += "left behind: " + entry.path().string() + "\n";
  if (!eventually([] { return fileExists("started.txt"); }, 10)) faults += "the client was not started\n";
  return faults;
}

// Kills the updater running at a random moment within the window: the program
// itself and what it started (the new updater of a self-update), or only the
// program, whose new updater then goes on.
bool killWithin(StartedProgram& program, double from, double to, bool onlyTheProgram, std::mt19937& random) {
  const auto at = Clock::now() + std::chrono::duration<double>(std::uniform_real_distribution<>(from, to)(random));
  while (Clock::now() < at && program.anyRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!program.anyRunning()) return false;
  if (!onlyTheProgram || !program.kill()) program.killAll();
  return true;
}

}  // namespace

TEST(KillHarness, AKillAtAnyMomentLeavesAnInstallationTheNextRunRepairs) {
  TestServer server;
  Player player;
  const std::vector<ReleaseModule> modules = releases();
  for (const ReleaseModule& module : modules)
    server.setRoute("/files/" + module.name,
                    Route{200, module.after, module.slow ? BodyMode::Slow : BodyMode::Normal, -1, 12 << 20});
  server.setRoute("/list", moduleList(modules, true, server.baseUrl()));
  server.setRoute("/mm", maintenanceAnswer("Up", ""));
  const std::string settings = "<UpdaterIni><commMaintMgr>" + server.baseUrl() + "/mm</commMaintMgr><updateServer>" +
                               server.baseUrl() + "/list</updateServer><modulesFile>installed.xml</modulesFile>"
                               "<autoStart>client" + exe() + "</autoStart></UpdaterIni>";
  const std::string updater = "updater" + exe();

  // A clean run gives the attributes every round must end with, and the length of a run.
  std::map<std::string, FileAttributes> attributes;
  double runSeconds = 0;
  {
    ScopedWorkingDirectory dir;
    installReleaseA(modules, settings);
    auto start = Clock::now();
    StartedProgram run(fs::absolute(updater).string(), dir.path());
    ASSERT_EQ(run.wait(120).exitCode, 0);
    ASSERT_TRUE(eventually([&] { return !run.anyRunning(); }, 60));
    runSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (const ReleaseModule& module : modules) attributes[module.name] = readFileAttributes(module.name);
    ASSERT_EQ(faultsOfReleaseB(modules, attributes), "") << withoutCarriageReturns(readFile("update.log"));
  }

  std::mt19937 random(static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count()));
  std::cout << "kill harness: seed " << random() << ", one run " << runSeconds << " s\n";
  const int asked = std::getenv("UPDATER_KILLS") == nullptr ? 0 : std::atoi(std::getenv("UPDATER_KILLS"));
  const unsigned wanted = asked > 0 ? static_cast<unsigned>(asked) : (onWindows() ? 5 : 30);
  unsigned kills = 0, rounds = 0, failures = 0;
  std::map<std::string, unsigned> states;
  while (kills < wanted) {
    ++rounds;
    ScopedWorkingDirectory dir;
    installReleaseA(modules, settings);
    const std::string program = fs::absolute(updater).string();
    StartedProgram first(program, dir.path());
    // A quarter of the kills land late, where the installs and the commit are.
    if (killWithin(first, random() % 4 == 0 ? 0.8 * runSeconds : 0, runSeconds, random() % 4 == 0, random)) ++kills;
    std::unique_ptr<StartedProgram> second;
    if (random() % 3 == 0) {
      second.reset(new StartedProgram(program, dir.path()));
      if (killWithin(*second, 0, runSeconds, false, random)) ++kills;
    }
    bool quiet = eventually([&] { return !first.anyRunning() && !(second && second->anyRunning()); }, 90);
    ++states[stateKind(modules)];

    fs::remove("started.txt");
    StartedProgram last(program, dir.path());
    ProcessResult result = last.wait(120);
    bool ended = eventually([&] { return !last.anyRunning(); }, 90);
    std::string faults = faultsOfReleaseB(modules, attributes);
    if (!quiet || !ended) faults += "an updater did not end\n";
    if (result.exitCode != 0) faults += "exit code " + std::to_string(result.exitCode) + ": " + result.standardError;
    if (!faults.empty()) {
      ++failures;
      ADD_FAILURE() << "round " << rounds << " (state: " << stateKind(modules) << ")\n" << faults
                    << "update.log:\n" << withoutCarriageReturns(readFile("update.log"));
    }
  }
  std::cout << "kill harness: " << kills << " kills in " << rounds << " rounds, " << failures << " failures\n";
  for (const auto& state : states) std::cout << "  " << state.second << " x " << state.first << "\n";
  EXPECT_EQ(failures, 0u);
}
