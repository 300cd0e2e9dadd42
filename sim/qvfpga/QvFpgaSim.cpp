// The FPGA interface library stand-in. One mutex guards the whole model;
// waits (FIFO data or room, interrupts) sleep on one condition variable and
// end at their time limit, or when their session closes.
//
// Its first call chooses the mode: sessions of its own model (direct), or,
// when QVFPGASIM_PLUGIN names an FPGA-driver plug-in, sessions of that
// driver, each call forwarded to the driver's FPGA session by position
// (plug-in mode). Both log and count calls and honour injected results.
#include "qvfpga/QvFpgaSim.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/Countdown.h"
#include "qvfpga/PluginHost.h"
#include "qvisl/QvFpgaDll.h"

#define QVFPGASIM_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" void* __dso_handle;
extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* dso);

namespace {

constexpr uint32_t kWaitForever = 0xFFFFFFFF;

struct Fifo {
    std::string name;
    uint32_t elementSize = 1;
    size_t depth = 0;  // elements
    std::vector<uint8_t> ring;
    size_t head = 0;  // byte offset of the oldest element
    size_t used = 0;  // bytes held
    bool started = false;
    std::map<uint32_t, uint64_t> properties;
    // Elements handed out by an acquire, until released.
    std::vector<uint8_t> staged;
    bool stagedForWrite = false;

    size_t capacity() const { return ring.size(); }
    size_t room() const { return capacity() - used; }

