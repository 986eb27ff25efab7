list(APPEND UPDATER_SOURCES
  net/URL.cpp
  net/Retry.cpp
  net/RateLimit.cpp
  net/URL_${UPDATER_PLATFORM}.cpp)
list(APPEND UPDATER_TEST_SOURCES
  net/URL_test.cpp
  net/RateLimit_test.cpp)
