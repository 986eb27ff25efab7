list(APPEND UPDATER_SOURCES
  net/URL.cpp
  net/Retry.cpp
  net/RateLimit.cpp
  net/URL_${UPDATER_PLATFORM}.cpp)
list(APPEND UPDATER_TEST_SOURCES
  net/URL_test.cpp
  net/RateLimit_test.cpp)
# Waiting out WinINet's own time-outs under Wine is not worth a test; the Linux
# build sets its time-outs itself and checks them.
if(UPDATER_PLATFORM STREQUAL "posix")
  list(APPEND UPDATER_TEST_SOURCES net/URL_posix_test.cpp)
endif()
