#include "qvsysq/internal/systemRoot.h"

#include "qvapal/protons/system/tSystemInterface.h"

namespace qvsysq::internal {

std::string rooted(const char* absolutePath) {
    const char* root = sdihal::nQVAPAL000::systemInterface().systemRoot;
    return std::string(root != nullptr ? root : "") + absolutePath;
}

}  // namespace qvsysq::internal
