// Sub-sessions of one device share its proxy from several threads: each call
// uses only its own blocks, so every caller gets its own answer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "requests/RequestDecoder.h"

namespace {

using namespace sdihal;
using nQVAPALS100::tStatus;

TEST(SharedProxy, ConcurrentCallersEachGetTheirOwnReply) {
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    const std::string path = driver.addDevice("qv3377k0");
    tInterfaceProxy_qv3377k proxy;
    tStatus status;
    proxy.open(path.c_str(), status);
    ASSERT_EQ(status.code, 0);

    // Echo the inputs so each caller can recognise its own answer.
    decoder.on("rfplat.getTemperature",
               [](const qvsim::DecodedRequest& request, qvsim::Reply& reply) {
                   reply.set("numerator", static_cast<uint64_t>(request.value("sensor")));
                   reply.set("denominator", static_cast<uint64_t>(request.value("selector")));
                   return 0;
               });
    decoder.on("p2p.getSamplesInEndpoint",
               [](const qvsim::DecodedRequest& request, qvsim::Reply& reply) {
                   reply.set("return", static_cast<uint64_t>(request.value("endpoint")) * 1000);
                   return 0;
               });

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            iInterfaceProxy_rfplat& rfplat = proxy;
            iInterfaceProxy_p2p& p2p = proxy;
            for (uint32_t i = 0; i < 200; ++i) {
                tStatus own;
                int32_t numerator = 0, denominator = 0;
                rfplat.getTemperature(t, i, &numerator, &denominator, own);
                if (numerator != static_cast<int32_t>(t) || denominator != static_cast<int32_t>(i))
                    ++wrong;
                if (p2p.getSamplesInEndpoint(t * 100 + i, own) != uint64_t{t * 100 + i} * 1000)
                    ++wrong;
                if (own.code != 0) ++wrong;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(decoder.requests().size(), 4u * 200u * 2u);
}

}  // namespace
