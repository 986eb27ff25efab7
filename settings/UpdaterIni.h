#pragma once
#include <map>
#include <string>

// The settings, read once from "UpdaterIni.xml" in the working directory.
class UpdaterIni {
 public:
  // Throws IOException "UpdaterIni.xml: " + the runtime library's text when the
  // file cannot be parsed.
  UpdaterIni();
  // The value, or an empty text for a key the file does not hold.
  const std::string& get(const std::string& key) const;
  // In memory only; the file is never written.
  void set(const std::string& key, const std::string& value);

 private:
  std::map<std::string, std::string> values;
};
