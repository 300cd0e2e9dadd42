#include "tolmRuntimeFeatureToggles/IniFile.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace runtime_toggles {

namespace {

constexpr size_t kChunkSize = 2084;
constexpr char kNoTerminator = 1;  // none seen yet (no line ends with it)

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool isTerminator(char c) {
    return c == '\n' || c == '\r' || c == '\0';
}
// ASCII only, whatever locale the host process has set.
char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Splits the stream into lines. A terminator that starts a line and
// differs from the one that ended the previous line is the second half of
// a CR LF (or LF CR) pair and is skipped.
class LineReader {
public:
    explicit LineReader(FILE* stream) : stream_(stream) {}

    // False at the end of the input; error() tells a read error apart.
    bool next(std::string& line) {
        line.clear();
        bool first = true;
        bool readAny = false;
        for (;;) {
            if (position_ == length_ && !refill()) return readAny;
            const char c = chunk_[position_++];
            readAny = true;
            if (isTerminator(c)) {
                if (first && previous_ != kNoTerminator && c != previous_) {
                    first = false;
                    readAny = false;
                    continue;
                }
                previous_ = c;
                return true;
            }
            first = false;
            // The rest of the line up to its terminator, in one piece.
            size_t end = position_;
            while (end < length_ && !isTerminator(chunk_[end])) ++end;
            line.push_back(c);
            line.append(chunk_ + position_, end - position_);
            position_ = end;
        }
    }

    bool error() const { return error_; }

private:
    bool refill() {
        if (error_ || eof_) return false;
        length_ = fread(chunk_, 1, sizeof chunk_, stream_);
        position_ = 0;
        if (length_ == 0) {
            if (ferror(stream_)) error_ = true;
            eof_ = true;
            return false;
        }
        return true;
    }

    FILE* stream_;
    char chunk_[kChunkSize];
    size_t position_ = 0;
    size_t length_ = 0;
    bool eof_ = false;
    bool error_ = false;
    char previous_ = kNoTerminator;
};

// Equal when equal after leading whitespace, letter case (unless
// caseSensitive) and trailing whitespace of the longer one are set aside.
bool namesEqual(const IniDocument& document, const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return false;
    if (document.caseSensitive != 0) return std::strcmp(a, b) == 0;
    while (isSpace(*a)) ++a;
    while (isSpace(*b)) ++b;
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (*a != *b && upper(*a) != upper(*b)) return false;
    }
    const char* rest = *a != '\0' ? a : b;
    while (isSpace(*rest)) ++rest;
    return *rest == '\0';
}

void trimEnd(std::string& text) {
    size_t end = text.size();
    while (end > 0 && isSpace(text[end - 1])) --end;
    text.resize(end);
}

void stripQuotes(IniKey& key) {
    key.quoteChar = kIniNoQuote;
    const std::string& value = key.value;
    if (!value.empty() && value.front() == '"' && value.size() >= 2 && value.back() == '"') {
        key.value = value.substr(1, value.size() - 2);
        key.quoteChar = kIniDoubleQuote;
    }
}

IniSection* findSection(IniDocument& document, const char* name) {
    if (document.lastSection != nullptr &&
        namesEqual(document, document.lastSection->name.c_str(), name)) {
        return document.lastSection;
    }
    for (const auto& section : document.sections) {
        if (namesEqual(document, section->name.c_str(), name)) {
            document.lastSection = section.get();
            return section.get();
        }
    }
    return nullptr;
}

IniKey* findKey(const IniDocument& document, const IniSection& section, const char* name) {
    for (const auto& key : section.keys) {
        if (namesEqual(document, key->name.c_str(), name)) return key.get();
    }
    return nullptr;
}

