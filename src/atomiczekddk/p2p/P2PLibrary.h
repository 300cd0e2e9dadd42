// The peer-to-peer streaming library "libqvp2p.so", loaded on first use by
// one caller at a time and closed once, at exit; after that it is never
// loaded again.
#pragma once

namespace qvzek {

inline constexpr const char* kP2PLibraryName = "libqvp2p.so";

// The entry point, or null when the library or the name is missing. The
// library name counts only for the first successful load.
void* getP2PLibrarySymbol(const char* symbol, const char* library = kP2PLibraryName);

}  // namespace qvzek
