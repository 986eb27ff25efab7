#include <winsock2.h>

#include "status/Socket.h"
#include "support/Exceptions.h"
#include "support/Log.h"

void startSockets() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) throw IOException("WSAStartup: unable to initialize");
}

SocketHandle openListeningSocket() {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) throw IOException("socket: " + systemErrorText());
  // SO_REUSEADDR would let another process take a port in use; the port is
  // claimed exclusively instead.
  BOOL on = TRUE;
  if (setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    std::string text = "setsockopt: " + systemErrorText();
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
