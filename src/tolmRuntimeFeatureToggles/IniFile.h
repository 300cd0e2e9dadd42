// A small INI reader: sections of keys with values, repeated sections and
// keys merged into the first, double quotes stripped, numbered
// continuation keys ("Name Line1", "Name Line2", ...) joined, and lookups
// by name without regard to letter case.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace runtime_toggles {

// Result codes.
inline constexpr int32_t kIniOk = 0;
inline constexpr int32_t kIniUnsupportedEncoding = -3;  // UTF-16 or UTF-32 byte-order mark
inline constexpr int32_t kIniEmptyName = -4;
inline constexpr int32_t kIniOutOfMemory = -12;
inline constexpr int32_t kIniFileMissing = -22;
inline constexpr int32_t kIniCannotOpen = -5001;
inline constexpr int32_t kIniReadError = -5002;
inline constexpr int32_t kIniNotAnInteger = -5021;

inline constexpr int32_t kIniNoQuote = 0;
inline constexpr int32_t kIniDoubleQuote = 34;

struct IniKey {
    std::string name;
    std::string value;
    int32_t line = -1;
    int32_t quoteChar = kIniNoQuote;
};

struct IniSection {
    std::string name;
    std::vector<std::unique_ptr<IniKey>> keys;
    int32_t flags = 0;
    int32_t line = -1;
};

struct IniDocument {
    std::vector<std::unique_ptr<IniSection>> sections;
    IniSection* lastSection = nullptr;
    int32_t sectionFlags = 0;
    int32_t mergeDuplicates = 1;
    int32_t caseSensitive = 0;
    // Line of the key found by the last value lookup.
    int32_t lastKeyLine = -1;
    // Number of the first line skipped as malformed (blank lines count).
    int32_t firstBadLine = -1;
    // The file last read successfully and its modification time.
    std::string path;
    time_t modificationTime = 0;
};

// A new empty document; mode must be 0 (anything else, or no memory: null).
IniDocument* iniCreate(int mode);
void iniFree(IniDocument* document);

int32_t iniReadFile(IniDocument* document, const char* path);
// Reads an open stream from its current position: byte-order mark, then
// the lines. The stream stays open.
int32_t iniReadStream(IniDocument* document, FILE* stream);

int iniHasSection(IniDocument* document, const char* sectionName);
const char* iniGetValue(IniDocument* document, const char* sectionName, const char* keyName);
int iniHasKey(IniDocument* document, const char* sectionName, const char* keyName);
// The key itself (quote and line), or null.
const IniKey* iniGetKey(IniDocument* document, const char* sectionName, const char* keyName);
// 1 with *out written; 0 when the key is absent or blank; -5021 when the
// value is not a decimal int32.
int32_t iniGetInt(IniDocument* document, const char* sectionName, const char* keyName,
                  int32_t* out);

}  // namespace runtime_toggles
