#include "fpgadevice/FpgaDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>

#include "atomiczekddk/user/session/Fpga.h"
#include "qverr/Codes.h"

namespace qvsim {

namespace {

namespace control = qvzek::user::control;

constexpr uint32_t kForever = 0xFFFFFFFF;

uint8_t* pointer(uint64_t address) {
    return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address));
}

// Element `index` of the counter stream, little-endian, cut to `size` bytes.
void counterElement(uint64_t index, uint32_t size, uint8_t* out) {
    for (uint32_t i = 0; i < size; ++i) out[i] = i < 8 ? static_cast<uint8_t>(index >> (8 * i)) : 0;
}

}  // namespace

struct FpgaDevice::State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;

    uint32_t controlAddress = kDefaultControlAddress;
    uint32_t irqStatusAddress = kDefaultIrqStatusAddress;
    std::unordered_map<uint32_t, uint32_t> words;
    uint32_t runState = 0;
    uint32_t errorBits = 0;
    bool neverRuns = false;
    bool unreachable = false;
    uint32_t asserted = 0;
    std::vector<FpgaDevice::ControlRequest> controls;

    std::map<uint32_t, FifoState> fifos;
    // FIFO number -> {element size, direction}.
    std::map<uint32_t, std::pair<uint32_t, uint32_t>> fifoDescriptions;
    std::vector<uint8_t> flashImage;
    uint32_t flashValue = 0;
    std::map<uint32_t, uint32_t> attributes;
    std::vector<uint8_t> bitstream;
    std::vector<uint8_t> personality;
    uint32_t stateFlag = 1;
    uint32_t ioInfo = 0;
    std::map<uint32_t, uint32_t> p2pInfo;
    std::map<std::string, std::deque<int32_t>, std::less<>> failures;

    uint32_t read(uint32_t address) const {
        address &= ~3u;
        if (address == controlAddress) {
            return unreachable ? control::kUnreachable
                               : (runState & control::kStateMask) | errorBits;
        }
        if (address == irqStatusAddress) return asserted;
        const auto found = words.find(address);
        return found == words.end() ? 0 : found->second;
    }

    void write(uint32_t address, uint32_t value) {
        address &= ~3u;
        if (address == controlAddress) {
            if (value == control::kWriteStop) runState = control::kStateNotRunning;
            if (value == control::kWriteStart && !neverRuns) runState = control::kStateRunning;
            return;
        }
        if (address == irqStatusAddress) {
            asserted &= ~value;
            return;
        }
        words[address] = value;
    }

    // Fills the ring of a target-to-host FIFO as far as it has room.
    void produce(FifoState& fifo) {
        if (fifo.direction != 0 || fifo.elementSize == 0 || fifo.ringBytes == 0) return;
        const uint64_t size = fifo.elementSize;
        const uint64_t limit = fifo.produceLimitElements > UINT64_MAX / size
                                   ? UINT64_MAX
                                   : fifo.produceLimitElements * size;
        uint64_t target = std::min(fifo.released + fifo.ringBytes, limit);
        target -= target % size;
        uint8_t* ring = pointer(fifo.address);
        while (fifo.produced < target) {
            const uint64_t offset = fifo.produced % fifo.ringBytes;
            const uint64_t index = fifo.produced / size;
            if (offset + size <= fifo.ringBytes) {
                if (size == 4) {
                    const uint32_t value = static_cast<uint32_t>(index);
                    std::memcpy(ring + offset, &value, 4);
                } else if (size == 8) {
                    std::memcpy(ring + offset, &index, 8);
                } else {
                    counterElement(index, fifo.elementSize, ring + offset);
                }
            } else {  // an element across the end of the ring wraps byte by byte
                uint8_t element[64];
                std::vector<uint8_t> large;
                uint8_t* bytes = element;
                if (size > sizeof element) {
                    large.resize(size);
                    bytes = large.data();
                }
                counterElement(index, fifo.elementSize, bytes);
                for (uint64_t i = 0; i < size; ++i) ring[(offset + i) % fifo.ringBytes] = bytes[i];
            }
            fifo.produced += size;
        }
    }

    // Consumes what the host released into a host-to-target FIFO.
    void consume(FifoState& fifo) {
        if (fifo.elementSize == 0 || fifo.ringBytes == 0) return;
        const uint64_t size = fifo.elementSize;
        std::vector<uint8_t> expected(size), actual(size);
        const uint8_t* ring = pointer(fifo.address);
        while (fifo.consumed + size <= fifo.released) {
            counterElement(fifo.consumed / size, fifo.elementSize, expected.data());
            for (uint64_t i = 0; i < size; ++i)
                actual[i] = ring[(fifo.consumed + i) % fifo.ringBytes];
            if (actual != expected) ++fifo.mismatches;
            fifo.consumed += size;
        }
    }

    uint64_t available(const FifoState& fifo) const {
        return fifo.direction == 0 ? fifo.produced : fifo.ringBytes + fifo.consumed;
    }
};

