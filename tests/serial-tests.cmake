# Included by CTest after the test list is discovered. Every run of the real
# updater listens on 127.0.0.1:9988, and so do the status-server tests of that
# port: such tests must not overlap. On Windows the tests that act as the
# player find the progress window and its error boxes on the one display by
# their titles: the whole-program runs and the dialog tests must not overlap
# either, or one test dismisses the other's box.
foreach(test IN LISTS updater_tests_TESTS)
  set(locks)
  if(test MATCHES "^(EndToEnd|Entry|StatusServer|KillHarness)[A-Za-z]*\\.")
    list(APPEND locks port9988)
  endif()
  if(test MATCHES "^(EndToEnd|KillHarness|ProgressWindowDialog)[A-Za-z]*\\.")
    list(APPEND locks display)
  endif()
  if(locks)
    set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endforeach()
