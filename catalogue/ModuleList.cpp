#include "catalogue/ModuleList.h"

#include <climits>
#include <cstdio>
#include <iterator>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "support/Exceptions.h"
#include "support/FreshFile.h"
#include "support/Log.h"
#include "support/XmlDoc.h"

namespace {

typedef std::vector<std::unique_ptr<Module>> Records;

bool isElementNamed(xmlNodePtr node, const char* name) {
  return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, BAD_CAST name) == 0;
}

// The first "modules" or "downloadFiles" element, depth-first in document order,
// the root itself first. Iterative: the depth of a document is the parser's business.
xmlNodePtr findContainer(xmlNodePtr root) {
  xmlNodePtr node = root;
  while (node != nullptr) {
    if (isElementNamed(node, "modules") || isElementNamed(node, "downloadFiles")) return node;
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
      node = node->children;
      continue;
    }
    while (node != root && node->next == nullptr) node = node->parent;
    if (node == root) return nullptr;
    node = node->next;
  }
  return nullptr;
}

// The attributes a record is built from, in the order of Module's constructor,
// then "sha256", which the record takes after construction.
const char* const kAttributeNames[] = {"name",     "version",       "url",           "md5sum",
                                       "critical", "forceReadOnly", "contentLength", "sha256"};
constexpr int kAttributeCount = sizeof kAttributeNames / sizeof kAttributeNames[0];

// The values xmlGetProp would give, read in place where the parser left a plain
// text (the usual case), so a large list costs no copy per attribute.
class ModuleAttributes {
 public:
  explicit ModuleAttributes(xmlNodePtr element) {
    for (int i = 0; i < kAttributeCount; ++i) values[i] = nullptr;
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
      for (int i = 0; i < kAttributeCount; ++i) {
        if (values[i] != nullptr || xmlStrcmp(attribute->name, BAD_CAST kAttributeNames[i]) != 0) continue;
        xmlNodePtr text = attribute->children;
        if (text == nullptr) {
          values[i] = "";
        } else if (text->type == XML_TEXT_NODE && text->next == nullptr && text->content != nullptr) {
          values[i] = reinterpret_cast<const char*>(text->content);
        } else {
          values[i] = keep(xmlNodeListGetString(element->doc, text, 1), "");
        }
        break;
      }
    }
    // Defaults declared in a DTD count too, as with xmlGetProp.
    if (element->doc->intSubset != nullptr || element->doc->extSubset != nullptr) {
      for (int i = 0; i < kAttributeCount; ++i) {
        if (values[i] == nullptr) values[i] = keep(xmlGetProp(element, BAD_CAST kAttributeNames[i]), nullptr);
      }
    }
  }
  const char* operator[](int i) const { return values[i]; }

 private:
  const char* keep(xmlChar* text, const char* whenNone) {
    if (text == nullptr) return whenNone;
    copies.emplace_back(new XmlText(text));
    return copies.back()->c_str();
  }
  const char* values[kAttributeCount];
  std::vector<std::unique_ptr<XmlText>> copies;
};

// Builds the records of a parsed document, before the list is touched, so a
// failure leaves the list as it was.
Records recordsOf(const XmlDoc& doc) {
  xmlNodePtr root = xmlDocGetRootElement(doc.get());
  if (root == nullptr) throw XmlException("Malformed XML");
  xmlNodePtr container = findContainer(root);
  if (container == nullptr) throw XmlException("Malformed XML");
  Records records;
  std::size_t count = 0;
  for (xmlNodePtr node = container->children; node != nullptr; node = node->next) {
    if (isElementNamed(node, "module")) ++count;
  }
  records.reserve(count);
  for (xmlNodePtr node = container->children; node != nullptr; node = node->next) {
    if (!isElementNamed(node, "module")) continue;
    ModuleAttributes attributes(node);
    // A record without a name has no key and no file: it is skipped. A missing
    // version reads as an empty text, that is (0, 0).
    if (attributes[0] == nullptr) continue;
    records.emplace_back(new Module(attributes[0], attributes[1], attributes[2], attributes[3], attributes[4],
                                    attributes[5], attributes[6]));
    if (attributes[7] != nullptr) records.back()->sha256 = attributes[7];
  }
  return records;
}

}  // namespace

