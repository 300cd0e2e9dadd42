#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "atomiczekddk/shared/ChangeNotificationHandlerList.h"

namespace {

class Handler : public qvzek::IChangeNotificationHandler {
public:
    explicit Handler(std::function<void()> action = nullptr) : action_(std::move(action)) {}
    void notify() override {
        ++calls;
        if (action_) action_();
    }
    int calls = 0;

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

}  // namespace
