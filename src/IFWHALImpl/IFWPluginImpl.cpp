#include "IFWHALImpl/IFWPluginImpl.h"

#include <memory>

#include "IFWHALImpl/InstructionTargetKernelProxy.h"
#include "qverr/Exception.h"

namespace {

using qv3377hal::statusLastCall;
using qv3377hal::throwNullArgument;

// The driver takes array counts as 32 bits: a larger count would be cut.
uint32_t arrayCount(size_t count) {
    if (count > UINT32_MAX) throwNullArgument();
    return static_cast<uint32_t>(count);
}

// The host's target handle as its object: null, or a handle that names no
// open target, is an invalid parameter; null is refused as any null argument
// is, without detail.
const qv3377hal::HandleRefusal kInvalidTarget{qv3377hal::kNullArgumentLocation, "targetFromHandle",
                                              nullptr};

qvifw::InstructionTarget* targetFromHandle(qvifw::InstructionTarget* target) {
    return qv3377hal::objectFromHandle<qvifw::InstructionTarget>(
        qv3377hal::handleOf(target), qv3377hal::HandleKind::instructionTarget, kInvalidTarget);
}

// Only errors reach the host: a driver warning is dropped.
template <class Call>
void targetCall(Call&& call) {
    nQVAPALS100::tStatus local;
    call(local);
    qverr::throwIfTStatusError(local);
}

}  // namespace

void qvIFW_Target_libqv3377hal_GetPluginVersion(uint32_t* major, uint32_t* minor) {
    if (major != nullptr) *major = 1;
    if (minor != nullptr) *minor = 1;
}

qvifw::InstructionTarget* qvIFW_Target_libqv3377hal_Open(const char* json, qverr::Status* status) {
    return qv3377hal::statusLastValue<qvifw::InstructionTarget*>(status, nullptr, [&] {
        const qvifw::OpenRequest request = qvifw::parseOpenRequest(json);
        auto target = std::make_unique<qvifw::InstructionTargetKernelProxy>();
        targetCall([&](nQVAPALS100::tStatus& local) {
            target->open(request.deviceInterfacePath.c_str(), request.type, request.instance,
                         local);
        });
        qvifw::InstructionTarget* opened = target.get();
        qv3377hal::addHandle(qv3377hal::handleOf(opened), qv3377hal::HandleKind::instructionTarget);
        target.release();
        return opened;
    });
}

void qvIFW_Target_libqv3377hal_Close(qvifw::InstructionTarget* target, qverr::Status* status) {
    statusLastCall(status, [&] {
        delete qv3377hal::takeObjectFromHandle<qvifw::InstructionTarget>(
            qv3377hal::handleOf(target), qv3377hal::HandleKind::instructionTarget, kInvalidTarget);
    });
}

void qvIFW_Target_libqv3377hal_Reset(qvifw::InstructionTarget*, qverr::Status* status) {
    statusLastCall(status, [] {
        qverr::throwError(qverr::qvapalerr_featureUnsupported,
                          QVERR_FIXED_LOCATION("IFWPluginImpl", 155, qv3377hal::kComponent,
                                               "qvapalerr_featureUnsupported"));
    });
}

void qvIFW_Target_libqv3377hal_Read(qvifw::InstructionTarget* target, qvifw::Location location,
                                    uint64_t* value, uint32_t option, qverr::Status* status) {
    statusLastCall(status, [&] {
        if (value == nullptr) throwNullArgument();
        targetFromHandle(target);
        targetCall(
            [&](nQVAPALS100::tStatus& local) { target->read(location, value, option, local); });
    });
}

void qvIFW_Target_libqv3377hal_ReadArray(qvifw::InstructionTarget* target, void* buffer,
                                         size_t count, uint64_t reference, uint32_t option,
                                         qverr::Status* status) {
    if (count == 0) return;
    statusLastCall(status, [&] {
        if (buffer == nullptr || reference == 0) throwNullArgument();
        targetFromHandle(target);
        const uint32_t sent = arrayCount(count);
        targetCall([&](nQVAPALS100::tStatus& local) {
            target->readArray(buffer, sent, reference, option, local);
        });
    });
}

void qvIFW_Target_libqv3377hal_Write(qvifw::InstructionTarget* target, bool flag, uint32_t option,
                                     qvifw::LocationWithValue location, qverr::Status* status) {
    statusLastCall(status, [&] {
        targetFromHandle(target);
        targetCall(
            [&](nQVAPALS100::tStatus& local) { target->write(location, flag, option, local); });
    });
}

void qvIFW_Target_libqv3377hal_WriteArray(qvifw::InstructionTarget* target, const void* buffer,
                                          size_t count, bool flag, uint32_t option,
                                          qverr::Status* status) {
    if (count == 0) return;
    statusLastCall(status, [&] {
        if (buffer == nullptr) throwNullArgument();
        targetFromHandle(target);
        const uint32_t sent = arrayCount(count);
        targetCall([&](nQVAPALS100::tStatus& local) {
            target->writeArray(buffer, sent, flag, option, local);
        });
    });
}