    void resize(size_t elements) {
        depth = elements;
        ring.assign(elements * elementSize, 0);
        head = used = 0;
    }
    void put(const uint8_t* bytes, size_t size) {
        const size_t tail = (head + used) % capacity();
        const size_t first = std::min(size, capacity() - tail);
        std::memcpy(ring.data() + tail, bytes, first);
        std::memcpy(ring.data(), bytes + first, size - first);
        used += size;
    }
    void take(uint8_t* bytes, size_t size) {
        const size_t first = std::min(size, capacity() - head);
        if (bytes) {
            std::memcpy(bytes, ring.data() + head, first);
            std::memcpy(bytes + first, ring.data(), size - first);
        }
        head = (head + size) % capacity();
        used -= size;
    }
    void peek(uint8_t* bytes, size_t size) const {
        const size_t first = std::min(size, capacity() - head);
        std::memcpy(bytes, ring.data() + head, first);
        std::memcpy(bytes + first, ring.data(), size - first);
    }
};

struct Session {
    std::string bitfile;
    std::string resource;
    uint32_t attribute = 0;
    std::vector<Fifo> fifos;
    uint32_t assertedIrqs = 0;
    std::set<uintptr_t> irqContexts;
    bool closed = false;
    // Plug-in mode: the driver's session this one forwards to.
    zekhost::FpgaSession driver;
};

struct Declared {
    std::string name;
    uint32_t elementSize;
    uint64_t depth;
};

struct Injection {
    uint32_t countdown;
    int32_t code;
};

enum class Mode { undecided, direct, plugin };

struct Model {
    std::mutex mutex;
    Mode mode = Mode::undecided;
    std::unique_ptr<qvfpgasim::PluginHost> plugin;
    // Taken before `mutex`, never after it: guards the driver's start, its
    // device list between opens and its end. The driver's own locks come
    // after it (and may hold while the kernel driver's events take `mutex`).
    std::mutex pluginOpen;
    std::condition_variable changed;
    std::map<uint32_t, std::shared_ptr<Session>> sessions;
    uint32_t nextSession = 1;
    uintptr_t nextIrqContext = 0x1000;
    std::vector<Declared> declared;
    std::map<std::string, std::vector<Injection>> injections;
    std::map<std::string, uint64_t> counts;
    std::vector<std::string> log;
};

Model& model() {
    static Model* instance = new Model;  // outlives every caller, even at exit
    return *instance;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

// Counts and logs a call and returns the result injected into it, or 0.
int32_t enter(Model& m, const char* function, const std::string& arguments) {
    ++m.counts[function];
    m.log.push_back(arguments.empty() ? std::string(function)
                                      : std::string(function) + " " + arguments);
    auto found = m.injections.find(function);
    return found == m.injections.end() ? 0 : qvsim::takeDue(found->second, &Injection::code);
}

Session* findSession(Model& m, uint32_t session) {
    auto found = m.sessions.find(session);
    return found == m.sessions.end() ? nullptr : found->second.get();
}

Fifo* findFifo(Model& m, uint32_t session, uint32_t fifo) {
    Session* s = findSession(m, session);
    if (s == nullptr || fifo >= s->fifos.size()) return nullptr;
    return &s->fifos[fifo];
}

Fifo* findFifoByName(Model& m, uint32_t session, const char* name) {
    Session* s = findSession(m, session);
    if (s == nullptr || name == nullptr) return nullptr;
    for (Fifo& f : s->fifos) {
        if (f.name == name) return &f;
    }
    return nullptr;
}

// Ends plug-in mode: the driver's sessions are released (the model's
// sessions are gone already), then the driver is finalized.
void endPlugin(std::vector<std::shared_ptr<Session>> sessions,
               std::unique_ptr<qvfpgasim::PluginHost> plugin) {
    for (const auto& s : sessions) {
        if (s->driver) s->driver.release();
    }
    plugin.reset();
}

// Takes the model's sessions and driver, leaving the mode undecided.
void takePlugin(Model& m, std::vector<std::shared_ptr<Session>>& sessions,
                std::unique_ptr<qvfpgasim::PluginHost>& plugin) {
    for (auto& [id, s] : m.sessions) {
        s->closed = true;
        sessions.push_back(s);
    }
    m.sessions.clear();
    plugin = std::move(m.plugin);
    m.mode = Mode::undecided;
}

// Ends plug-in mode (if on) and lets the next call choose the mode again;
// with `reset`, the model forgets its declarations, injections and log.
void endMode(bool reset) {
    Model& m = model();
    std::lock_guard ending(m.pluginOpen);
    std::vector<std::shared_ptr<Session>> sessions;
    std::unique_ptr<qvfpgasim::PluginHost> plugin;
    {
        std::lock_guard lock(m.mutex);
        takePlugin(m, sessions, plugin);
        if (reset) {
            m.declared.clear();
            m.injections.clear();
            m.counts.clear();
            m.log.clear();
        }
        m.changed.notify_all();
    }
    endPlugin(std::move(sessions), std::move(plugin));
}

// A process that never resets still finalizes the driver before the
// libraries' own teardown runs (which would otherwise race its threads).
// Bound to this library, so that it never runs after an unload.
void endPluginAtExit(void*) {
    endMode(false);
}

// The mode, chosen at the first call after loading or after a reset. The
// driver starts without the model's lock: its threads may log through it.
bool pluginMode() {
    Model& m = model();
    {
        std::lock_guard lock(m.mutex);
        if (m.mode != Mode::undecided) return m.mode == Mode::plugin;
    }
    std::lock_guard choosing(m.pluginOpen);
    {
        std::lock_guard lock(m.mutex);
        if (m.mode != Mode::undecided) return m.mode == Mode::plugin;
    }
    const char* library = std::getenv(qvfpgasim::kPluginVariable);
    std::unique_ptr<qvfpgasim::PluginHost> plugin;
    if (library != nullptr && *library != 0) {
        plugin = std::make_unique<qvfpgasim::PluginHost>(library);
        static const bool registered = __cxa_atexit(endPluginAtExit, nullptr, &__dso_handle) == 0;
        (void)registered;
    }
    std::lock_guard lock(m.mutex);
    m.mode = plugin ? Mode::plugin : Mode::direct;
    m.plugin = std::move(plugin);
    return m.mode == Mode::plugin;
}

int32_t codeOf(const zekhost::Status& status, int32_t injected) {
    return status.code != 0 ? static_cast<int32_t>(status.code) : injected;
}

// Plug-in mode: counts and logs the call, then runs `drive` (driver
// session, status) on the session's driver session without the model's
// lock; its status code is the result, else an injected warning.
template <class Drive>
int32_t forward(const char* function, const std::string& arguments, uint32_t session, Drive drive) {
    Model& m = model();
    std::unique_lock lock(m.mutex);
    const int32_t injected = enter(m, function, arguments);
    if (injected < 0) return injected;
    const auto found = m.sessions.find(session);
    if (found == m.sessions.end()) return QVFPGASIM_INVALID;
    const std::shared_ptr<Session> s = found->second;
    lock.unlock();
    zekhost::Status status;
    drive(s->driver, *s, status);
    return codeOf(status, injected);
}

template <class T>
int32_t forwardTransfer(const char* function, uint32_t session, uint32_t fifo, T* data,
                        size_t count, uint32_t timeout, size_t* remaining, bool write) {
    return forward(
        function, format("session=%u fifo=%u count=%zu timeout=%u", session, fifo, count, timeout),
        session, [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
            uint8_t waited = 0;
            if (write) {
                driver.writeFifo<T>(fifo, data, count, timeout, &waited, remaining, status);
            } else {
                driver.readFifo<T>(fifo, data, count, timeout, &waited, remaining, status);
            }
        });
}

template <class T>
int32_t forwardAcquire(const char* function, uint32_t session, uint32_t fifo, T** elements,
                       size_t requested, uint32_t timeout, size_t* acquired, size_t* remaining,
                       bool write) {
    return forward(
        function,
        format("session=%u fifo=%u requested=%zu timeout=%u", session, fifo, requested, timeout),
        session, [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
            uint8_t waited = 0;
            driver.acquireFifoElements<T>(!write, fifo, elements, requested, timeout, &waited,
                                          acquired, remaining, status);
        });
}

// The driver's value kind of each typed property function.
template <class V>
constexpr uint32_t propertyKind() {
    if constexpr (std::is_same_v<V, int32_t>)
        return zekhost::session::kValueI32;
    else if constexpr (std::is_same_v<V, uint32_t>)
        return zekhost::session::kValueU32;
    else if constexpr (std::is_same_v<V, int64_t>)
        return zekhost::session::kValueI64;
    else if constexpr (std::is_same_v<V, uint64_t>)
        return zekhost::session::kValueU64;
    else
        return zekhost::session::kValuePointer;
}

// Plug-in mode's open: the driver's session on the device `resource` names.
int32_t openThroughPlugin(const std::string& arguments, const char* bitfile, const char* signature,
                          const char* resource, uint32_t attribute, uint32_t* session) {
    Model& m = model();
    int32_t injected = 0;
    {
        std::lock_guard lock(m.mutex);
        injected = enter(m, "QvFpgaDll_Open", arguments);
        if (injected < 0) return injected;
        if (bitfile == nullptr || resource == nullptr || session == nullptr)
            return QVFPGASIM_INVALID;
    }
    zekhost::Status status;
    zekhost::FpgaSession driver;
    {
        std::lock_guard open(m.pluginOpen);
        // A reset since the mode was chosen ended the driver.
        if (!m.plugin) return QVFPGASIM_INVALID;
        driver = m.plugin->open(resource, bitfile, signature, attribute, status);
    }
    if (!driver) return codeOf(status, injected);
    auto s = std::make_shared<Session>();
    s->bitfile = bitfile;
    s->resource = resource;
    s->attribute = attribute;
    s->driver = driver;
    std::lock_guard lock(m.mutex);
    *session = m.nextSession++;
    m.sessions[*session] = std::move(s);
    return codeOf(status, injected);
}

int32_t closeThroughPlugin(uint32_t session, uint32_t attribute) {
    Model& m = model();
    std::shared_ptr<Session> s;
    int32_t injected = 0;
    {
        std::lock_guard lock(m.mutex);
        injected =
            enter(m, "QvFpgaDll_Close", format("session=%u attribute=%u", session, attribute));
        if (injected < 0) return injected;
        auto found = m.sessions.find(session);
        if (found == m.sessions.end()) return QVFPGASIM_INVALID;
        s = found->second;
        s->closed = true;
        m.sessions.erase(found);
        m.changed.notify_all();
    }
    zekhost::Status status;
    s->driver.close(attribute, status);
    return codeOf(status, injected);
}

// Waits until `ready` holds, the time limit passes or the session closes.
template <class Ready>
bool waitFor(std::unique_lock<std::mutex>& lock, Model& m, const std::shared_ptr<Session>& session,
             uint32_t timeout, Ready ready) {
    auto done = [&] { return session->closed || ready(); };
    if (timeout == kWaitForever) {
        m.changed.wait(lock, done);
    } else {
        m.changed.wait_for(lock, std::chrono::milliseconds(timeout), done);
    }
    return !session->closed && ready();
}

// A call without waits: counted, logged, its injected result honoured, then
// `body` (under the lock) gives the call's own code, which wins over a
// warning.
template <class Body>
int32_t call(const char* function, const std::string& arguments, Body body) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    const int32_t result = enter(m, function, arguments);
    if (result < 0) return result;
    const int32_t own = body(m);
    m.changed.notify_all();
    return own != 0 ? own : result;
}

// Shared body of the typed reads and writes.
int32_t transfer(const char* function, uint32_t session, uint32_t fifo, void* data, size_t count,
                 uint32_t timeout, size_t* remaining, size_t elementSize, bool write) {
    Model& m = model();
    std::unique_lock lock(m.mutex);
    int32_t result =
        enter(m, function,
              format("session=%u fifo=%u count=%zu timeout=%u", session, fifo, count, timeout));
    if (result < 0) return result;
    Fifo* f = findFifo(m, session, fifo);
    if (f == nullptr || f->elementSize != elementSize || (count != 0 && data == nullptr)) {
        return QVFPGASIM_INVALID;
    }
    const size_t bytes = count * elementSize;
    if (bytes > f->capacity()) return QVFPGASIM_INVALID;
    const std::shared_ptr<Session> owner = m.sessions[session];
    const bool ready = waitFor(lock, m, owner, timeout,
                               [&] { return write ? f->room() >= bytes : f->used >= bytes; });
    if (!ready) {
        if (remaining) *remaining = (write ? f->room() : f->used) / elementSize;
        return owner->closed ? QVFPGASIM_INVALID : QVFPGASIM_TIMED_OUT;
    }
    if (write) {
        f->put(static_cast<const uint8_t*>(data), bytes);
    } else {
        f->take(static_cast<uint8_t*>(data), bytes);
    }
    if (remaining) *remaining = (write ? f->room() : f->used) / elementSize;
    m.changed.notify_all();
    return result;
}

int32_t acquire(const char* function, uint32_t session, uint32_t fifo, void** elements,
                size_t requested, uint32_t timeout, size_t* acquired, size_t* remaining,
                size_t elementSize, bool write) {
    Model& m = model();
    std::unique_lock lock(m.mutex);
    int32_t result = enter(
        m, function,
        format("session=%u fifo=%u requested=%zu timeout=%u", session, fifo, requested, timeout));
    if (result < 0) return result;
    Fifo* f = findFifo(m, session, fifo);
    if (f == nullptr || f->elementSize != elementSize || elements == nullptr ||
        !f->staged.empty()) {
        return QVFPGASIM_INVALID;
    }
    const size_t bytes = requested * elementSize;
    if (bytes > f->capacity()) return QVFPGASIM_INVALID;
    const std::shared_ptr<Session> owner = m.sessions[session];
    if (!waitFor(lock, m, owner, timeout,
                 [&] { return write ? f->room() >= bytes : f->used >= bytes; })) {
        return owner->closed ? QVFPGASIM_INVALID : QVFPGASIM_TIMED_OUT;
    }
    f->staged.assign(bytes, 0);
    f->stagedForWrite = write;
    if (!write) f->peek(f->staged.data(), bytes);
    *elements = f->staged.data();
    if (acquired) *acquired = requested;
    if (remaining) *remaining = ((write ? f->room() : f->used) - bytes) / elementSize;
    return result;
}

// A FIFO operation without data: the model's change, under the lock.
template <class Change>
int32_t fifoCall(const char* function, uint32_t session, uint32_t fifo,
                 const std::string& arguments, Change change) {
    return call(function, format("session=%u fifo=%u", session, fifo) + arguments, [&](Model& m) {
        Fifo* f = findFifo(m, session, fifo);
        return f == nullptr ? QVFPGASIM_INVALID : change(*f);
    });
}

template <class V>
int32_t setProperty(const char* function, uint32_t session, uint32_t fifo, uint32_t property,
                    V value) {
    if (pluginMode()) {
        return forward(
            function, format("session=%u fifo=%u property=%u", session, fifo, property), session,
            [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                driver.setFifoProperty(fifo, property, propertyKind<V>(), &value, status);
            });
    }
    return fifoCall(function, session, fifo, format(" property=%u", property), [&](Fifo& f) {
        uint64_t stored = 0;
        static_assert(sizeof(V) <= sizeof stored);
        std::memcpy(&stored, &value, sizeof value);
        f.properties[property] = stored;
        return 0;
    });
}

template <class V>
int32_t getProperty(const char* function, uint32_t session, uint32_t fifo, uint32_t property,
                    V* value) {
    if (pluginMode()) {
        return forward(function, format("session=%u fifo=%u property=%u", session, fifo, property),
                       session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.getFifoProperty(fifo, property, propertyKind<V>(), value, status);
                       });
    }
    return fifoCall(function, session, fifo, format(" property=%u", property), [&](Fifo& f) {
        if (value == nullptr) return QVFPGASIM_INVALID;
        const auto found = f.properties.find(property);
        const uint64_t stored = found == f.properties.end() ? 0 : found->second;
        std::memcpy(value, &stored, sizeof *value);
        return 0;
    });
}

}  // namespace

