#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "tests/TestServer.h"
#include "tests/TestSupport.h"

// Under Wine the test server is a Linux program: Wine starts it, but hands it
// neither our pipes nor a handle we could wait on. So it writes its ports to a
// file, and its life hangs on a socket this process holds.

namespace testing_support {

namespace {

constexpr int kStartSeconds = 30;

class Winsock {
 public:
  Winsock() {
    WSADATA data;
    ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~Winsock() {
    if (ok) WSACleanup();
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;
  bool ok;
};

class Socket {
 public:
  Socket() : handle(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
  ~Socket() { closeNow(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  void closeNow() {
    if (handle != INVALID_SOCKET) closesocket(handle);
    handle = INVALID_SOCKET;
  }
  bool connectTo(int port) {
    sockaddr_in address = loopback(port);
    return handle != INVALID_SOCKET &&
           connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  bool sendAll(const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
      int n = send(handle, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }
  static sockaddr_in loopback(int port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }
  SOCKET handle;
};

// The Linux path of a file of ours, from Wine's own export; empty outside Wine.
std::string unixPath(const std::string& windowsPath) {
  using Converter = char*(__cdecl*)(const wchar_t*);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto convert = reinterpret_cast<Converter>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
  if (convert == nullptr) return std::string();
  std::wstring wide(windowsPath.begin(), windowsPath.end());
  char* converted = convert(wide.c_str());
  if (converted == nullptr) return std::string();
  std::string result(converted);
  HeapFree(GetProcessHeap(), 0, converted);
  return result;
}

}  // namespace

class TestServer::Process {
 public:
  Winsock winsock;
  Socket lifeline;
  std::string directory;
};

namespace server_platform {

std::string exchange(int port, const std::string& request) {
  Winsock winsock;
  Socket socket;
  if (!socket.connectTo(port) || !socket.sendAll(request)) return std::string();
  std::string answer;
  char buffer[8192];
  int n;
  while ((n = recv(socket.handle, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<std::size_t>(n));
  return answer;
}

TestServer::ProcessHandle start(bool withHttps, int& httpPort, int& httpsPort) {
  TestServer::ProcessHandle process(new TestServer::Process);
  process->directory = makeTempDir();
  std::string portFile = process->directory + "\\ports";
  std::string portFileForServer = unixPath(portFile);
  std::string commandLine;
  if (portFileForServer.empty()) {
    commandLine = "python3 \"" UPDATER_SOURCE_DIR "/tests/http_test_server.py\" --port-file \"" + portFile + "\"";
  } else {
    commandLine = "/usr/bin/python3 \"" UPDATER_SOURCE_DIR "/tests/http_test_server.py\" --port-file \"" +
                  portFileForServer + "\"";
  }
  if (withHttps) commandLine += " --https";

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    throw std::runtime_error("cannot start the test server: " + commandLine);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
  bool started = false;
  while (!started && std::chrono::steady_clock::now() < deadline) {
    std::string line = readFile(portFile);
    started = std::sscanf(line.c_str(), "%d %d", &httpPort, &httpsPort) == 2 && httpPort > 0;
    if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!started || !process->lifeline.connectTo(httpPort) ||
      !process->lifeline.sendAll("GET /__lifeline HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) {
    throw std::runtime_error("the test server did not start: " + commandLine);
  }
  return process;
}

}  // namespace server_platform

void TestServer::ProcessEnd::operator()(Process* ending) const {
  // Closing the lifeline ends the server; nothing here can wait for a Linux process.
  ending->lifeline.closeNow();
  removeTree(ending->directory);
  delete ending;
}

int closedPort() {
  Winsock winsock;
  Socket socket;
  sockaddr_in address = Socket::loopback(0);
  int size = sizeof address;
  if (bind(socket.handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket.handle, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    throw std::runtime_error("cannot find a free port");
  return ntohs(address.sin_port);
}

}  // namespace testing_support
