// The alias services of the FPGA-driver plug-in: the user's aliases of the
// modules in the configuration file, kept in step with the file by two
// threads (a directory poller that rereads it and a notifier that tells the
// alias manager), and the rules that keep an alias distinct from every
// stored alias and every module's default name.
#pragma once

#include <memory>
#include <string>

#include "atomiczekddk/aliases/Aliases.h"
#include "atomiczekddk/aliases/PersistentTokens.h"
#include "atomiczekddk/pxi/QPxiLibrary.h"
#include "atomiczekddk/shared/ChangeNotifierThread.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/SynchronizedConfiguration.h"
#include "qvjsonconfig/afaWrappers/DirectoryPoller.h"
#include "qvjsonconfig/afaWrappers/LockableFile.h"

namespace qvzek {

// Proposes no default alias: a module without one keeps none.
class AliasFactoryNone : public qvjsonconfig::AliasFactoryInterface {
public:
    std::string createDefaultAlias(qvjsonconfig::DeviceIteratorInterface*,
                                   qvjsonconfig::ConfigurationData&) override {
        return "";
    }
};

// An alias is taken when the file gives it to another module, or when it is
// the default name of a module present now, asked in that order.
class AliasConflicterCommon : public AliasConflicterComposite {
public:
    explicit AliasConflicterCommon(IDeviceDiscoverer& discoverer) : defaultAliases_(discoverer) {
        addConflicter(&aliasesInStorage_);
        addConflicter(&defaultAliases_);
    }
    AliasConflicterCommon(const AliasConflicterCommon&) = delete;
    AliasConflicterCommon& operator=(const AliasConflicterCommon&) = delete;

private:
    AliasConflicterAliasesInStorage aliasesInStorage_;
    AliasConflicterDefaultAliases defaultAliases_;
};

}  // namespace qvzek

namespace atomiczekhal {

// The local state directory + "/QRX/QV-3377/zek", and the file in it.
std::string configurationDirectory();
std::string configurationFilePath();

class AliasServices {
public:
    // Creates the configuration directory and file when missing and starts
    // the two threads; whatever was built is released when a later step
    // throws. The three arguments outlive the object.
    AliasServices(qvzek::IDeviceDiscoverer& deviceManager,
                  qvzek::IPciModelNameIdentifier& modelNames, qvqpxi::QPxiLibrary& pxiLibrary);
    AliasServices(const AliasServices&) = delete;
    AliasServices& operator=(const AliasServices&) = delete;
    // Stops and joins the threads (members go in reverse order).
    ~AliasServices();

    qvzek::AliasManagerCommon& aliasManager() { return aliasManager_; }

private:
    // Declaration order is construction order: each member refers to those
    // before it.
    qvzek::AliasFactoryNone aliasFactory_;
    std::string directory_;
    qvjsonconfig::LockableFile configurationFile_;
    qvzek::PersistentTokenGeneratorPxi tokenGenerator_;
    qvzek::DeviceIteratorFactoryCustomPersistentToken iteratorFactory_;
    qvjsonconfig::AliasAttributeProvider attributeProvider_;
    qvjsonconfig::SynchronizedConfiguration configuration_;
    qvzek::ChangeNotifierThread changeNotifier_;
    qvjsonconfig::DirectoryPoller directoryPoller_;
    qvzek::AliasStorageJsonconfig aliasStorage_;
    qvzek::AliasConflicterCommon aliasConflicter_;
    qvzek::AliasManagerCommon aliasManager_;
};

}  // namespace atomiczekhal
