#include "tests/TestServer.h"

#include <cstdio>
#include <random>
#include <stdexcept>

#include "status/Socket.h"
#include "tests/TestSupport.h"
#include "tools/Publish.h"

namespace testing_support {

namespace {

// In the order of BodyMode.
const char* modeName(BodyMode mode) {
  static const char* const names[] = {"normal", "nolength", "cutshort", "stall", "stallbody", "reset", "slow"};
  return names[static_cast<int>(mode)];
}

}  // namespace

// The server reports its ports over a connection it makes back to us and then
// holds: under Wine it is a Linux program, which gets neither our pipes nor a
// handle we could wait on, and however this process ends, the server sees the
// connection close and ends too (removing its certificate files).
TestServer::TestServer(bool withHttps) {
  startSockets();
  // A port nothing listens on, which another test may take before we do.
  SocketHandle listener = kNoSocket;
  int port = 0;
  for (int attempt = 0; attempt < 100 && listener == kNoSocket; ++attempt) {
    port = closedPort();
    failureText([&] { listener = listenOnLoopback(static_cast<uint16_t>(port)); });
  }
  if (listener == kNoSocket) throw std::runtime_error("no port to hear from the test server on");
  std::vector<std::string> command{"/usr/bin/python3", UPDATER_SOURCE_DIR "/tests/http_test_server.py", "--report-to",
                                   std::to_string(port)};
  if (withHttps) command.push_back("--https");
  startDetached(command);
  const SocketHandle held = waitForData(listener, 30000) ? acceptClient(listener) : kNoSocket;
  closeSocket(listener);
  lifeline = static_cast<long long>(held);
  std::string ports;
  char c = 0;
  while (held != kNoSocket && waitForData(held, 30000) && receiveSome(held, &c, 1) == 1 && c != '\n') ports += c;
  if (std::sscanf(ports.c_str(), "%d %d", &httpPort, &httpsPort) != 2 || httpPort <= 0) {
    stop();
    throw std::runtime_error("the test server did not start");
  }
}

void TestServer::stop() {
  closeSocket(static_cast<SocketHandle>(lifeline));
  lifeline = static_cast<long long>(kNoSocket);
}

std::string TestServer::control(const std::string& method, const std::string& target, const std::string& body) const {
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  if (method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  request += "\r\n" + body;
  // The whole answer: the server closes the connection after it.
  std::string answer;
  SocketHandle socket = connectToLoopback(static_cast<uint16_t>(httpPort));
  if (socket != kNoSocket && sendBytes(socket, request.data(), request.size())) {
    char buffer[8192];
    long n;
    while ((n = receiveSome(socket, buffer, sizeof buffer)) > 0) answer.append(buffer, static_cast<std::size_t>(n));
  }
  closeSocket(socket);
  std::size_t headerEnd = answer.find("\r\n\r\n");
  if (answer.compare(0, 12, "HTTP/1.1 200") != 0 || headerEnd == std::string::npos)
    throw std::runtime_error("test server refused " + target + ": " + answer.substr(0, 40));
  return answer.substr(headerEnd + 4);
}

void TestServer::setRoute(const std::string& path, const Route& route) {
  std::string target = "/__route?path=" + urlPath(path) + "&status=" + std::to_string(route.status) +
                       "&mode=" + modeName(route.mode);
  if (route.announcedLength >= 0) target += "&announce=" + std::to_string(route.announcedLength);
  if (route.failFirst > 0)
    target += "&failfirst=" + std::to_string(route.failFirst) + "&failmode=" + modeName(route.failMode) +
              "&failstatus=" + std::to_string(route.failStatus);
  if (!route.ranges) target += "&ranges=0";
  if (route.mode == BodyMode::Slow) target += "&rate=" + std::to_string(route.bytesPerSecond);
  for (const auto& header : route.headers) target += "&header=" + urlPath(header.first + ":" + header.second);
  control("POST", target, route.body);
}

std::vector<ServedRequest> TestServer::requests() const {
  std::vector<ServedRequest> served;
  for (const std::string& line : splitLines(control("GET", "/__requests", ""))) {
    if (line.empty()) continue;
    std::vector<std::string> fields = splitLines(line, '\t');
    fields.resize(7, "0");
    served.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], std::stoll(fields[6])});
  }
  return served;
}

int closedPort() {
  // Below the ephemeral range and the status tests' fixed ports, so no server of the tests takes it meanwhile.
  startSockets();
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    int port = 20000 + static_cast<int>(random() % 9000);
    SocketHandle probe = connectToLoopback(static_cast<uint16_t>(port));
    if (probe == kNoSocket) return port;
    closeSocket(probe);
  }
  throw std::runtime_error("cannot find a closed port");
}

}  // namespace testing_support