// ---- the library's interface

QVFPGASIM_EXPORT int32_t QvFpgaDll_Open(const char* bitfile, const char* signature,
                                        const char* resource, uint32_t attribute,
                                        uint32_t* session) {
    const std::string arguments =
        format("resource=%s attribute=0x%08X signature=%s bitfile=", resource ? resource : "(null)",
               attribute, signature ? signature : "(null)") +
        (bitfile ? bitfile : "(null)");
    if (pluginMode())
        return openThroughPlugin(arguments, bitfile, signature, resource, attribute, session);
    return call("QvFpgaDll_Open", arguments, [&](Model& m) {
        if (bitfile == nullptr || resource == nullptr || session == nullptr)
            return QVFPGASIM_INVALID;
        auto s = std::make_shared<Session>();
        s->bitfile = bitfile;
        s->resource = resource;
        s->attribute = attribute;
        for (const Declared& d : m.declared) {
            Fifo f;
            f.name = d.name;
            f.elementSize = d.elementSize;
            f.resize(d.depth);
            s->fifos.push_back(std::move(f));
        }
        *session = m.nextSession++;
        m.sessions[*session] = std::move(s);
        return 0;
    });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_Close(uint32_t session, uint32_t attribute) {
    if (pluginMode()) return closeThroughPlugin(session, attribute);
    return call("QvFpgaDll_Close", format("session=%u attribute=%u", session, attribute),
                [&](Model& m) {
                    auto found = m.sessions.find(session);
                    if (found == m.sessions.end()) return QVFPGASIM_INVALID;
                    found->second->closed = true;
                    m.sessions.erase(found);
                    return 0;
                });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_FindFifoPrivate(uint32_t session, const char* name,
                                                   uint32_t resourceType, uint32_t* fifo) {
    const std::string arguments =
        format("session=%u name=%s type=0x%08X", session, name ? name : "(null)", resourceType);
    if (pluginMode()) {
        return forward("QvFpgaDll_FindFifoPrivate", arguments, session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.findFifo(name, resourceType, fifo, status);
                       });
    }
    return call("QvFpgaDll_FindFifoPrivate", arguments, [&](Model& m) {
        Session* s = findSession(m, session);
        if (s == nullptr || fifo == nullptr) return QVFPGASIM_INVALID;
        for (size_t i = 0; i < s->fifos.size(); ++i) {
            if (name != nullptr && s->fifos[i].name == name) {
                *fifo = static_cast<uint32_t>(i);
                return 0;
            }
        }
        return QVFPGASIM_NOT_FOUND;
    });
}

#define QVFPGASIM_TYPED(SUFFIX, T)                                                                 \
    QVFPGASIM_EXPORT int32_t QvFpgaDll_ReadFifo##SUFFIX(uint32_t session, uint32_t fifo, T* data,  \
                                                        size_t count, uint32_t timeout,            \
                                                        size_t* remaining) {                       \
        if (pluginMode())                                                                          \
            return forwardTransfer("QvFpgaDll_ReadFifo" #SUFFIX, session, fifo, data, count,       \
                                   timeout, remaining, false);                                     \
        return transfer("QvFpgaDll_ReadFifo" #SUFFIX, session, fifo, data, count, timeout,         \
                        remaining, sizeof(T), false);                                              \
    }                                                                                              \
    QVFPGASIM_EXPORT int32_t QvFpgaDll_WriteFifo##SUFFIX(                                          \
        uint32_t session, uint32_t fifo, const T* data, size_t count, uint32_t timeout,            \
        size_t* emptyRemaining) {                                                                  \
        if (pluginMode())                                                                          \
            return forwardTransfer("QvFpgaDll_WriteFifo" #SUFFIX, session, fifo, data, count,      \
                                   timeout, emptyRemaining, true);                                 \
        return transfer("QvFpgaDll_WriteFifo" #SUFFIX, session, fifo, const_cast<T*>(data), count, \
                        timeout, emptyRemaining, sizeof(T), true);                                 \
    }                                                                                              \
    QVFPGASIM_EXPORT int32_t QvFpgaDll_AcquireFifoReadElements##SUFFIX(                            \
        uint32_t session, uint32_t fifo, T** elements, size_t requested, uint32_t timeout,         \
        size_t* acquired, size_t* remaining) {                                                     \
        if (pluginMode())                                                                          \
            return forwardAcquire("QvFpgaDll_AcquireFifoReadElements" #SUFFIX, session, fifo,      \
                                  elements, requested, timeout, acquired, remaining, false);       \
        return acquire("QvFpgaDll_AcquireFifoReadElements" #SUFFIX, session, fifo,                 \
                       reinterpret_cast<void**>(elements), requested, timeout, acquired,           \
                       remaining, sizeof(T), false);                                               \
    }                                                                                              \
    QVFPGASIM_EXPORT int32_t QvFpgaDll_AcquireFifoWriteElements##SUFFIX(                           \
        uint32_t session, uint32_t fifo, T** elements, size_t requested, uint32_t timeout,         \
        size_t* acquired, size_t* remaining) {                                                     \
        if (pluginMode())                                                                          \
            return forwardAcquire("QvFpgaDll_AcquireFifoWriteElements" #SUFFIX, session, fifo,     \
                                  elements, requested, timeout, acquired, remaining, true);        \
        return acquire("QvFpgaDll_AcquireFifoWriteElements" #SUFFIX, session, fifo,                \
                       reinterpret_cast<void**>(elements), requested, timeout, acquired,           \
                       remaining, sizeof(T), true);                                                \
    }
