#include "AtomicZEKHALImpl/AliasServices.h"

#include "qverr/Exception.h"
#include "qvsysq/sysq.h"

namespace atomiczekhal {

namespace {

// The directory (and its parents) must exist before the file can be created
// in it and watched.
const std::string& existingDirectory(const std::string& directory) {
    qverr::Status status;
    qvsysq::createDirectories(directory.c_str(), status);
    if (status.isError()) qverr::throwStatus(std::move(status));
    return directory;
}

}  // namespace

std::string configurationDirectory() {
    return qvsysq::SysqWrapper().getLocalStateDir() + "/QRX/" + "QV-3377" + "/zek";
}

std::string configurationFilePath() {
    return configurationDirectory() + "/qrxzek.config";
}

AliasServices::AliasServices(qvzek::IDeviceDiscoverer& deviceManager,
                             qvzek::IPciModelNameIdentifier& modelNames,
                             qvqpxi::QPxiLibrary& pxiLibrary)
    : directory_(configurationDirectory()),
      configurationFile_((existingDirectory(directory_) + "/qrxzek.config").c_str(), true),
      tokenGenerator_(modelNames, pxiLibrary),
      iteratorFactory_(qvzek::kDriverInterfaceNames, tokenGenerator_),
      attributeProvider_(aliasFactory_),
      configuration_(configurationFile_, iteratorFactory_, attributeProvider_),
      changeNotifier_(configuration_),
      directoryPoller_(configuration_, directory_.c_str()),
      aliasStorage_(configurationFile_, configuration_, iteratorFactory_, attributeProvider_,
                    changeNotifier_),
      aliasConflicter_(deviceManager),
      aliasManager_(aliasStorage_, aliasConflicter_) {}

AliasServices::~AliasServices() = default;

}  // namespace atomiczekhal
