#include "requests/RequestDecoder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

namespace qvsim {

using sdihal::nRequestDescriptors::tField;
using sdihal::nRequestDescriptors::tKind;

namespace {

const tField& fieldOf(std::span<const tField> fields, std::string_view name) {
    for (const tField& field : fields) {
        if (name == field.name) return field;
    }
    throw std::out_of_range("no field " + std::string(name));
}

std::string nameOf(const MethodDescriptor& method) {
    return std::string(method.interface) + "." + method.name;
}

}  // namespace

std::string DecodedRequest::name() const {
    return nameOf(*method);
}

std::span<const uint8_t> DecodedRequest::in(std::string_view field) const {
    const tField& f = fieldOf(method->in, field);
    return std::span<const uint8_t>(input).subspan(f.offset, f.size);
}

std::span<const uint8_t> DecodedRequest::out(std::string_view field) const {
    const tField& f = fieldOf(method->out, field);
    return std::span<const uint8_t>(output).subspan(f.offset, f.size);
}

int64_t DecodedRequest::value(std::string_view field) const {
    const tField& f = fieldOf(method->in, field);
    switch (f.kind) {
        case tKind::kU8:
            return get<uint8_t>(field);
        case tKind::kU16:
            return get<uint16_t>(field);
        case tKind::kU32:
            return get<uint32_t>(field);
        case tKind::kU64:
            return static_cast<int64_t>(get<uint64_t>(field));
        case tKind::kI32:
            return get<int32_t>(field);
        default:
            throw std::invalid_argument(std::string(field) + " is not a scalar");
    }
}

Reply::Reply(const MethodDescriptor& method, Request& request)
    : method_(method), request_(request) {}

std::span<uint8_t> Reply::bytes(std::string_view field) {
    const tField& f = fieldOf(method_.out, field);
    return request_.output.subspan(f.offset, f.size);
}

void Reply::set(std::string_view field, uint64_t value) {
    auto target = bytes(field);
    if (target.size() > sizeof value)
        throw std::invalid_argument(std::string(field) + " is not a scalar");
    std::memcpy(target.data(), &value, target.size());  // little-endian: the low bytes
}

struct RequestDecoder::State {
    mutable std::mutex mutex;
    std::map<std::string, MethodHandler, std::less<>> handlers;
    std::vector<DecodedRequest> requests;

    int serve(const MethodDescriptor& method, Request& request) {
        DecodedRequest decoded{
            &method, request.device, {request.input.begin(), request.input.end()}, {}};
        MethodHandler handler;
        {
            std::lock_guard lock(mutex);
            auto found = handlers.find(decoded.name());
            if (found != handlers.end()) handler = found->second;
        }
        int err = 0;
        if (handler) {
            Reply reply(method, request);
            try {
                err = handler(decoded, reply);
            } catch (const std::exception& error) {
                // A handler that names a field its method lacks is a fault of the test.
                std::fprintf(stderr, "simulated driver: %s: %s\n", decoded.name().c_str(),
                             error.what());
                std::abort();
            }
        }
        decoded.output.assign(request.output.begin(), request.output.end());
        std::lock_guard lock(mutex);
        requests.push_back(std::move(decoded));
        return err;
    }
};

namespace {

// The decoder serving each driver: the driver's routes keep it alive, so it
// expires with the driver.
std::mutex decodersMutex;
std::map<const Driver*, std::weak_ptr<RequestDecoder::State>> decoders;

}  // namespace

RequestDecoder::RequestDecoder(Driver& driver) : state_(std::make_shared<State>()) {
    {
        // A second decoder would silently take over every request code, and
        // the behaviour registered with the first would never run.
        std::lock_guard lock(decodersMutex);
        auto& current = decoders[&driver];
        if (!current.expired()) {
            throw std::logic_error(
                "the driver's requests are decoded already (the simulated module's decoder)");
        }
        current = state_;
    }
    using namespace sdihal::nRequestDescriptors;
    for (auto family : {qv3377kInterfaces(), atomiczekddkInterfaces()}) {
        for (const tInterface& interface : family) {
            for (const tMethod& method : interface.methods) {
                driver.onRequest(
                    method.code,
                    [state = state_, &method](Request& request) {
                        return state->serve(method, request);
                    },
                    method.inSize, method.outSize);
            }
        }
    }
    driver.onOtherRequest([](Request&) { return ENOTTY; });
}

void RequestDecoder::on(std::string_view method, MethodHandler handler) {
    if (sdihal::nRequestDescriptors::findMethod(method) == nullptr) {
        throw std::invalid_argument("no method " + std::string(method));
    }
    std::lock_guard lock(state_->mutex);
    state_->handlers.insert_or_assign(std::string(method), std::move(handler));
}

std::vector<DecodedRequest> RequestDecoder::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

std::optional<DecodedRequest> RequestDecoder::last(std::string_view method) const {
    std::lock_guard lock(state_->mutex);
    for (auto it = state_->requests.rbegin(); it != state_->requests.rend(); ++it) {
        if (it->name() == method) return *it;
    }
    return std::nullopt;
}

void RequestDecoder::clear() {
    std::lock_guard lock(state_->mutex);
    state_->requests.clear();
}

}  // namespace qvsim
