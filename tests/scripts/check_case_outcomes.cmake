# Builds case_outcomes.cpp as a test program in a scratch project (-DROOT,
# -DBUILD, -DGENERATOR, -DCXX) and runs each of its cases through CTest: a
# case that skipped and then ended otherwise than cleanly, or that failed
# with a skip in its output, must fail, and ctest with it; so must a
# labelled program that was not built, in a run of its label.
file(REMOVE_RECURSE ${BUILD})
file(MAKE_DIRECTORY ${BUILD}/source)
file(WRITE ${BUILD}/source/CMakeLists.txt "
cmake_minimum_required(VERSION 3.25)
project(case_outcomes CXX)
set(CMAKE_CXX_STANDARD 20)
add_compile_options(-Wall -Wextra)
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
include(${ROOT}/cmake/qv.cmake)
enable_testing()
qv_test(case_outcomes SOURCES ${ROOT}/tests/scripts/case_outcomes.cpp)
target_include_directories(case_outcomes PRIVATE ${ROOT}/tests)
# Labelled, and left out of the build.
qv_test(never_built SOURCES ${ROOT}/tests/scripts/case_outcomes.cpp LABELS threads)
set_target_properties(never_built PROPERTIES EXCLUDE_FROM_ALL TRUE)
")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${BUILD}/source -B ${BUILD}/build -G ${GENERATOR}
                        -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD}/build -j 2
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the sample test program did not build:\n${out}")
endif()

set(wrong "")
foreach(row Passes:Passed Skips:Skipped SkipsThenExitsWith3:Failed SkipsThenExitsWith66:Failed
            FailsAfterAChildSkipped:Failed "DISABLED_IsNotRun:Not Run")
  string(REPLACE ":" ";" row ${row})
  list(GET row 0 case)
  list(GET row 1 expected)
  execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${BUILD}/build
                          -R "^case_outcomes\\.CaseOutcome\\.${case}$"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(outcome "not run")
  if(out MATCHES "Test +#[0-9]+: case_outcomes\\.CaseOutcome\\.${case} [ .]*\\**([A-Z][a-z]+( Run)?)")
    set(outcome ${CMAKE_MATCH_1})
  endif()
  message(STATUS "${case}: ${outcome}, ctest exit code ${rc}")
  # ctest itself fails exactly when the case failed.
  if(NOT outcome STREQUAL expected OR (expected STREQUAL "Failed" AND rc EQUAL 0)
     OR (NOT expected STREQUAL "Failed" AND NOT rc EQUAL 0))
    string(APPEND wrong "\n ${case}: ${outcome} (ctest exit code ${rc}), expected ${expected}")
  endif()
endforeach()
# A labelled program that was not built fails the runs its label selects.
execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${BUILD}/build -L threads
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message(STATUS "never built, labelled: ctest -L threads exit code ${rc}")
if(rc EQUAL 0 OR NOT out MATCHES "never_built_NOT_BUILT")
  string(APPEND wrong "\n a labelled program that was not built: ctest -L threads exit code ${rc}")
endif()
if(wrong)
  message(FATAL_ERROR "CTest reported cases otherwise than they ended:${wrong}")
endif()
