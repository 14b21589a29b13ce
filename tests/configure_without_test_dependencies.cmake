# Configures wexel as on a machine without GoogleTest and Python 3: the
# configure must succeed and say once what was skipped and which apt-get
# line brings it, and a configure that requires the tests must fail. Then
# the note as a CMake too old for the tests (Debian 10's) would print it.
# Usage: cmake -DSOURCE=<tree> -DBINARY=<scratch dir> -DGENERATOR=<name>
#              -P configure_without_test_dependencies.cmake
set(without_dependencies
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON)
file(REMOVE_RECURSE ${BINARY})

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY}/optional -G ${GENERATOR}
          ${without_dependencies}
  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(failed)
  message(FATAL_ERROR "configure failed without the tests' dependencies:\n${errors}")
endif()
string(REGEX MATCHALL "Tests skipped: [^\n]*" notes "${output}${errors}")
list(LENGTH notes count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one 'Tests skipped' message, got ${count}: ${notes}")
endif()
if(NOT notes MATCHES "GoogleTest and Python 3 not found.*apt-get install libgtest-dev python3")
  message(FATAL_ERROR "the message names neither what is missing nor how to get it: ${notes}")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY}/required -G ${GENERATOR}
          ${without_dependencies} -DWEXEL_REQUIRE_TESTS=ON
  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT failed)
  message(FATAL_ERROR "WEXEL_REQUIRE_TESTS=ON configured without the tests' dependencies")
endif()
file(REMOVE_RECURSE ${BINARY})

# What no apt-get mends must not be promised by bash tests/run.
include(${CMAKE_CURRENT_LIST_DIR}/skipped_tests_note.cmake)
wexel_skipped_tests_note(note 3.13.4 "Python 3" python3)
if(NOT note MATCHES "^CMake 3.16 or newer \\(this is 3.13.4\\) and Python 3 not found.*apt-get install python3"
   OR note MATCHES "tests/run")
  message(FATAL_ERROR "the note for CMake 3.13.4 is wrong: ${note}")
endif()
