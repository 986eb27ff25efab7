#include <winsock2.h>

#include "status/Socket.h"
#include "support/Exceptions.h"
#include "support/Log.h"

void startSockets() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) throw IOException("WSAStartup: unable to initialize");
}

SocketHandle listenOnLoopback(uint16_t port) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) throw IOException("socket: " + systemErrorText());
  // Windows lets a listener take the port over TIME_WAIT connections anyway;
  // SO_REUSEADDR would let another process steal a port in use, so the port is
  // claimed exclusively instead.
  BOOL on = TRUE;
  if (setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    std::string text = "setsockopt: " + systemErrorText();
    closesocket(listener);
    throw IOException(text);
  }
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::string text = "bind: " + systemErrorText();
    closesocket(listener);
    throw IOException(text);
  }
  if (listen(listener, 5) != 0) {
    std::string text = "listen: " + systemErrorText();
    closesocket(listener);
    throw IOException(text);
  }
  return listener;
}

SocketHandle acceptClient(SocketHandle listener) {
  SOCKET client = accept(listener, nullptr, nullptr);
  if (client == INVALID_SOCKET) throw IOException("accept: " + systemErrorText());
  return client;
}

long receiveSome(SocketHandle socket, char* buffer, std::size_t size) {
  return recv(socket, buffer, static_cast<int>(size), 0);
}

void sendBytes(SocketHandle socket, const char* bytes, std::size_t length) {
  send(socket, bytes, static_cast<int>(length), 0);
}

void closeSocket(SocketHandle socket) {
  if (socket != kNoSocket) closesocket(socket);
}
