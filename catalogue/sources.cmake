list(APPEND UPDATER_SOURCES
  catalogue/Module.cpp
  catalogue/ModuleList.cpp
  catalogue/ModuleDigest.cpp
  catalogue/UpdatePlan.cpp
  catalogue/UpdatePlan_${UPDATER_PLATFORM}.cpp)
list(APPEND UPDATER_TEST_SOURCES
  catalogue/Module_test.cpp
  catalogue/ModuleList_test.cpp
  catalogue/UpdatePlan_test.cpp)
