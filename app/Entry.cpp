#include "app/Entry.h"

#include <libxml/parser.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "app/InstallationLock.h"
#include "app/Updater.h"
#include "net/URL.h"
#include "support/Exceptions.h"

namespace {
[[noreturn]] void reportAndExit(const char* text) {
  std::fprintf(stderr, "an exception occured: %s\n", text);
  std::exit(1);
}
}  // namespace

int updaterEntry() {
  // Before anything is opened or touched: the log is truncated at the first line.
  InstallationLock lock;
  if (!lock.acquire(kInstallationLockWaitMilliseconds)) {
    std::fprintf(stderr, "another updater is still running in this installation; nothing was changed\n");
    return 1;
  }
  // libxml2 and the HTTP client must be set up before a second thread may use them.
  xmlInitParser();
  initializeNetworking();
  try {
    std::unique_ptr<Updater> updater(new Updater());
    updater->runUpdate();
    updater->startDeferredRenames();
    updater.reset();
    return 0;
  } catch (const IOException& e) {
    reportAndExit(e.c_str());
  } catch (const XmlException& e) {
    reportAndExit(e.c_str());
  } catch (const std::string& e) {
    // ThreadException, MutexException, ConversionError: no handler of the run
    // expects them, but they still end the process in order.
    reportAndExit(e.c_str());
  } catch (const std::exception& e) {
    reportAndExit(e.what());
  }
}
