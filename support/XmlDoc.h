#pragma once
// Owners for what libxml2 hands out, so every way out releases it.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <string>

class XmlDoc {
 public:
  explicit XmlDoc(xmlDocPtr document = nullptr) : doc(document) {}
  ~XmlDoc() {
    if (doc != nullptr) xmlFreeDoc(doc);
  }
  XmlDoc(const XmlDoc&) = delete;
  XmlDoc& operator=(const XmlDoc&) = delete;
  xmlDocPtr get() const { return doc; }
  explicit operator bool() const { return doc != nullptr; }

 private:
  xmlDocPtr doc;
};

class XmlText {
 public:
  explicit XmlText(xmlChar* text) : value(text) {}
  ~XmlText() {
    if (value != nullptr) xmlFree(value);
  }
  XmlText(const XmlText&) = delete;
  XmlText& operator=(const XmlText&) = delete;
  bool present() const { return value != nullptr; }
  // The text, or nullptr when libxml2 gave none.
  const char* c_str() const { return reinterpret_cast<const char*>(value); }
  std::string str() const { return value != nullptr ? c_str() : std::string(); }

 private:
  xmlChar* value;
};

// Parsing options: libxml2's defaults, minus its own reports on standard error
// (the caller's exception is the one report) and any network access.
constexpr int kXmlReadOptions = XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NONET;

// moreOptions adds to those, e.g. XML_PARSE_COMPACT for a tree that is only read.
inline xmlDocPtr xmlReadFileQuietly(const char* path, int moreOptions = 0) {
  return xmlReadFile(path, nullptr, kXmlReadOptions | moreOptions);
}
inline xmlDocPtr xmlReadMemoryQuietly(const char* bytes, int length, int moreOptions = 0) {
  return xmlReadMemory(bytes, length, nullptr, nullptr, kXmlReadOptions | moreOptions);
}

// While it lives, libxml2's own error reports on this thread go nowhere: for the
// calls that take no parsing options, such as xmlSaveFormatFile.
class XmlQuietErrors {
 public:
  XmlQuietErrors() : context(xmlGenericErrorContext), handler(xmlGenericError) {
    xmlSetGenericErrorFunc(nullptr, &XmlQuietErrors::ignore);
  }
  ~XmlQuietErrors() { xmlSetGenericErrorFunc(context, handler); }
  XmlQuietErrors(const XmlQuietErrors&) = delete;
  XmlQuietErrors& operator=(const XmlQuietErrors&) = delete;

 private:
  static void ignore(void*, const char*, ...) {}
  void* context;
  xmlGenericErrorFunc handler;
};
