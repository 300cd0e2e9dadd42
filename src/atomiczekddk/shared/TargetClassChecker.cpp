#include "atomiczekddk/shared/TargetClassChecker.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <memory>
#include <string>
#include <vector>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Status.h"

namespace qvzek {

bool targetClassListMatches(std::string_view list, std::string_view deviceClass) {
    if (list.empty()) return true;
    std::vector<std::string> entries;
    boost::algorithm::split(entries, list, boost::algorithm::is_any_of(";"));
    const std::string device = boost::algorithm::trim_copy(std::string(deviceClass));
    for (std::string& entry : entries) {
        boost::algorithm::trim(entry);
        if (entry == device) return true;
    }
    return false;
}

bool TargetClassCheckerDefault::isCompatible(std::string_view bitfileTargetClasses) {
    bool handled = false;
    uint32_t length = 0;
    device_->getStringAttribute(kAttributeFpgaTargetClass, nullptr, 0, &length, &handled);
    if (!handled) throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    const uint32_t size = length + 1;
    if (size == 0) throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    auto buffer = std::make_unique<char[]>(size);
    handled = false;
    device_->getStringAttribute(kAttributeFpgaTargetClass, buffer.get(), size, &length, &handled);
    if (!handled) throwStatusCode(qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    return targetClassListMatches(bitfileTargetClasses, std::string_view(buffer.get()));
}

}  // namespace qvzek
