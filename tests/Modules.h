#pragma once
// The tests' one way of making module records, and of reading a list's names.
#include <memory>
#include <string>
#include <vector>

#include "catalogue/ModuleList.h"
#include "support/Digest.h"

namespace testing_support {

inline Module makeModule(const std::string& name, bool forceReadOnly = false, const std::string& url = "",
                         const std::string& md5sum = "", const std::string& version = "1.0") {
  return Module(name.c_str(), version.c_str(), url.c_str(), md5sum.c_str(), "true",
                forceReadOnly ? "true" : "false", nullptr);
}

inline std::string md5Of(const std::string& bytes) { return hexText(Digest::of(DigestAlgorithm::Md5, bytes)); }

// A module announced with the length and MD5 of its content.
inline Module announcedModule(const std::string& name, const std::string& content, bool forceReadOnly = false) {
  return Module(name.c_str(), "2.0", "", md5Of(content).c_str(), "true", forceReadOnly ? "true" : "false",
                std::to_string(content.size()).c_str());
}

// Adds a record as a list read from a file holds it, and returns it.
inline Module* addModule(ModuleList& list, const std::string& name, bool critical = true,
                         const std::string& version = "1.0", const char* md5sum = nullptr) {
  return list.add(std::make_unique<Module>(name.c_str(), version.c_str(), nullptr, md5sum, critical ? "true" : "false",
                                           nullptr, nullptr));
}

// Adds a record in the state given, as a run's queue holds it.
inline Module* addModule(ModuleList& list, const std::string& name, ModuleState state, bool critical = true) {
  Module* module = addModule(list, name, critical);
  module->state = state;
  return module;
}

// Adds Pending records of the names, in their order.
inline void addModules(ModuleList& list, const std::vector<std::string>& names) {
  for (const std::string& name : names) addModule(list, name);
}

// A record's fields as one text: "version md5sum sha256 url critical forceReadOnly contentLength state".
inline std::string fieldsOf(const Module* module) {
  if (module == nullptr) return "missing";
  return module->version.text + " " + module->md5sum + " " + module->sha256 + " " + module->url + " " +
         std::to_string(module->critical) + " " + std::to_string(module->forceReadOnly) + " " +
         std::to_string(module->contentLength) + " " + std::to_string(module->state.load());
}

// The records' names, in the list's order.
inline std::vector<std::string> namesOf(const ModuleList& list) {
  std::vector<std::string> names;
  list.forEach([&](Module& module) { names.push_back(module.name); });
  return names;
}

// "name=version" of every record of the file, in order.
inline std::vector<std::string> recordsOf(const std::string& path) {
  ModuleList list;
  list.readFile(path);
  std::vector<std::string> records;
  list.forEach([&](Module& module) { records.push_back(module.name + "=" + module.version.text); });
  return records;
}

}  // namespace testing_support
