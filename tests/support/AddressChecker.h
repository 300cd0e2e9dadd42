// Whether the program runs under the address checker, whose own allocator
// and bookkeeping a few tests must allow for: QV_ADDRESS_CHECKER is then
// defined.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define QV_ADDRESS_CHECKER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ADDRESS_CHECKER
#endif
#endif
