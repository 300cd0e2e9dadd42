// Collects the trace lines written while it exists. Install it before any
// thread that logs starts, and let it go after they are joined.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "qverr/trace.h"

namespace qvtest {

class TraceCapture {
public:
    TraceCapture() : previous_(trace::settings().output) { trace::settings().output = &collect; }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    ~TraceCapture() {
        trace::settings().output = previous_;
        std::lock_guard<std::mutex> lock(mutex());
        lines().clear();
    }

    std::vector<std::string> text() const {
        std::lock_guard<std::mutex> lock(mutex());
        return lines();
    }
    std::string all() const {
        std::string joined;
        for (const std::string& line : text()) joined += line;
        return joined;
    }

private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> instance;
        return instance;
    }
    static void collect(const char* text) {
        std::lock_guard<std::mutex> lock(mutex());
        lines().emplace_back(text);
    }

    trace::OutputHook previous_;
};

}  // namespace qvtest
