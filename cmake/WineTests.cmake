# Windows test executables run under Wine as ctest tests.

# A program under Wine can vanish with exit code 0 when Wine's server fails: a run passes only when
# GoogleTest itself reports its tests passed.
function(ak_add_wine_test name)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ test"
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endfunction()

# The same, with native testbed servers around it: "scripts/testbed-for-wine ACTION DIR ARGS..."
# starts them before the test (ctest fixture FIXTURE) and "... stop DIR" stops them after.
#   ak_add_wine_test_with_testbed(NAME FIXTURE DIR ACTION [ARGS...] [LOCK resource])
# With LOCK (servers on a fixed port that other tests use too), the start, the test and the stop
# are one test that holds the lock throughout: ctest takes a lock per test, so separate fixture
# tests would leave the servers running while another test of the lock starts.
function(ak_add_wine_test_with_testbed name fixture dir action)
  cmake_parse_arguments(PARSE_ARGV 4 wine "" "LOCK" "")
  set(script ${PROJECT_SOURCE_DIR}/scripts/testbed-for-wine)
  if(wine_LOCK)
    add_test(NAME ${name}
             COMMAND bash ${script} around ${dir} ${action} ${wine_UNPARSED_ARGUMENTS} -- $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES
      RESOURCE_LOCK ${wine_LOCK}
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ test"
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
    return()
  endif()
  add_test(NAME ${fixture}_start COMMAND bash ${script} ${action} ${dir} ${wine_UNPARSED_ARGUMENTS})
  add_test(NAME ${fixture}_stop COMMAND bash ${script} stop ${dir})
  ak_add_wine_test(${name})
  set_tests_properties(${fixture}_start PROPERTIES FIXTURES_SETUP ${fixture})
  set_tests_properties(${fixture}_stop PROPERTIES FIXTURES_CLEANUP ${fixture})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${fixture})
endfunction()
