#include "qvfpga/PluginHost.h"

#include <dlfcn.h>

#include "qverr/Codes.h"
#include "qvfpga/QvFpgaSim.h"

namespace qvfpgasim {
namespace {

// What the interface library reports of a driver it cannot use.
constexpr int32_t kDriverMissing = qverr::qvapalerr_resourceNotFound;
constexpr int32_t kNotInitialized = qverr::qvapalerr_resourceNotInitialized;

}  // namespace

PluginHost::PluginHost(const std::string& library) {
    library_ = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        failure_ = kDriverMissing;
        return;
    }
    const auto initialize =
        reinterpret_cast<zekhost::InitializeFunction>(dlsym(library_, zekhost::kInitialize));
    const auto getInterface =
        reinterpret_cast<zekhost::GetInterfaceFunction>(dlsym(library_, zekhost::kGetInterface));
    const auto finalize =
        reinterpret_cast<zekhost::FinalizeFunction>(dlsym(library_, zekhost::kFinalize));
    if (initialize == nullptr || getInterface == nullptr || finalize == nullptr) {
        failure_ = kDriverMissing;
        return;
    }
    if (const int32_t code = initialize(); code < 0) {
        failure_ = code;
        return;
    }
    finalize_ = finalize;
    void* list = nullptr;
    if (const int32_t code = getInterface(0, &list); code < 0 || list == nullptr) {
        failure_ = code < 0 ? code : kNotInitialized;
        return;
    }
    list_ = zekhost::DeviceList(list);
}

PluginHost::~PluginHost() {
    if (list_) list_.release();
    if (finalize_ != nullptr) finalize_();
    if (library_ != nullptr) dlclose(library_);
}

zekhost::FpgaSession PluginHost::open(const char* resource, const char* bitfile,
                                      const char* signature, uint32_t attribute,
                                      zekhost::Status& status) {
    if (failure_ != 0) {
        status.code = failure_;
        return zekhost::FpgaSession();
    }
    // Modules come and go: the list is rebuilt whenever the driver says so.
    if (list_.hasChanged()) list_.refresh(status);
    if (status.code < 0) return zekhost::FpgaSession();
    const zekhost::Device device = zekhost::findDevice(list_, resource, status);
    if (status.code < 0) return zekhost::FpgaSession();
    if (!device) {
        status.code = QVFPGASIM_NOT_FOUND;
        return zekhost::FpgaSession();
    }
    const zekhost::FpgaSession session =
        device.openFpgaSession(zekhost::session::kInterfaceVersion, status);
    if (!session) return session;
    session.open(bitfile, signature, attribute, status);
    if (status.code < 0) {
        session.release();
        return zekhost::FpgaSession();
    }
    return session;
}

}  // namespace qvfpgasim
