#include <iostream>

#include "tools/Arguments.h"
#include "tools/PublishTool.h"

int main(int argc, char** argv) { return runPublishTool(toolArguments(argc, argv), std::cout, std::cerr); }
