// The calibration library's self-test message, turned into elaboration
// records of a status.
#include <cstddef>
#include <cstdint>
#include <string>

#include "SelfCalHALImpl/SelfCalHALSession.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string message(reinterpret_cast<const char*>(data), size);
    qverr::Status status;
    selfcalhal::_addElaborationsFromJson(message, &status);
    return 0;
}
