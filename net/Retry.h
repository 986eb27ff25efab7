#pragma once
// Trying a fetch again after a failure that may pass: a refused, reset or
// silent connection, a body cut short, a server error (5xx) or 429.
#include <cstdint>
#include <functional>
#include <string>

#include "net/URL.h"

// Tries after the first failure, at most.
constexpr int kMaxRetries = 3;

// Runs attempt; while it throws after marking failure transient and fewer than
// kMaxRetries retries were made, logs "retry N of 3 for WHAT in MS ms: TEXT",
// pauses and runs it again. The last exception passes on unchanged: the text
// of the final failure is the one a single try gives. Runs on the caller's thread.
void runWithRetries(const std::string& what, const std::function<void(FetchFailure& failure)>& attempt);

// The whole text at the address, tried as runWithRetries does; `what` names it
// in the retry lines. A text that broke off or came shorter than announced
// fails with URL::incompleteBodyText(), as a failure that may pass.
std::string fetchWholeText(const std::string& what, const std::string& address, uint64_t limit);

// The pause before retry number `retry` (1 to kMaxRetries): about 1, 2, 4
// seconds, each stretched by `jitter` (0 to 1: up to a quarter more), or the
// server's Retry-After when it asks for longer, up to 60 seconds.
uint32_t retryPauseMilliseconds(int retry, int64_t retryAfterSeconds, double jitter);

// Replaces the pause for tests (it receives the milliseconds); an empty
// function restores it.
void setRetryPauseForTesting(std::function<void(uint32_t milliseconds)> pause);
