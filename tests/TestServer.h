#pragma once
// A real HTTP server for tests: tests/http_test_server.py, run as a child
// process on ephemeral ports of 127.0.0.1, steered per path.
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
  std::vector<std::pair<std::string, std::string>> headers = {};
  // The first failFirst requests are answered with failMode and failStatus instead.
  int failFirst = 0;
  BodyMode failMode = BodyMode::Normal;
  int failStatus = 503;
  // Normal and Slow answer a Range request with its part (206) unless false.
  bool ranges = true;
};

// One request the server answered (control requests are not recorded).
// The query as sent, without the '?'; the Range and If-Range headers, "" when
// absent; the bytes of the body sent.
struct ServedRequest {
  std::string method, path, query, userAgent, range, ifRange;
  long long bytesSent = 0;
};

class TestServer {
 public:
  // Starts the server, with a second, https listener (self-signed certificate
  // made on the spot) when asked. Throws std::runtime_error when it cannot.
  explicit TestServer(bool withHttps = false);
  ~TestServer() { stop(); }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // "http://127.0.0.1:PORT" and "https://127.0.0.1:PORT", without a final '/'.
  std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(httpPort); }
  std::string secureBaseUrl() const { return "https://127.0.0.1:" + std::to_string(httpsPort); }

  // Every later GET of path (whatever its query) gets this answer; other
  // paths get 404.
  void setRoute(const std::string& path, const Route& route);
  // A plain 200 answer holding the body.
  void setRoute(const std::string& path, const std::string& body) { setRoute(path, Route{200, body}); }
  // The requests served so far, oldest first.
  std::vector<ServedRequest> requests() const;
  // How many connections carried them.
  int connections() const { return std::stoi(control("GET", "/__connections", "")); }
  // Ends the server; the destructor does it too.
  void stop();

 private:
  std::string control(const std::string& method, const std::string& target, const std::string& body) const;

  int httpPort = 0, httpsPort = 0;
  // The connection the server made to report its ports, held open for its life.
  long long lifeline = -1;  // a SocketHandle (status/Socket.h, which net's tests may not see)
};

// A port on 127.0.0.1 that nothing listens on, so connecting is refused.
int closedPort();

}  // namespace testing_support
