#pragma once
// A client of the local status server, as the game client is one: it sends
// NUL-ended XML texts and reads NUL-ended messages. One thread uses it.
#include <cstdint>
#include <string>

#include "status/Socket.h"

class StatusClient {
 public:
  static constexpr uint32_t kForever = 0xFFFFFFFF;

  // Connects to 127.0.0.1 at the port, trying again for up to patience
  // milliseconds while nobody accepts there (the updater may not listen yet).
  // Throws IOException "WSAStartup: unable to initialize" on Windows.
  explicit StatusClient(uint16_t port, uint32_t patience = 0);
  ~StatusClient();
  StatusClient(const StatusClient&) = delete;
  StatusClient& operator=(const StatusClient&) = delete;

  bool connected() const { return socket != kNoSocket; }
  // Raw bytes, as they are; the server reads a message up to a chunk ending in NUL.
  // False when the server has gone or does not take them within the send limit.
  bool sendBytes(const std::string& bytes);
  // One message: the text and its NUL, in one send.
  void sendMessage(const std::string& text) { sendBytes(text + std::string(1, '\0')); }

  enum Reading { Read, Closed, TimedOut };
  // The next message, without its NUL, waiting at most timeout milliseconds.
  // Closed when the connection ended (or failed) first.
  Reading readMessage(std::string& message, uint32_t timeout);
  bool readMessage(std::string& message) { return readMessage(message, kForever) == Read; }

  // Ends the connection with a reset instead of an orderly close.
  void abort();
  void close();

 private:
  SocketHandle socket;
  std::string received;
};
