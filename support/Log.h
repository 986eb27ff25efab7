#pragma once
#include <string>

// Appends one printf-formatted text to "update.log" (truncated by the first call
// of the process) and flushes it; falls back to standard error for good when the
// file cannot be opened.
void logPrintf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The system's text for the calling thread's last error code, exactly as the
// system gives it; "???" when it has none.
std::string systemErrorText();