QVFPGASIM_TYPED(U8, uint8_t)
QVFPGASIM_TYPED(I16, int16_t)
QVFPGASIM_TYPED(U64, uint64_t)
QVFPGASIM_TYPED(I64, int64_t)

QVFPGASIM_EXPORT int32_t QvFpgaDll_ReleaseFifoElements(uint32_t session, uint32_t fifo,
                                                       size_t count) {
    if (pluginMode()) {
        return forward("QvFpgaDll_ReleaseFifoElements",
                       format("session=%u fifo=%u count=%zu", session, fifo, count), session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.releaseFifoElements(fifo, count, status);
                       });
    }
    return fifoCall("QvFpgaDll_ReleaseFifoElements", session, fifo, format(" count=%zu", count),
                    [&](Fifo& f) {
                        const size_t bytes = count * f.elementSize;
                        if (bytes > f.staged.size()) return QVFPGASIM_INVALID;
                        if (f.stagedForWrite) {
                            f.put(f.staged.data(), bytes);
                        } else {
                            f.take(nullptr, bytes);
                        }
                        f.staged.clear();
                        return 0;
                    });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_ConfigureFifo2(uint32_t session, uint32_t fifo,
                                                  size_t requestedDepth, size_t* actualDepth) {
    if (pluginMode()) {
        return forward("QvFpgaDll_ConfigureFifo2",
                       format("session=%u fifo=%u depth=%zu", session, fifo, requestedDepth),
                       session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.configureFifo(fifo, requestedDepth, actualDepth, status);
                       });
    }
    return fifoCall("QvFpgaDll_ConfigureFifo2", session, fifo, format(" depth=%zu", requestedDepth),
                    [&](Fifo& f) {
                        if (actualDepth == nullptr || requestedDepth == 0) return QVFPGASIM_INVALID;
                        f.resize(requestedDepth);
                        *actualDepth = requestedDepth;
                        return 0;
                    });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_StartFifo(uint32_t session, uint32_t fifo) {
    if (pluginMode()) {
        return forward("QvFpgaDll_StartFifo", format("session=%u fifo=%u", session, fifo), session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.startFifo(fifo, status);
                       });
    }
    return fifoCall("QvFpgaDll_StartFifo", session, fifo, "", [](Fifo& f) {
        f.started = true;
        return 0;
    });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_StopFifo(uint32_t session, uint32_t fifo) {
    if (pluginMode()) {
        return forward("QvFpgaDll_StopFifo", format("session=%u fifo=%u", session, fifo), session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.stopFifo(fifo, status);
                       });
    }
    return fifoCall("QvFpgaDll_StopFifo", session, fifo, "", [](Fifo& f) {
        f.started = false;
        return 0;
    });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_CommitFifoConfiguration(uint32_t session, uint32_t fifo) {
    if (pluginMode()) {
        return forward("QvFpgaDll_CommitFifoConfiguration",
                       format("session=%u fifo=%u", session, fifo), session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.commitFifoConfiguration(fifo, status);
                       });
    }
    return fifoCall("QvFpgaDll_CommitFifoConfiguration", session, fifo, "",
                    [](Fifo&) { return 0; });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_GetPeerToPeerFifoEndpoint(uint32_t session, uint32_t fifo,
                                                             uint32_t* endpoint) {
    if (pluginMode()) {
        return forward("QvFpgaDll_GetPeerToPeerFifoEndpoint",
                       format("session=%u fifo=%u", session, fifo), session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.getP2PEndpointId(fifo, endpoint, status);
                       });
    }
    return fifoCall("QvFpgaDll_GetPeerToPeerFifoEndpoint", session, fifo, "", [&](Fifo&) {
        if (endpoint == nullptr) return QVFPGASIM_INVALID;
        *endpoint = 0x100 + fifo;
        return 0;
    });
}

