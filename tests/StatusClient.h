#pragma once
// A client of the local status server, as the game client would be: it sends
// NUL-ended XML texts and reads NUL-ended messages.
#include <cstdint>
#include <string>

#include "status/Socket.h"

namespace testing_support {

class StatusClient {
 public:
  // Connects to 127.0.0.1 at the port. A patient client keeps trying while
  // nobody listens there yet; an impatient one tries once.
  explicit StatusClient(uint16_t port, bool patient = true);
  ~StatusClient();
  StatusClient(const StatusClient&) = delete;
  StatusClient& operator=(const StatusClient&) = delete;

  bool connected() const { return socket != kNoSocket; }
  // False when the server has gone or does not take the bytes in time.
  bool sendBytes(const std::string& bytes);
  void sendMessage(const std::string& text) { sendBytes(text + std::string(1, '\0')); }
  // The next message, without its NUL; false when the connection ended first.
  bool readMessage(std::string& message);
  // Ends the connection with a reset instead of an orderly close.
  void abort();
  void close();

 private:
  SocketHandle socket;
  std::string received;
};

}  // namespace testing_support
