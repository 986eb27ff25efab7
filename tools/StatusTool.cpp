#include "tools/StatusTool.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "status/StatusClient.h"
#include "status/StatusServer.h"
#include "support/Exceptions.h"
#include "support/stringify.h"

namespace {

const char* const kUsage =
    "usage: updater-status [--port N] [--wait SECONDS] [--timeout SECONDS] [--raw] COMMAND\n"
    "  queue                  print the download queue\n"
    "  prioritize NAME...     move waiting modules to the front, in this order\n"
    "  rate BYTES_PER_SECOND  limit the download rate (0 lifts the limit)\n"
    "  watch                  print each progress message until the run ends\n"
    "  --watch after queue, prioritize or rate: watch afterwards\n"
    "  --wait: how long to wait for an updater to listen (default: not at all)\n"
    "  --timeout: how long to wait for an answer (default 10)\n"
    "exit codes: 0 done, 1 no updater listening (or no answer), 2 bad usage,\n"
    "  3 the updater reported an error while watched\n";

constexpr int kBarWidth = 20;

struct Options {
  uint16_t port = StatusServer::kPort;
  uint32_t timeoutMs = 10000;
  uint32_t patienceMs = 0;
  bool raw = false;
  bool watch = false;
  std::string command;
  std::vector<std::string> operands;
};

bool parse(const std::vector<std::string>& arguments, Options& options, std::ostream& err) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    uint64_t value = 0;
    bool hasValue = i + 1 < arguments.size();
    if (argument == "--raw") {
      options.raw = true;
    } else if (argument == "--watch") {
      options.watch = true;
    } else if (argument == "--port" || argument == "--timeout" || argument == "--wait") {
      bool isPort = argument == "--port";
      if (!hasValue || !parseUnsigned(arguments[i + 1], isPort ? 65535 : 86400, value) || (isPort && value == 0)) {
        err << "updater-status: " << argument << " needs a number " << (isPort ? "from 1 to 65535" : "of seconds")
            << "\n";
        return false;
      }
      ++i;
      if (isPort) {
        options.port = static_cast<uint16_t>(value);
      } else {
        (argument == "--wait" ? options.patienceMs : options.timeoutMs) = static_cast<uint32_t>(value * 1000);
      }
    } else if (argument.size() > 1 && argument[0] == '-' && options.command.empty()) {
      err << "updater-status: unknown option " << argument << "\n";
      return false;
    } else if (options.command.empty()) {
      options.command = argument;
    } else {
      options.operands.push_back(argument);
    }
  }
  const std::string& command = options.command;
  bool fits = (command == "queue" && options.operands.empty()) ||
              (command == "watch" && options.operands.empty()) ||
              (command == "prioritize" && !options.operands.empty()) ||
              (command == "rate" && options.operands.size() == 1);
  if (!fits) {
    if (!command.empty()) err << "updater-status: wrong use of \"" << command << "\"\n";
    return false;
  }
  uint64_t rate = 0;
  if (command == "rate" && !parseUnsigned(options.operands[0], UINT64_MAX, rate)) {
    err << "updater-status: the rate is a whole number of bytes per second\n";
    return false;
  }
  return true;
}

class Session {
 public:
  Session(const Options& options, std::ostream& out, std::ostream& err)
      : options(options), out(out), err(err), client(options.port, options.patienceMs) {}

  bool connected() {
    if (client.connected()) return true;
    err << "updater-status: no updater listening on 127.0.0.1:" << options.port
        << " (it serves one client per run)\n";
    return false;
  }

  void send(const std::string& text) {
    if (options.raw) out << "> " << escapedBytes(text + std::string(1, '\0')) << "\n" << std::flush;
    client.sendMessage(text);
  }

