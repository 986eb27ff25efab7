list(APPEND UPDATER_SOURCES
  settings/UpdaterIni.cpp
  settings/MaintenanceReport.cpp)
list(APPEND UPDATER_TEST_SOURCES
  settings/UpdaterIni_test.cpp
  settings/MaintenanceReport_test.cpp)
