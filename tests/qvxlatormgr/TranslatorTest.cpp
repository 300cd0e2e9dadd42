#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "qverr/Codes.h"
#include "qvxlator/LuaHashCollisions.h"
#include "qvxlator/XlatorTestSupport.h"
#include "qvxlatorlua/LuaTranslator.h"
#include "qvxlatormgr/Registry.h"
#include "support/ScopedEnvironment.h"
#include "support/SimulatedRoot.h"

namespace {

using qvxlator::Translator;
using xlatortest::canonical;
using xlatortest::explanationFile;
using xlatortest::hostAlloc;
using xlatortest::member;
using xlatortest::take;
using xlatortest::TempDir;
using xlatortest::write;

constexpr uint32_t kEnglish = 0;
constexpr uint32_t kFrench = 1;
constexpr uint32_t kJapanese = 3;

// Translators whose directories lie in a temporary tree: "$_tempDir" is the
// test's own TMPDIR.
class TranslatorTest : public ::testing::Test {
protected:
    static std::string settingsInfo(const std::string& extra = "") {
        return "{\"qvxlatorlua_xlator\":\"mxlator\",\"qvxlatorlua_settings\":{\"driverName\":"
               "\"qv3377HAL\",\"qvSharedErrorsDir\":\"$_tempDir/errors\",\"ZMErrorsDir\":"
               "\"$_tempDir/zmerrors\"}" +
               extra + "}";
    }

    Translator* create(const std::string& info, qverr::Status& status) {
        return qvxlator_exported_create("mxlator_qv3377HAL", info.c_str(), &status);
    }

    Translator* create(const std::string& info = settingsInfo()) {
        qverr::Status status;
        Translator* translator = create(info, status);
        EXPECT_NE(translator, nullptr) << status.jsonText();
        EXPECT_EQ(status.code, 0) << status.jsonText();
        return translator;
    }

    // A translator whose module is a script of the test's own.
    Translator* createScripted(const std::string& script, qverr::Status& status) {
        write(dir_, "modules/testxlator.lua", script);
        return create(
            "{\"qvxlatorlua_xlator\":\"testxlator\",\"qvxlatorlua_path\":\"$_tempDir/modules\"}",
            status);
    }

    std::string staticDesc(Translator* translator, int32_t code, uint32_t flags) {
        qverr::Status status;
        std::string text =
            take(translator->getStaticDesc(translator, code, flags, hostAlloc, nullptr, &status));
        EXPECT_EQ(status.code, 0) << status.jsonText();
        return text;
    }

    std::string dynamicDesc(Translator* translator, const std::string& context, uint32_t flags) {
        qverr::Status status;
        std::string text = take(translator->getDynamicDesc(translator, context.c_str(), flags,
                                                           "json1", hostAlloc, nullptr, &status));
        EXPECT_EQ(status.code, 0) << status.jsonText();
        return text;
    }

