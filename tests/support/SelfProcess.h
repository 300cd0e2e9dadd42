// Test cases that run in a process of their own: the same test program
// started again with one case selected and a variable in its environment.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qvtest {

// True when the environment variable `name` holds `value`.
inline bool environmentIs(const char* name, const char* value) {
    const char* set = getenv(name);
    return set != nullptr && strcmp(set, value) == 0;
}

// Starts this program with --gtest_filter=<filter> and `assignment`
// ("NAME=value") added to the environment; -1 when it cannot start.
inline pid_t spawnSelf(const std::string& filter, const std::string& assignment) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.push_back(assignment);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe", filterArgument = "--gtest_filter=" + filter;
    char* argv[] = {self.data(), filterArgument.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    return pid;
}

// Waits, for `limit` at most, until every other thread of this process has
// slept on two looks in a row: a child forked then finds no lock of the
// address checker's allocator held by a thread it lacks, and its leak
// check at exit can take them. False when they did not settle.
inline bool otherThreadsSettle(std::chrono::milliseconds limit) {
    const auto asleep = [] {
        const std::string self = std::to_string(gettid());
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            if (task.path().filename() == self) continue;
            std::ifstream stat(task.path() / "stat");
            std::string line;
            std::getline(stat, line);
            // The state follows the name, which ends with the last ')'.
            const size_t close = line.rfind(')');
            if (close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'S')
                return false;
        }
        return true;
    };
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (bool before = false; std::chrono::steady_clock::now() < deadline;) {
        const bool now = asleep();
        if (before && now) return true;
        before = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The child's exit code; -1 when it did not exit normally.
inline int waitForExit(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The child's exit code, waited for until `deadline`: -1 when it did not
// exit normally, kStillRunning when it had not ended by then (it is killed).
inline constexpr int kStillRunning = -2;
inline int waitForExitBy(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (ended != 0 || pid <= 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return kStillRunning;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// waitForExit, but a child still running after `limit` is killed (-1).
inline int waitForExitWithin(pid_t pid, std::chrono::milliseconds limit) {
    const int code = waitForExitBy(pid, std::chrono::steady_clock::now() + limit);
    return code == kStillRunning ? -1 : code;
}

// Children that should end by themselves, each given until `limit` from
// now: how many were still running then, and how many ended otherwise than
// with exit code 0.
struct ChildrenEnded {
    int hung = 0;
    int failed = 0;
};
inline ChildrenEnded waitForChildren(const std::vector<pid_t>& children,
                                     std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    ChildrenEnded ended;
    for (const pid_t child : children) {
        const int code = waitForExitBy(child, deadline);
        if (code == kStillRunning) {
            ++ended.hung;
        } else if (code != 0) {
            ++ended.failed;
        }
    }
    return ended;
}

}  // namespace qvtest
