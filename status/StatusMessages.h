#pragma once
// The status port's messages, for the server and its clients alike: NUL-ended
// XML texts. Inserted values are escaped (& < > " '), so a name without those
// characters goes out byte for byte as it always has.
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/ModuleList.h"

// Client to server.
std::string getQueueRequest();
std::string changeQueueRequest(const std::vector<std::string>& names);
std::string setDownloadRateRequest(uint64_t bytesPerSecond);

// Server to client, without the NUL.
std::string downloadQueueMessage(const ModuleList& queue);
std::string downloadStatusMessage(const std::string& name, int32_t percent, int32_t remaining);
std::string downloadCompleteMessage(const std::string& name, int32_t remaining);
std::string errorMessage(const std::string& text);

// A server message as a client reads it.
struct StatusMessage {
  struct Item {
    std::string name;
    bool done;
  };
  // The root's "name": "downloadQueue", "downloadStatus", "downloadComplete",
  // "error", or whatever a newer server sends; empty when the text is not XML.
  std::string action;
  std::vector<Item> items;        // downloadQueue
  std::string currentFile;        // downloadStatus, downloadComplete
  int32_t percent = -1;           // downloadStatus; 100 for downloadComplete
  int32_t remaining = -1;         // downloadStatus, downloadComplete
  std::string errorText;          // error
};
StatusMessage readStatusMessage(const std::string& text);
