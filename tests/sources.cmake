list(APPEND UPDATER_TEST_SOURCES
  tests/TestMain.cpp
  tests/TestSupport.cpp
  tests/TestSupport_${UPDATER_PLATFORM}.cpp
  tests/EndToEnd_test.cpp
  tests/EndToEnd_${UPDATER_PLATFORM}_test.cpp
  tests/KillHarness_test.cpp
  tests/TestServer.cpp)
