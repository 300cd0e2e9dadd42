# libqv3377hal.so.1 names libQvFpga.so.13 among the libraries it needs (it
# imports the FPGA interface library at load time), and none of the platform
# libraries from which it imports nothing: they would only stop it from
# loading where they are missing.
execute_process(COMMAND readelf -d ${LIB} OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${LIB}")
endif()
if(NOT dyn MATCHES "\\(NEEDED\\)[^\n]*\\[libQvFpga\\.so\\.13\\]")
  message(FATAL_ERROR "libQvFpga.so.13 is not NEEDED:\n${dyn}")
endif()
foreach(name libvisa\\.so libqvpexg\\.so\\.1 libqvpexa\\.so\\.1 QV_AAL\\.so libQvFpgaKx\\.so libkxrt\\.so)
  if(dyn MATCHES "\\(NEEDED\\)[^\n]*\\[${name}\\]")
    message(FATAL_ERROR "${name} is NEEDED")
  endif()
endforeach()
