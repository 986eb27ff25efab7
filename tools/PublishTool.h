#pragma once
// updater-publish's command line: "updater-publish COMMAND ...", where a first
// argument that names no command means "publish". Portable.
#include <ostream>
#include <string>
#include <vector>

constexpr int kPublishOk = 0;
constexpr int kPublishFailed = 1;
constexpr int kPublishUsage = 2;

int runPublishTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
