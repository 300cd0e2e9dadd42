// Feeds arbitrary text to the fixed-buffer JSON reader, and writes items
// into small buffers holding the text: an item either fits and the text
// stays well formed, or the buffer is left byte for byte as it was.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qvapal/status/tStatus.h"
#include "qverr/Exception.h"
#include "qverr/json.h"
#include "qvmxl/qvmxl.h"

namespace json = qverr::json;

namespace {

void check(bool condition) {
    if (!condition) abort();
}

void readString(const char* value) {
    uint64_t length = 0;
    const char* escaped = json::getString(value, nullptr, &length, nullptr);
    if (!escaped) return;
    std::vector<char> out(length + 1);
    if (char* end = json::unescapeString(escaped, length, out.data())) {
        check(*end == 0);
        check(json::equalsUnescaped(out.data(), escaped, length));
    }
}

void walk(const char* value, int depth) {
    if (!value || depth > 64) return;
    json::Token token;
    const char* end = json::parseValue(value, token);
    if (!end) return;
    if (token.type == json::kTokenString) readString(value);
    if (token.type == json::kTokenNumber) {
        int32_t i = 0;
        uint32_t u = 0;
        json::readInt(token, i);
        json::readUInt(token, u);
        json::getInt(value, 0, nullptr);
    }
    if (token.type == json::kTokenObject) {
        check(json::findContainerEnd(token.start) == end - 1);
        json::Key key;
        bool found = false;
        for (const char* member = json::firstObjectMember(value, key, &found); member && found;) {
            std::vector<char> name(key.length + 1);
            if (json::unescapeString(key.text, key.length, name.data())) {
                check(json::findMember(value, name.data()) != nullptr);
            }
            walk(member, depth + 1);
            json::Token inner;
            member = json::nextObjectMember(json::parseValue(member, inner), key, &found);
        }
    }
    if (token.type == json::kTokenArray) {
        check(json::findContainerEnd(token.start) == end - 1);
        for (const char* element = json::firstArrayElement(value); element;) {
            walk(element, depth + 1);
            json::Token inner;
            element = json::nextArrayElement(json::parseValue(element, inner));
        }
    }
}

// Inserts one item chosen by `selector` at the front or back of the
// container that fills the whole text.
void write(const char* text, size_t length, uint8_t selector, const char* item) {
    json::Token token;
    const char* end = json::parseValue(text, token);
    if (!end || (token.type != json::kTokenObject && token.type != json::kTokenArray)) return;
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
    if (*end) return;
    const size_t capacity = length + 2 + selector % 24;
    std::vector<char> buffer(capacity);
    check(json::initBuffer(buffer.data(), capacity, text) != nullptr);
    const std::vector<char> before = buffer;
    char* container = buffer.data() + (token.start - text);
    char* cursor = selector & 0x80 ? container : json::findContainerEnd(container);
    check(cursor != nullptr);
    const char* key = token.type == json::kTokenObject ? item : nullptr;
    char* after = nullptr;
    const json::Member members[] = {{item, item, false}, {"n", "-1", true}};
    if (selector & 0x08) {
        // A group of members in one insert: into an object, or as an
        // array's element.
        after = key ? json::addMembers(cursor, members, 1 + (selector & 1))
                    : json::addObjectOfMembers(cursor, nullptr, members, 1 + (selector & 1));
    } else {
        switch ((selector >> 4) & 7) {
            case 0:
                after = json::addString(cursor, key, item);
                break;
            case 1:
                after = json::addInt(cursor, key, -static_cast<int32_t>(length));
                break;
            case 2:
                after = json::addUInt64(cursor, key, UINT64_MAX - length);
                break;
            case 3:
                after = json::addBool(cursor, key, selector & 1);
                break;
            case 4:
                after = json::addObject(cursor, key);
                break;
            case 5:
                after = json::addArray(cursor, key);
                break;
            case 6:
                after = json::addRaw(cursor, key, "null");
                break;
            default:
                after = json::addUInt(cursor, key, static_cast<uint32_t>(length));
                break;
        }
    }
    if (!after) {
        check(buffer == before);
        return;
    }
    check(buffer.back() == json::kEndMarker);
    json::Token written;
    check(json::parseValue(buffer.data(), written) != nullptr);
    check(written.type == token.type);
}

// The text as a status's detail: read back into a platform status and
// given an error-context record.
void detail(const char* text, const char* item) {
    qverr::Status status;
    status.code = -1;
    if (!status.setJson(text)) return;
    nQVAPALS100::tStatus platform;
    qverr::copyStatusToTStatus(status, platform);
    check(platform.getCode() == -1 && platform.file[100] == 0 && platform.component[9] == 0);
    json::Token root;
    const bool wellFormedObject =
        json::parseValue(text, root) && root.type == json::kTokenObject && root.start == text;
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    writer = qvmxl::writeComment(writer, item);
    if (writer.cursor && wellFormedObject) {
        json::Token written;
        check(json::parseValue(status.json, written) && written.type == json::kTokenObject);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    // The text in a block of its own size, so reading past its NUL is seen.
    std::vector<char> text(data + 1, data + size);
    text.push_back(0);
    walk(text.data(), 0);
    json::Token head;
    json::parseValueHead(text.data(), head);

    const size_t length = strlen(text.data());
    const char* item = text.data() + (length > 8 ? length - 8 : 0);
    write(text.data(), length, selector, item);
    detail(text.data(), item);
    return 0;
}
