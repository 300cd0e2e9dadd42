// The simulated kernel driver's decoding of the module's requests: every
// request code of the kernel-driver interfaces is served by its descriptor.
// Block sizes are checked (EINVAL), codes no interface has are refused
// (ENOTTY), each request is recorded with its fields by name, and the
// module's behaviour is written as handlers against those names.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "apal_qv3377k/descriptors.h"
#include "kerneldriver/Driver.h"

namespace qvsim {

using MethodDescriptor = sdihal::nRequestDescriptors::tMethod;

// One request as the driver received and answered it.
struct DecodedRequest {
    const MethodDescriptor* method = nullptr;
    std::string device;
    std::vector<uint8_t> input;
    // The output block as it went back to the caller.
    std::vector<uint8_t> output;

    // "<interface>.<method>", such as "wgen.commit".
    std::string name() const;
    // The bytes of a field of the input or output block; std::out_of_range
    // names a field the block does not have.
    std::span<const uint8_t> in(std::string_view field) const;
    std::span<const uint8_t> out(std::string_view field) const;
    // A scalar input field, zero-extended (signed fields sign-extended).
    int64_t value(std::string_view field) const;
    // The caller's status code sent with the request.
    int32_t callerStatus() const { return static_cast<int32_t>(value("status")); }

    template <class T>
    T get(std::string_view field) const {
        static_assert(std::is_trivially_copyable_v<T>);
        const auto bytes = in(field);
        if (bytes.size() != sizeof(T)) throw std::length_error(std::string(field));
        T result;
        std::memcpy(&result, bytes.data(), sizeof result);
        return result;
    }
};

// The output block of the request being answered, written by field name. It
// starts as the caller prepared it, so a field left alone goes back as that.
class Reply {
public:
    Reply(const MethodDescriptor& method, Request& request);

    std::span<uint8_t> bytes(std::string_view field);
    // A scalar field, cut to its width.
    void set(std::string_view field, uint64_t value);
    // The driver's reply code.
    void status(int32_t code) { set("status", static_cast<uint32_t>(code)); }
    // The byte count the request reports back (by default the output size).
    void bytesReturned(uint32_t count) { request_.bytesReturned = count; }

    template <class T>
    void setAs(std::string_view field, const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        auto target = bytes(field);
        if (target.size() != sizeof(T)) throw std::length_error(std::string(field));
        std::memcpy(target.data(), &value, sizeof value);
    }

private:
    const MethodDescriptor& method_;
    Request& request_;
};

// The module's behaviour for one method: 0, or an errno that fails the ioctl.
using MethodHandler = std::function<int(const DecodedRequest& request, Reply& reply)>;

class RequestDecoder {
public:
    // Serves every method of the kernel-driver interfaces on `driver`.
    explicit RequestDecoder(Driver& driver);

    // The behaviour of "<interface>.<method>"; without one a request is
    // answered with status 0 and the output block as the caller sent it.
    // std::invalid_argument names a method no interface has.
    void on(std::string_view method, MethodHandler handler);

    // Requests decoded so far, oldest first.
    std::vector<DecodedRequest> requests() const;
    // The latest request of "<interface>.<method>".
    std::optional<DecodedRequest> last(std::string_view method) const;
    void clear();

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace qvsim
