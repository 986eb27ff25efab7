list(APPEND UPDATER_SOURCES
  status/UpdateStatus.cpp
  status/ProgressWindow.cpp
  status/ProgressWindow_${UPDATER_PLATFORM}.cpp
  status/StatusServer.cpp
  status/StatusMessages.cpp
  status/StatusClient.cpp
  status/Socket.cpp
  status/Socket_${UPDATER_PLATFORM}.cpp)
list(APPEND UPDATER_TEST_SOURCES
  status/ProgressWindow_test.cpp
  status/StatusServer_test.cpp)
if(WIN32)
  list(APPEND UPDATER_TEST_SOURCES status/ProgressWindow_win_test.cpp)
  # The dialogs and the icon, for the program and the tests.
  list(APPEND UPDATER_RESOURCES status/updater.rc)
endif()
