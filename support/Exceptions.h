#pragma once
// Every failure travels as one of these. Each is a string holding its message,
// so a handler for std::string catches all of them.
#include <string>

#define UPDATER_STRING_EXCEPTION(Name, Base)              \
  class Name : public Base {                              \
   public:                                                \
    Name(const char* text) : Base(text) {}                \
    Name(const std::string& text) : Base(text) {}         \
  };

UPDATER_STRING_EXCEPTION(XmlException, std::string)
UPDATER_STRING_EXCEPTION(IOException, std::string)
UPDATER_STRING_EXCEPTION(FileNotFoundException, IOException)
UPDATER_STRING_EXCEPTION(ConversionError, std::string)
UPDATER_STRING_EXCEPTION(ThreadException, std::string)
UPDATER_STRING_EXCEPTION(MutexException, std::string)

#undef UPDATER_STRING_EXCEPTION
