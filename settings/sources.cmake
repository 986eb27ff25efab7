list(APPEND UPDATER_SOURCES
  settings/UpdaterIni.cpp)
list(APPEND UPDATER_TEST_SOURCES
  settings/UpdaterIni_test.cpp)
