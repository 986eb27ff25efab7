#pragma once
// The "debugdelay" setting: a pause after each download and each installation,
// so a tester can watch the progress window and the status server.
#include <cstdint>
#include <functional>
#include <string>

// Nothing for an empty value; otherwise logs "dd = VALUE" and pauses the value
// (strtoul, base 0) times 1000 milliseconds, in 32-bit unsigned arithmetic.
void debugDelay(const std::string& value);
// The milliseconds debugDelay pauses for; 0 when the value holds no digits.
uint32_t debugDelayMilliseconds(const std::string& value);

// Replaces the pause for tests; an empty function restores it.
void setDelayFunctionForTesting(std::function<void(uint32_t milliseconds)> function);
