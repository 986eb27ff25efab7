#pragma once
// The script that finishes the renames the run had to leave: it waits until each
// target is free, puts the downloaded file in its place, and may start the new
// updater. "defer.bat" for the Windows command interpreter, "defer.sh" for sh.
#include <map>
#include <string>

// Downloaded file ("NAME.new") -> the target it must replace.
typedef std::map<std::string, std::string> RenameMap;

extern const char* const kDeferredScriptName;     // "defer.bat" / "defer.sh"
// The command line that starts the script, as error texts name it. On Windows the
// interpreter is named by its path in the system folder: a "cmd.exe" planted in
// the installation folder, which the search path tries first, is never run.
std::string deferredScriptCommand();

// The platform's script, lines ending in "\n" (the file is written in text mode).
std::string deferredScriptText(const RenameMap& renames, bool restartUpdater);

// "defer.bat": plain names as they are; any other name quoted, "/" as "\", the
// new name of "ren" bare. Between tries it waits about a second (ping from the
// system folder: the interpreter has no sleep that Wine knows too). Entries whose names the interpreter cannot take even
// quoted are left out (the updater's file system has no such names).
std::string batchScriptText(const RenameMap& renames, bool restartUpdater);
// "defer.sh": every name single-quoted; "exec ./updater" at the end on a restart.
std::string shellScriptText(const RenameMap& renames, bool restartUpdater);

// Letters, digits, ".", "_" and "-" only: written into "defer.bat" unquoted.
bool isPlainBatchName(const std::string& name);
// Whether "defer.bat" can hold the name at all (no double quote, no control character).
bool isBatchWritableName(const std::string& name);