ModuleList::ModuleList()
    : records(),
      index(),
      pendingHint(),
      pendingHintValid{false, false, false},
      kindCount{0, 0},
      fetched{0, 0},
      complete{0, 0},
      countsValid(false),
      lock() {}

// Delegating: should addAll throw, the finished target constructor means the
// destructor runs and frees what was added.
ModuleList::ModuleList(const ModuleList& other) : ModuleList() { addAll(other); }

void ModuleList::readFile(const std::string& path) {
  XmlDoc doc(xmlReadFileQuietly(path.c_str(), XML_PARSE_COMPACT));
  if (!doc) throw XmlException("XML parse error");
  addOwned(recordsOf(doc));
}

void ModuleList::readMemory(const char* bytes, std::size_t length) {
  if (length > static_cast<std::size_t>(INT_MAX)) throw XmlException("XML parse error");
  XmlDoc doc(xmlReadMemoryQuietly(bytes, static_cast<int>(length), XML_PARSE_COMPACT));
  if (!doc) throw XmlException("XML parse error");
  addOwned(recordsOf(doc));
}

void ModuleList::addOwned(std::vector<std::unique_ptr<Module>> modules) {
  MutexGuard guard(lock);
  for (std::unique_ptr<Module>& module : modules) add(std::move(module));
}

void ModuleList::writeFile(const std::string& path, Format format) const {
  XmlDoc doc(xmlNewDoc(BAD_CAST "1.0"));
  if (!doc) throw std::bad_alloc();
  xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "modules");
  if (root == nullptr) throw std::bad_alloc();
  xmlDocSetRootElement(doc.get(), root);
  {
    MutexGuard guard(lock);
    for (const std::unique_ptr<Module>& module : records) {
      xmlNodePtr element = xmlNewNode(nullptr, BAD_CAST "module");
      if (element == nullptr) throw std::bad_alloc();
      xmlAddChild(root, element);
      std::vector<std::pair<const char*, std::string>> attributes = {{"name", module->name},
                                                                      {"version", module->version.text}};
      if (format == Published) attributes.emplace_back("url", module->url);
      if (!module->md5sum.empty()) attributes.emplace_back("md5sum", module->md5sum);
      if (!module->sha256.empty()) attributes.emplace_back("sha256", module->sha256);
      if (format == Published) {
        attributes.emplace_back("contentLength", std::to_string(module->contentLength));
        attributes.emplace_back("critical", module->critical ? "true" : "false");
        attributes.emplace_back("forceReadOnly", module->forceReadOnly ? "true" : "false");
      }
      for (const auto& attribute : attributes) {
        if (xmlNewProp(element, BAD_CAST attribute.first, BAD_CAST attribute.second.c_str()) == nullptr)
          throw std::bad_alloc();
      }
    }
  }
  // The document is the list's snapshot now: the file is written without the lock.
  // Created fresh: a link planted under the name is replaced, not written through.
  FILE* file = openFreshFile(path, false);
  if (file == nullptr) throw IOException("xmlSaveFormatFile failed");
  int written;
  {
    XmlQuietErrors quiet;  // the exception is the one report
    written = xmlDocFormatDump(file, doc.get(), 1);
  }
  bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  if (std::fclose(file) != 0) flushed = false;
  if (written == -1 || !flushed) throw IOException("xmlSaveFormatFile failed");
}

Module* ModuleList::add(std::unique_ptr<Module> module) {
  if (!module) return nullptr;
  Module* added = module.get();
  MutexGuard guard(lock);
  // One search serves both the replacement and the insertion.
  auto slot = index.lower_bound(added->name);
  bool present = slot != index.end() && slot->first == added->name;
  records.push_back(std::move(module));
  Cursor placed = std::prev(records.end());
  if (present) {
    records.erase(slot->second);
    slot->second = placed;
  } else {
    try {
      index.emplace_hint(slot, added->name, placed);
    } catch (...) {
      records.pop_back();
      throw;
    }
  }
  forgetPendingHints();
  return added;
}

