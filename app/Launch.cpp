// Handing control to other processes: the client program, and the script that
// finishes the renames the run had to leave.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/DeferredScript.h"
#include "app/Process.h"
#include "app/Updater.h"
#include "support/Exceptions.h"
#include "support/FreshFile.h"
#include "support/Log.h"

void Updater::autoStartProcess(const std::string& program) {
  const std::string commandLine = "\"" + program + "\"";
  logPrintf("cmdline = %s\n", commandLine.c_str());
  int32_t processId = 0;
  if (!startClientProgram(program, commandLine, processId)) throw IOException("unable to start " + commandLine);
  logPrintf("autoStartProcess pid = %d\n", static_cast<int>(processId));
}

void Updater::startDeferredRenames() {
  if (deferredRenames.empty()) {
    logPrintf("no deferred renames\n");
    return;
  }
  const std::string name = kDeferredScriptName;
  FILE* script = openFreshFile(name, true);
  if (script == nullptr) throw IOException("open " + name + ": " + std::strerror(errno));
  for (const auto& entry : deferredRenames) {
    logPrintf("deferred rename of %s to %s\n", entry.first.c_str(), entry.second.c_str());
  }
  const std::string text = deferredScriptText(deferredRenames, updaterRenameDeferred);
  bool written = std::fputs(text.c_str(), script) >= 0;
  written = std::fflush(script) == 0 && written;
  int writeError = errno;
  bool closed = std::fclose(script) == 0;
  if (!written || !closed) {
    // A cut-off script could delete a target without putting its replacement in place.
    if (written) writeError = errno;
    std::remove(name.c_str());
    throw IOException("write " + name + ": " + std::strerror(writeError));
  }

  int32_t processId = 0;
  if (!startDeferredScript(processId)) throw IOException("unable to start " + deferredScriptCommand());
  logPrintf("batchfile pid = %d\n", static_cast<int>(processId));
}
