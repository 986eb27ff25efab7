#include "settings/MaintenanceReport.h"

#include <climits>

#include "net/URL.h"
#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/XmlDoc.h"

void MaintenanceReport::query(const std::string& url) {
  // A failed query leaves exactly a fresh report, whatever was here before.
  successful = false;
  status.clear();
  message.clear();
  try {
    std::string answer;
    URL(url).fetchToString(answer);
    read(answer);
  } catch (const IOException& e) {
    logPrintf("error contacting commMainMgr '%s': %s\n", url.c_str(), e.c_str());
  } catch (const XmlException& e) {
    // The exception's text says what was wrong; the URL is already in the log.
    logPrintf("error parsing commMainMgr response: %s\n", e.c_str());
  }
}

void MaintenanceReport::read(const std::string& answer) {
  if (answer.size() > static_cast<std::size_t>(INT_MAX)) throw XmlException("XML parse error");
  XmlDoc doc(xmlReadMemoryQuietly(answer.data(), static_cast<int>(answer.size())));
  if (!doc) throw XmlException("XML parse error");
  xmlNodePtr root = xmlDocGetRootElement(doc.get());
  if (root == nullptr) throw XmlException("XML parse error");

  bool believed = false;
  std::string newStatus;
  std::string newMessage;
  for (xmlNodePtr node = root->children; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE || xmlStrcmp(node->name, BAD_CAST "parameter") != 0) continue;
    XmlText name(xmlGetProp(node, BAD_CAST "name"));
    if (!name.present()) continue;
    XmlText content(xmlNodeGetContent(node));
    const std::string value = content.str();
    if (name.str() == "successful")
      believed = value == "true";
    else if (name.str() == "status")
      newStatus = value;
    else if (name.str() == "message")
      newMessage = value;
  }
  successful = believed;
  status = newStatus;
  message = newMessage;
  logPrintf("successful = %s\n", successful ? "true" : "false");
  logPrintf("status = %s\n", status.c_str());
  logPrintf("message = %s\n", message.c_str());
}
