// Collects the trace lines written while it exists. Install it before any
// thread that logs starts, and let it go after they are joined.
#pragma once

#include <mutex>
#include <string>

#include "qverr/trace.h"

namespace qvtest {

class TraceCapture {
public:
    TraceCapture() : previous_(trace::settings().output) { trace::settings().output = &collect; }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    ~TraceCapture() {
        trace::settings().output = previous_;
        std::lock_guard<std::mutex> lock(mutex_);
        text_.clear();
    }
    std::string all() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }

private:
    static void collect(const char* text) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ += text;
    }
    static inline std::mutex mutex_;
    static inline std::string text_;
    trace::OutputHook previous_;
};

}  // namespace qvtest
