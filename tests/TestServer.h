#pragma once
// A real HTTP server for tests: tests/http_test_server.py, run as a child
// process on ephemeral ports of 127.0.0.1, steered per path.
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

enum class BodyMode {
  Normal,    // Content-Length announced, whole body sent, the connection kept alive
  NoLength,  // no Content-Length: the body ends when the connection closes
  CutShort,  // announces announcedLength, sends the body, closes early
  Stall,     // reads the request and never answers
  StallBody, // announces announcedLength, sends the body, then nothing more
  Reset,     // sends the body (announcing announcedLength when >= 0), then resets the connection
  Slow,      // Content-Length announced, the body sent at bytesPerSecond
};

struct Route {
  int status = 200;
  std::string body;
  BodyMode mode = BodyMode::Normal;
  // The Content-Length sent by CutShort and StallBody (-1: the body's length +
  // 1000) and by Reset (-1: none).
  long long announcedLength = -1;
  // Slow only.
  long long bytesPerSecond = 1 << 20;
  std::vector<std::pair<std::string, std::string>> headers;
  // The first failFirst requests are answered with failMode and failStatus instead.
  int failFirst = 0;
  BodyMode failMode = BodyMode::Normal;
  int failStatus = 503;
  // Normal and Slow answer a Range request with its part (206) unless false.
  bool ranges = true;
};

// One request the server answered (control requests are not recorded).
struct ServedRequest {
  std::string method;
  std::string path;
  std::string query;  // as sent, without the '?'
  std::string userAgent;
  std::string range;  // the Range and If-Range headers, "" when absent
  std::string ifRange;
  long long bytesSent = 0;  // of the body
};

class TestServer {
 public:
  // Starts the server, with a second, https listener (self-signed certificate
  // made on the spot) when asked. Throws std::runtime_error when it cannot.
  explicit TestServer(bool withHttps = false);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return httpPort; }
  int securePort() const { return httpsPort; }
  // "http://127.0.0.1:PORT" and "https://127.0.0.1:PORT", without a final '/'.
  std::string baseUrl() const;
  std::string secureBaseUrl() const;

  // Every later GET of path (whatever its query) gets this answer; other
  // paths get 404.
  void setRoute(const std::string& path, const Route& route);
  // The requests served so far, oldest first.
  std::vector<ServedRequest> requests() const;
  // How many connections carried them.
  int connections() const;
  // Ends the server; the destructor does it too.
  void stop();

  // The running script; ending it (the platform's part) stops the server.
  class Process;
  struct ProcessEnd {
    void operator()(Process* process) const;
  };
  using ProcessHandle = std::unique_ptr<Process, ProcessEnd>;

 private:
  std::string control(const std::string& method, const std::string& target, const std::string& body) const;

  // Filled in by starting the process: declared first so they are set after.
  int httpPort = 0;
  int httpsPort = 0;
  ProcessHandle process;
};

// A port on 127.0.0.1 that nothing listens on, so connecting is refused.
int closedPort();

// Platform parts, used by TestServer.cpp.
namespace server_platform {
// Sends one raw request to 127.0.0.1:port and returns the whole answer
// (the server closes the connection after it). Empty when it cannot connect.
std::string exchange(int port, const std::string& request);
// Starts the script and reads its ports.
TestServer::ProcessHandle start(bool withHttps, int& httpPort, int& httpsPort);
}  // namespace server_platform

}  // namespace testing_support