void ModuleList::addAll(const ModuleList& other) {
  // Copies under the other list's lock, adds under this one's: never both at once.
  std::vector<std::unique_ptr<Module>> copies;
  {
    MutexGuard guard(other.lock);
    copies.reserve(other.records.size());
    for (const std::unique_ptr<Module>& module : other.records) copies.push_back(std::make_unique<Module>(*module));
  }
  addOwned(std::move(copies));
}

void ModuleList::clear() {
  MutexGuard guard(lock);
  records.clear();
  index.clear();
  forgetPendingHints();
}

Module* ModuleList::find(const std::string& name) const {
  MutexGuard guard(lock);
  auto found = index.find(name);
  return found != index.end() ? found->second->get() : nullptr;
}

std::size_t ModuleList::size() const {
  MutexGuard guard(lock);
  return records.size();
}

void ModuleList::forEach(const std::function<void(Module&)>& visitor) const {
  MutexGuard guard(lock);
  for (const std::unique_ptr<Module>& module : records) visitor(*module);
}

void ModuleList::reposition(const std::string& name) {
  MutexGuard guard(lock);
  Cursor first = firstPending(kAnyKind);
  auto found = index.find(name);
  if (first == records.end() || std::next(first) == records.end() || found == index.end()) return;
  Cursor moving = found->second;
  ModuleState state = (*moving)->state;
  if (state != Pending) {
    logPrintf("couldn't reposition %s in state %d\n", name.c_str(), static_cast<int>(state));
    return;
  }
  Cursor behind = std::next(first);
  if (moving != first && moving != behind) {
    // Relinked, not copied: the hints stay where they stand.
    records.splice(behind, records, moving);
    // The moved record may now stand before its kind's hint; nothing before
    // the first Pending record is Pending, so the search for its kind may
    // start there.
    PendingKind kind = (*moving)->critical ? kCritical : kNonCritical;
    pendingHint[kind] = first;
    pendingHintValid[kind] = true;
  }
  logPrintf("repositioned %s\n", name.c_str());
}

Module* ModuleList::takeNext(bool critical) {
  MutexGuard guard(lock);
  Cursor at = firstPending(critical ? kCritical : kNonCritical);
  if (at == records.end()) return nullptr;
  (*at)->state = Fetching;
  return at->get();
}

void ModuleList::setState(Module& module, ModuleState state) {
  MutexGuard guard(lock);
  if (countsValid) {
    const PendingKind kind = module.critical ? kCritical : kNonCritical;
    fetched[kind] += static_cast<std::size_t>(state >= Fetched) - static_cast<std::size_t>(module.state >= Fetched);
    complete[kind] += static_cast<std::size_t>(state == Complete) - static_cast<std::size_t>(module.state == Complete);
  }
  module.state = state;
}

std::size_t ModuleList::count(bool critical) const {
  MutexGuard guard(lock);
  countIfNeeded();
  return kindCount[critical ? kCritical : kNonCritical];
}

std::size_t ModuleList::countFetched(bool critical) const {
  MutexGuard guard(lock);
  countIfNeeded();
  return fetched[critical ? kCritical : kNonCritical];
}

std::size_t ModuleList::countComplete(bool critical) const {
  MutexGuard guard(lock);
  countIfNeeded();
  return complete[critical ? kCritical : kNonCritical];
}

void ModuleList::countIfNeeded() const {
  if (countsValid) return;
  for (std::size_t* counts : {kindCount, fetched, complete}) counts[kNonCritical] = counts[kCritical] = 0;
  for (const std::unique_ptr<Module>& module : records) {
    const PendingKind kind = module->critical ? kCritical : kNonCritical;
    ++kindCount[kind];
    if (module->state >= Fetched) ++fetched[kind];
    if (module->state == Complete) ++complete[kind];
  }
  countsValid = true;
}

ModuleList::Cursor ModuleList::firstPending(PendingKind kind) {
  Cursor at = pendingHintValid[kind] ? pendingHint[kind] : records.begin();
  for (; at != records.end(); ++at) {
    const Module& module = **at;
    if (module.state == Pending && (kind == kAnyKind || module.critical == (kind == kCritical))) break;
  }
  pendingHint[kind] = at;
  pendingHintValid[kind] = true;
  return at;
}

void ModuleList::forgetPendingHints() {
  for (bool& valid : pendingHintValid) valid = false;
  countsValid = false;
}
