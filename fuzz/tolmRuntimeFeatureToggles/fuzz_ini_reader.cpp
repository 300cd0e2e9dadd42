// Parses arbitrary bytes as an INI file and looks up every key found.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tolmRuntimeFeatureToggles/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace runtime_toggles;
    std::vector<uint8_t> bytes(data, data + size);
    FILE* stream = fmemopen(bytes.empty() ? nullptr : bytes.data(), bytes.size(), "rb");
    if (stream == nullptr) return 0;
    std::unique_ptr<IniDocument, void (*)(IniDocument*)> document(iniCreate(0), &iniFree);
    if (document && iniReadStream(document.get(), stream) == kIniOk) {
        std::vector<std::pair<std::string, std::string>> names;
        for (const auto& section : document->sections) {
            for (const auto& key : section->keys) names.emplace_back(section->name, key->name);
        }
        for (const auto& [section, key] : names) {
            int32_t value = 0;
            iniGetInt(document.get(), section.c_str(), key.c_str(), &value);
            iniHasSection(document.get(), (" " + section + " ").c_str());
        }
    }
    fclose(stream);
    return 0;
}
