#include "HALUtilities/VersionRecord.h"

#ifdef NDEBUG
#define QV_BUILD_CONFIGURATION "release"
#else
#define QV_BUILD_CONFIGURATION "debug"
#endif

namespace qv3377hal {
namespace {

const char* const kVersionRecord[] = {
    "nQVVersion_CompanyName=Vorlane",
    "nQVVersion_LegalCopyright=Copyright Vorlane. All rights reserved.",
    "nQVVersion_ProductName=QV3377HAL",
    "nQVVersion_OriginalFilename=libqv3377hal.so.23.3.0",
    "nQVVersion_FileDescription=Hardware Abstraction Layer for QV PXIe-3377",
    "nQVVersion_ProductVersion=23.3.0f451",
    "nQVVersion_FileVersion=23.3.0f451",
    "nQVVersion_InternalName=QV3377HAL 23.3.0f451",
    "nQVVersion_Comments=Built " __DATE__ " " __TIME__ " (" QV_BUILD_CONFIGURATION ")",
    nullptr,
};

}  // namespace

const char* const* versionRecord() {
    return kVersionRecord;
}

}  // namespace qv3377hal
