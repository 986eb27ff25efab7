#pragma once

// The whole program behind the platform's entry point; returns the exit code or
// ends the process with exit code 1 after reporting an error on standard error.
int updaterEntry();
