#include "status/StatusClient.h"

#include <chrono>
#include <thread>

namespace {
typedef std::chrono::steady_clock Clock;

// Milliseconds left until the deadline, for a wait of at most timeout.
uint32_t remaining(Clock::time_point start, uint32_t timeout) {
  if (timeout == StatusClient::kForever) return StatusClient::kForever;
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  return spent >= timeout ? 0 : timeout - static_cast<uint32_t>(spent);
}
}  // namespace

StatusClient::StatusClient(uint16_t port, uint32_t patience) : socket(kNoSocket) {
  startSockets();
  Clock::time_point start = Clock::now();
  socket = connectToLoopback(port);
  while (socket == kNoSocket && remaining(start, patience) > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    socket = connectToLoopback(port);
  }
}

StatusClient::~StatusClient() { close(); }

bool StatusClient::sendBytes(const std::string& bytes) { return ::sendBytes(socket, bytes.data(), bytes.size()); }

StatusClient::Reading StatusClient::readMessage(std::string& message, uint32_t timeout) {
  Clock::time_point start = Clock::now();
  for (;;) {
    std::size_t end = received.find('\0');
    if (end != std::string::npos) {
      message = received.substr(0, end);
      received.erase(0, end + 1);
      return Read;
    }
    // Waits in slices, so that a wait "forever" needs no special case.
    uint32_t left = remaining(start, timeout);
    if (left == 0) return TimedOut;
    if (!waitForData(socket, left < 1000 ? left : 1000)) continue;
    char buffer[4096];
    long count = receiveSome(socket, buffer, sizeof buffer);
    if (count <= 0) return Closed;
    received.append(buffer, static_cast<std::size_t>(count));
  }
}

void StatusClient::abort() {
  abortConnection(socket);
  socket = kNoSocket;
}

void StatusClient::close() {
  closeSocket(socket);
  socket = kNoSocket;
}
