#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
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
}  // namespace

SocketHandle listenOnLoopback(uint16_t port) {
  SocketHandle listener = openListeningSocket();
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) failAndClose(listener, "bind: ");
  if (listen(listener, 5) != 0) failAndClose(listener, "listen: ");
  return listener;
}
