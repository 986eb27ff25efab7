#include "settings/MaintenanceReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/TestServer.h"
#include "tests/TestSupport.h"

using testing_support::LogCapture;
using testing_support::Route;
using testing_support::TestServer;

namespace {

std::string parameter(const std::string& name, const std::string& value) {
  return "<parameter name=\"" + name + "\">" + value + "</parameter>";
}

// Serves the answer and queries it with a fresh report.
MaintenanceReport queried(TestServer& server, const std::string& answer, int status = 200) {
  Route route;
  route.status = status;
  route.body = answer;
  server.setRoute("/maint", route);
  MaintenanceReport report;
  report.query(server.baseUrl() + "/maint");
  return report;
}

void expectFresh(const MaintenanceReport& report) {
  EXPECT_FALSE(report.successful);
  EXPECT_EQ(report.status, "");
  EXPECT_EQ(report.message, "");
  EXPECT_TRUE(report.updatesAllowed());
  EXPECT_FALSE(report.statusNotUp());
}

}  // namespace

TEST(MaintenanceReportTest, ReportFollowsTheAnswer) {
  const std::string yes = parameter("successful", "true");
  struct Outcome {
    std::string answer;
    bool successful;
    std::string status, message;
    bool updatesAllowed, statusNotUp;
  };
  const Outcome outcomes[] = {
      {yes + parameter("status", "Up"), true, "Up", "", true, false},
      {yes + parameter("status", "Down") + parameter("message", " Back at 10:00 "), true, "Down", " Back at 10:00 ",
       false, true},
      {yes + parameter("status", "Busy"), true, "Busy", "", true, true},
      {yes, true, "", "", true, true},
      // Capital T is not believed.
      {parameter("successful", "True") + parameter("status", "Down"), false, "Down", "", true, false},
      {parameter("status", "Down"), false, "Down", "", true, false},
      // The last status wins.
      {yes + parameter("status", "Down") + parameter("status", "Up"), true, "Up", "", true, false},
      // Other elements, nameless and unknown parameters are ignored; a value is its text.
      {"text<parameter>nameless</parameter><other name=\"status\">Down</other>" + parameter("extra", "x") + yes +
           parameter("status", "Up") + "<parameter name=\"message\"><b>in</b> bold</parameter>",
       true, "Up", "in bold", true, false},
  };
  TestServer server;
  for (const Outcome& expected : outcomes) {
    SCOPED_TRACE(expected.answer);
    LogCapture log;
    MaintenanceReport report = queried(server, "<params>" + expected.answer + "</params>");
    EXPECT_EQ(report.successful, expected.successful);
    EXPECT_EQ(report.status, expected.status);
    EXPECT_EQ(report.message, expected.message);
    EXPECT_EQ(report.updatesAllowed(), expected.updatesAllowed);
    EXPECT_EQ(report.statusNotUp(), expected.statusNotUp);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"url = " + server.baseUrl() + "/maint",
                                                     std::string("successful = ") + (expected.successful ? "true" : "false"),
                                                     "status = " + expected.status, "message = " + expected.message}));
  }
}

// Each failure after a successful query: the report is fresh again.
TEST(MaintenanceReportTest, AFailedQueryIsLoggedAndLeavesAFreshReport) {
  TestServer server;
  const std::string served = server.baseUrl() + "/maint";
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing_support::closedPort()) + "/maint";
  const std::string notXml = "error parsing commMainMgr response: XML parse error";
  const struct {
    std::string answer;
    int status;
    std::string address;
    std::string error;  // a prefix
  } cases[] = {
      {"Service Unavailable", 200, served, notXml},
      {"", 200, served, notXml},
      {"", 404, served, "error contacting commMainMgr '" + served + "': Server data not available (error code 404)"},
      {"", 200, refused, "error contacting commMainMgr '" + refused + "': Server refused connection"},
      {"", 200, "", "error contacting commMainMgr '': "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address + " " + c.answer);
    MaintenanceReport report = queried(server, "<params>" + parameter("successful", "true") + "</params>");
    ASSERT_TRUE(report.successful);
    Route route;
    route.status = c.status;
    route.body = c.answer;
    server.setRoute("/maint", route);
    LogCapture log;
    report.query(c.address);
    expectFresh(report);
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "url = " + c.address);
    // The system's text follows where no address was given.
    EXPECT_EQ(c.address.empty() ? lines[1].substr(0, c.error.size()) : lines[1], c.error);
  }
}
