list(APPEND UPDATER_SOURCES
  catalogue/Module.cpp)
list(APPEND UPDATER_TEST_SOURCES
  catalogue/Module_test.cpp)
