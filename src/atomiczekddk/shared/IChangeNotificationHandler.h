#pragma once

namespace qvzek {

// Told that the configuration or the device list changed.
class IChangeNotificationHandler {
public:
    virtual void notify() = 0;
    virtual ~IChangeNotificationHandler() = default;
};

}  // namespace qvzek
