#include "qvsysq/internal/systemRoot.h"

#include "qvapal/protons/system/tSystemInterface.h"

namespace qvsysq::internal {

std::string rooted(const char* absolutePath) {
    return std::string(sdihal::nQVAPAL000::systemInterface().systemRoot()) + absolutePath;
}

}  // namespace qvsysq::internal
