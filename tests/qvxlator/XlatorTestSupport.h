// Shared by the translator tests: explanation files, a host allocator, and
// JSON compared as decoded values.
#pragma once

#include <cjson/cJSON.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "qverr/Status.h"
#include "support/TempDir.h"

namespace xlatortest {

using qvtest::TempDir;

// Writes `content` to dir/relative, creating the directories; the path.
template <typename Dir>
std::string write(const Dir& dir, const std::string& relative, const std::string& content) {
    const std::string path = dir / relative;
    qvtest::writeFile(path, content);
    return path;
}

// An explanation file holding one description per (code, text) pair.
inline std::string explanationFile(
    std::initializer_list<std::pair<std::string, std::string>> entries) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qvdocument>\n";
    for (const auto& [code, description] : entries) {
        text += "<qverror code=\"" + code + "\">\n" + description + "\n</qverror>\n";
    }
    return text + "</qvdocument>\n";
}

// The host side of returned texts.
inline char* hostAlloc(void*, size_t size, void* context, qverr::Status* status) {
    if (context) ++*static_cast<int*>(context);
    if (status->isError()) return nullptr;
    return static_cast<char*>(std::malloc(size));
}

inline std::string take(char* text) {
    if (!text) return "(null)";
    std::string copy = text;
    std::free(text);
    return copy;
}

// Sorts the members of every object by name.
inline void sortMembers(cJSON* item) {
    for (cJSON* child = item->child; child; child = child->next) sortMembers(child);
    if (!cJSON_IsObject(item)) return;
    std::vector<cJSON*> members;
    while (item->child) members.push_back(cJSON_DetachItemViaPointer(item, item->child));
    std::stable_sort(members.begin(), members.end(),
                     [](cJSON* a, cJSON* b) { return std::string(a->string) < b->string; });
    for (cJSON* member : members) cJSON_AddItemToArray(item, member);  // keeps its name
}

// Printed with object members sorted, so texts that differ only in member
// order compare equal. Invalid JSON gives "invalid".
inline std::string canonical(cJSON* item) {
    cJSON* copy = cJSON_Duplicate(item, true);
    sortMembers(copy);
    char* printed = cJSON_PrintUnformatted(copy);
    std::string text = printed ? printed : "";
    cJSON_free(printed);
    cJSON_Delete(copy);
    return text;
}

inline std::string canonical(const std::string& json) {
    cJSON* root = cJSON_Parse(json.c_str());
    if (!root) return "invalid: " + json;
    std::string text = canonical(root);
    cJSON_Delete(root);
    return text;
}

// The member at a '/'-separated path of a JSON text, printed; "" when absent.
inline std::string member(const std::string& json, const std::string& path) {
    cJSON* root = cJSON_Parse(json.c_str());
    cJSON* item = root;
    size_t start = 0;
    while (item && start <= path.size()) {
        const size_t end = path.find('/', start);
        const std::string key =
            path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        item = cJSON_GetObjectItemCaseSensitive(item, key.c_str());
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::string text;
    if (item) text = cJSON_IsString(item) ? item->valuestring : canonical(item);
    cJSON_Delete(root);
    return text;
}

}  // namespace xlatortest
