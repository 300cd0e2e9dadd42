// Checked accessors over cJSON: each returns what was asked for or throws a
// qverr::Exception with a fixed code; cJSON allocation failures become
// std::bad_alloc. Every JSON document of the configuration store and the
// device session's JSON texts are read and built through these.
#pragma once

#include <cjson/cJSON.h>

#include <string>

#include "qverr/Exception.h"

namespace qvjsonlh {

inline constexpr const char* kComponent = "internal_sdi_hal23u";

inline constexpr int32_t kJsonErrorsInvalidJSON = qverr::qvapalerr_invalidParameter;
inline constexpr int32_t kJsonErrorsNotAnObject = qverr::kStatusFailedCast;
inline constexpr int32_t kJsonErrorsNotAnArray = qverr::kStatusFailedCast;
inline constexpr int32_t kJsonErrorsObjectItemNotFound = qverr::qvapalerr_resourceNotFound;
inline constexpr int32_t kJsonErrorsTypeMismatch = qverr::kStatusFailedCast;

// Owns one cJSON tree (or nothing).
class AutoCJSON {
public:
    explicit AutoCJSON(cJSON* tree = nullptr) noexcept : tree_(tree) {}
    AutoCJSON(const AutoCJSON&) = delete;
    AutoCJSON& operator=(const AutoCJSON&) = delete;
    ~AutoCJSON() { reset(nullptr); }

    void reset(cJSON* tree = nullptr) noexcept {
        if (tree_ != nullptr) cJSON_Delete(tree_);
        tree_ = tree;
    }
    cJSON* release() noexcept {
        cJSON* tree = tree_;
        tree_ = nullptr;
        return tree;
    }
    cJSON* get() const noexcept { return tree_; }

private:
    cJSON* tree_;
};

inline bool isNumber(const cJSON* item) {
    return item != nullptr && item->type == cJSON_Number;
}
inline bool isString(const cJSON* item) {
    return item != nullptr && item->type == cJSON_String;
}
inline bool isBool(const cJSON* item) {
    return item != nullptr && (item->type == cJSON_False || item->type == cJSON_True);
}
inline bool isObject(const cJSON* item) {
    return item != nullptr && item->type == cJSON_Object;
}
inline bool isArray(const cJSON* item) {
    return item != nullptr && item->type == cJSON_Array;
}

template <typename T>
bool isType(const cJSON* item);
template <>
inline bool isType<double>(const cJSON* item) {
    return isNumber(item);
}
template <>
inline bool isType<std::string>(const cJSON* item) {
    return isString(item);
}
template <>
inline bool isType<bool>(const cJSON* item) {
    return isBool(item);
}

// The one raise site of a value of the wrong type.
[[noreturn]] inline void throwTypeMismatch() {
    QVERR_THROW(kComponent, kJsonErrorsTypeMismatch, "jsonErrorsTypeMismatch");
}

template <typename T>
void checkType(const cJSON* item) {
    if (!isType<T>(item)) throwTypeMismatch();
}

void checkObject(const cJSON* item);
void checkArray(const cJSON* item);
inline void checkString(const cJSON* item) {
    checkType<std::string>(item);
}
inline void checkBool(const cJSON* item) {
    checkType<bool>(item);
}
inline void checkNumber(const cJSON* item) {
    checkType<double>(item);
}

// A new tree the caller owns.
cJSON* parse(const char* text);
// The member of that name, found without regard to letter case.
cJSON* getObjectItem(const cJSON* object, const char* name);
// The member of exactly that name (for keys such as device tokens, which
// may differ only in letter case).
cJSON* getObjectItemCaseSensitive(const cJSON* object, const char* name);
std::string getString(const cJSON* item);
const char* getCString(const cJSON* item);
bool getBool(const cJSON* item);
double getNumber(const cJSON* item);
// Formatted text of the tree.
std::string printToString(const cJSON* tree);

cJSON* createObject();
cJSON* createNumber(uint32_t value);
cJSON* createString(const char* text);
cJSON* createStringFromString(const std::string& text);
cJSON* duplicate(const cJSON* tree);
// Links item into object under name; the object owns it afterwards. When
// linking fails the item is freed and std::bad_alloc thrown.
bool addItemToObject(cJSON* object, const char* name, cJSON* item);

// Deep equality: member order and the letter case of member names do not
// matter; NaN equals nothing.
bool equals(const cJSON* a, const cJSON* b);
bool objectEquals(const cJSON* a, const cJSON* b);

inline cJSON* itemFromNode(cJSON* node) {
    return node;
}

}  // namespace qvjsonlh
