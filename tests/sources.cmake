list(APPEND UPDATER_TEST_SOURCES
  tests/TestMain.cpp
  tests/TestSupport.cpp
  tests/TestSupport_${UPDATER_PLATFORM}.cpp
  tests/TestServer.cpp
  tests/TestServer_${UPDATER_PLATFORM}.cpp)
