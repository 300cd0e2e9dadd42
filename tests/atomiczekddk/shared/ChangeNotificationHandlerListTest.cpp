#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "atomiczekddk/shared/ChangeNotificationHandlerList.h"

namespace {

class Handler : public qvzek::IChangeNotificationHandler {
public:
    explicit Handler(std::function<void()> action = nullptr) : action_(std::move(action)) {}
    void notify() override {
        ++calls;
        if (action_) action_();
    }
    std::atomic<int> calls{0};

private:
    std::function<void()> action_;
};

TEST(ChangeNotificationHandlerList, RegistrationsAreCounted) {
    qvzek::ChangeNotificationHandlerList list;
    Handler first;
    Handler second;
    list.addHandler(&first);
    list.addHandler(&second);
    list.addHandler(&first);
    list.removeHandler(&first);
    list.notifyAll();
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 1);
    list.removeHandler(&first);
    list.notifyAll();
    EXPECT_EQ(first.calls, 1);

    // A handler that throws does not keep the change from those after it.
    Handler throws([] { throw std::runtime_error("handler failed"); });
    list.addHandler(&throws);
    list.addHandler(&first);
    EXPECT_THROW(list.notifyAll(), std::runtime_error);
    EXPECT_EQ(first.calls, 2);
    EXPECT_EQ(second.calls, 3);
}

TEST(ChangeNotificationHandlerList, HandlersMayChangeTheListWhileNotified) {
    qvzek::ChangeNotificationHandlerList list;
    auto later = std::make_unique<Handler>();
    Handler* laterHandler = later.get();
    Handler removesItself([&] { list.removeHandler(&removesItself); });
    Handler removesLater([&] {
        // Unlisted and gone: it must not be called in this round.
        list.removeHandler(laterHandler);
        later.reset();
    });
    Handler last;
    list.addHandler(&removesItself);
    list.addHandler(&removesLater);
    list.addHandler(laterHandler);
    list.addHandler(&last);
    list.notifyAll();
    list.notifyAll();
    EXPECT_EQ(removesItself.calls, 1);
    EXPECT_EQ(removesLater.calls, 2);
    EXPECT_EQ(last.calls, 2);
}

// Alias managers come and go on their own threads while the notifier
// thread notifies: every registration is kept or dropped whole.
TEST(ChangeNotificationHandlerList, HandlersComeAndGoWhileAnotherThreadNotifies) {
    qvzek::ChangeNotificationHandlerList list;
    Handler resident;
    list.addHandler(&resident);
    std::atomic<bool> stop{false};
    std::thread notifier([&] {
        while (!stop.load()) list.notifyAll();
    });
    std::vector<std::unique_ptr<Handler>> visitors;
    for (int i = 0; i < 4; ++i) visitors.push_back(std::make_unique<Handler>());
    std::vector<std::thread> managers;
    for (auto& visitor : visitors) {
        managers.emplace_back([&list, handler = visitor.get()] {
            for (int round = 0; round < 2000; ++round) {
                list.addHandler(handler);
                list.addHandler(handler);
                list.removeHandler(handler);
                list.removeHandler(handler);
            }
        });
    }
    for (auto& manager : managers) manager.join();
    stop = true;
    notifier.join();

    // Every visitor is gone again; the resident stayed throughout.
    const int residentCalls = resident.calls;
    std::vector<int> visitorCalls;
    for (auto& visitor : visitors) visitorCalls.push_back(visitor->calls);
    list.notifyAll();
    EXPECT_EQ(resident.calls, residentCalls + 1);
    for (size_t i = 0; i < visitors.size(); ++i) EXPECT_EQ(visitors[i]->calls, visitorCalls[i]);
}

}  // namespace
