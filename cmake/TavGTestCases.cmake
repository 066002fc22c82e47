# Registers each case of a Google Test program as a CTest test of its own.
#
# Read by CTest, not by the build: tav_add_gtest() gives every test program
# an include file that calls tav_register_cases() each time CTest reads the
# tests (ctest, ctest -N). The program lists its cases (--gtest_list_tests,
# which starts no bus, X server or namespace); the list is kept beside the
# include file until the program is rebuilt. Each case then runs as
#   <program> --gtest_filter=<Suite.Case> --tav_ctest_case
# in a process of its own, named <Suite.Case> in CTest.
#
# A program that cannot list its cases (missing, crashing, hanging, or
# listing none) is registered as one test named after the program that
# fails with the program's output, so the suite fails instead of silently
# running fewer tests:
#   cmake -DTAV_LIST_CHECK=<program> -P TavGTestCases.cmake

# tav_list_cases(<program> <out-cases> <out-error>): the runnable cases as
# "Suite.Case" (DISABLED_ ones left out: they run only through their
# wrappers); <out-error> is empty on success, else says what went wrong.
function(tav_list_cases exe out_cases out_error)
  execute_process(COMMAND "${exe}" --gtest_list_tests
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 120)
  set(cases "")
  set(error "")
  if(NOT rc STREQUAL "0")
    set(error "${exe} --gtest_list_tests failed (${rc})\n${out}${err}")
  else()
    # Type and value parameters follow a '#' and may hold any character.
    string(REGEX REPLACE "[ ]+#[^\n]*" "" out "${out}")
    string(REPLACE "\n" ";" lines "${out}")
    set(suite "")
    foreach(line IN LISTS lines)
      if(line MATCHES "^([A-Za-z0-9_/]+)\\.$")
        set(suite "${CMAKE_MATCH_1}")
      elseif(line MATCHES "^  ([A-Za-z0-9_/]+)$" AND suite)
        set(name "${suite}.${CMAKE_MATCH_1}")
        if(NOT name MATCHES "(^|[./])DISABLED_")
          list(APPEND cases "${name}")
        endif()
      endif()
    endforeach()
    if(NOT cases)
      set(error "${exe} --gtest_list_tests listed no test case\n${out}${err}")
    endif()
  endif()
  set(${out_cases} "${cases}" PARENT_SCOPE)
  set(${out_error} "${error}" PARENT_SCOPE)
endfunction()

# tav_register_cases(<name> <program> <cache-file> <labels> <timeout>)
function(tav_register_cases name exe cache labels timeout)
  set(cases "")
  if(EXISTS "${cache}" AND EXISTS "${exe}" AND "${cache}" IS_NEWER_THAN "${exe}")
    file(STRINGS "${cache}" cases)
  endif()
  if(NOT cases)
    tav_list_cases("${exe}" cases error)
    if(error)
      file(REMOVE "${cache}")
      add_test("${name}" "${TAV_CASES_CMAKE}" "-DTAV_LIST_CHECK=${exe}" -P "${TAV_CASES_SCRIPT}")
      set_tests_properties("${name}" PROPERTIES LABELS "${labels}" TIMEOUT 180)
      return()
    endif()
    string(REPLACE ";" "\n" text "${cases}")
    file(WRITE "${cache}" "${text}\n")
  endif()
  foreach(case IN LISTS cases)
    add_test("${case}" "${exe}" "--gtest_filter=${case}" --tav_ctest_case)
    # 77: the case was skipped (the test main's answer under --tav_ctest_case).
    set_tests_properties("${case}" PROPERTIES
      LABELS "${labels}" TIMEOUT ${timeout} SKIP_RETURN_CODE 77)
  endforeach()
endfunction()

set(TAV_CASES_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

if(DEFINED TAV_LIST_CHECK)
  tav_list_cases("${TAV_LIST_CHECK}" cases error)
  if(error)
    message(FATAL_ERROR "${error}")
  endif()
  message(FATAL_ERROR "${TAV_LIST_CHECK} lists its cases now but did not when "
                      "CTest read the tests: run ctest again")
endif()
