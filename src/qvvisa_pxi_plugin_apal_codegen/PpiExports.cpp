#include "qvvisa_pxi_plugin_apal_codegen/PpiExports.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "qverr/Exception.h"
#include "qvvisa_pxi_plugin_apal_codegen/PluginHelper.h"

using namespace visapxipluginapalcodegen;

namespace {

// Every export's frame: a status exception gives its code (driver and
// platform codes pass unchanged), anything else, a failing lock included,
// a system error.
template <class Body>
ViStatus visaCall(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kViErrorOutOfMemory;
    } catch (const qverr::ExceptionBase& error) {
        return error.status.code;
    } catch (...) {
        return kViErrorSystem;
    }
}

PluginSession* addressOf(uint64_t handle) {
    return reinterpret_cast<PluginSession*>(static_cast<uintptr_t>(handle));
}

// A block read or write: the caller's buffer travels as its address only.
template <class Request>
ViStatus blockTransfer(Request request, uint64_t session, uint32_t space, uint64_t offset,
                       uint32_t access, uint16_t flag, const void* buffer, uint64_t count,
                       uint32_t mode) {
    if (session == 0) return kViErrorInvalidParameter;
    if (buffer == nullptr) return kViErrorInvalidPointer;
    if (count == 0) return kViErrorInvalidSize;
    if (space > 6) return kViErrorInvalidSpace;
    if (mode != 0 && mode != 0xFFFFFFFFu) return kViErrorInvalidParameter;
    return visaCall([&] {
        const auto held = findSession(session);
        nQVAPALS100::tStatus status;
        ((*held).*request)(static_cast<uint8_t>(space), offset, access, flag != 0 ? 1 : 0,
                           reinterpret_cast<uintptr_t>(buffer), count, mode, status);
        qverr::throwIfTStatusError(status);
        return kViSuccess;
    });
}

}  // namespace

ViStatus PpiInitializePlugin() {
    return visaCall([] {
        PluginState& state = pluginState();
        std::lock_guard lock(state.lock());
        ++state.users;
        return kViSuccess;
    });
}

ViStatus PpiFinalizePlugin() {
    return visaCall([] {
        std::vector<std::shared_ptr<PluginSession>> released;
        {
            PluginState& state = pluginState();
            std::lock_guard lock(state.lock());
            requireInitialized(state);
            if (--state.users == 0) released.swap(state.sessions);
        }
        // Sessions still in a transfer go when that transfer ends.
        released.clear();
        return kViSuccess;
    });
}

ViStatus PpiGetDeviceIDs(uint16_t wantFlags, int32_t capacity, uint64_t* ids, uint16_t* flags,
                         uint32_t* count) {
    if (count == nullptr) return kViErrorInvalidPointer;
    if (capacity > 0 && (ids == nullptr || (wantFlags != 0 && flags == nullptr)))
        return kViErrorInvalidPointer;
    return visaCall([&] {
        requireInitialized();
        const std::vector<uint64_t> found = deviceIds();
        *count = static_cast<uint32_t>(found.size());
        if (static_cast<int64_t>(found.size()) > capacity)
            throwVisa(kViErrorInvalidSize, "PluginHelper", 64);
        std::copy(found.begin(), found.end(), ids);
        if (flags != nullptr) std::fill_n(flags, found.size(), uint16_t{1});
        return kViSuccess;
    });
}

ViStatus PpiOpen(int32_t first, uint32_t bus, uint32_t device, uint32_t function,
                 uint64_t* session) {
    if (session == nullptr) return kViErrorInvalidPointer;
    *session = 0;
    if (first != 0 || bus > 255 || device > 31 || function > 7) return kViErrorInvalidParameter;
    return visaCall([&] {
        requireInitialized();
        auto created = std::make_shared<PluginSession>(bus, device, function);
        const auto handle = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(created.get()));
        PluginState& state = pluginState();
        // Released before `created`: a session refused here is closed outside the lock.
        std::lock_guard lock(state.lock());
        requireInitialized(state);
        state.sessions.insert(state.lowerBound(handle), std::move(created));
        *session = handle;
        return kViSuccess;
    });
}

ViStatus PpiClose(uint64_t session) {
    if (session == 0) return kViWarningNullObject;
    return visaCall([&] {
        std::shared_ptr<PluginSession> closed;
        {
            PluginState& state = pluginState();
            std::lock_guard lock(state.lock());
            requireInitialized(state);
            const auto found = state.lowerBound(session);
            if (found == state.sessions.end() || found->get() != addressOf(session)) {
                throwVisa(kViErrorInvalidObject, "PluginHelper", 86);
            }
            closed = std::move(*found);
            state.sessions.erase(found);
        }
        // Detached here unless a transfer still holds the session.
        closed.reset();
        return kViSuccess;
    });
}

ViStatus PpiGetSpaceInfo(uint64_t session, uint32_t space, uint16_t* first, uint64_t* second,
                         uint64_t* third) {
    if (session == 0) return kViErrorInvalidParameter;
    if (space > 5) return kViErrorInvalidSpace;
    if (first == nullptr || second == nullptr || third == nullptr) return kViErrorInvalidPointer;
    return visaCall([&] {
        const auto held = findSession(session);
        nQVAPALS100::tStatus status;
        // The driver's results come back with its error; only a failed ioctl
        // leaves the caller's outputs as they were.
        held->getSpaceInfo(space, first, second, third, status);
        qverr::throwIfTStatusError(status);
        return kViSuccess;
    });
}

ViStatus PpiGetDeviceAttribute(uint64_t session, uint32_t attribute, void* value) {
    if (session == 0) return kViErrorInvalidParameter;
    if (value == nullptr) return kViErrorInvalidPointer;
    return visaCall([&] {
        findSession(session)->getAttribute(attribute, value);
        return kViSuccess;
    });
}

ViStatus PpiBlockRead(uint64_t session, uint32_t, uint32_t space, uint64_t offset, uint32_t access,
                      uint16_t flag, void* buffer, uint64_t count, uint32_t mode) {
    return blockTransfer(&PluginSession::blockRead, session, space, offset, access, flag, buffer,
                         count, mode);
}

ViStatus PpiBlockWrite(uint64_t session, uint32_t, uint32_t space, uint64_t offset, uint32_t access,
                       uint16_t flag, const void* buffer, uint64_t count, uint32_t mode) {
    return blockTransfer(&PluginSession::blockWrite, session, space, offset, access, flag, buffer,
                         count, mode);
}

ViStatus PpiMapMemory() {
    return kViErrorNotSupported;
}
ViStatus PpiUnmapMemory() {
    return kViErrorNotSupported;
}
ViStatus PpiEnableInterrupts() {
    return kViErrorNotSupported;
}
ViStatus PpiWaitInterrupt() {
    return kViErrorNotSupported;
}
ViStatus PpiDisableAndAbortWaitInterrupt() {
    return kViErrorNotSupported;
}
ViStatus PpiTerminateIO() {
    return kViErrorNotSupported;
}
