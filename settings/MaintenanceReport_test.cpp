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

struct Outcome {
  const char* label;
  std::string answer;
  bool successful;
  std::string status;
  std::string message;
  bool updatesAllowed;
  bool statusNotUp;
};

void PrintTo(const Outcome& outcome, std::ostream* out) { *out << outcome.label; }

class MaintenanceOutcomeTest : public ::testing::TestWithParam<Outcome> {};

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

TEST_P(MaintenanceOutcomeTest, ReportFollowsTheAnswer) {
  const Outcome& expected = GetParam();
  TestServer server;
  LogCapture log;
  MaintenanceReport report = queried(server, expected.answer);
  EXPECT_EQ(report.successful, expected.successful);
  EXPECT_EQ(report.status, expected.status);
  EXPECT_EQ(report.message, expected.message);
  EXPECT_EQ(report.updatesAllowed(), expected.updatesAllowed);
  EXPECT_EQ(report.statusNotUp(), expected.statusNotUp);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"url = " + server.baseUrl() + "/maint",
                                                   std::string("successful = ") +
                                                       (expected.successful ? "true" : "false"),
                                                   "status = " + expected.status,
                                                   "message = " + expected.message}));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, MaintenanceOutcomeTest,
    ::testing::Values(
        Outcome{"Up",
                "<params>" + parameter("successful", "true") + parameter("status", "Up") + "</params>", true, "Up",
                "", true, false},
        Outcome{"Down",
                "<params>" + parameter("successful", "true") + parameter("status", "Down") +
                    parameter("message", " Back at 10:00 ") + "</params>",
                true, "Down", " Back at 10:00 ", false, true},
        Outcome{"OtherStatus",
                "<params>" + parameter("successful", "true") + parameter("status", "Busy") + "</params>", true,
                "Busy", "", true, true},
        Outcome{"NoStatus", "<params>" + parameter("successful", "true") + "</params>", true, "", "", true, true},
        Outcome{"CapitalTrueIsNotBelieved",
                "<params>" + parameter("successful", "True") + parameter("status", "Down") + "</params>", false,
                "Down", "", true, false},
        Outcome{"NoSuccessfulParameter", "<params>" + parameter("status", "Down") + "</params>", false, "Down", "",
                true, false},
        Outcome{"LastStatusWins",
                "<params>" + parameter("successful", "true") + parameter("status", "Down") +
                    parameter("status", "Up") + "</params>",
                true, "Up", "", true, false},
        Outcome{"OthersIgnored",
                "<r>text<parameter>nameless</parameter><other name=\"status\">Down</other>" +
                    parameter("extra", "x") + parameter("successful", "true") + parameter("status", "Up") +
                    "<parameter name=\"message\"><b>in</b> bold</parameter></r>",
                true, "Up", "in bold", true, false}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.label); });

TEST(MaintenanceReportTest, ServiceErrorIsLoggedAndLeavesAFreshReport) {
  TestServer server;
  MaintenanceReport report = queried(server, "<params>" + parameter("successful", "true") +
                                                 parameter("status", "Down") + "</params>");
  ASSERT_TRUE(report.successful);

  LogCapture log;
  const std::string address = server.baseUrl() + "/gone";
  report.query(address);
  expectFresh(report);
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"url = " + address, "error contacting commMainMgr '" + address +
                                                              "': Server data not available (error code 404)"}));
}

TEST(MaintenanceReportTest, AnswerThatIsNotXmlIsLoggedAndLeavesAFreshReport) {
  TestServer server;
  for (const std::string& answer : {std::string("Service Unavailable"), std::string("")}) {
    LogCapture log;
    expectFresh(queried(server, answer));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"url = " + server.baseUrl() + "/maint",
                                                     "error parsing commMainMgr response: XML parse error"}));
  }
}

TEST(MaintenanceReportTest, UnreachableOrMissingServiceLeavesAFreshReport) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing_support::closedPort()) + "/maint";
  LogCapture log;
  MaintenanceReport report;
  report.query(refused);
  expectFresh(report);
  report.query("");
  expectFresh(report);
  std::vector<std::string> lines = log.lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "error contacting commMainMgr '" + refused + "': Server refused connection");
  EXPECT_EQ(lines[3].rfind("error contacting commMainMgr '': ", 0), 0u) << lines[3];
}
