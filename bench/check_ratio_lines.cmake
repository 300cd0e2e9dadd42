# Runs a benchmark program briefly and checks that each line mentioning a
# ratio starts with the word "ratio", with no escape code before it.
execute_process(
  COMMAND ${BENCH} --benchmark_filter=Trace|EmptyCall --benchmark_min_time=0.01
  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${BENCH} failed: ${rc}")
endif()
# Colour codes hold brackets, which CMake lists do not split well: the
# whole text is matched instead.
if(out MATCHES "[^\n](ratio [^\n]*)")
  message(FATAL_ERROR "a ratio line does not start with \"ratio\": ${CMAKE_MATCH_1}")
endif()
if(NOT out MATCHES "(^|\n)ratio ")
  message(FATAL_ERROR "no ratio line in:\n${out}")
endif()