#define QVFPGASIM_PROPERTY(SUFFIX, V)                                                            \
    QVFPGASIM_EXPORT int32_t QvFpgaDll_SetFifoProperty##SUFFIX(uint32_t session, uint32_t fifo,  \
                                                               uint32_t property, V value) {     \
        return setProperty("QvFpgaDll_SetFifoProperty" #SUFFIX, session, fifo, property, value); \
    }                                                                                            \
    QVFPGASIM_EXPORT int32_t QvFpgaDll_GetFifoProperty##SUFFIX(uint32_t session, uint32_t fifo,  \
                                                               uint32_t property, V* value) {    \
        return getProperty("QvFpgaDll_GetFifoProperty" #SUFFIX, session, fifo, property, value); \
    }
QVFPGASIM_PROPERTY(I32, int32_t)
QVFPGASIM_PROPERTY(U32, uint32_t)
QVFPGASIM_PROPERTY(I64, int64_t)
QVFPGASIM_PROPERTY(U64, uint64_t)
QVFPGASIM_PROPERTY(Ptr, void*)

QVFPGASIM_EXPORT int32_t QvFpgaDll_ReserveIrqContext(uint32_t session,
                                                     QvFpgaDll_IrqContext* context) {
    if (pluginMode()) {
        // The driver's session has one context; the handle only names it.
        return forward(
            "QvFpgaDll_ReserveIrqContext", format("session=%u", session), session,
            [&](const zekhost::FpgaSession& driver, Session& s, zekhost::Status& status) {
                if (context == nullptr) {
                    status.code = QVFPGASIM_INVALID;
                    return;
                }
                driver.reserveIrqContext(status);
                if (status.code < 0) return;
                Model& m = model();
                std::lock_guard lock(m.mutex);
                const uintptr_t handle = m.nextIrqContext++;
                s.irqContexts.insert(handle);
                *context = reinterpret_cast<QvFpgaDll_IrqContext>(handle);
            });
    }
    return call("QvFpgaDll_ReserveIrqContext", format("session=%u", session), [&](Model& m) {
        Session* s = findSession(m, session);
        if (s == nullptr || context == nullptr) return QVFPGASIM_INVALID;
        const uintptr_t handle = m.nextIrqContext++;
        s->irqContexts.insert(handle);
        *context = reinterpret_cast<QvFpgaDll_IrqContext>(handle);
        return 0;
    });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_UnreserveIrqContext(uint32_t session,
                                                       QvFpgaDll_IrqContext context) {
    if (pluginMode()) {
        return forward(
            "QvFpgaDll_UnreserveIrqContext", format("session=%u", session), session,
            [&](const zekhost::FpgaSession& driver, Session& s, zekhost::Status& status) {
                {
                    Model& m = model();
                    std::lock_guard lock(m.mutex);
                    if (s.irqContexts.erase(reinterpret_cast<uintptr_t>(context)) == 0) {
                        status.code = QVFPGASIM_INVALID;
                        return;
                    }
                }
                driver.unreserveIrqContext(status);
            });
    }
    return call("QvFpgaDll_UnreserveIrqContext", format("session=%u", session), [&](Model& m) {
        Session* s = findSession(m, session);
        const bool reserved =
            s != nullptr && s->irqContexts.erase(reinterpret_cast<uintptr_t>(context)) != 0;
        return reserved ? 0 : QVFPGASIM_INVALID;
    });
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_WaitOnIrqs(uint32_t session, QvFpgaDll_IrqContext context,
                                              uint32_t irqs, uint32_t timeout,
                                              uint32_t* irqsAsserted, uint8_t* timedOut) {
    if (pluginMode()) {
        return forward("QvFpgaDll_WaitOnIrqs",
                       format("session=%u irqs=0x%08X timeout=%u", session, irqs, timeout), session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           bool late = false;
                           const uint32_t asserted =
                               driver.waitOnIrqs(irqs, timeout, &late, status);
                           if (irqsAsserted) *irqsAsserted = asserted;
                           if (timedOut) *timedOut = late ? 1 : 0;
                       });
    }
    Model& m = model();
    std::unique_lock lock(m.mutex);
    int32_t result = enter(m, "QvFpgaDll_WaitOnIrqs",
                           format("session=%u irqs=0x%08X timeout=%u", session, irqs, timeout));
    if (result < 0) return result;
    auto found = m.sessions.find(session);
    const uintptr_t handle = reinterpret_cast<uintptr_t>(context);
    if (found == m.sessions.end() || found->second->irqContexts.count(handle) == 0)
        return QVFPGASIM_INVALID;
    const std::shared_ptr<Session> s = found->second;
    const bool asserted = waitFor(lock, m, s, timeout, [&] {
        return (s->assertedIrqs & irqs) != 0 || s->irqContexts.count(handle) == 0;
    });
    if (irqsAsserted) *irqsAsserted = s->assertedIrqs & irqs;
    if (timedOut) *timedOut = asserted && (s->assertedIrqs & irqs) != 0 ? 0 : 1;
    return result;
}

QVFPGASIM_EXPORT int32_t QvFpgaDll_AcknowledgeIrqs(uint32_t session, uint32_t irqs) {
    if (pluginMode()) {
        return forward("QvFpgaDll_AcknowledgeIrqs", format("session=%u irqs=0x%08X", session, irqs),
                       session,
                       [&](const zekhost::FpgaSession& driver, Session&, zekhost::Status& status) {
                           driver.acknowledgeIrqs(irqs, status);
                       });
    }
    return call("QvFpgaDll_AcknowledgeIrqs", format("session=%u irqs=0x%08X", session, irqs),
                [&](Model& m) {
                    Session* s = findSession(m, session);
                    if (s == nullptr) return QVFPGASIM_INVALID;
                    s->assertedIrqs &= ~irqs;
                    return 0;
                });
}

// ---- control interface

QVFPGASIM_EXPORT void qvfpgasim_reset(void) {
    endMode(true);
}

QVFPGASIM_EXPORT void qvfpgasim_declareFifo(const char* name, uint32_t elementSize,
                                            uint64_t depth) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    m.declared.push_back({name ? name : "", elementSize == 0 ? 1 : elementSize, depth});
}

QVFPGASIM_EXPORT void qvfpgasim_injectResult(const char* function, int32_t code, uint32_t nth) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    m.injections[function ? function : ""].push_back({nth == 0 ? 1 : nth, code});
}

