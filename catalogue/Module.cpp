#include "catalogue/Module.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {
// strtol with base 10, clamped to the 32-bit range whatever the width of long.
int32_t toInt32(const char* text) {
  long long value = std::strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

std::string textOrEmpty(const char* text) { return text != nullptr ? text : ""; }
}  // namespace

ModuleVersion::ModuleVersion(const std::string& versionText) : text(versionText), major(0), minor(0) {
  if (text.size() <= 9) {
    major = toInt32(text.c_str());
    std::size_t dot = text.find('.');
    minor = dot == std::string::npos ? 0 : toInt32(text.c_str() + dot + 1);
  } else {
    minor = toInt32(text.c_str());
  }
}

Module::Module(const char* nameText, const char* versionText, const char* urlText,
               const char* md5sumText, const char* criticalText, const char* forceReadOnlyText,
               const char* contentLengthText)
    : name(textOrEmpty(nameText)),
      version(textOrEmpty(versionText)),
      url(textOrEmpty(urlText)),
      md5sum(textOrEmpty(md5sumText)),
      sha256(),
      critical(true),
      forceReadOnly(false),
      contentLength(contentLengthText != nullptr ? toInt32(contentLengthText) : -1),
      state(Pending) {
  if (criticalText != nullptr &&
      (std::strcmp(criticalText, "false") == 0 || std::strcmp(criticalText, "0") == 0))
    critical = false;
  if (forceReadOnlyText != nullptr &&
      (std::strcmp(forceReadOnlyText, "true") == 0 || std::strcmp(forceReadOnlyText, "1") == 0))
    forceReadOnly = true;
}

Module::Module(const Module& other)
    : name(other.name),
      version(other.version),
      url(other.url),
      md5sum(other.md5sum),
      sha256(other.sha256),
      critical(other.critical),
      forceReadOnly(other.forceReadOnly),
      contentLength(other.contentLength),
      state(other.state.load()) {}