FpgaDevice::FpgaDevice(Driver& driver, RequestDecoder& decoder, std::string name, size_t pages)
    : driver_(driver), name_(std::move(name)), state_(std::make_shared<State>()) {
    path_ = driver_.addDevice(name_, pages);

    // Every method first takes a failure injected into it.
    auto serve = [&decoder, state = state_](
                     const std::string& method,
                     std::function<void(State&, const DecodedRequest&, Reply&,
                                        std::unique_lock<std::mutex>&)>
                         body) {
        decoder.on(method, [state, method, body](const DecodedRequest& request, Reply& reply) {
            std::unique_lock lock(state->mutex);
            auto failure = state->failures.find(method);
            if (failure != state->failures.end() && !failure->second.empty()) {
                const int32_t code = failure->second.front();
                failure->second.pop_front();
                if (request.method->outField("status") != nullptr) reply.status(code);
                return 0;
            }
            body(*state, request, reply, lock);
            return 0;
        });
    };
    using Lock = std::unique_lock<std::mutex>;

    // ---- attributes and personality
    serve("atomiczekddk_attribute.getAttribute",
          [](State& s, const DecodedRequest& r, Reply& reply, Lock&) {
              const auto found = s.attributes.find(r.get<uint32_t>("attribute"));
              if (found == s.attributes.end()) {
                  reply.status(kAttributeNotServed);
              } else {
                  reply.set("return", found->second);
              }
          });
    serve("atomiczekddk_attribute.setAttribute",
          [](State& s, const DecodedRequest& r, Reply&, Lock&) {
              s.attributes[r.get<uint32_t>("attribute")] = r.get<uint32_t>("value");
          });
    serve("atomiczekddk_attribute.getStateFlag", [](State& s, const DecodedRequest&, Reply& reply,
                                                    Lock&) { reply.set("return", s.stateFlag); });
    serve("atomiczekddk_attribute.configurePersonality",
          [](State& s, const DecodedRequest& r, Reply& reply, Lock&) {
              const uint8_t* bytes = pointer(r.get<uint64_t>("bitstream"));
              std::vector<uint8_t> bitstream(bytes, bytes + r.get<uint32_t>("bitstreamLength"));
              // The FIFO records: class, kind, type {element type, bits, bytes,
              // signed, integer bits}, then the number, each little-endian.
              const uint8_t* records = pointer(r.get<uint64_t>("fifoData"));
              const uint32_t fifoBytes = r.get<uint32_t>("fifoDataLength");
              for (uint32_t at = 0; records != nullptr && at + 37 <= fifoBytes; at += 37) {
                  uint32_t bytes = 0, number = 0;
                  std::memcpy(&bytes, records + at + 7, 4);
                  std::memcpy(&number, records + at + 16, 4);
                  const uint32_t size =
                      records[at + 2] == 10 ? 8 : bytes;  // fixed point travels in 64 bits
                  s.fifoDescriptions[number] = {size, records[at + 1]};
              }
              const bool changed = bitstream != s.personality;
              if (changed) s.personality = std::move(bitstream);
              reply.set("result", changed ? 1 : 0);
          });

    // ---- configuration
    serve("atomiczekddk_configuration.postConfigurationWord",
          [](State&, const DecodedRequest&, Reply&, Lock&) {});
    serve("atomiczekddk_configuration.download",
          [](State& s, const DecodedRequest& r, Reply&, Lock&) {
              const uint8_t* bytes = pointer(r.get<uint64_t>("bitstream"));
              s.bitstream.assign(bytes, bytes + r.get<uint32_t>("length"));
              s.runState = control::kStateNotRunning;
              s.errorBits = 0;
          });
    serve("atomiczekddk_configuration.command0D",
          [](State&, const DecodedRequest&, Reply&, Lock&) {});
    serve("atomiczekddk_configuration.reset", [](State& s, const DecodedRequest&, Reply&, Lock&) {
        s.runState = control::kStateNotRunning;
    });
    serve("atomiczekddk_configuration.abort", [](State& s, const DecodedRequest&, Reply&, Lock&) {
        s.runState = control::kStateAborted;
    });
    serve("atomiczekddk_configuration.control",
          [](State& s, const DecodedRequest& r, Reply&, Lock&) {
              ControlRequest request{r.get<uint32_t>("target"), r.get<uint32_t>("operation"), {}};
              const uint8_t* input = pointer(r.get<uint64_t>("input"));
              const uint64_t length = r.get<uint64_t>("inputLength");
              if (input != nullptr && length <= 4096) request.input.assign(input, input + length);
              s.controls.push_back(std::move(request));
          });

    // ---- registers
    serve("atomiczekddk_io.read32", [](State& s, const DecodedRequest& r, Reply& reply, Lock&) {
        reply.set("return", s.read(r.get<uint32_t>("offset")));
    });
    serve("atomiczekddk_io.write32", [](State& s, const DecodedRequest& r, Reply&, Lock&) {
        s.write(r.get<uint32_t>("offset"), r.get<uint32_t>("value"));
    });
    serve("atomiczekddk_io.blockRead", [](State& s, const DecodedRequest& r, Reply&, Lock&) {
        const uint32_t offset = r.get<uint32_t>("offset");
        uint8_t* buffer = pointer(r.get<uint64_t>("buffer"));
        const uint32_t bytes = r.get<uint32_t>("arg3");
        for (uint32_t done = 0; done < bytes; done += 4) {
            const uint32_t word = s.read(offset + done);
            std::memcpy(buffer + done, &word, std::min<uint32_t>(4, bytes - done));
        }
    });
    serve("atomiczekddk_io.blockWrite", [](State& s, const DecodedRequest& r, Reply&, Lock&) {
        const uint32_t offset = r.get<uint32_t>("offset");
        const uint8_t* buffer = pointer(r.get<uint64_t>("buffer"));
        const uint32_t bytes = r.get<uint32_t>("arg3");
        for (uint32_t done = 0; done < bytes; done += 4) {
            uint32_t word = s.read(offset + done);
            std::memcpy(&word, buffer + done, std::min<uint32_t>(4, bytes - done));
            s.write(offset + done, word);
        }
    });
    serve("atomiczekddk_io.getIoInfo", [](State& s, const DecodedRequest&, Reply& reply, Lock&) {
        reply.set("return", s.ioInfo);
    });

    // ---- interrupts
    serve("atomiczekddk_irq.irqCommand1E", [](State&, const DecodedRequest&, Reply&, Lock&) {});
    serve("atomiczekddk_irq.irqCommand1F", [](State&, const DecodedRequest&, Reply&, Lock&) {});
    serve("atomiczekddk_irq.waitOnIrqs",
          [](State& s, const DecodedRequest& r, Reply& reply, Lock& lock) {
              const uint32_t mask = r.get<uint32_t>("mask");
              const uint32_t timeout = r.get<uint32_t>("timeout");
              auto ready = [&] { return s.stopping || (s.asserted & mask) != 0; };
              if (timeout == kForever) {
                  s.changed.wait(lock, ready);
              } else {
                  s.changed.wait_for(lock, std::chrono::milliseconds(timeout), ready);
              }
              const uint32_t asserted = s.asserted & mask;
              reply.set("return", asserted);
              reply.set("timedOut", asserted == 0 ? 1 : 0);
          });

    // ---- DMA FIFOs
    auto fifoOf = [](State& s, const DecodedRequest& r) -> FifoState& {
        return s.fifos[r.get<uint32_t>("fifo")];
    };
    serve("atomiczekddk_fifo.beginFifoConfiguration",
          [fifoOf](State& s, const DecodedRequest& r, Reply&, Lock&) {
              FifoState& fifo = fifoOf(s, r);
              fifo.session = r.get<uint64_t>("session");
              fifo.started = false;
          });
    serve("atomiczekddk_fifo.configureFifo",
          [fifoOf](State& s, const DecodedRequest& r, Reply& reply, Lock&) {
              FifoState& fifo = fifoOf(s, r);
              uint64_t words[4];
              const auto bytes = r.in("words");
              std::memcpy(words, bytes.data(), sizeof words);
              const auto described = s.fifoDescriptions.find(r.get<uint32_t>("fifo"));
              const uint32_t elementSize =
                  described == s.fifoDescriptions.end() ? 0 : described->second.first;
              const uint32_t direction =
                  described == s.fifoDescriptions.end() ? 0 : described->second.second;
              if (words[0] == 0 || words[1] == 0 || elementSize == 0 ||
                  words[1] % elementSize != 0 || words[2] > words[1]) {
                  reply.status(qverr::qvapalerr_invalidParameter);
                  return;
              }
              fifo.configured = true;
              fifo.session = r.get<uint64_t>("session");
              fifo.address = words[0];
              fifo.ringBytes = words[1];
              fifo.mirrorBytes = words[2];
              fifo.elementSize = elementSize;
              fifo.direction = direction;
              fifo.bufferType = static_cast<uint32_t>(words[3]);
              fifo.flowControl = static_cast<uint32_t>(words[3] >> 32);
          });
    serve("atomiczekddk_fifo.startFifo",
          [fifoOf](State& s, const DecodedRequest& r, Reply& reply, Lock&) {
              FifoState& fifo = fifoOf(s, r);
              if (!fifo.configured) {
                  reply.status(kFifoNotReady);
                  return;
              }
              fifo.started = true;
              fifo.produced = fifo.released = fifo.consumed = fifo.mismatches = 0;
          });
    serve("atomiczekddk_fifo.stopFifo", [fifoOf](State& s, const DecodedRequest& r, Reply&, Lock&) {
        fifoOf(s, r).started = false;
        s.changed.notify_all();
    });
    serve("atomiczekddk_fifo.closeFifo", [](State& s, const DecodedRequest& r, Reply&, Lock&) {
        s.fifos.erase(r.get<uint32_t>("fifo"));
        s.changed.notify_all();
    });
    serve("atomiczekddk_fifo.waitForBytes", [](State& s, const DecodedRequest& r, Reply& reply,
                                               Lock& lock) {
        const uint32_t number = r.get<uint32_t>("fifo");
        const uint64_t wanted = r.get<uint64_t>("bytesWanted");
        const uint32_t timeout = r.get<uint32_t>("timeout");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
        for (;;) {
            auto found = s.fifos.find(number);
            if (found == s.fifos.end() || !found->second.started) {
                reply.status(kFifoNotReady);
                return;
            }
            FifoState& fifo = found->second;
            s.produce(fifo);
            const uint64_t available = s.available(fifo);
            const bool enough = available >= wanted;
            if (enough || s.stopping ||
                (timeout != kForever && std::chrono::steady_clock::now() >= deadline)) {
                reply.set("return", available);
                reply.set("timedOut", enough ? 0 : 1);
                return;
            }
            if (timeout == kForever) {
                s.changed.wait(lock);
            } else {
                s.changed.wait_until(lock, deadline);
            }
        }
    });
    serve("atomiczekddk_fifo.releaseBytes",
          [](State& s, const DecodedRequest& r, Reply& reply, Lock&) {
              auto found = s.fifos.find(r.get<uint32_t>("fifo"));
              if (found == s.fifos.end() || !found->second.started) {
                  reply.status(kFifoNotReady);
                  return;
              }
              FifoState& fifo = found->second;
              const uint64_t bytes = r.get<uint64_t>("bytes");
              if (bytes > s.available(fifo) - fifo.released) {
                  reply.status(kReleaseBeyondAvailable);
                  return;
              }
              fifo.released += bytes;
              if (fifo.direction == 1) s.consume(fifo);
              s.changed.notify_all();
          });

    // ---- flash
    serve("atomiczekddk_flash.flashTransfer", [](State& s, const DecodedRequest& r, Reply&, Lock&) {
        const uint8_t* bytes = pointer(r.get<uint64_t>("buffer"));
        const uint32_t length = r.get<uint32_t>("length");
        s.flashImage.assign(bytes, bytes + length);
    });
    serve("atomiczekddk_flash.flashCommand33",
          [](State& s, const DecodedRequest& r, Reply&, Lock&) {
              s.flashValue = r.get<uint32_t>("value");
          });
    serve("atomiczekddk_flash.getFlashInfo", [](State& s, const DecodedRequest&, Reply& reply,
                                                Lock&) { reply.set("return", s.flashValue); });
    serve("atomiczekddk_flash.flashCommand35",
          [](State& s, const DecodedRequest&, Reply&, Lock&) { s.flashImage.clear(); });

    // ---- peer to peer
    serve("atomiczekddk_p2p.getP2PInfo",
          [](State& s, const DecodedRequest& r, Reply& reply, Lock&) {
              const auto found = s.p2pInfo.find(r.get<uint32_t>("fifo"));
              reply.set("return", found == s.p2pInfo.end() ? 0 : found->second);
          });
}

