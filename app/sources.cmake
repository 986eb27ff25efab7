list(APPEND UPDATER_SOURCES
  app/Updater.cpp
  app/Entry.cpp)
list(APPEND UPDATER_TEST_SOURCES
  app/Entry_test.cpp
  app/Updater_test.cpp)
