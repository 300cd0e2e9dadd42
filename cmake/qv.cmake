# Helpers shared by every component, test, benchmark and fuzz target.

# Every folder below DIR that has a CMakeLists.txt, in name order.
function(qv_add_all_subdirectories dir)
  file(GLOB children RELATIVE ${dir} ${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${dir}/${child} AND EXISTS ${dir}/${child}/CMakeLists.txt
       AND NOT child IN_LIST ARGN)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()

# qv_component(name SOURCES ... [DEPS ...] [EXPORTS sym ...])
# A static library linked whole into libqv3377hal.so.1. EXPORTS names the
# C entry points this component adds to the shared library's interface.
function(qv_component name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;EXPORTS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/src)
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
  set_property(GLOBAL APPEND PROPERTY QV_COMPONENTS ${name})
  if(A_EXPORTS)
    set_property(GLOBAL APPEND PROPERTY QV_EXPORTS ${A_EXPORTS})
  endif()
endfunction()

# qv_test(name SOURCES ... [DEPS ...] [FILTER pattern] [LABELS ...] [ENVIRONMENT ...])
# A GoogleTest executable whose cases CTest runs (see qv_test_cases). The
# label "threads" marks tests that scripts/test also runs under
# ThreadSanitizer.
function(qv_test name)
  cmake_parse_arguments(A "" "FILTER" "SOURCES;DEPS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  if(NOT TARGET qv_test_main)
    add_library(qv_test_main STATIC ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tests/support/TestMain.cpp)
    target_link_libraries(qv_test_main PUBLIC GTest::gtest)
  endif()
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gmock qv_test_main Threads::Threads)
  # The test framework's headers are most of every test's compile time:
  # compile them once per build.
  if(NOT TARGET qv_test_pch)
    add_executable(qv_test_pch EXCLUDE_FROM_ALL ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/test_pch.cpp)
    target_link_libraries(qv_test_pch PRIVATE GTest::gmock qv_test_main Threads::Threads)
    target_precompile_headers(qv_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
  endif()
  target_precompile_headers(${name} REUSE_FROM qv_test_pch)
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports out-of-bounds copies inside std::string concatenations
    # that tests inline at -O2; they are false positives of its flow analysis.
    target_compile_options(${name} PRIVATE -Wno-array-bounds -Wno-stringop-overflow -Wno-restrict)
  endif()
  qv_test_cases(${name} PROGRAM ${name} FILTER "${A_FILTER}" LABELS ${A_LABELS}
    ENVIRONMENT ${A_ENVIRONMENT})
  if("threads" IN_LIST A_LABELS)
    set_property(GLOBAL APPEND PROPERTY QV_THREAD_TESTS ${name})
  endif()
endfunction()

# qv_test_cases(name PROGRAM target [FILTER pattern] [LABELS ...] [ENVIRONMENT ...])
# Each case of a GoogleTest program (of those FILTER selects) as a CTest
# test of its own, "name.Suite.Case". FILTER leaves out the cases that run
# only in another variant of the program's environment, or only as a child
# process of another case. CTest lists the cases before it runs them, so
# that no program runs while it is built. Each case may take 300 s. A case
# is skipped when its program exits with 77 (see tests/support/TestMain.cpp),
# never for what its output says: a skip followed by a failure, or a child's
# skip in the output of a case that failed, must fail.
function(qv_test_cases name)
  cmake_parse_arguments(A "" "PROGRAM;FILTER" "LABELS;ENVIRONMENT" ${ARGN})
  set(properties "TIMEOUT 300 SKIP_RETURN_CODE 77")
  foreach(property IN ITEMS LABELS ENVIRONMENT)
    if(A_${property})
      string(APPEND properties " ${property} [==[${A_${property}}]==]")
    endif()
  endforeach()
  set(program "[==[$<TARGET_FILE:${A_PROGRAM}>]==]")
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${name}_cases.cmake)
  file(GENERATE OUTPUT ${file} CONTENT "\
if(EXISTS ${program})
  include([==[${CMAKE_CURRENT_FUNCTION_LIST_DIR}/test_cases.cmake]==])
  qv_add_test_cases(cases ${name} ${program} [==[${A_FILTER}]==] [==[${CMAKE_CURRENT_BINARY_DIR}]==])
  if(cases)
    set_tests_properties(\${cases} PROPERTIES ${properties})
  endif()
else()
  # Fails, and in every run its labels select.
  add_test(${name}_NOT_BUILT ${name}_NOT_BUILT)
  set_tests_properties(${name}_NOT_BUILT PROPERTIES ${properties})
endif()
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# qv_bench(name SOURCES ... [DEPS ...])
function(qv_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# qv_fuzz(name SOURCES ... [DEPS ...]); its seed corpus lives in fuzz/corpus/<name>.
function(qv_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  # scripts/test runs every target from one folder.
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set_property(GLOBAL APPEND PROPERTY QV_FUZZ_TARGETS ${name})
endfunction()