    TempDir dir_;
    qvtest::ScopedEnvironment tmpdir_{"TMPDIR", dir_.path().c_str()};
};

TEST_F(TranslatorTest, TheRegisteredTranslatorIsCreatedByItsExactName) {
    qverr::Status status;
    Translator* translator = create(qvxlatormgr::kMxlatorRegistrationInfo, status);
    ASSERT_NE(translator, nullptr) << status.jsonText();
    EXPECT_EQ(translator->size, 32u);
    EXPECT_NE(translator->destroy, nullptr);
    EXPECT_NE(translator->getStaticDesc, nullptr);
    EXPECT_NE(translator->getDynamicDesc, nullptr);
    translator->destroy(translator);

    for (const char* name : {"qvxlator_default", "MXLATOR_qv3377hal", ""}) {
        qverr::Status failed;
        EXPECT_EQ(qvxlator_exported_create(name, "{}", &failed), nullptr);
        EXPECT_EQ(failed.code, qverr::qvapalerr_invalidParameter);
        EXPECT_EQ(canonical(member(failed.jsonText(), "qvxlator_debug")),
                  canonical("{\"qvxlator_exported\":\"could not find xlator\",\"name\":\"" +
                            std::string(name) + "\",\"registrationInfo\":\"{}\"}"));
    }
}

TEST_F(TranslatorTest, AStatusHoldingAnErrorIsLeftUntouched) {
    qverr::Status status;
    status.setCode(-7, QVERR_LOCATION("test", "earlier"));
    const std::string before = status.jsonText();
    EXPECT_EQ(create(qvxlatormgr::kMxlatorRegistrationInfo, status), nullptr);
    EXPECT_EQ(qvxlator_exported_create("nothing", "{}", &status), nullptr);
    EXPECT_EQ(status.code, -7);
    EXPECT_EQ(status.jsonText(), before);
    EXPECT_EQ(qvxlator_exported_create("mxlator_qv3377HAL", "{}", nullptr), nullptr);

    Translator* translator = create();
    int allocations = 0;
    EXPECT_EQ(
        translator->getDynamicDesc(translator, "{}", 0, "json1", hostAlloc, &allocations, &status),
        nullptr);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(status.code, -7);
    translator->destroy(translator);
}

TEST_F(TranslatorTest, BadRegistrationInformationFailsCreation) {
    for (const std::string& info : {std::string("not json"), std::string("{}"),
                                    std::string("{\"qvxlatorlua_xlator\":\"no_such_module\"}"),
                                    std::string("{\"qvxlatorlua_xlator\":\"mxlator\","
                                                "\"qvxlatorlua_settings\":5}")}) {
        qverr::Status status;
        EXPECT_EQ(create(info, status), nullptr) << info;
        EXPECT_EQ(status.code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
        EXPECT_EQ(member(status.jsonText(), "qvxlatorlua_debug/debug"), "lua setupEnv failed");
        EXPECT_EQ(member(status.jsonText(), "qvxlatorlua_debug/name"), "mxlator_qv3377HAL");
        EXPECT_EQ(member(status.jsonText(), "qvxlatorlua_debug/registrationInfo"), info);
        EXPECT_EQ(member(status.jsonText(), "internal_error/api"), "lua");
    }
    qverr::Status status;
    EXPECT_EQ(create("", status), nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

TEST_F(TranslatorTest, NullRegistrationMembersCountAsAbsent) {
    write(dir_, "errors/English/a.txt", explanationFile({{"-5", "errors en"}}));
    Translator* translator = create(
        "{\"qvxlatorlua_xlator\":\"mxlator\",\"qvxlatorlua_path\":null,\"qvxlatorlua_settings\":"
        "{\"driverName\":null,\"qvSharedErrorsDir\":\"$_tempDir/errors\",\"ZMErrorsDir\":"
        "\"$_tempDir/zmerrors\"}}");
    ASSERT_NE(translator, nullptr);
    EXPECT_EQ(staticDesc(translator, -5, kFrench), "errors en");
    EXPECT_EQ(member(dynamicDesc(translator, "{\"other\":1}", kEnglish), "dynamic"), "{}");
    translator->destroy(translator);
}

TEST_F(TranslatorTest, StaticDescriptionsFollowTheSearchOrder) {
    write(dir_, "zmerrors/qv3377HAL/French/a.txt",
          explanationFile({{"-1", "zm fr"}, {"-9", "zm fr wins"}}));
    write(dir_, "zmerrors/qv3377HAL/English/a.txt", explanationFile({{"-2", "zm en"}}));
    write(dir_, "errors/French/a.txt",
          explanationFile({{"-3", "errors fr"}, {"-9", "errors fr loses"}}));
    write(dir_, "errors/a.err", explanationFile({{"-4", "errors root"}}));
    write(dir_, "errors/English/a.txt", explanationFile({{"-5", "errors en"}}));
    Translator* translator = create();

    EXPECT_EQ(staticDesc(translator, -1, kFrench), "zm fr");
    EXPECT_EQ(staticDesc(translator, -9, kFrench), "zm fr wins");
    EXPECT_EQ(staticDesc(translator, -2, kFrench), "zm en");
    EXPECT_EQ(staticDesc(translator, -3, kFrench), "errors fr");
    EXPECT_EQ(staticDesc(translator, -4, kFrench), "errors root");
    EXPECT_EQ(staticDesc(translator, -5, kFrench), "errors en");
    // The French directories are not consulted for English.
    EXPECT_EQ(staticDesc(translator, -3, kEnglish), "Error description not found");
    EXPECT_EQ(staticDesc(translator, -4, kEnglish), "errors root");
    // Japanese has no directory: English is used; so for an unknown language.
    EXPECT_EQ(staticDesc(translator, -5, kJapanese), "errors en");
    EXPECT_EQ(staticDesc(translator, -5, 9), "errors en");
    // Bits above the language and the development-environment hint are ignored.
    EXPECT_EQ(staticDesc(translator, -1, kFrench | 0x100 | 0xF000), "zm fr");
    EXPECT_EQ(staticDesc(translator, 12345, kEnglish), "Error description not found");
    translator->destroy(translator);
}

TEST_F(TranslatorTest, TheRegisteredSettingsSearchTheSharedDataDirectory) {
    qvtest::SimulatedRoot root;
    const std::string share = "usr/local/vorlane/share/";
    write(root, share + "zmerrors/qv3377HAL/French/a.txt", explanationFile({{"-52005", "zm fr"}}));
    write(root, share + "errors/English/a.txt",
          explanationFile({{"-52005", "Invalid parameter."}, {"-52006", "Not found."}}));
    Translator* translator = create(qvxlatormgr::kMxlatorRegistrationInfo);
    EXPECT_EQ(staticDesc(translator, qverr::qvapalerr_invalidParameter, kFrench), "zm fr");
    EXPECT_EQ(staticDesc(translator, qverr::qvapalerr_invalidParameter, kEnglish),
              "Invalid parameter.");
    EXPECT_EQ(staticDesc(translator, qverr::qvapalerr_resourceNotFound, kFrench), "Not found.");
    translator->destroy(translator);
}

TEST_F(TranslatorTest, DriverAttributeTablesNameAttributesAndTheirValues) {
    const std::string info =
        "{\"qvxlatorlua_xlator\":\"mxlator\",\"qvxlatorlua_path\":\"$_tempDir/modules\","
        "\"qvxlatorlua_settings\":{\"driverName\":\"drv\"}}";
    const std::string context = R"({"translator_info":{"ordered_data":[
        {"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":255},
        {"type":"usage","usage":"kUsageTypeBadValue","value":[1,2],"value_type":{"type":"enum","id":255}}]}})";
    Translator* before = create(info);
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(canonical(member(dynamicDesc(before, context, kFrench), "dynamic")), canonical(R"([
        {"type":"usage","key":"Propriété","value":"0x000000FF"},
        {"type":"usage","key":"Valeur incorrecte","value":["1","2"]}])"));

