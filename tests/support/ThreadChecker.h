// Whether the program runs under the thread checker, which lets no forked
// child of a threaded process start a thread.
#pragma once

namespace qvtest {

#if defined(__SANITIZE_THREAD__)
inline constexpr bool kThreadChecker = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool kThreadChecker = true;
#else
inline constexpr bool kThreadChecker = false;
#endif
#else
inline constexpr bool kThreadChecker = false;
#endif

inline constexpr const char* kNoThreadsInForkedChildren =
    "the thread checker lets no forked child of a threaded process start a thread";

}  // namespace qvtest
