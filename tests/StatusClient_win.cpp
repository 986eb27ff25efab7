#include <winsock2.h>

#include "tests/StatusClient.h"

namespace testing_support {

namespace {
SocketHandle tryConnect(uint16_t port) {
  startSockets();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return s;
  closesocket(s);
  return kNoSocket;
}
}  // namespace

StatusClient::StatusClient(uint16_t port, bool patient) : socket(tryConnect(port)) {
  // The server thread may not listen yet; a hang is caught by the test's time-out.
  while (patient && socket == kNoSocket) {
    Sleep(5);
    socket = tryConnect(port);
  }
}

void StatusClient::abort() {
  linger reset = {1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  close();
}

}  // namespace testing_support
