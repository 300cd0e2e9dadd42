// Reports the arrival and removal of the module's device interfaces: the
// kernel driver keeps one entry "<device>\<interface>\..." per interface in
// "/dev/qv". The dispatcher watches that directory (and "/dev", to see it
// appear) and hands out one event per wait. Waits run on one thread; stop()
// may be called from any other and ends a wait at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "qvapal/protons/containers/tBasicString.h"
#include "qvapal/quarks/descriptors.h"
#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

class tNotificationDispatcher {
public:
    // Watches the interfaces named in `interfaceNames`; an empty (or null)
    // name anywhere in the list means every interface. Entries present now
    // are not reported.
    tNotificationDispatcher(const char* const* interfaceNames, uint64_t count,
                            nQVAPALS100::tStatus& status);
    tNotificationDispatcher(const tNotificationDispatcher&) = delete;
    tNotificationDispatcher& operator=(const tNotificationDispatcher&) = delete;
    virtual ~tNotificationDispatcher();

    // Waits for the next event, oldest first. `got` stays false when the
    // wait was stopped or failed.
    void waitForNotification(bool* got, tBasicString& device, tBasicString& interface,
                             bool* arrived, nQVAPALS100::tStatus& status);
    void waitForAnyNotification(bool* got, nQVAPALS100::tStatus& status);
    // Ends the current wait and every later one.
    void stop();

private:
    // Longest file name in a directory, plus its NUL.
    static constexpr size_t kNameSize = 256;
    struct tEvent {
        tEvent* next;
        bool arrived;
        char device[kNameSize];
        char interface[kNameSize];
    };

    void initialize(const char* const* interfaceNames, uint64_t count,
                    nQVAPALS100::tStatus& status);
    void wait(bool* got, tBasicString* device, tBasicString* interface, bool* arrived,
              nQVAPALS100::tStatus& status);
    void rescan(bool report, nQVAPALS100::tStatus& status);
    bool isOfInterest(const char* interface) const;
    void queueEntry(const char* name, bool arrived, nQVAPALS100::tStatus& status);
    // Reads and handles pending inotify events; true when one was a creation.
    bool handleEvents(nQVAPALS100::tStatus& status);
    void releaseFilter();

    // Sorted owned copies of the interface names of interest.
    char** filter_ = nullptr;
    uint64_t filterCount_ = 0;
    tEvent* queueHead_ = nullptr;
    tEvent* queueTail_ = nullptr;
    tEvent* pool_ = nullptr;
    uint32_t poolCount_ = 0;
    int inotify_ = -1;
    tStopPipe stopPipe_;
    bool watchAll_ = false;
    int moduleDirectoryWatch_ = -1;
    bool deviceDirectoryWatched_ = false;
    std::atomic<bool> stopping_{false};
};

}  // namespace sdihal::nQVAPAL000
