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

# qv_test(name SOURCES ... [DEPS ...] [LABELS ...])
# A GoogleTest executable registered with CTest. The label "threads" marks
# tests that scripts/test also runs under ThreadSanitizer.
function(qv_test name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gmock GTest::gtest_main Threads::Threads)
  # The test framework's headers are most of every test's compile time:
  # compile them once per build.
  if(NOT TARGET qv_test_pch)
    add_executable(qv_test_pch EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/cmake/test_pch.cpp)
    target_link_libraries(qv_test_pch PRIVATE GTest::gmock GTest::gtest_main Threads::Threads)
    target_precompile_headers(qv_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
  endif()
  target_precompile_headers(${name} REUSE_FROM qv_test_pch)
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports out-of-bounds copies inside std::string concatenations
    # that tests inline at -O2; they are false positives of its flow analysis.
    target_compile_options(${name} PRIVATE -Wno-array-bounds -Wno-stringop-overflow -Wno-restrict)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
    if("threads" IN_LIST A_LABELS)
      set_property(GLOBAL APPEND PROPERTY QV_THREAD_TESTS ${name})
    endif()
  endif()
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