// "Name Line<digits>": the number and the length of Name.
bool continuationNumber(const std::string& name, long& number, size_t& prefixLength) {
    static constexpr char kSuffix[] = " Line";
    constexpr size_t kSuffixLength = sizeof kSuffix - 1;
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    if (digits == name.size() || digits < kSuffixLength ||
        name.compare(digits - kSuffixLength, kSuffixLength, kSuffix) != 0) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    number = std::strtol(name.c_str() + digits, &end, 10);
    if (errno == ERANGE || end == nullptr || *end != '\0') return false;
    prefixLength = digits - kSuffixLength;
    return true;
}

void joinContinuationKeys(IniSection& section) {
    auto& keys = section.keys;
    for (size_t i = 0; i < keys.size(); ++i) {
        long number = 0;
        size_t prefixLength = 0;
        if (!continuationNumber(keys[i]->name, number, prefixLength) || number != 1) continue;
        size_t end = i + 1;
        std::string joined = keys[i]->value;
        for (; end < keys.size(); ++end) {
            long next = 0;
            size_t ignored = 0;
            if (!continuationNumber(keys[end]->name, next, ignored) || next == 1) break;
            joined += keys[end]->value;
        }
        keys[i]->name.resize(prefixLength);
        keys[i]->value = std::move(joined);
        keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(i + 1),
                   keys.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

// One line; false when it is malformed.
bool parseLine(IniDocument& document, IniSection*& current, const std::string& line,
               int32_t lineNumber) {
    size_t begin = 0;
    while (begin < line.size() && isSpace(line[begin])) ++begin;
    if (begin == line.size()) return false;
    const char first = line[begin];
    if (first == ';') return true;
    if (first == '[') {
        size_t nameBegin = begin + 1;
        while (nameBegin < line.size() && isSpace(line[nameBegin])) ++nameBegin;
        const size_t close = line.find(']', nameBegin);
        if (close == std::string::npos) return false;
        std::string name = line.substr(nameBegin, close - nameBegin);
        trimEnd(name);
        if (name.empty()) return false;
        IniSection* section =
            document.mergeDuplicates != 0 ? findSection(document, name.c_str()) : nullptr;
        if (section == nullptr) {
            auto created = std::make_unique<IniSection>();
            created->name = std::move(name);
            created->flags = document.sectionFlags;
            section = created.get();
            document.sections.push_back(std::move(created));
        }
        section->line = lineNumber;
        current = section;
        return true;
    }
    const size_t separator = line.find('=', begin);
    if (separator == std::string::npos) return false;
    std::string name = line.substr(begin, separator - begin);
    trimEnd(name);
    if (name.empty()) return false;
    size_t valueBegin = separator + 1;
    while (valueBegin < line.size() && isSpace(line[valueBegin])) ++valueBegin;
    std::string value = line.substr(valueBegin);
    trimEnd(value);
    if (value.empty()) return false;
    // Keys before the first section have nowhere to go.
    if (current == nullptr) return true;
    IniKey* key =
        document.mergeDuplicates != 0 ? findKey(document, *current, name.c_str()) : nullptr;
    if (key == nullptr) {
        auto created = std::make_unique<IniKey>();
        created->name = std::move(name);
        key = created.get();
        current->keys.push_back(std::move(created));
    }
    key->value = std::move(value);
    key->line = lineNumber;
    stripQuotes(*key);
    return true;
}

int32_t parseStream(IniDocument& document, FILE* stream) {
    document.sections.clear();
    document.lastSection = nullptr;
    document.firstBadLine = -1;
    LineReader reader(stream);
    IniSection* current = nullptr;
    std::string line;
    int32_t lineNumber = 0;
    while (reader.next(line)) {
        if (lineNumber < INT32_MAX) ++lineNumber;
        if (!parseLine(document, current, line, lineNumber) && document.firstBadLine < 0) {
            document.firstBadLine = lineNumber;
        }
    }
    if (reader.error()) return kIniReadError;
    for (const auto& section : document.sections) joinContinuationKeys(*section);
    return kIniOk;
}

// Decimal int32 with optional sign and surrounding whitespace.
bool readDecimal(const char* text, int32_t& out) {
    while (isSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    uint64_t magnitude = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*text - '0');
        if (magnitude > 4294967295u) return false;
    }
    while (isSpace(*text)) ++text;
    if (*text != '\0') return false;
    if (negative) {
        if (magnitude > 2147483648u) return false;
        out = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    } else {
        if (magnitude > 2147483647u) return false;
        out = static_cast<int32_t>(magnitude);
    }
    return true;
}

}  // namespace

