// The controls of the PXI chassis library stand-in, taken from the copy the
// dynamic linker finds by name (the one the library under test loads).
#pragma once

#include <dlfcn.h>

#include <stdexcept>

#include "qvqpxi/QpxiSim.h"

namespace qvtest {

class QpxiStandIn {
public:
    QpxiStandIn() : handle_(dlopen("libqvqpxi.so.1", RTLD_NOW | RTLD_GLOBAL)) {
        if (handle_ == nullptr)
            throw std::runtime_error("libqvqpxi.so.1 is not on the library path");
        reset = resolve<qvqpxisim_reset_t>("qvqpxisim_reset");
        addDevice = resolve<qvqpxisim_addDevice_t>("qvqpxisim_addDevice");
        calls = resolve<qvqpxisim_calls_t>("qvqpxisim_calls");
        openHandles = resolve<qvqpxisim_openHandles_t>("qvqpxisim_openHandles");
        setSessionValid = resolve<qvqpxisim_setSessionValid_t>("qvqpxisim_setSessionValid");
        failAt = resolve<qvqpxisim_failAt_t>("qvqpxisim_failAt");
        reset();
    }
    QpxiStandIn(const QpxiStandIn&) = delete;
    QpxiStandIn& operator=(const QpxiStandIn&) = delete;
    ~QpxiStandIn() {
        reset();
        dlclose(handle_);
    }

    qvqpxisim_reset_t reset;
    qvqpxisim_addDevice_t addDevice;
    qvqpxisim_calls_t calls;
    qvqpxisim_openHandles_t openHandles;
    qvqpxisim_setSessionValid_t setSessionValid;
    qvqpxisim_failAt_t failAt;

private:
    template <class T>
    T resolve(const char* name) {
        void* address = dlsym(handle_, name);
        if (address == nullptr) throw std::runtime_error(name);
        return reinterpret_cast<T>(address);
    }

    void* handle_;
};

}  // namespace qvtest
