#include "atomiczekddk/shared/ChangeNotifierThread.h"

#include <cxxabi.h>

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
        try {
            qvjsonconfig::ChangeMap changes;
            if (self->configuration_->waitForChanges(changes)) self->handlers_.notifyAll();
        } catch (abi::__forced_unwind&) {
            throw;
        } catch (...) {
            // A failing handler or reload must not end the host process.
            qvjsonconfig::internal::logCaughtException(TRACE_LOCATION());
            qvjsonconfig::internal::pauseAfterFailure();
        }
    }
    return nullptr;
}

}  // namespace qvzek
