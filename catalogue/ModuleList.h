#pragma once
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/Module.h"
#include "support/Mutex.h"

// An insertion-ordered, name-indexed list of owned Module records, guarded by its
// own recursive mutex because the download queue is shared with the status
// server's thread. Read from and written to the module-list XML format.
class ModuleList {
 public:
  // Throws MutexException "CreateMutex failed".
  ModuleList();
  // Copies every record, state included, in order.
  ModuleList(const ModuleList& other);
  ModuleList& operator=(const ModuleList&) = delete;

  // Throw XmlException "XML parse error" / "Malformed XML"; the list is unchanged then.
  void readFile(const std::string& path);
  void readMemory(const char* bytes, std::size_t length);
  // What a written file holds: an installed-modules file keeps the name, the
  // version and the checksum; a published list (what an update server serves)
  // every attribute the reader knows.
  enum Format { Installed, Published };
  // Throws IOException "xmlSaveFormatFile failed".
  void writeFile(const std::string& path, Format format = Installed) const;

  // Takes the record (destroyed should this throw); replaces (destroys) a record
  // of the same name, appends at the end. A null record is ignored.
  Module* add(std::unique_ptr<Module> module);
  // Adds a copy of every record of the other list, in its order.
  void addAll(const ModuleList& other);
  void clear();
  Module* find(const std::string& name) const;
  std::size_t size() const;

  // Visits every record in order under the lock.
  void forEach(const std::function<void(Module&)>& visitor) const;

  // Moves a Pending record directly behind the first Pending record.
  void reposition(const std::string& name);
  // The run's walk: the first Pending record of the given criticality, marked
  // Fetching in the same locked step; nullptr when there is none. A walk of
  // takeNext calls meets every record of its kind once, whatever reposition does
  // meanwhile, provided states only move on from Pending (as the run sets them).
  Module* takeNext(bool critical);
  // Moves one of the list's records to another state. The run changes states
  // only through here, so that the counts below need no walk of the list.
  void setState(Module& module, ModuleState state);
  // How many records of the kind there are, how many of them have been
  // fetched (Fetched or later), and how many are Complete.
  std::size_t count(bool critical) const;
  std::size_t countFetched(bool critical) const;
  std::size_t countComplete(bool critical) const;

 private:
  typedef std::list<std::unique_ptr<Module>>::iterator Cursor;
  enum PendingKind { kNonCritical = 0, kCritical = 1, kAnyKind = 2 };

  void addOwned(std::vector<std::unique_ptr<Module>> modules);
  // Under the lock: the first Pending record of the kind, or the end.
  Cursor firstPending(PendingKind kind);
  // Drops the hints and the counts: the set of records changed.
  void forgetPendingHints();
  // Under the lock: the counts, walked again after the set of records changed.
  void countIfNeeded() const;

  std::list<std::unique_ptr<Module>> records;
  std::map<std::string, Cursor> index;
  // Where the search for a Pending record of each kind may start: no Pending
  // record of that kind stands before it. States only move on from Pending, so
  // the search never has to look back; a change of the set of records drops the
  // hints. Keeps a whole walk linear rather than quadratic in the queue's length.
  Cursor pendingHint[3];
  bool pendingHintValid[3];
  // By kind (kNonCritical, kCritical); valid only while countsValid.
  mutable std::size_t kindCount[2];
  mutable std::size_t fetched[2];
  mutable std::size_t complete[2];
  mutable bool countsValid;
  mutable Mutex lock;
};
