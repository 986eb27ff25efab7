#pragma once
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <string>

#include "catalogue/Module.h"
#include "support/Mutex.h"

// An insertion-ordered, name-indexed list of owned Module records, guarded by its
// own recursive mutex because the download queue is shared with the status
// server's thread. Read from and written to the module-list XML format.
class ModuleList {
 public:
  typedef std::list<Module*>::iterator Cursor;

  // Throws MutexException "CreateMutex failed".
  ModuleList();
  // Copies every record, state included, in order.
  ModuleList(const ModuleList& other);
  ModuleList& operator=(const ModuleList&) = delete;
  ~ModuleList();

  // Throw XmlException "XML parse error" / "Malformed XML"; the list is unchanged then.
  void readFile(const std::string& path);
  void readMemory(const char* bytes, std::size_t length);
  // Throws IOException "xmlSaveFormatFile failed".
  void writeFile(const std::string& path) const;

  // Takes ownership; replaces (destroys) a record of the same name, appends at the end.
  Module* add(Module* module);
  // Adds a copy of every record of the other list, in its order.
  void addAll(const ModuleList& other);
  void clear();
  Module* find(const std::string& name) const;
  std::size_t size() const;

  Cursor begin();
  // The record at the cursor, moving it on; at the end: nullptr, and the cursor
  // starts over at the first record.
  Module* next(Cursor& cursor);
  // Visits every record in order under the lock.
  void forEach(const std::function<void(Module&)>& visitor) const;

  // Moves a Pending record directly behind the first Pending record.
  void reposition(const std::string& name);
  // The run's walk: the first Pending record of the given criticality, marked
  // Fetching in the same locked step; nullptr when there is none.
  Module* takeNext(bool critical);

 private:
  std::list<Module*> records;
  std::map<std::string, Cursor> index;
  mutable Mutex lock;
};
