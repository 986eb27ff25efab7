#include "tests/StatusClient.h"

namespace testing_support {

StatusClient::~StatusClient() { close(); }

bool StatusClient::sendBytes(const std::string& bytes) { return ::sendBytes(socket, bytes.data(), bytes.size()); }

bool StatusClient::readMessage(std::string& message) {
  for (;;) {
    std::size_t end = received.find('\0');
    if (end != std::string::npos) {
      message = received.substr(0, end);
      received.erase(0, end + 1);
      return true;
    }
    char buffer[4096];
    long count = receiveSome(socket, buffer, sizeof buffer);
    if (count <= 0) return false;
    received.append(buffer, static_cast<std::size_t>(count));
  }
}

void StatusClient::close() {
  closeSocket(socket);
  socket = kNoSocket;
}

}  // namespace testing_support
