#include "qvapal/protons/device_notification/tNotificationDispatcher.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "qvapal/protons/cppNewDelete/memoryAllocation.h"
#include "qvapal/protons/system/tSystemInterface.h"
#include "qvapal/quarks/raise.h"
#include "qverr/Status.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/protons/device_notification/linux/tNotificationDispatcher";
namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_DELETE_SELF;
constexpr uint32_t kPooledEvents = 8;
// One event with the longest name.
constexpr size_t kEventBufferSize = sizeof(inotify_event) + 256;

// The parts of an entry name "<device>\<interface>\...": false when the name
// has fewer than two backslashes.
bool splitName(const char* name, const char** device, size_t* deviceLength, const char** interface,
               size_t* interfaceLength) {
    const char* first = std::strchr(name, '\\');
    if (first == nullptr) return false;
    const char* second = std::strchr(first + 1, '\\');
    if (second == nullptr) return false;
    *device = name;
    *deviceLength = static_cast<size_t>(first - name);
    *interface = first + 1;
    *interfaceLength = static_cast<size_t>(second - first - 1);
    return true;
}

void copyName(char* target, const char* text, size_t length) {
    std::memcpy(target, text, length);
    target[length] = '\0';
}

bool assignName(tBasicString& target, const char* text, nQVAPALS100::tStatus& status) {
    target.assign(text, status);
    return !status.isError();
}

}  // namespace

tNotificationDispatcher::tNotificationDispatcher(const char* const* interfaceNames, uint64_t count,
                                                 nQVAPALS100::tStatus& status) {
    initialize(interfaceNames, count, status);
}

tNotificationDispatcher::~tNotificationDispatcher() {
    if (inotify_ != -1) ::close(inotify_);
    stopPipe_.close();
    releaseFilter();
    for (tEvent* list : {queueHead_, pool_}) {
        while (list != nullptr) {
            tEvent* next = list->next;
            delete list;
            list = next;
        }
    }
}

void tNotificationDispatcher::releaseFilter() {
    for (uint64_t i = 0; i < filterCount_; ++i) delete[] filter_[i];
    delete[] filter_;
    filter_ = nullptr;
    filterCount_ = 0;
}

void tNotificationDispatcher::initialize(const char* const* interfaceNames, uint64_t count,
                                         nQVAPALS100::tStatus& status) {
    if (!status.isError()) {
        if (const int err = stopPipe_.open(); err != 0)
            QVAPAL_RAISE_ERRNO(status, err, kSource, 149);
    }
    if (count > 0 && interfaceNames == nullptr)
        QVAPAL_RAISE(status, qverr::qvapalerr_invalidParameter, kSource, 149);
    if (!status.isError() && count > 0) {
        filter_ = new (status) char*[count];
        for (uint64_t i = 0; filter_ != nullptr && i < count; ++i) {
            const char* name = interfaceNames[i];
            if (name == nullptr || name[0] == '\0') {
                watchAll_ = true;
                break;
            }
            const size_t length = std::strlen(name);
            char* copy = new (status) char[length + 1];
            if (copy == nullptr) break;
            std::memcpy(copy, name, length + 1);
            filter_[filterCount_++] = copy;
        }
        if (watchAll_ || status.isError()) releaseFilter();
        if (filterCount_ > 1)
            std::qsort(filter_, filterCount_, sizeof(char*), [](const void* a, const void* b) {
                return std::strcmp(*static_cast<char* const*>(a), *static_cast<char* const*>(b));
            });
    }
    if (!status.isError()) {
        inotify_ = inotify_init1(IN_CLOEXEC);
        if (inotify_ < 0) QVAPAL_RAISE_ERRNO(status, errno, kSource, 47);
    }
    if (status.isError()) stopping_ = true;
    rescan(false, status);
}

bool tNotificationDispatcher::isOfInterest(const char* interface) const {
    if (watchAll_) return true;
    if (filterCount_ == 0) return false;
    return std::bsearch(&interface, filter_, filterCount_, sizeof(char*),
                        [](const void* key, const void* item) {
                            return std::strcmp(*static_cast<const char* const*>(key),
                                               *static_cast<char* const*>(item));
                        }) != nullptr;
}

void tNotificationDispatcher::queueEntry(const char* name, bool arrived,
                                         nQVAPALS100::tStatus& status) {
    const char* device = "";
    size_t deviceLength = 0;
    const char* interface = name;
    size_t interfaceLength = 0;
    char interfaceName[kNameSize];
    if (splitName(name, &device, &deviceLength, &interface, &interfaceLength)) {
        copyName(interfaceName, interface, interfaceLength);
        if (!isOfInterest(interfaceName)) return;
    } else {
        if (!watchAll_) return;
        // Without parts, the interface is the text before a lone backslash.
        const char* backslash = std::strchr(name, '\\');
        interfaceLength =
            backslash != nullptr ? static_cast<size_t>(backslash - name) : std::strlen(name);
        copyName(interfaceName, name, interfaceLength);
        device = "";
        deviceLength = 0;
    }
    tEvent* event = pool_;
    if (event != nullptr) {
        pool_ = event->next;
        --poolCount_;
    } else {
        event = new (status) tEvent;
        if (event == nullptr) return;
    }
    event->next = nullptr;
    event->arrived = arrived;
    copyName(event->device, device, deviceLength);
    copyName(event->interface, interfaceName, std::strlen(interfaceName));
    if (queueTail_ != nullptr) {
        queueTail_->next = event;
    } else {
        queueHead_ = event;
    }
    queueTail_ = event;
}

