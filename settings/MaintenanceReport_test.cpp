#include "settings/MaintenanceReport.h"

#include <gtest/gtest.h>

#include "tests/TestServer.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

std::string parameter(const std::string& name, const std::string& value) {
  return "<parameter name=\"" + name + "\">" + value + "</parameter>";
}

// Serves the answer and queries it with a fresh report.
MaintenanceReport queried(TestServer& server, const std::string& answer) {
  server.setRoute("/maint", answer);
  MaintenanceReport report;
  report.query(server.baseUrl() + "/maint");
  return report;
}

// "successful status|message updatesAllowed statusNotUp".
std::string fieldsOf(const MaintenanceReport& report) {
  return std::to_string(report.successful) + " " + report.status + "|" + report.message + " " +
         std::to_string(report.updatesAllowed()) + std::to_string(report.statusNotUp());
}

}  // namespace

TEST(MaintenanceReportTest, ReportFollowsTheAnswer) {
  const std::string yes = parameter("successful", "true");
  const std::pair<std::string, std::string> outcomes[] = {
      {yes + parameter("status", "Up"), "1 Up| 10"},
      {yes + parameter("status", "Down") + parameter("message", " Back at 10:00 "), "1 Down| Back at 10:00  01"},
      {yes + parameter("status", "Busy"), "1 Busy| 11"},
      {yes, "1 | 11"},
      // Capital T is not believed.
      {parameter("successful", "True") + parameter("status", "Down"), "0 Down| 10"},
      {parameter("status", "Down"), "0 Down| 10"},
      // The last status wins.
      {yes + parameter("status", "Down") + parameter("status", "Up"), "1 Up| 10"},
      // Other elements, nameless and unknown parameters are ignored; a value is its text.
      {"text<parameter>nameless</parameter><other name=\"status\">Down</other>" + parameter("extra", "x") + yes +
           parameter("status", "Up") + "<parameter name=\"message\"><b>in</b> bold</parameter>",
       "1 Up|in bold 10"},
  };
  TestServer server;
  for (const auto& [answer, fields] : outcomes) {
    LogCapture log;
    MaintenanceReport report = queried(server, "<params>" + answer + "</params>");
    EXPECT_EQ(fieldsOf(report), fields) << answer;
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"url = " + server.baseUrl() + "/maint",
                                                     std::string("successful = ") + (report.successful ? "true" : "false"),
                                                     "status = " + report.status, "message = " + report.message}));
  }
}

// Each failure after a successful query: the report is fresh again.
TEST(MaintenanceReportTest, AFailedQueryIsLoggedAndLeavesAFreshReport) {
  TestServer server;
  const std::string served = server.baseUrl() + "/maint",
                    refused = "http://127.0.0.1:" + std::to_string(closedPort()) + "/maint";
  const std::string notXml = "error parsing commMainMgr response: XML parse error";
  // The answer and its status at the address, and the error logged (a pattern after "~").
  const struct { std::string answer; int status; std::string address, error; } cases[] = {
      {"Service Unavailable", 200, served, notXml},
      {"", 200, served, notXml},
      {"", 404, served, "error contacting commMainMgr '" + served + "': Server data not available (error code 404)"},
      {"", 200, refused, "error contacting commMainMgr '" + refused + "': Server refused connection"},
      // The system's text follows where no address was given.
      {"", 200, "", "~error contacting commMainMgr '': .*"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address + " " + c.answer);
    MaintenanceReport report = queried(server, "<params>" + parameter("successful", "true") + "</params>");
    ASSERT_TRUE(report.successful);
    server.setRoute("/maint", Route{c.status, c.answer});
    LogCapture log;
    report.query(c.address);
    EXPECT_EQ(fieldsOf(report), "0 | 10");
    expectLog(log.lines(), {"url = " + c.address, c.error});
  }
}
