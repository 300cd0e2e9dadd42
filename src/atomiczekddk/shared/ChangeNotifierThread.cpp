#include "atomiczekddk/shared/ChangeNotifierThread.h"

#include "qvjsonconfig/afaWrappers/DirectoryPoller.h"

namespace qvzek {

ChangeNotifierThread::ChangeNotifierThread(
    qvjsonconfig::SynchronizedConfigurationInterface& configuration)
    : configuration_(&configuration), thread_(&ChangeNotifierThread::notifyLoop, this) {}

ChangeNotifierThread::~ChangeNotifierThread() {
    stopRequested_.store(true);
    try {
        configuration_->stopWaiting();
        thread_.join();
    } catch (...) {
    }
}

void* ChangeNotifierThread::notifyLoop(void* raw) {
    auto* self = static_cast<ChangeNotifierThread*>(raw);
    while (!self->stopRequested_.load()) {
        qvjsonconfig::internal::runPass("ChangeNotifierThread", [self] {
            qvjsonconfig::ChangeMap changes;
            if (self->configuration_->waitForChanges(changes)) self->handlers_.notifyAll();
        });
    }
    return nullptr;
}

}  // namespace qvzek
