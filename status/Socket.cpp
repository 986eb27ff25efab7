#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#endif

#include "status/Socket.h"
#include "support/Exceptions.h"
#include "support/Log.h"

namespace {
[[noreturn]] void failAndClose(SocketHandle listener, const char* step) {
  // The system's text first: closing the socket may change the last error.
  std::string text = step + systemErrorText();
  closeSocket(listener);
  throw IOException(text);
}

sockaddr_in loopback(uint16_t port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  return address;
}
}  // namespace

SocketHandle listenOnLoopback(uint16_t port) {
  SocketHandle listener = openListeningSocket();
  sockaddr_in address = loopback(port);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) failAndClose(listener, "bind: ");
  if (listen(listener, 5) != 0) failAndClose(listener, "listen: ");
  return listener;
}

SocketHandle connectToLoopback(uint16_t port) {
  SocketHandle connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (connection == kNoSocket) return kNoSocket;
  sockaddr_in address = loopback(port);
  if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return connection;
  closeSocket(connection);
  return kNoSocket;
}

bool waitForData(SocketHandle socket, uint32_t milliseconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval limit = {static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000};
  // The first argument is ignored by Winsock.
  return select(static_cast<int>(socket) + 1, &readable, nullptr, nullptr, &limit) != 0;
}

void abortConnection(SocketHandle socket) {
  linger reset = {1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  closeSocket(socket);
}
