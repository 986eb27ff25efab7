#pragma once
// Starting the processes the updater hands over to, without waiting for them.
#include <cstdint>
#include <string>

// Starts the client program. Windows runs the command line (the program's
// quoted path); POSIX runs the program text as one path without arguments, a
// name without "/" looked up in the working directory first, then on PATH.
// False when it cannot be started.
bool startClientProgram(const std::string& program, const std::string& commandLine, int32_t& processId);

// Starts the deferred-renames script (deferredScriptCommand()) in a process of its
// own that outlives the updater. False when it cannot be started.
bool startDeferredScript(int32_t& processId);
