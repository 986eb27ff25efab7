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
  DWORD limit = kSendTimeLimitSeconds * 1000;
  setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
  return client;
}

long receiveSome(SocketHandle socket, char* buffer, std::size_t size) {
  return recv(socket, buffer, static_cast<int>(size), 0);
}

bool sendBytes(SocketHandle socket, const char* bytes, std::size_t length) {
  // After a timed-out send the socket's state is undefined; the caller drops it.
  const ULONGLONG deadline = GetTickCount64() + kSendTimeLimitSeconds * 1000;
  while (length > 0) {
    int sent = send(socket, bytes, static_cast<int>(length), 0);
    if (sent == SOCKET_ERROR || sent == 0 || GetTickCount64() > deadline) return false;
    bytes += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

void shutdownSocket(SocketHandle socket) { shutdown(socket, SD_BOTH); }

void interruptSocket(SocketHandle& socket) {
  // A blocking accept or recv in another thread fails with WSAEINTR.
  closeSocket(socket);
  socket = kNoSocket;
}

void closeSocket(SocketHandle socket) {
  if (socket != kNoSocket) closesocket(socket);
}
