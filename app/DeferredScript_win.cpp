#include <windows.h>

#include "app/DeferredScript.h"

const char* const kDeferredScriptName = "defer.bat";
// There is no program named start: the interpreter's own start command gives the
// script a console of its own, and the updater may end while it runs.
std::string deferredScriptCommand() {
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  // Without the folder the command names no program and fails to start.
  std::string interpreter = std::string(folder, length < MAX_PATH ? length : 0) + "\\cmd.exe";
  return "\"" + interpreter + "\" /c start \"\" /min defer.bat";
}

std::string deferredScriptText(const RenameMap& renames, bool restartUpdater) {
  return batchScriptText(renames, restartUpdater);
}