FpgaDevice::~FpgaDevice() {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->changed.notify_all();
}

void FpgaDevice::setControlAddress(uint32_t address) {
    std::lock_guard lock(state_->mutex);
    state_->controlAddress = address & ~3u;
}

void FpgaDevice::setIrqStatusAddress(uint32_t address) {
    std::lock_guard lock(state_->mutex);
    state_->irqStatusAddress = address & ~3u;
}

uint32_t FpgaDevice::reg(uint32_t address) const {
    std::lock_guard lock(state_->mutex);
    return state_->read(address);
}

void FpgaDevice::setReg(uint32_t address, uint32_t value) {
    std::lock_guard lock(state_->mutex);
    state_->words[address & ~3u] = value;
}

uint32_t FpgaDevice::runState() const {
    std::lock_guard lock(state_->mutex);
    return state_->runState;
}

void FpgaDevice::setRunState(uint32_t state) {
    std::lock_guard lock(state_->mutex);
    state_->runState = state & control::kStateMask;
}

void FpgaDevice::setErrorBits(uint32_t bits) {
    std::lock_guard lock(state_->mutex);
    state_->errorBits = bits & ~control::kStateMask;
}

void FpgaDevice::setNeverRuns(bool never) {
    std::lock_guard lock(state_->mutex);
    state_->neverRuns = never;
}

