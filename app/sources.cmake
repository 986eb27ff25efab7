list(APPEND UPDATER_SOURCES
  app/Updater.cpp
  app/Entry.cpp
  app/UpdateRun.cpp
  app/ComponentDownload.cpp
  app/ModuleListSignature.cpp
  app/ComponentInstall.cpp
  app/Commit.cpp
  app/Recovery.cpp
  app/InstallationLock_${UPDATER_PLATFORM}.cpp
  app/Launch.cpp
  app/DebugDelay.cpp
  app/DeferredScript.cpp
  app/DeferredScript_${UPDATER_PLATFORM}.cpp
  app/FileSystem.cpp
  app/FileSystem_${UPDATER_PLATFORM}.cpp
  app/Process_${UPDATER_PLATFORM}.cpp)
list(APPEND UPDATER_TEST_SOURCES
  app/Entry_test.cpp
  app/UpdateRun_test.cpp
  app/ComponentDownload_test.cpp
  app/ModuleListSignature_test.cpp
  app/ComponentInstall_test.cpp
  app/Commit_test.cpp
  app/Recovery_test.cpp
  app/InstallationLock_test.cpp
  app/InstallationLock_${UPDATER_PLATFORM}_test.cpp
  app/Launch_test.cpp
  app/DebugDelay_test.cpp
  app/DeferredScript_test.cpp
  app/FileSystem_${UPDATER_PLATFORM}_test.cpp
  app/Process_test.cpp)
# Windows defers a held file and starts its programs in the whole-program and launch tests.
if(NOT WIN32)
  list(APPEND UPDATER_TEST_SOURCES app/ComponentInstall_posix_test.cpp app/Process_posix_test.cpp)
endif()
