#include "status/StatusMessages.h"

#include <climits>
#include <cstdlib>

#include "support/XmlDoc.h"
#include "support/stringify.h"

namespace {
// A text as an attribute value; one without markup characters stays as it is.
std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string attribute(xmlNodePtr node, const char* name) {
  return XmlText(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name))).str();
}

int32_t number(const std::string& text) {
  long long value = std::strtoll(text.c_str(), nullptr, 10);
  return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
}

bool named(xmlNodePtr node, const char* name) {
  return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}
}  // namespace

std::string getQueueRequest() { return "<action name=\"getQueue\"/>"; }

std::string changeQueueRequest(const std::vector<std::string>& names) {
  std::string text = "<action name=\"changeQueue\">";
  for (const std::string& name : names) text += "<item name=\"" + escaped(name) + "\"/>";
  return text + "</action>";
}

std::string setDownloadRateRequest(uint64_t bytesPerSecond) {
  return "<action name=\"setDownloadRate\" rate=\"" + stringify(bytesPerSecond) + "\"/>";
}

std::string downloadQueueMessage(const ModuleList& queue) {
  std::string message = "<action name=\"downloadQueue\">\n";
  queue.forEach([&message](Module& module) {
    message += "\t<item name=\"" + escaped(module.name);
    message += module.state == Complete ? "\" done=\"true\" />\n" : "\"/>\n";
  });
  return message + "</action>\n";
}

std::string downloadStatusMessage(const std::string& name, int32_t percent, int32_t remaining) {
  return "<action name=\"downloadStatus\">\n\t<status currentfile=\"" + escaped(name) + "\" percentcomplete=\"" +
         stringify(percent) + "\" filesremaining=\"" + stringify(remaining) + "\" />\n</action>\n";
}

std::string downloadCompleteMessage(const std::string& name, int32_t remaining) {
  return "<action name=\"downloadComplete\">\n\t<status currentfile=\"" + escaped(name) + "\" filesremaining=\"" +
         stringify(remaining) + "\" />\n</action>\n";
}

std::string errorMessage(const std::string& text) {
  return "<action name=\"error\" message=\"" + escaped(text) + "\"/>";
}

StatusMessage readStatusMessage(const std::string& text) {
  StatusMessage message;
  if (text.size() > INT_MAX) return message;
  XmlDoc document(xmlReadMemoryQuietly(text.data(), static_cast<int>(text.size())));
  xmlNodePtr root = document ? xmlDocGetRootElement(document.get()) : nullptr;
  if (root == nullptr) return message;
  message.action = attribute(root, "name");
  message.errorText = attribute(root, "message");
  for (xmlNodePtr child = root->children; child != nullptr; child = child->next) {
    if (named(child, "item")) {
      message.items.push_back({attribute(child, "name"), attribute(child, "done") == "true"});
    } else if (named(child, "status")) {
      message.currentFile = attribute(child, "currentfile");
      message.remaining = number(attribute(child, "filesremaining"));
      message.percent = message.action == "downloadComplete" ? 100 : number(attribute(child, "percentcomplete"));
    }
  }
  return message;
}