    // A table of the driver's: the French one is missing, so the English
    // one names the attribute and its values.
    write(dir_, "modules/drv_attributes_eng.lua", R"(
        return { encoding = "utf-8", getAttribute = function(id)
          if id == "000000FF" then return { shortName = "Gain", enums = { ["1"] = "On" } } end
        end })");
    Translator* after = create(info);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(canonical(member(dynamicDesc(after, context, kFrench), "dynamic")), canonical(R"([
        {"type":"usage","key":"Propriété","value":"Gain"},
        {"type":"usage","key":"Valeur incorrecte","value":["On","2"]}])"));
    // A translator keeps what it once failed to find.
    EXPECT_NE(dynamicDesc(before, context, kFrench).find("0x000000FF"), std::string::npos);
    before->destroy(before);
    after->destroy(after);
}

TEST_F(TranslatorTest, BadContextsAndFormatsAreReportedInTheStatus) {
    Translator* translator = create();
    qverr::Status status;
    EXPECT_EQ(translator->getDynamicDesc(translator, "{}", 0, "json", hostAlloc, nullptr, &status),
              nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_unsupportedFormat);
    EXPECT_EQ(member(status.jsonText(), "qvxlatorlua_debug/debug"), "failed to get dynamic desc");

    EXPECT_EQ(member(dynamicDesc(translator, "{\"translator_info\":null}", 0), "dynamic"), "{}");
    for (const char* context : {"{not json", "[1,2", "5", ""}) {
        qverr::Status failed;
        char* text = translator->getDynamicDesc(translator, context, 0, "json1", hostAlloc, nullptr,
                                                &failed);
        EXPECT_EQ(text, nullptr) << context;
        EXPECT_EQ(failed.code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly) << context;
        EXPECT_EQ(member(failed.jsonText(), "qvxlatorlua_debug/debug"),
                  "failed to get dynamic desc");
        EXPECT_NE(member(failed.jsonText(), "internal_error/string").find("stack traceback"),
                  std::string::npos);
    }
    qverr::Status nullContext;
    EXPECT_EQ(translator->getDynamicDesc(translator, nullptr, 0, "json1", hostAlloc, nullptr,
                                         &nullContext),
              nullptr);
    EXPECT_EQ(nullContext.code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    translator->destroy(translator);
}

// The "rest_of_input_json" text of a rendering: the last debug item's value.
std::string restOf(const std::string& rendering) {
    cJSON* root = cJSON_Parse(rendering.c_str());
    cJSON* debug = cJSON_GetObjectItemCaseSensitive(root, "debug");
    cJSON* value = cJSON_GetObjectItemCaseSensitive(
        cJSON_GetArrayItem(debug, cJSON_GetArraySize(debug) - 1), "value");
    std::string text = cJSON_IsString(value) ? value->valuestring : "";
    cJSON_Delete(root);
    return text;
}

// {"pad":"xxx..."} of exactly `bytes` bytes.
std::string paddedContext(size_t bytes) {
    return "{\"pad\":\"" + std::string(bytes - 10, 'x') + "\"}";
}

TEST_F(TranslatorTest, ContextsAboveTheCapAreRefusedBeforeDecoding) {
    constexpr size_t kCap = 48 * 1024;
    static_assert(qvxlatorlua::kMaxErrorContextBytes == kCap);
    Translator* translator = create();
    const std::string atCap = paddedContext(kCap);
    ASSERT_EQ(atCap.size(), kCap);
    EXPECT_EQ(restOf(dynamicDesc(translator, atCap, kEnglish)), atCap);

    // Too large is refused whatever the text: invalid JSON, or a format the
    // script would refuse, never reaches Lua.
    for (const std::string& context :
         {paddedContext(kCap + 1), std::string(kCap + 1, '['), std::string(4 * kCap, ' ')}) {
        for (const char* format : {"json1", "json"}) {
            qverr::Status status;
            int allocations = 0;
            EXPECT_EQ(translator->getDynamicDesc(translator, context.c_str(), 0, format, hostAlloc,
                                                 &allocations, &status),
                      nullptr);
            EXPECT_EQ(allocations, 0);
            EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
            EXPECT_EQ(member(status.jsonText(), "qvxlatorlua_debug/debug"),
                      "error context too large");
            EXPECT_EQ(member(status.jsonText(), "qvxlatorlua_debug/maxBytes"), "49152");
            EXPECT_EQ(member(status.jsonText(), "component"), "qv3377hal");
        }
    }

    // Keys crafted to share one hash in Lua 5.1, as many as the cap holds,
    // still render (bench_xlator times them).
    for (const std::string& crafted :
         {xlatortest::longKeyCollisions(kCap), xlatortest::shortKeyCollisions(kCap, 13)}) {
        ASSERT_GT(crafted.size(), kCap - 40);
        EXPECT_EQ(canonical(restOf(dynamicDesc(translator, crafted, kEnglish))),
                  canonical(crafted));
    }
    translator->destroy(translator);
}

TEST_F(TranslatorTest, AHostBlockThatCannotBeHadIsNeverWritten) {
    Translator* translator = create();
    auto noMemory = [](void*, size_t, void*, qverr::Status*) -> char* { return nullptr; };
    qverr::Status status;
    EXPECT_EQ(translator->getStaticDesc(translator, 1, 0, noMemory, nullptr, &status), nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);

    qverr::Status dynamic;
    EXPECT_EQ(translator->getDynamicDesc(translator, "{}", 0, "json1", noMemory, nullptr, &dynamic),
              nullptr);
    EXPECT_EQ(dynamic.code, qverr::qvapalerr_memoryFull);

    qverr::Status noAllocator;
    EXPECT_EQ(translator->getStaticDesc(translator, 1, 0, nullptr, nullptr, &noAllocator), nullptr);
    EXPECT_EQ(noAllocator.code, qverr::qvapalerr_invalidParameter);

    // The static operation runs even for a failed status; a block the host
    // hands out anyway comes back as an empty text.
    auto alwaysAllocate = [](void*, size_t size, void*, qverr::Status*) {
        char* block = static_cast<char*>(std::malloc(size));
        std::memset(block, 'x', size);
        return block;
    };
    qverr::Status failed;
    failed.setCode(-1, QVERR_LOCATION("test", "earlier"));
    EXPECT_EQ(take(translator->getStaticDesc(translator, 1, 0, alwaysAllocate, nullptr, &failed)),
              "");
    EXPECT_EQ(failed.code, -1);
    translator->destroy(translator);
}

TEST_F(TranslatorTest, ScriptResultsCrossTheBoundaryAsTextOrStatus) {
    qverr::Status status;
    Translator* translator = createScripted(R"(
        local m = {}
        function m.getStaticDesc(code, lang, ade)
          if code == 1 then return nil end
          if code == 2 then error("static failure") end
          if code == 3 then return 12.5 end
          if code == 5 then return tostring(qvmxl_unmapErrorCode(-52005)) end
          if code == 6 then return tostring(qvmxl_unmapErrorCode(4294915290)) end
          if code == 7 then return (require("stdint") and "stdint") .. " " .. type(require("lfs").dir) end
          if code == 8 then return tostring(io.popen) .. " " .. tostring(package.loadlib) .. " [" .. package.cpath .. "]" end
          local utils = require("qvxlatorluautils")
          if code == 11 then return utils.convertLangToDir(5) .. "|" .. select(2, pcall(utils.convertLangToDir, 6)) end
          if code == 13 then return tostring(utils.findErrorDescriptionFromErrorsDir(utils.lookupVariable("t", "_tempDir"), -52006, 0)) end
          if code == 15 then
            local languages = require("qvmxl_utilities")
            return languages.convertLangShortToLong("deu") .. "|" .. tostring(languages.convertLangShortToLong("xyz"))
              .. "|" .. languages.convertLangLongToShort("Korean") .. "|" .. tostring(languages.convertLangLongToShort("Zzzzzzz"))
          end
          return code .. "/" .. lang .. "/" .. ade
        end
        function m.getDynamicDesc(errjson, lang, ade, format)
          if errjson == "warn" then return 17 end
          if errjson == "zero" then return 0 end
          return errjson .. "/" .. format
        end
        return m
    )",
                                            status);
    ASSERT_NE(translator, nullptr) << status.jsonText();
    EXPECT_EQ(staticDesc(translator, 1, 0), "");
    EXPECT_EQ(staticDesc(translator, 3, 0), "12.5");
    EXPECT_EQ(staticDesc(translator, 5, 0), "-52005");
    EXPECT_EQ(staticDesc(translator, 6, 0), "-52006");
    EXPECT_EQ(staticDesc(translator, 7, 0), "stdint function");
    EXPECT_EQ(staticDesc(translator, 8, 0), "nil nil []");
    EXPECT_EQ(staticDesc(translator, qverr::qvapalerr_invalidParameter, 0x0A02), "-52005/2/10");
    const std::string languages = staticDesc(translator, 11, 0);
    EXPECT_EQ(languages.substr(0, languages.find('|')), "ChineseS");
    EXPECT_EQ(member(languages.substr(languages.find('|') + 1), "qvxlator_debug/kxerrorsparser"),
              "invalid language");
    write(dir_, "English/a.txt", explanationFile({{"-52006", "found"}}));
    EXPECT_EQ(staticDesc(translator, 13, 0), "found");
    EXPECT_EQ(staticDesc(translator, 15, 0), "German|nil|kor|nil");

    qverr::Status failed;
    EXPECT_EQ(translator->getStaticDesc(translator, 2, 0, hostAlloc, nullptr, &failed), nullptr);
    EXPECT_EQ(failed.code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(member(failed.jsonText(), "qvxlatorlua_debug/debug"), "failed to get static desc");
    const std::string message = member(failed.jsonText(), "internal_error/string");
    EXPECT_NE(message.find("static failure"), std::string::npos);
    EXPECT_NE(message.find("stack traceback"), std::string::npos);

    EXPECT_EQ(dynamicDesc(translator, "ctx", 0), "ctx/json1");
    qverr::Status warned;
    EXPECT_EQ(
        translator->getDynamicDesc(translator, "warn", 0, "json1", hostAlloc, nullptr, &warned),
        nullptr);
    EXPECT_EQ(warned.code, 17);
    qverr::Status zero;
    EXPECT_EQ(translator->getDynamicDesc(translator, "zero", 0, "json1", hostAlloc, nullptr, &zero),
              nullptr);
    EXPECT_EQ(zero.code, 0);
    translator->destroy(translator);
}

}  // namespace
