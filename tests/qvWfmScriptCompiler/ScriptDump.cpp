#include "ScriptDump.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <memory>

#include "qvWfmScriptCompiler/Lexer.h"

namespace scripttest {

using namespace qvwfmscriptcompiler;

namespace {

std::string hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string printJson(const cJSON* item) {
    if (item == nullptr) return "<missing>";
    std::unique_ptr<char, decltype(&cJSON_free)> text(cJSON_PrintUnformatted(item), &cJSON_free);
    return text ? text.get() : "<unprintable>";
}

}  // namespace

std::string dumpScripts(const std::vector<CompiledScript>& scripts) {
    std::string out;
    for (const CompiledScript& script : scripts) {
        out += "script " + script.name + (script.repeatsForever ? " repeats-forever\n" : "\n");
        for (const SequenceStep& step : script.steps) {
            out += "  step type=" + std::to_string(step.loopType) +
                   " count=" + std::to_string(step.loopCount) +
                   " trigger=" + std::to_string(step.loopTrigger) +
                   " clear-before=" + hex(step.clearBeforeLoop) + "\n";
            for (const SequenceSegment& segment : step.segments) {
                out +=
                    segment.isWait ? "    wait" : "    generate \"" + segment.waveformName + "\"";
                if (segment.isWait && !segment.waveformName.empty()) {
                    out += " \"" + segment.waveformName + "\"";
                }
                out += " trigger=" + std::to_string(segment.triggerCode) +
                       " offset=" + std::to_string(segment.startOffset) +
                       " length=" + std::to_string(segment.length) +
                       " clear=" + hex(segment.clearMask) + " markers=[";
                for (size_t i = 0; i < segment.markers.size(); ++i) {
                    out += (i ? " " : "") + std::to_string(segment.markers[i].position) + ":" +
                           hex(segment.markers[i].markerMask);
                }
                out += "]\n";
            }
        }
    }
    return out;
}

std::string dumpError(const qverr::ExceptionBase& error) {
    std::unique_ptr<cJSON, decltype(&cJSON_Delete)> root(cJSON_Parse(error.what()), &cJSON_Delete);
    if (!root) return "error with unreadable context: " + std::string(error.what()) + "\n";
    const cJSON* constant = cJSON_GetObjectItemCaseSensitive(root.get(), "error_constant");
    std::string out = "error " +
                      std::string(cJSON_IsString(constant) ? constant->valuestring : "?") + " " +
                      std::to_string(error.status.code) + "\n";
    const cJSON* translator = cJSON_GetObjectItemCaseSensitive(root.get(), "translator");
    const cJSON* info = cJSON_GetObjectItemCaseSensitive(root.get(), "translator_info");
    if (!cJSON_IsString(translator) ||
        std::string(translator->valuestring) != "mxlator_qv3377HAL" ||
        printJson(cJSON_GetObjectItemCaseSensitive(info, "is_debug")) != "\"0\"" ||
        printJson(cJSON_GetObjectItemCaseSensitive(info, "version")) != "1") {
        return out + "  bad translator payload: " + error.what() + "\n";
    }
    const cJSON* record = nullptr;
    cJSON_ArrayForEach(record, cJSON_GetObjectItemCaseSensitive(info, "ordered_data")) {
        const cJSON* usage = cJSON_GetObjectItemCaseSensitive(record, "usage");
        const cJSON* type = cJSON_GetObjectItemCaseSensitive(record, "value_type");
        out += "  " + std::string(cJSON_IsString(usage) ? usage->valuestring : "?") + " " +
               (cJSON_IsString(type) ? type->valuestring : "?") + " " +
               printJson(cJSON_GetObjectItemCaseSensitive(record, "value")) + "\n";
    }
    return out;
}

std::string dumpTokens(const ScriptCompileSettings& settings, std::string_view text) {
    Lexer lexer(settings);
    lexer.setScript(text);
    std::string out;
    try {
        for (;;) {
            const Token token = lexer.nextToken();
            out += std::to_string(token.line) + ":" + std::to_string(token.column) +
                   " kind=" + std::to_string(token.kind) + " value=" + std::to_string(token.value) +
                   " \"" + token.text + "\"\n";
            if (token.kind == kTokenEndOfInput) break;
        }
    } catch (const qverr::Exception& error) {
        out += dumpError(error);
    }
    return out;
}

std::string compileAndDump(ScriptCompiler& compiler, std::string_view text,
                           const MarkerTables* tables) {
    try {
        return dumpScripts(tables ? compiler.compile(text, tables->waveformNames,
                                                     tables->markerNames, tables->markerPositions)
                                  : compiler.compile(text));
    } catch (const qverr::Exception& error) {
        return dumpError(error);
    }
}

}  // namespace scripttest
