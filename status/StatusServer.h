#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "status/Socket.h"
#include "status/UpdateStatus.h"
#include "support/Mutex.h"
#include "support/Thread.h"

// Serves one local client on 127.0.0.1: it reads and reorders the download queue
// and is told of download progress and errors. Messages both ways are XML texts
// ended by a NUL byte. A client that does not take a message within the socket
// layer's send time limit is dropped, so the run never waits on it. The
// destructor wakes the server thread from its accept or receive and waits for it.
class StatusServer : public StatusObserver, public Thread {
 public:
  static constexpr uint16_t kPort = 9988;
  // A message longer than this without its NUL is dropped unread.
  static constexpr std::size_t kMaxMessage = 64 * 1024;
  // A client that sends this much without a NUL is dropped: it is not a client.
  static constexpr std::size_t kMaxUnended = 16 * kMaxMessage;
  // What one receive may bring.
  static constexpr std::size_t kChunk = 1023;

  explicit StatusServer(uint16_t port = kPort);
  // Update thread. Waits at most the send time limit for a request in hand.
  ~StatusServer() override;

  // Before start: what a setDownloadRate request's rate (bytes per second, 0
  // for none) is given to, on the server thread. Without one the request is ignored.
  void onDownloadRate(std::function<void(uint64_t bytesPerSecond)> handler);

  // Update thread: pushes downloadStatus, downloadComplete and error messages.
  void statusChanged(UpdateStatus& status) override;
  // Server thread: listens, accepts one client, serves it until it goes.
  // Throws IOException when the socket cannot be set up.
  uint32_t run() override;
  // Server thread: one receive's bytes (at most kChunk, as recv gives them); a
  // request is handled when its NUL ends the bytes. False when the client has
  // sent more than kMaxUnended bytes without a NUL and must be dropped.
  bool receive(const char* bytes, std::size_t length);

 private:
  void serveClient(SocketHandle socket);
  void handleRequest(const std::string& text);
  void sendQueue();
  void reorderQueue(const std::vector<std::string>& names);
  void setDownloadRate(const std::string& rate, bool present);
  void send(const std::string& message);
  void dropClient(SocketHandle socket);

  // The message being received, and how much of an oversized one was skipped.
  std::string pending;
  std::size_t skipped = 0;

  std::function<void(uint64_t)> downloadRate;
  std::atomic<UpdateStatus*> status;
  // Serialises socket output and request handling; taken before the queue's lock.
  // It also guards the sockets below, so a stop never wakes a closed one.
  Mutex sendLock;
  // Where pushes go; kNoSocket before a client and once it is dropped.
  std::atomic<SocketHandle> client;
  // The sockets the server thread may block on, until it closes them.
  SocketHandle listener;
  SocketHandle connection;
  std::atomic<bool> stopping;
  uint16_t port;
};
