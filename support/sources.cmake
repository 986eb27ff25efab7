list(APPEND UPDATER_SOURCES
  support/FreshFile_${UPDATER_PLATFORM}.cpp
  support/Log.cpp
  support/Log_${UPDATER_PLATFORM}.cpp
  support/ThreadBody.cpp
  support/Thread_${UPDATER_PLATFORM}.cpp
  support/Mutex_${UPDATER_PLATFORM}.cpp)
list(APPEND UPDATER_TEST_SOURCES
  support/Log_test.cpp
  support/Thread_test.cpp)
if(WIN32)
  list(APPEND UPDATER_TEST_SOURCES support/Log_win_test.cpp)
endif()
list(APPEND UPDATER_SOURCES
  support/Digest.cpp
  support/Digest_${UPDATER_PLATFORM}.cpp
  support/Signature.cpp
  support/Ecdsa_${UPDATER_PLATFORM}.cpp)
list(APPEND UPDATER_TEST_SOURCES
  support/Digest_test.cpp
  support/Signature_test.cpp)
