#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "tests/TestServer.h"

namespace testing_support {

namespace {

constexpr int kStartSeconds = 30;

class Socket {
 public:
  Socket() : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd >= 0) close(fd);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  bool connectTo(int port) {
    sockaddr_in address = loopback(port);
    return fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  bool sendAll(const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
      ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }
  static sockaddr_in loopback(int port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }
  int fd;
};

}  // namespace

class TestServer::Process {
 public:
  pid_t pid = -1;
  Socket lifeline;
  bool connected = false;
};

namespace server_platform {

std::string exchange(int port, const std::string& request) {
  Socket socket;
  if (!socket.connectTo(port) || !socket.sendAll(request)) return std::string();
  std::string answer;
  char buffer[8192];
  ssize_t n;
  while ((n = recv(socket.fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<std::size_t>(n));
  return answer;
}

TestServer::ProcessHandle start(bool withHttps, int& httpPort, int& httpsPort) {
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::string script = UPDATER_SOURCE_DIR "/tests/http_test_server.py";
  pid_t child = fork();
  if (child == 0) {
    int nullFile = open("/dev/null", O_RDONLY);
    dup2(nullFile, 0);
    dup2(output[1], 1);
    const char* https = withHttps ? "--https" : static_cast<char*>(nullptr);
    // The system's interpreter starts fastest; any python3 on the path will do.
    execl("/usr/bin/python3", "python3", script.c_str(), https, static_cast<char*>(nullptr));
    execlp("python3", "python3", script.c_str(), https, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);
  TestServer::ProcessHandle process(new TestServer::Process);
  process->pid = child;

  // The first line of its output names the ports.
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd ready = {output[0], POLLIN, 0};
    if (poll(&ready, 1, 200) <= 0) continue;
    char buffer[64];
    ssize_t n = read(output[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<std::size_t>(n));
  }
  close(output[0]);
  if (std::sscanf(line.c_str(), "%d %d", &httpPort, &httpsPort) != 2 || httpPort <= 0) {
    process.reset();
    throw std::runtime_error("the test server did not start: '" + line + "'");
  }
  // Held open for the server's life: however this process ends, the server
  // sees the connection close and ends too.
  if (!process->lifeline.connectTo(httpPort) ||
      !process->lifeline.sendAll("GET /__lifeline HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) {
    process.reset();
    throw std::runtime_error("cannot reach the test server");
  }
  process->connected = true;
  return process;
}

}  // namespace server_platform

void TestServer::ProcessEnd::operator()(Process* ending) const {
  // Closing the lifeline ends the server in order (it removes its certificate
  // files); a kill is the fallback.
  int grace = ending->connected ? 10 : 0;
  close(ending->lifeline.fd);
  ending->lifeline.fd = -1;
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(grace);
  while (waitpid(ending->pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(ending->pid, SIGKILL);
      waitpid(ending->pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  delete ending;
}

int closedPort() {
  // A port the system just handed out and got back is free and, for the
  // moment, unused.
  Socket socket;
  sockaddr_in address = Socket::loopback(0);
  socklen_t size = sizeof address;
  if (bind(socket.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket.fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    throw std::runtime_error("cannot find a free port");
  return ntohs(address.sin_port);
}

}  // namespace testing_support
