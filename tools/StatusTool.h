#pragma once
// updater-status: a client of the updater's local status port for the game
// client's developers. Portable; the entry files only hand over the arguments.
#include <ostream>
#include <string>
#include <vector>

#include "status/StatusMessages.h"

// Exit codes.
constexpr int kStatusOk = 0;
constexpr int kStatusNoUpdater = 1;  // nobody listening, or no answer in time
constexpr int kStatusUsage = 2;
constexpr int kStatusRunError = 3;  // the updater reported an error while watched

// Runs the command line (without the program name); output on out, diagnostics on err.
int runStatusTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// One pushed message as a readable line: file, percent with a bar, files remaining.
std::string describeStatusMessage(const StatusMessage& message, const std::string& text);
// The bytes with NUL, control bytes and "\" written as C escapes, on one line.
std::string escapedBytes(const std::string& bytes);
