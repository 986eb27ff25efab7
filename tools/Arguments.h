#pragma once
// The tools' command lines as UTF-8 texts, the encoding of module names.
#include <string>
#include <vector>

// The arguments after the program's name. On Windows they are read from the
// wide command line, so names outside the active code page arrive whole.
std::vector<std::string> toolArguments(int argc, char** argv);
