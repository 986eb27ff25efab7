#pragma once
#include <string>

// What the maintenance manager says about the update service.
class MaintenanceReport {
 public:
  // Never throws IOException or XmlException: a failed query is logged and
  // leaves the report as it was built.
  void query(const std::string& url);
  // Takes the service's answer and logs what it says. Throws XmlException "XML
  // parse error" for an answer that is no XML document; the report is unchanged then.
  void read(const std::string& answer);
  // False only when the service said, believably, that it is down.
  bool updatesAllowed() const { return !(successful && status == "Down"); }
  // True only when the service said, believably, something other than "Up".
  bool statusNotUp() const { return successful && status != "Up"; }

  bool successful = false;
  std::string status;
  std::string message;
};
