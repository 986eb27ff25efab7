#pragma once
// What every fuzz target shares: a scratch working directory, and the log kept
// off the disk (millions of runs would fill it).
namespace fuzzing {
// Once, from LLVMFuzzerInitialize: moves into a fresh directory and sends the
// update log to /dev/null.
void prepareProcess();
}  // namespace fuzzing