void FpgaDevice::setUnreachable(bool unreachable) {
    std::lock_guard lock(state_->mutex);
    state_->unreachable = unreachable;
}

void FpgaDevice::raiseIrqs(uint32_t lines) {
    std::lock_guard lock(state_->mutex);
    state_->asserted |= lines;
    state_->changed.notify_all();
}

uint32_t FpgaDevice::assertedIrqs() const {
    std::lock_guard lock(state_->mutex);
    return state_->asserted;
}

FpgaDevice::FifoState FpgaDevice::fifo(uint32_t number) const {
    std::lock_guard lock(state_->mutex);
    const auto found = state_->fifos.find(number);
    return found == state_->fifos.end() ? FifoState{} : found->second;
}

void FpgaDevice::describeFifo(uint32_t number, uint32_t elementSize, uint32_t direction) {
    std::lock_guard lock(state_->mutex);
    state_->fifoDescriptions[number] = {elementSize, direction};
}

void FpgaDevice::setProduceLimit(uint32_t number, uint64_t elements) {
    std::lock_guard lock(state_->mutex);
    state_->fifos[number].produceLimitElements = elements;
    state_->changed.notify_all();
}

std::vector<uint8_t> FpgaDevice::flashImage() const {
    std::lock_guard lock(state_->mutex);
    return state_->flashImage;
}

