# Included by CTest after the test list is discovered. Every run of the real
# updater listens on 127.0.0.1:9988, and so do the status-server tests of that
# port: such tests must not overlap.
foreach(test IN LISTS updater_tests_TESTS)
  if(test MATCHES "^(EndToEnd|Entry|StatusServer|KillHarness)[A-Za-z]*\\.")
    set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK port9988)
  endif()
endforeach()
