// Whether the program runs under the thread checker, which lets no forked
// child of a threaded process start a thread and brings an operator new of
// its own that a program cannot replace. QV_THREAD_CHECKER is defined then,
// for what must be left out of the build.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define QV_THREAD_CHECKER
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QV_THREAD_CHECKER
#endif
#endif

namespace qvtest {

#ifdef QV_THREAD_CHECKER
inline constexpr bool kThreadChecker = true;
#else
inline constexpr bool kThreadChecker = false;
#endif

inline constexpr const char* kNoThreadsInForkedChildren =
    "the thread checker lets no forked child of a threaded process start a thread";

}  // namespace qvtest
