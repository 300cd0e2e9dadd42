#include "qvjsonlh/cJSONUtils.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace qvjsonlh {

namespace {

cJSON* orBadAlloc(cJSON* item) {
    if (item == nullptr) throw std::bad_alloc();
    return item;
}

bool sameName(const cJSON* a, const cJSON* b, bool ignoreCase) {
    if (a->string == nullptr || b->string == nullptr) return false;
    return ignoreCase ? strcasecmp(a->string, b->string) == 0
                      : std::strcmp(a->string, b->string) == 0;
}

}  // namespace

void checkObject(const cJSON* item) {
    if (!isObject(item)) {
        QVERR_THROW(kComponent, kJsonErrorsNotAnObject, "jsonErrorsNotAnObject");
    }
}

void checkArray(const cJSON* item) {
    if (!isArray(item)) {
        QVERR_THROW(kComponent, kJsonErrorsNotAnArray, "jsonErrorsNotAnArray");
    }
}

cJSON* parse(const char* text) {
    cJSON* tree = text != nullptr ? cJSON_Parse(text) : nullptr;
    if (tree == nullptr) {
        QVERR_THROW(kComponent, kJsonErrorsInvalidJSON, "jsonErrorsInvalidJSON");
    }
    return tree;
}

cJSON* getObjectItem(const cJSON* object, const char* name) {
    checkObject(object);
    cJSON* item = name != nullptr ? cJSON_GetObjectItem(object, name) : nullptr;
    if (item == nullptr) {
        QVERR_THROW(kComponent, kJsonErrorsObjectItemNotFound, "jsonErrorsObjectItemNotFound");
    }
    return item;
}

cJSON* getObjectItemCaseSensitive(const cJSON* object, const char* name) {
    checkObject(object);
    cJSON* item = name != nullptr ? cJSON_GetObjectItemCaseSensitive(object, name) : nullptr;
    if (item == nullptr) {
        QVERR_THROW(kComponent, kJsonErrorsObjectItemNotFound, "jsonErrorsObjectItemNotFound");
    }
    return item;
}

std::string getString(const cJSON* item) {
    return std::string(getCString(item));
}

const char* getCString(const cJSON* item) {
    checkString(item);
    // A string item built by hand may lack its text.
    return item->valuestring != nullptr ? item->valuestring : "";
}

bool getBool(const cJSON* item) {
    checkBool(item);
    return item->type == cJSON_True;
}

double getNumber(const cJSON* item) {
    checkNumber(item);
    return item->valuedouble;
}

std::string printToString(const cJSON* tree) {
    char* text = cJSON_Print(tree);
    if (text == nullptr) throw std::bad_alloc();
    try {
        std::string result(text);
        cJSON_free(text);
        return result;
    } catch (...) {
        cJSON_free(text);
        throw;
    }
}

cJSON* createObject() {
    return orBadAlloc(cJSON_CreateObject());
}

cJSON* createNumber(uint32_t value) {
    return orBadAlloc(cJSON_CreateNumber(static_cast<double>(value)));
}

cJSON* createString(const char* text) {
    return orBadAlloc(cJSON_CreateString(text));
}

cJSON* createStringFromString(const std::string& text) {
    return createString(text.c_str());
}

cJSON* duplicate(const cJSON* tree) {
    return orBadAlloc(cJSON_Duplicate(tree, 1));
}

bool addItemToObject(cJSON* object, const char* name, cJSON* item) {
    if (item == nullptr) throw std::bad_alloc();
    if (!isObject(object) || name == nullptr || object == item) {
        cJSON_Delete(item);
        QVERR_THROW(kComponent, kJsonErrorsNotAnObject, "jsonErrorsNotAnObject");
    }
    const cJSON_bool added = cJSON_AddItemToObject(object, name, item);
    if (!added || item->string == nullptr) {
        // cJSON leaves the item unlinked when it cannot copy the name.
        if (!added) cJSON_Delete(item);
        throw std::bad_alloc();
    }
    return added != 0;
}

bool equals(const cJSON* a, const cJSON* b) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    if (a->type != b->type) return false;
    if (a->type > cJSON_Object) return false;
    switch (a->type) {
        case cJSON_False:
        case cJSON_True:
        case cJSON_NULL:
            return true;
        case cJSON_Number:
            checkNumber(a);
            checkNumber(b);
            return a->valuedouble == b->valuedouble;
        case cJSON_String:
            if (a->valuestring == nullptr || b->valuestring == nullptr) {
                return a->valuestring == b->valuestring;
            }
            return std::strcmp(a->valuestring, b->valuestring) == 0;
        case cJSON_Array: {
            const cJSON* x = a->child;
            const cJSON* y = b->child;
            for (; x != nullptr && y != nullptr; x = x->next, y = y->next) {
                if (!equals(x, y)) return false;
            }
            return x == nullptr && y == nullptr;
        }
        case cJSON_Object:
            return objectEquals(a, b);
        default:
            return false;
    }
}

// A name may occur more than once in an object (cJSON keeps every
// occurrence): the k-th occurrence on one side is compared with the k-th on
// the other, so a document always equals its copy. Exact names pair first,
// then what is left pairs by name without regard to letter case, so
// {"a":1,"A":2} equals {"A":2,"a":1}.
bool objectEquals(const cJSON* a, const cJSON* b) {
    checkObject(a);
    checkObject(b);
    std::vector<const cJSON*> others;
    for (const cJSON* child = b->child; child != nullptr; child = child->next) {
        others.push_back(child);
    }
    std::vector<const cJSON*> unpaired;
    size_t count = 0;
    for (const cJSON* child = a->child; child != nullptr; child = child->next) {
        ++count;
        if (child->string == nullptr) return false;
        unpaired.push_back(child);
    }
    if (count != others.size()) return false;
    for (const bool ignoreCase : {false, true}) {
        std::vector<const cJSON*> left;
        for (const cJSON* child : unpaired) {
            auto other = std::find_if(others.begin(), others.end(), [&](const cJSON* candidate) {
                return candidate != nullptr && sameName(child, candidate, ignoreCase);
            });
            if (other == others.end()) {
                left.push_back(child);
                continue;
            }
            if (!equals(child, *other)) return false;
            *other = nullptr;
        }
        unpaired.swap(left);
    }
    return unpaired.empty();
}

}  // namespace qvjsonlh
