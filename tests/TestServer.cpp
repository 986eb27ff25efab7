#include "tests/TestServer.h"

#include <stdexcept>

namespace testing_support {

namespace {

std::string percentEncoded(const std::string& text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string result;
  for (unsigned char c : text) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      result += static_cast<char>(c);
    } else {
      result += '%';
      result += digits[c >> 4];
      result += digits[c & 15];
    }
  }
  return result;
}

// In the order of BodyMode.
const char* modeName(BodyMode mode) {
  static const char* const names[] = {"normal", "nolength", "cutshort", "stall", "stallbody", "reset", "slow"};
  return names[static_cast<int>(mode)];
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t begin = 0;
  for (;;) {
    std::size_t end = text.find(separator, begin);
    parts.push_back(text.substr(begin, end - begin));
    if (end == std::string::npos) return parts;
    begin = end + 1;
  }
}

}  // namespace

TestServer::TestServer(bool withHttps) : process(server_platform::start(withHttps, httpPort, httpsPort)) {}

TestServer::~TestServer() { stop(); }

void TestServer::stop() { process.reset(); }

std::string TestServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(httpPort); }

std::string TestServer::secureBaseUrl() const { return "https://127.0.0.1:" + std::to_string(httpsPort); }

std::string TestServer::control(const std::string& method, const std::string& target,
                                const std::string& body) const {
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  if (method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  request += "\r\n" + body;
  std::string answer = server_platform::exchange(httpPort, request);
  std::size_t headerEnd = answer.find("\r\n\r\n");
  if (answer.compare(0, 12, "HTTP/1.1 200") != 0 || headerEnd == std::string::npos)
    throw std::runtime_error("test server refused " + target + ": " + answer.substr(0, 40));
  return answer.substr(headerEnd + 4);
}

void TestServer::setRoute(const std::string& path, const Route& route) {
  std::string target = "/__route?path=" + percentEncoded(path) + "&status=" + std::to_string(route.status) +
                       "&mode=" + modeName(route.mode);
  if (route.announcedLength >= 0) target += "&announce=" + std::to_string(route.announcedLength);
  if (route.failFirst > 0)
    target += "&failfirst=" + std::to_string(route.failFirst) + "&failmode=" + modeName(route.failMode) +
              "&failstatus=" + std::to_string(route.failStatus);
  if (!route.ranges) target += "&ranges=0";
  if (route.mode == BodyMode::Slow) target += "&rate=" + std::to_string(route.bytesPerSecond);
  for (const auto& header : route.headers) target += "&header=" + percentEncoded(header.first + ":" + header.second);
  control("POST", target, route.body);
}

int TestServer::connections() const { return std::stoi(control("GET", "/__connections", "")); }

std::vector<ServedRequest> TestServer::requests() const {
  std::vector<ServedRequest> served;
  for (const std::string& line : split(control("GET", "/__requests", ""), '\n')) {
    if (line.empty()) continue;
    std::vector<std::string> fields = split(line, '\t');
    fields.resize(7, "0");
    served.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], std::stoll(fields[6])});
  }
  return served;
}

}  // namespace testing_support