  // The next message; false (with the reason told) when none came.
  bool receive(std::string& message, uint32_t timeout) {
    StatusClient::Reading reading = client.readMessage(message, timeout);
    if (reading == StatusClient::Read) {
      if (options.raw) out << "< " << escapedBytes(message + std::string(1, '\0')) << "\n" << std::flush;
      return true;
    }
    if (reading == StatusClient::TimedOut) err << "updater-status: no answer from the updater\n";
    return false;
  }

  // The queue, asked for; false (with the reason told) when no answer came.
  bool fetchQueue(StatusMessage& queue) {
    send(getQueueRequest());
    std::string text;
    // Pushed progress messages may come first.
    while (receive(text, options.timeoutMs)) {
      queue = readStatusMessage(text);
      if (queue.action == "downloadQueue") return true;
    }
    err << "updater-status: the updater did not answer (it answers once its run has begun)\n";
    return false;
  }

  int queue() {
    StatusMessage queue;
    if (!fetchQueue(queue)) return kStatusNoUpdater;
    if (!options.raw) {
      for (const StatusMessage::Item& item : queue.items)
        out << (item.done ? "done    " : "queued  ") << item.name << "\n";
    }
    return kStatusOk;
  }

  // The queue is asked for first: a reorder sent before the run has begun would
  // be dropped unanswered, and names it does not hold deserve a word.
  int prioritize() {
    StatusMessage queue;
    if (!fetchQueue(queue)) return kStatusNoUpdater;
    for (const std::string& name : options.operands) {
      auto item = std::find_if(queue.items.begin(), queue.items.end(),
                               [&name](const StatusMessage::Item& each) { return each.name == name; });
      if (item == queue.items.end()) err << "updater-status: not in the queue: " << name << "\n";
      if (item != queue.items.end() && item->done) err << "updater-status: already done: " << name << "\n";
    }
    send(changeQueueRequest(options.operands));
    return kStatusOk;
  }

  int watch() {
    std::string text;
    while (receive(text, StatusClient::kForever)) {
      StatusMessage message = readStatusMessage(text);
      if (!options.raw) out << describeStatusMessage(message, text) << "\n" << std::flush;
      if (message.action == "error") return kStatusRunError;
    }
    return kStatusOk;
  }

 private:
  const Options& options;
  std::ostream& out;
  std::ostream& err;
  StatusClient client;
};

std::string bar(int32_t percent) {
  int filled = percent <= 0 ? 0 : percent >= 100 ? kBarWidth : percent * kBarWidth / 100;
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "]";
}

}  // namespace

std::string escapedBytes(const std::string& bytes) {
  std::string text;
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c == '\0') {
      text += "\\0";
    } else if (byte < 0x20 || byte == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      text += hex;
    } else {
      text += c;
    }
  }
  return text;
}

std::string describeStatusMessage(const StatusMessage& message, const std::string& text) {
  if (message.action == "downloadStatus" || message.action == "downloadComplete") {
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(message.percent));
    return message.currentFile + "  " + percent + " " + bar(message.percent) + "  " +
           std::to_string(message.remaining) + (message.remaining == 1 ? " file" : " files") + " remaining";
  }
  if (message.action == "error") return "error: " + message.errorText;
  // Whatever a newer updater may send, shown as it came.
  return escapedBytes(text);
}

int runStatusTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  Options options;
  if (!parse(arguments, options, err)) {
    err << kUsage;
    return kStatusUsage;
  }
  try {
    Session session(options, out, err);
    if (!session.connected()) return kStatusNoUpdater;
    int result = kStatusOk;
    if (options.command == "queue") {
      result = session.queue();
    } else if (options.command == "prioritize") {
      result = session.prioritize();
    } else if (options.command == "rate") {
      uint64_t rate = 0;
      parseUnsigned(options.operands[0], UINT64_MAX, rate);
      session.send(setDownloadRateRequest(rate));
    }
    if (result == kStatusOk && (options.watch || options.command == "watch")) result = session.watch();
    return result;
  } catch (const std::string& failure) {
    err << "updater-status: " << failure << "\n";
    return kStatusNoUpdater;
  }
}
