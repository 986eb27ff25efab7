#include "app/DeferredScript.h"

#include <cstdio>

namespace {
// About a second: the first echo answers at once, the second a second later.
const char* const kBatchWait = "\"%SystemRoot%\\system32\\ping.exe\" -n 2 127.0.0.1 >nul\n";

std::string label(int k) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", k);
  return text;
}

// A name for the interpreter: plain ones as they are, others in double quotes
// with "\" for "/" and "%" doubled (a batch file expands "%" even in quotes).
std::string batchName(const std::string& name) {
  if (isPlainBatchName(name)) return name;
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '/') {
      quoted += '\\';
    } else if (c == '%') {
      quoted += "%%";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

// "ren" takes only a bare file name as the new name.
std::string bareBatchName(const std::string& name) {
  std::string::size_type slash = name.find_last_of("/\\");
  return batchName(slash == std::string::npos ? name : name.substr(slash + 1));
}

std::string shellQuoted(const std::string& name) {
  std::string quoted = "'";
  for (char c : name) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
}  // namespace

bool isPlainBatchName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-';
    if (!plain) return false;
  }
  return true;
}

bool isBatchWritableName(const std::string& name) {
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte < 0x20) return false;
  }
  return !name.empty();
}

std::string batchScriptText(const RenameMap& renames, bool restartUpdater) {
  std::string text = "@echo off\n";
  int k = 1;
  for (const auto& entry : renames) {
    const std::string& downloaded = entry.first;
    const std::string& target = entry.second;
    if (!isBatchWritableName(downloaded) || !isBatchWritableName(target)) continue;
    text += ":" + label(k) + "\n";
    text += "del " + batchName(target) + "\n";
    text += "ren " + batchName(downloaded) + " " + bareBatchName(target) + "\n";
    text += "if not exist " + batchName(downloaded) + " goto :" + label(k) + "done\n";
    text += kBatchWait;
    text += "goto :" + label(k) + "\n";
    text += ":" + label(k) + "done\n";
    ++k;
  }
  if (restartUpdater) text += "start updater.exe\n";
  text += "cls\n";
  return text;
}

std::string shellScriptText(const RenameMap& renames, bool restartUpdater) {
  std::string text = "#!/bin/sh\n";
  int k = 1;
  for (const auto& entry : renames) {
    const std::string downloaded = shellQuoted(entry.first);
    const std::string target = shellQuoted(entry.second);
    text += "# " + label(k) + "\n";
    text += "while :; do\n";
    text += "  rm -f -- " + target + "\n";
    text += "  mv -f -- " + downloaded + " " + target + "\n";
    text += "  [ -e " + downloaded + " ] || break\n";
    text += "  sleep 1\n";
    text += "done\n";
    ++k;
  }
  if (restartUpdater) text += "exec ./updater\n";
  return text;
}
