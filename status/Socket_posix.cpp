#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/time.h>

#include <cerrno>
#include <chrono>

#include "status/Socket.h"
#include "support/Exceptions.h"
#include "support/Log.h"

void startSockets() {}

SocketHandle openListeningSocket() {
  int listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener < 0) throw IOException("socket: " + systemErrorText());
  // A restarted updater must listen again while the last connection is in
  // TIME_WAIT; on Linux this never lets a second listener share the port.
  int on = 1;
  if (setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    std::string text = "setsockopt: " + systemErrorText();
    close(listener);
    throw IOException(text);
  }
  return listener;
}

SocketHandle acceptClient(SocketHandle listener) {
  int client = accept(listener, nullptr, nullptr);
  if (client < 0) throw IOException("accept: " + systemErrorText());
  timeval limit = {kSendTimeLimitSeconds, 0};
  setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  return client;
}

long receiveSome(SocketHandle socket, char* buffer, std::size_t size) {
  ssize_t received;
  do {
    received = recv(socket, buffer, size, 0);
  } while (received < 0 && errno == EINTR);
  return static_cast<long>(received);
}

bool sendBytes(SocketHandle socket, const char* bytes, std::size_t length) {
  // Each send may wait the whole limit; a peer that takes a trickle must not
  // stretch the wait beyond it either.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSendTimeLimitSeconds);
  while (length > 0) {
    // Without MSG_NOSIGNAL a client that has gone would kill the process with SIGPIPE.
    ssize_t sent = send(socket, bytes, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0 || std::chrono::steady_clock::now() > deadline) return false;
    bytes += sent;
    length -= static_cast<std::size_t>(sent);
  }
  return true;
}

void shutdownSocket(SocketHandle socket) { shutdown(socket, SHUT_RDWR); }

void interruptSocket(SocketHandle& socket) {
  // The descriptor stays open: a thread about to block on it fails at once
  // instead of meeting a reused number.
  if (socket != kNoSocket) shutdown(socket, SHUT_RDWR);
}

void closeSocket(SocketHandle socket) {
  if (socket != kNoSocket) close(socket);
}
