// The FPGA driver's proxy opened on a simulated FPGA device: the library's
// own requests, answered by the simulated kernel driver.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "fpgadevice/FpgaDevice.h"
#include "qverr/Exception.h"

namespace qvtest {

class SimulatedFpga : public ::testing::Test {
protected:
    explicit SimulatedFpga(size_t pages = 16) : device(driver, decoder, "qv3377k_fpga0", pages) {}

    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    qvsim::FpgaDevice device;
    std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy =
        std::make_shared<sdihal::tInterfaceProxy_atomiczekddkqrx>();

    void SetUp() override {
        nQVAPALS100::tStatus status;
        proxy->open(device.path().c_str(), status);
        ASSERT_EQ(status.code, 0);
    }

    // The requests of one method ("<interface>.<method>") in the call log.
    std::vector<qvsim::DecodedRequest> calls(const std::string& method) const {
        std::vector<qvsim::DecodedRequest> found;
        for (auto& request : decoder.requests()) {
            if (request.name() == method) found.push_back(request);
        }
        return found;
    }
};

// The code of the qverr::Exception f throws; 0 when none.
template <class F>
int32_t codeOf(F&& f) {
    try {
        f();
    } catch (const qverr::Exception& e) {
        return e.status.code;
    }
    return 0;
}

}  // namespace qvtest