IniDocument* iniCreate(int mode) {
    if (mode != 0) return nullptr;
    return new (std::nothrow) IniDocument();
}

void iniFree(IniDocument* document) {
    delete document;
}

int32_t iniReadStream(IniDocument* document, FILE* stream) {
    if (document == nullptr || stream == nullptr) return kIniFileMissing;
    try {
        const long start = ftell(stream);
        unsigned char mark[4] = {};
        const size_t got = fread(mark, 1, sizeof mark, stream);
        if (got == 4 && ((mark[0] == 0xFF && mark[1] == 0xFE && mark[2] == 0 && mark[3] == 0) ||
                         (mark[0] == 0 && mark[1] == 0 && mark[2] == 0xFE && mark[3] == 0xFF))) {
            return kIniUnsupportedEncoding;
        }
        long skip = 0;
        if (got >= 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
            skip = 3;
        } else if (got >= 2 &&
                   ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF))) {
            return kIniUnsupportedEncoding;
        }
        clearerr(stream);
        const int seek = fseek(stream, (start > 0 ? start : 0) + skip, SEEK_SET);
        if (seek != 0) return seek;
        return parseStream(*document, stream);
    } catch (const std::bad_alloc&) {
        return kIniOutOfMemory;
    }
}

int32_t iniReadFile(IniDocument* document, const char* path) {
    if (document == nullptr || path == nullptr) return kIniFileMissing;
    FILE* stream = fopen(path, "rbe");
    struct stat info {};
    if (stream == nullptr) return stat(path, &info) != 0 ? kIniFileMissing : kIniCannotOpen;
    const time_t modified = (*path != '\0' && stat(path, &info) == 0) ? info.st_mtime : 0;
    int32_t result = iniReadStream(document, stream);
    if (result >= 0) {
        try {
            document->path = path;
            document->modificationTime = modified;
        } catch (const std::bad_alloc&) {
            result = kIniOutOfMemory;
        }
    }
    fclose(stream);
    return result;
}

int iniHasSection(IniDocument* document, const char* sectionName) {
    return document != nullptr && findSection(*document, sectionName) != nullptr ? 1 : 0;
}

const IniKey* iniGetKey(IniDocument* document, const char* sectionName, const char* keyName) {
    if (document == nullptr) return nullptr;
    document->lastKeyLine = -1;
    IniSection* section = findSection(*document, sectionName);
    const IniKey* key = section != nullptr ? findKey(*document, *section, keyName) : nullptr;
    if (key != nullptr) document->lastKeyLine = key->line;
    return key;
}

const char* iniGetValue(IniDocument* document, const char* sectionName, const char* keyName) {
    const IniKey* key = iniGetKey(document, sectionName, keyName);
    return key != nullptr ? key->value.c_str() : nullptr;
}

int iniHasKey(IniDocument* document, const char* sectionName, const char* keyName) {
    return iniGetValue(document, sectionName, keyName) != nullptr ? 1 : 0;
}

int32_t iniGetInt(IniDocument* document, const char* sectionName, const char* keyName,
                  int32_t* out) {
    const char* value = iniGetValue(document, sectionName, keyName);
    if (value == nullptr) return 0;
    const char* p = value;
    while (isSpace(*p)) ++p;
    if (*p == '\0') return 0;
    int32_t parsed = 0;
    if (!readDecimal(value, parsed)) return kIniNotAnInteger;
    if (out != nullptr) *out = parsed;
    return 1;
}

}  // namespace runtime_toggles
