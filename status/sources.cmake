list(APPEND UPDATER_SOURCES
  status/UpdateStatus.cpp)
list(APPEND UPDATER_TEST_SOURCES
  status/UpdateStatus_test.cpp)
