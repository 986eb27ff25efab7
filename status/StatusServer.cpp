#include "status/StatusServer.h"

#include <cstring>
#include <vector>

#include "status/StatusMessages.h"
#include "support/Log.h"
#include "support/XmlDoc.h"

namespace {
constexpr std::size_t kChunk = 1023;

bool hasName(xmlNodePtr node, const char* name) {
  return xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

XmlText attribute(xmlNodePtr node, const char* name) {
  return XmlText(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
}
}  // namespace

StatusServer::StatusServer(uint16_t port)
    : status(nullptr), sendLock(), client(kNoSocket), listener(kNoSocket), port(port) {}

StatusServer::~StatusServer() {
  // The thread must be gone before the sockets and the lock it uses.
  terminate();
  wait(kInfinite);
  closeSocket(listener.exchange(kNoSocket));
  closeSocket(client.exchange(kNoSocket));
}

uint32_t StatusServer::run() {
  startSockets();
  listener = listenOnLoopback(port);
  SocketHandle accepted = acceptClient(listener);
  client = accepted;
  // Only this one client is served: later connection attempts are refused.
  closeSocket(listener.exchange(kNoSocket));
  serveClient();
  return 0;
}

void StatusServer::serveClient() {
  char buffer[kChunk + 1];
  std::string pending;
  bool oversized = false;
  for (;;) {
    long received = receiveSome(client, buffer, kChunk);
    if (received <= 0) break;  // closed by the client, or failed
    buffer[received] = '\0';
    if (!oversized) pending.append(buffer, std::strlen(buffer));
    if (pending.size() > kMaxMessage) {
      // Skip the rest of this message without keeping it.
      pending.clear();
      oversized = true;
    }
    if (buffer[received - 1] != '\0') continue;
    if (oversized) {
      logPrintf("ignored status request longer than %u bytes\n", static_cast<unsigned>(kMaxMessage));
    } else {
      handleRequest(pending);
    }
    pending.clear();
    oversized = false;
  }
  dropClient();
}

void StatusServer::dropClient() {
  sendLock.lock();
  closeSocket(client.exchange(kNoSocket));
  sendLock.unlock();
}

void StatusServer::handleRequest(const std::string& text) {
  XmlDoc document(xmlReadMemoryQuietly(text.data(), static_cast<int>(text.size())));
  xmlNodePtr root = document ? xmlDocGetRootElement(document.get()) : nullptr;
  XmlText name(root != nullptr ? xmlGetProp(root, reinterpret_cast<const xmlChar*>("name")) : nullptr);
  if (!name.present()) {
    logPrintf("ignored status request without a name\n");
    return;
  }
  if (name.str() == "getQueue") {
    sendQueue();
  } else if (name.str() == "changeQueue") {
    logPrintf("received changeQueue message\n");
    std::vector<std::string> names;
    for (xmlNodePtr child = root->children; child != nullptr; child = child->next) {
      if (child->type != XML_ELEMENT_NODE || !hasName(child, "item")) continue;
      XmlText item = attribute(child, "name");
      if (item.present()) names.push_back(item.str());
    }
    reorderQueue(names);
  }
}

void StatusServer::sendQueue() {
  UpdateStatus* current = status;
  if (current == nullptr) return;
  sendLock.lock();
  try {
    send(downloadQueueMessage(current->downloadQueue));
  } catch (...) {
    sendLock.unlock();
    throw;
  }
  sendLock.unlock();
}

void StatusServer::reorderQueue(const std::vector<std::string>& names) {
  UpdateStatus* current = status;
  if (current == nullptr) return;
  sendLock.lock();
  try {
    // Each reposition puts its module right behind the first Pending one, so
    // working backwards leaves them there in the order the client gave.
    for (auto name = names.rbegin(); name != names.rend(); ++name) current->downloadQueue.reposition(*name);
  } catch (...) {
    sendLock.unlock();
    throw;
  }
  sendLock.unlock();
}

void StatusServer::statusChanged(UpdateStatus& changed) {
  status = &changed;
  logPrintf("observed status change\n");
  if (client == kNoSocket) return;
  sendLock.lock();
  try {
    std::string message;
    if (!changed.errorText.empty()) {
      message = errorMessage(changed.errorText);
    } else if (changed.stage == DownloadingModule) {
      int32_t remaining = 0;
      changed.downloadQueue.forEach([&remaining](Module& module) {
        if (module.state != Complete) ++remaining;
      });
      std::string name = changed.subject != nullptr ? changed.subject->name : std::string();
      message = changed.progress >= 100 ? downloadCompleteMessage(name, remaining - 1)
                                        : downloadStatusMessage(name, changed.progress, remaining);
    }
    if (!message.empty()) send(message);
  } catch (...) {
    sendLock.unlock();
    throw;
  }
  sendLock.unlock();
}

void StatusServer::send(const std::string& message) {
  // Read again under sendLock: the server thread drops a closed client under it.
  SocketHandle socket = client;
  if (socket != kNoSocket) sendBytes(socket, message.c_str(), message.size() + 1);
}