QVFPGASIM_EXPORT size_t qvfpgasim_logCount(void) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    return m.log.size();
}

QVFPGASIM_EXPORT size_t qvfpgasim_logEntry(size_t index, char* text, size_t size) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    if (index >= m.log.size()) {
        if (text && size) text[0] = 0;
        return 0;
    }
    const std::string& entry = m.log[index];
    if (text && size) snprintf(text, size, "%s", entry.c_str());
    return entry.size();
}

QVFPGASIM_EXPORT uint64_t qvfpgasim_callCount(const char* function) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    auto found = m.counts.find(function ? function : "");
    return found == m.counts.end() ? 0 : found->second;
}

QVFPGASIM_EXPORT void qvfpgasim_logCall(const char* line) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    std::string entry = line ? line : "";
    ++m.counts[entry.substr(0, entry.find(' '))];
    m.log.push_back(std::move(entry));
}

QVFPGASIM_EXPORT void qvfpgasim_clearLog(void) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    m.log.clear();
    m.counts.clear();
}

QVFPGASIM_EXPORT uint32_t qvfpgasim_openSessions(void) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    return static_cast<uint32_t>(m.sessions.size());
}

QVFPGASIM_EXPORT size_t qvfpgasim_sessionBitfile(uint32_t session, char* text, size_t size) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    Session* s = findSession(m, session);
    if (text && size) text[0] = 0;
    if (s == nullptr) return 0;
    if (text && size) snprintf(text, size, "%s", s->bitfile.c_str());
    return s->bitfile.size();
}