void tNotificationDispatcher::rescan(bool report, nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    const tSystemInterface& system = systemInterface();
    if (!deviceDirectoryWatched_) {
        if (inotify_add_watch(inotify_, system.deviceRoot(), kWatchMask) < 0 && errno != ENOENT) {
            QVAPAL_RAISE_ERRNO(status, errno, kSource, 69);
        }
        deviceDirectoryWatched_ = true;
        if (moduleDirectoryWatch_ != -1) return;
    }
    if (moduleDirectoryWatch_ != -1) return;
    const int watch = inotify_add_watch(inotify_, system.moduleDeviceRoot(), kWatchMask);
    if (watch < 0) {
        if (errno != ENOENT) QVAPAL_RAISE_ERRNO(status, errno, kSource, 69);
        return;
    }
    moduleDirectoryWatch_ = watch;
    if (!report) return;
    DIR* directory = opendir(system.moduleDeviceRoot());
    if (directory == nullptr) {
        if (errno != ENOENT) QVAPAL_RAISE_ERRNO(status, errno, kSource, 191);
        return;
    }
    while (const dirent* entry = readdir(directory)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        queueEntry(entry->d_name, true, status);
    }
    closedir(directory);
}

bool tNotificationDispatcher::handleEvents(nQVAPALS100::tStatus& status) {
    alignas(inotify_event) char buffer[kEventBufferSize];
    ssize_t count;
    do {
        count = ::read(inotify_, buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        QVAPAL_RAISE_ERRNO(status, errno, kSource, 277);
        return false;
    }
    uint32_t masks = 0;
    for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= count;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        masks |= event->mask;
        if ((event->mask & IN_DELETE_SELF) && event->wd == moduleDirectoryWatch_) {
            inotify_rm_watch(inotify_, moduleDirectoryWatch_);
            moduleDirectoryWatch_ = -1;
            continue;
        }
        // Entries of "/dev" itself are not device interfaces: that watch only
        // tells when "/dev/qv" appears.
        if (event->wd != moduleDirectoryWatch_ || event->len == 0 ||
            !(event->mask & (IN_CREATE | IN_DELETE))) {
            continue;
        }
        queueEntry(event->name, (event->mask & IN_CREATE) != 0, status);
    }
    return (masks & IN_CREATE) != 0;
}

void tNotificationDispatcher::wait(bool* got, tBasicString* device, tBasicString* interface,
                                   bool* arrived, nQVAPALS100::tStatus& status) {
    if (got != nullptr) *got = false;
    for (;;) {
        if (stopping_.load(std::memory_order_acquire) || status.isError()) return;
        if (tEvent* event = queueHead_) {
            queueHead_ = event->next;
            if (queueHead_ == nullptr) queueTail_ = nullptr;
            bool delivered = true;
            if (device != nullptr) delivered = assignName(*device, event->device, status);
            if (delivered && interface != nullptr) {
                delivered = assignName(*interface, event->interface, status);
            }
            if (arrived != nullptr) *arrived = event->arrived;
            if (poolCount_ < kPooledEvents) {
                event->next = pool_;
                pool_ = event;
                ++poolCount_;
            } else {
                delete event;
            }
            if (got != nullptr) *got = delivered;
            return;
        }
        pollfd descriptors[2] = {{inotify_, POLLIN, 0}, {stopPipe_.readEnd(), POLLIN, 0}};
        if (pollRetrying(descriptors, 2, -1) < 0) {
            QVAPAL_RAISE_ERRNO(status, errno, kSource, 350);
            return;
        }
        if ((descriptors[1].revents & POLLIN) && stopPipe_.consume()) return;
        if (descriptors[0].revents & POLLIN) {
            if (handleEvents(status)) rescan(true, status);
        }
    }
}

void tNotificationDispatcher::waitForNotification(bool* got, tBasicString& device,
                                                  tBasicString& interface, bool* arrived,
                                                  nQVAPALS100::tStatus& status) {
    wait(got, &device, &interface, arrived, status);
}

void tNotificationDispatcher::waitForAnyNotification(bool* got, nQVAPALS100::tStatus& status) {
    wait(got, nullptr, nullptr, nullptr, status);
}

void tNotificationDispatcher::stop() {
    if (stopping_.exchange(true, std::memory_order_acq_rel)) return;
    stopPipe_.signal();
}

}  // namespace sdihal::nQVAPAL000
