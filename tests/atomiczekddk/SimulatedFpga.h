// The FPGA driver's proxy opened on a simulated FPGA device: the library's
// own requests, answered by the simulated kernel driver.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "fpgadevice/FpgaDevice.h"

namespace qvtest {

class SimulatedFpga : public ::testing::Test {
protected:
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    qvsim::FpgaDevice device{driver, decoder};
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

}  // namespace qvtest