QVFPGASIM_EXPORT size_t qvfpgasim_pushFifo(uint32_t session, const char* fifo, const void* bytes,
                                           size_t size) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    Fifo* f = findFifoByName(m, session, fifo);
    if (f == nullptr || bytes == nullptr) return 0;
    const size_t moved = std::min(size, f->room()) / f->elementSize * f->elementSize;
    f->put(static_cast<const uint8_t*>(bytes), moved);
    m.changed.notify_all();
    return moved;
}

QVFPGASIM_EXPORT size_t qvfpgasim_popFifo(uint32_t session, const char* fifo, void* bytes,
                                          size_t size) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    Fifo* f = findFifoByName(m, session, fifo);
    if (f == nullptr || bytes == nullptr) return 0;
    const size_t moved = std::min(size, f->used) / f->elementSize * f->elementSize;
    f->take(static_cast<uint8_t*>(bytes), moved);
    m.changed.notify_all();
    return moved;
}

QVFPGASIM_EXPORT int qvfpgasim_fifoStarted(uint32_t session, const char* fifo) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    Fifo* f = findFifoByName(m, session, fifo);
    return f == nullptr ? -1 : f->started ? 1 : 0;
}

QVFPGASIM_EXPORT void qvfpgasim_raiseIrqs(uint32_t session, uint32_t irqs) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    if (Session* s = findSession(m, session)) s->assertedIrqs |= irqs;
    m.changed.notify_all();
}

QVFPGASIM_EXPORT uint32_t qvfpgasim_reservedIrqContexts(void) {
    Model& m = model();
    std::lock_guard lock(m.mutex);
    size_t count = 0;
    for (auto& [id, s] : m.sessions) count += s->irqContexts.size();
    return static_cast<uint32_t>(count);
}
