#include "app/DeferredScript.h"

const char* const kDeferredScriptName = "defer.bat";
// There is no program named start: the interpreter's own start command gives the
// script a console of its own, and the updater may end while it runs.
const char* const kDeferredScriptCommand = "cmd.exe /c start \"\" /min defer.bat";

std::string deferredScriptText(const RenameMap& renames, bool restartUpdater) {
  return batchScriptText(renames, restartUpdater);
}