uint32_t FpgaDevice::flashValue() const {
    std::lock_guard lock(state_->mutex);
    return state_->flashValue;
}

void FpgaDevice::setFlashValue(uint32_t value) {
    std::lock_guard lock(state_->mutex);
    state_->flashValue = value;
}

void FpgaDevice::setAttribute(uint32_t id, uint32_t value) {
    std::lock_guard lock(state_->mutex);
    state_->attributes[id] = value;
}

std::vector<uint8_t> FpgaDevice::downloadedBitstream() const {
    std::lock_guard lock(state_->mutex);
    return state_->bitstream;
}

std::vector<uint8_t> FpgaDevice::personalityBitstream() const {
    std::lock_guard lock(state_->mutex);
    return state_->personality;
}

void FpgaDevice::setStateFlag(uint32_t flag) {
    std::lock_guard lock(state_->mutex);
    state_->stateFlag = flag;
}

void FpgaDevice::setIoInfo(uint32_t value) {
    std::lock_guard lock(state_->mutex);
    state_->ioInfo = value;
}

void FpgaDevice::setP2PInfo(uint32_t fifo, uint32_t value) {
    std::lock_guard lock(state_->mutex);
    state_->p2pInfo[fifo] = value;
}

void FpgaDevice::failNext(const std::string& method, int32_t driverStatus, uint32_t times) {
    std::lock_guard lock(state_->mutex);
    auto& queue = state_->failures[method];
    for (uint32_t i = 0; i < times; ++i) queue.push_back(driverStatus);
}

std::vector<FpgaDevice::ControlRequest> FpgaDevice::controlRequests() const {
    std::lock_guard lock(state_->mutex);
    return state_->controls;
}

uint8_t* FpgaDevice::regionMemory(uint16_t region) {
    return driver_.regionMemory(name_, region);
}

}  // namespace qvsim
