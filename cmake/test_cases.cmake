# Read by CTest with the list of tests (see qv_test_cases in qv.cmake).

# qv_add_test_cases(cases name program filter directory)
# Adds each case of the GoogleTest program that the filter selects as a test
# "name.Suite.Case" run in `directory`, and sets `cases` to their names. The
# program lists its cases each time CTest reads the tests (about 10 ms): no
# list kept between runs can be stale or cut short.
function(qv_add_test_cases cases name program filter directory)
  set(select "")
  if(filter)
    set(select "--gtest_filter=${filter}")
  endif()
  execute_process(COMMAND "${program}" --gtest_list_tests ${select} WORKING_DIRECTORY "${directory}"
                  TIMEOUT 60 RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${program} could not list its cases (${result}):\n${output}${errors}")
  endif()
  # "Suite." lines, each followed by its "  Case" lines; a parameterised
  # suite or case ends in a comment that names its parameter.
  string(REGEX REPLACE " *#[^\n]*" "" output "${output}")
  string(REPLACE "\n" ";" lines "${output}")
  set(added "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([^ ].*)\\.$")
      set(suite "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^  (.+)$")
      set(case "${suite}.${CMAKE_MATCH_1}")
      add_test("${name}.${case}" "${program}" "--gtest_filter=${case}")
      set_tests_properties("${name}.${case}" PROPERTIES WORKING_DIRECTORY "${directory}")
      # The program would run no case, and pass.
      if(case MATCHES "(^|\\.)DISABLED_")
        set_tests_properties("${name}.${case}" PROPERTIES DISABLED TRUE)
      endif()
      list(APPEND added "${name}.${case}")
    endif()
  endforeach()
  set(${cases} "${added}" PARENT_SCOPE)
endfunction()
