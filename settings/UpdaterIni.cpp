#include "settings/UpdaterIni.h"

#include <cerrno>
#include <cstring>

#include "support/Exceptions.h"
#include "support/XmlDoc.h"

namespace {
const std::string emptyText;
}

UpdaterIni::UpdaterIni() {
  errno = 0;
  XmlDoc doc(xmlReadFileQuietly("UpdaterIni.xml"));
  if (!doc) {
    // A file that opens but does not parse leaves errno alone; "Success" would
    // say the opposite of what happened.
    const char* reason = errno != 0 ? std::strerror(errno) : "XML parse error";
    throw IOException(std::string("UpdaterIni.xml: ") + reason);
  }
  xmlNodePtr root = xmlDocGetRootElement(doc.get());
  if (root == nullptr || xmlStrcmp(root->name, BAD_CAST "UpdaterIni") != 0) return;
  for (xmlNodePtr node = root->children; node != nullptr; node = node->next) {
    // A CDATA section has no name to file its text under.
    if (xmlNodeIsText(node) || node->name == nullptr) continue;
    XmlText content(xmlNodeGetContent(node));
    values[reinterpret_cast<const char*>(node->name)] = content.str();
  }
}

const std::string& UpdaterIni::get(const std::string& key) const {
  auto found = values.find(key);
  return found == values.end() ? emptyText : found->second;
}

void UpdaterIni::set(const std::string& key, const std::string& value) { values[key] = value; }
