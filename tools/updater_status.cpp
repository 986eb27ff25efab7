#include <iostream>

#include "tools/Arguments.h"
#include "tools/StatusTool.h"

int main(int argc, char** argv) { return runStatusTool(toolArguments(argc, argv), std::cout, std::cerr); }
