#include "app/DeferredScript.h"

const char* const kDeferredScriptName = "defer.sh";
std::string deferredScriptCommand() { return "/bin/sh defer.sh"; }

std::string deferredScriptText(const RenameMap& renames, bool restartUpdater) {
  return shellScriptText(renames, restartUpdater);
}
