#include "RoutingHALImpl/RoutingHALSession.h"

#include <span>
#include <string_view>

#include "HALUtilities/ErrorHandling.h"
#include "TrigHALImpl/TriggerIDs.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"

namespace routinghal {

namespace {

using trighal::kTerminalIDToTerminalNameMap;

constexpr const char* kSource = "RoutingHALImpl/RoutingHALSession";
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

// -52005 raised at the session's fixed site `line`, with one top-level
// member naming what was refused.
[[noreturn]] void throwInvalid(int64_t line, const char* key, const char* text) {
    const qverr::SourceLocation location{kSource, line, qv3377hal::kComponent,
                                         "qvapalerr_invalidParameter"};
    qverr::Status status;
    if (status.setCode(qverr::qvapalerr_invalidParameter, location)) {
        qverr::DetailWriter(status).add(key, text);
    }
    qverr::throwStatus(std::move(status));
}

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1));
}

const std::string& terminalNameOf(uint32_t id, int64_t line, const char* key) {
    auto found = kTerminalIDToTerminalNameMap.find(id);
    if (found == kTerminalIDToTerminalNameMap.end()) {
        throwInvalid(line, key, "terminal ID not in kTerminalIDToTerminalNameMap");
    }
    return found->second;
}

}  // namespace

RoutingHALSession::RoutingHALSession(std::string resourceName, std::string subsystem,
                                     std::unique_ptr<rocout::RoCoSessionInterface> roco)
    : resourceName_(std::move(resourceName)),
      subsystem_(std::move(subsystem)),
      prefix_(resourceName_ + subsystem_),
      roco_(std::move(roco)) {
    std::span<const uint32_t> imports;
    std::span<const uint32_t> exports;
    if (subsystem_ == "/ai/0") {
        imports = trighal::kAiImportTerminalIDs;
        exports = trighal::kAiExportTerminalIDs;
    } else if (subsystem_ == "/ao/0") {
        imports = trighal::kAoImportTerminalIDs;
        exports = trighal::kAoExportTerminalIDs;
    } else {
        throwInvalid(38, "RoutingHALSession", "invalid subsystem instance");
    }
    for (uint32_t id : imports) {
        auto [it, added] = importRoutes_.try_emplace(id, *roco_, prefix_);
        if (!added) throwInvalid(156, "importTerminals", "repeated terminal ID");
        it->second.setDestinations(terminalNameOf(id, 163, "importTerminals"));
    }
    for (uint32_t id : exports) {
        auto [it, added] = exportRoutes_.try_emplace(id, *roco_, prefix_);
        if (!added) throwInvalid(181, "exportTerminals", "repeated terminal ID");
        it->second.setSource(terminalNameOf(id, 188, "exportTerminals"));
    }
    for (const auto& [id, name] : kTerminalIDToTerminalNameMap) {
        const bool added =
            terminalNames_.try_emplace(id, "/" + prefix_ + "/" + trimmed(name)).second;
        if (!added) throwInvalid(203, "kTerminalIDToTerminalNameMap", "repeated terminal ID");
    }
}

void RoutingHALSession::sendMessage(uint32_t message) {
    switch (message) {
        case kMessageCommit:
            commit();
            return;
        case kMessageReset:
            reset();
            return;
        default:
            throwInvalid(61, "message", "invalid message value");
    }
}

// Every release before any apply, so that a destination one setting gives
// up is free for another to take.
void RoutingHALSession::commit() {
    for (auto& entry : importRoutes_) entry.second.releaseStaleRoutes();
    for (auto& entry : exportRoutes_) entry.second.releaseStaleRoutes();
    for (auto& entry : internalRoutes_) entry.second->releaseStaleRoutes();
    for (auto& entry : importRoutes_) entry.second.applyRoutes();
    for (auto& entry : exportRoutes_) entry.second.applyRoutes();
    for (auto& entry : internalRoutes_) entry.second->applyRoutes();
}

void RoutingHALSession::reset() {
    try {
        for (auto& entry : importRoutes_) entry.second.releaseAllRoutes();
        for (auto& entry : exportRoutes_) entry.second.releaseAllRoutes();
        for (auto& entry : internalRoutes_) entry.second->releaseAllRoutes();
        internalRoutes_.clear();
        roco_->initiateDeviceReset(resourceName_.c_str());
        roco_->completeDeviceReset(resourceName_.c_str());
        if (!pfiTerminalsKnown_) enumeratePfiTerminals();
        for (const std::string& terminal : pfiTerminals_) {
            roco_->resetTerminal(terminal.c_str(), "default");
        }
    } catch (const qverr::Exception& error) {
        if (error.status.code != kResetEndedCode) throw;
    }
}

// The list is built apart and kept only once the enumeration completed: a
// failure part way keeps nothing that the next attempt would add again.
void RoutingHALSession::enumeratePfiTerminals() {
    std::vector<std::string> found;
    rocout::TerminalContainerHolder holder(*roco_, resourceName_.c_str(), {});
    rocout::TerminalCursor cursor{roco_.get(), holder.get(),
                                  roco_->terminalContainerBegin(holder.get())};
    for (; !roco_->terminalIteratorIsEnd(cursor.container, cursor.iterator);
         roco_->terminalIteratorNext(&cursor.iterator)) {
        const std::string name = cursor.name();
        if (name.compare(0, 3, "PFI") == 0) {
            found.push_back("/" + resourceName_ + "/" + trimmed(name));
        }
    }
    pfiTerminals_ = std::move(found);
    pfiTerminalsKnown_ = true;
}

void RoutingHALSession::deployImportSignal(uint32_t id, const char* terminals) {
    auto found = importRoutes_.find(id);
    if (found == importRoutes_.end()) throwInvalid(74, "terminal", "invalid terminal ID");
    found->second.setSource(terminals);
}

void RoutingHALSession::deployExportSignal(uint32_t id, const char* terminals) {
    auto found = exportRoutes_.find(id);
    if (found == exportRoutes_.end()) throwInvalid(91, "terminal", "invalid terminal ID");
    found->second.setDestinations(terminals);
}

void RoutingHALSession::deployInternalSignal(const char* source, const char* destination) {
    std::pair<std::string, std::string> key(source, destination);
    if (internalRoutes_.count(key) != 0) return;
    auto setting = std::make_unique<rocout::RouteSetting>(*roco_, prefix_);
    setting->setSource(key.first);
    setting->setDestinations(key.second);
    internalRoutes_.emplace(std::move(key), std::move(setting));
}

const char* RoutingHALSession::getTerminalName(uint32_t id) {
    auto found = terminalNames_.find(id);
    if (found == terminalNames_.end()) throwInvalid(129, "terminal", "invalid terminal ID");
    return found->second.c_str();
}

}  // namespace routinghal
