// Runs a body that should end on a thread of its own and says whether it
// ended within the limit. A body that hangs is left behind, so the test
// fails instead of hanging; what it uses must then outlive the test, or the
// failed test may crash after its report.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace qvtest {

// A guard against a hang, not a measure of speed: long enough for the
// busiest machine.
inline constexpr std::chrono::seconds kHangGuard{10};

inline bool endsWithin(std::chrono::seconds limit, std::function<void()> body) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ended = done->get_future();
    std::thread thread([done, body = std::move(body)] {
        body();
        done->set_value();
    });
    const bool inTime = ended.wait_for(limit) == std::future_status::ready;
    if (inTime) {
        thread.join();
    } else {
        thread.detach();
    }
    return inTime;
}

}  // namespace qvtest
