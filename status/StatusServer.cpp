#include "status/StatusServer.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "status/StatusMessages.h"
#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/XmlDoc.h"
#include "support/stringify.h"

namespace {
bool hasName(xmlNodePtr node, const char* name) {
  return xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

XmlText attribute(xmlNodePtr node, const char* name) {
  return XmlText(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
}
}  // namespace

StatusServer::StatusServer(uint16_t port)
    : status(nullptr),
      sendLock(),
      client(kNoSocket),
      listener(kNoSocket),
      connection(kNoSocket),
      stopping(false),
      port(port) {}

StatusServer::~StatusServer() {
  // Woken, the server thread ends by itself; it must be gone before the sockets
  // and the lock it uses.
  {
    MutexGuard guard(sendLock);
    stopping = true;
    // A request in hand then answers nobody instead of meeting a woken socket.
    client = kNoSocket;
    interruptSocket(listener);
    interruptSocket(connection);
  }
  wait(kInfinite);
  closeSocket(listener);
  closeSocket(connection);
}

void StatusServer::onDownloadRate(std::function<void(uint64_t)> handler) { downloadRate = std::move(handler); }

uint32_t StatusServer::run() {
  startSockets();
  SocketHandle waiting = listenOnLoopback(port);
  bool listening;
  {
    // Kept under the lock: a stop either finds the socket to wake or is seen here.
    MutexGuard guard(sendLock);
    listening = !stopping;
    if (listening) listener = waiting;
  }
  if (!listening) {
    closeSocket(waiting);
    return 0;
  }
  SocketHandle accepted = kNoSocket;
  try {
    accepted = acceptClient(waiting);
  } catch (const IOException&) {
    if (stopping) return 0;  // woken by the destructor: nothing failed
    throw;
  }
  bool serving;
  {
    // Only this one client is served: later connection attempts are refused.
    MutexGuard guard(sendLock);
    closeSocket(listener);
    listener = kNoSocket;
    serving = !stopping;
    if (serving) {
      connection = accepted;
      client = accepted;
    }
  }
  if (!serving) {
    closeSocket(accepted);
    return 0;
  }
  serveClient(accepted);
  return 0;
}

void StatusServer::serveClient(SocketHandle socket) {
  char buffer[kChunk];
  for (;;) {
    long received = receiveSome(socket, buffer, kChunk);
    if (received <= 0) break;  // closed by the client, failed, or dropped by a send
    if (!receive(buffer, static_cast<std::size_t>(received))) {
      logPrintf("dropped status client sending more than %u bytes without an end\n",
                static_cast<unsigned>(kMaxUnended));
      break;
    }
  }
  dropClient(socket);
}

bool StatusServer::receive(const char* bytes, std::size_t length) {
  if (length == 0) return true;
  // Up to the first NUL of these bytes: the message goes on there or ends there.
  const std::size_t text = static_cast<std::size_t>(std::find(bytes, bytes + length, '\0') - bytes);
  if (skipped == 0) pending.append(bytes, text);
  if (pending.size() > kMaxMessage) {
    // Skip the rest of this message without keeping it.
    skipped = pending.size();
    pending.clear();
  } else if (skipped != 0) {
    skipped += text;
  }
  if (skipped > kMaxUnended) return false;
  if (bytes[length - 1] != '\0') return true;
  if (skipped != 0) {
    logPrintf("ignored status request longer than %u bytes\n", static_cast<unsigned>(kMaxMessage));
  } else {
    handleRequest(pending);
  }
  pending.clear();
  skipped = 0;
  return true;
}

void StatusServer::dropClient(SocketHandle socket) {
  // A send that timed out has already taken the client away; the socket is
  // closed here either way, unless a stop has closed it (Winsock).
  MutexGuard guard(sendLock);
  SocketHandle served = socket;
  client.compare_exchange_strong(served, kNoSocket);
  closeSocket(connection);
  connection = kNoSocket;
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
  } else if (name.str() == "setDownloadRate" && downloadRate) {
    XmlText rate = attribute(root, "rate");
    setDownloadRate(rate.str(), rate.present());
  }
}

void StatusServer::setDownloadRate(const std::string& rate, bool present) {
  uint64_t bytesPerSecond = 0;
  if (!present || !parseUnsigned(rate, UINT64_MAX, bytesPerSecond)) {
    // Like any request the server cannot use: no answer, nothing changed.
    logPrintf("ignored setDownloadRate request without a valid rate\n");
    return;
  }
  downloadRate(bytesPerSecond);
}

void StatusServer::sendQueue() {
  UpdateStatus* current = status;
  if (current == nullptr) return;
  MutexGuard guard(sendLock);
  send(downloadQueueMessage(current->downloadQueue));
}

void StatusServer::reorderQueue(const std::vector<std::string>& names) {
  UpdateStatus* current = status;
  if (current == nullptr) return;
  MutexGuard guard(sendLock);
  // Each reposition puts its module right behind the first Pending one, so
  // working backwards leaves them there in the order the client gave.
  for (auto name = names.rbegin(); name != names.rend(); ++name) current->downloadQueue.reposition(*name);
}

void StatusServer::statusChanged(UpdateStatus& changed) {
  status = &changed;
  logPrintf("observed status change\n");
  if (client == kNoSocket) return;
  MutexGuard guard(sendLock);
  std::string message;
  if (!changed.errorText.empty()) {
    message = errorMessage(changed.errorText);
  } else if (changed.stage == DownloadingModule) {
    const ModuleList& queue = changed.downloadQueue;
    const auto remaining = static_cast<int32_t>(queue.count(true) + queue.count(false) - queue.countComplete(true) -
                                                queue.countComplete(false));
    std::string name = changed.subject != nullptr ? changed.subject->name : std::string();
    message = changed.progress >= 100 ? downloadCompleteMessage(name, remaining - 1)
                                      : downloadStatusMessage(name, changed.progress, remaining);
  }
  if (!message.empty()) send(message);
}

void StatusServer::send(const std::string& message) {
  // Read again under sendLock: the server thread drops a closed client under it.
  SocketHandle socket = client;
  if (socket == kNoSocket || sendBytes(socket, message.c_str(), message.size() + 1)) return;
  // A client that does not read must not hold up the run: it is cut off here,
  // which also ends the server thread's receive; that thread closes the socket.
  client = kNoSocket;
  shutdownSocket(socket);
  logPrintf("dropped status client that does not read\n");
}
