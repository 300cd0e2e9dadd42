// The default translator: static descriptions from the standard errors
// directory only, no dynamic description. One static record, never freed.
#pragma once

#include "qvxlator/Translator.h"

namespace qvxlator {

// The static record; null when the status already holds an error. Both
// arguments are ignored.
Translator* createDefaultTranslator(const char* name, const char* registrationInfo,
                                    qverr::Status* status);

}  // namespace qvxlator
