// The status server's receiving side: the bytes a local client sends, in the
// pieces recv hands over, with the requests they carry handled on a live queue.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "status/StatusServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  UpdateStatus status;
  for (const char* name : {"p", "q", "r&s", "t"}) {
    Module* module = status.downloadQueue.add(std::make_unique<Module>(name, "1", nullptr, nullptr, nullptr, nullptr, nullptr));
    if (module->name == "p") module->state = Fetching;
  }
  StatusServer server;
  server.statusChanged(status);  // no client: nothing is sent
  // The first byte sets the piece size, as the network would split the stream.
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % StatusServer::kChunk;
  for (std::size_t at = 1; at < size; at += piece)
    if (!server.receive(reinterpret_cast<const char*>(data) + at, std::min(piece, size - at))) break;
  if (status.downloadQueue.size() != 4) std::abort();
  return 0;
}
