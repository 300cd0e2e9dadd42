#include "qvroco/RouteSetting.h"

#include <vector>

#include "qverr/Exception.h"
#include "qvhtl/utf8/utf8.h"

namespace rocout {

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

std::string_view trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

// Unprograms, unreserves and resets the destination of a programmed route;
// a library error ends the release of this route quietly, leaving its state
// where the last successful step left it.
void releaseRoute(RoCoSessionInterface& session, Route& route) {
    if (!route.programmed()) return;
    try {
        route.unprogram();
        route.unreserve();
        session.resetTerminal(route.destination().c_str(), "default");
    } catch (const qverr::Exception&) {
    }
}

}  // namespace

std::string qualifyTerminalName(std::string_view name, std::string_view qualifier) {
    const std::string_view trimmed = trim(name);
    if (trimmed.empty()) return {};
    if (trimmed.size() > 3 && trimmed[0] == '/' && trimmed.find('/', 1) != std::string_view::npos) {
        return std::string(trimmed);
    }
    std::string qualified;
    qualified.reserve(qualifier.size() + trimmed.size() + 2);
    qualified += '/';
    qualified += qualifier;
    qualified += '/';
    qualified += trimmed;
    return qualified;
}

std::string foldTerminalName(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    const char* cursor = name.data();
    const char* const end = cursor + name.size();
    while (cursor < end) {
        uint32_t folded[3];
        const int count = qvsstutf8::foldCase(qvsstutf8::nextCodePoint(cursor, end), folded);
        for (int i = 0; i < count; ++i) qvsstutf8::appendCodePoint(key, folded[i]);
    }
    return key;
}

Route::~Route() {
    try {
        destroy();
    } catch (const std::exception&) {
    }
}

void* Route::attributes() {
    if (!attributes_) {
        auto made = std::make_unique<ScopedRouteAttributes>(*session_);
        made->setCalculationTargetState(2);
        attributes_ = std::move(made);
    }
    return attributes_->get();
}

void Route::create(const std::string& source, const std::string& destination, RouteState target) {
    switch (target) {
        case RouteState::programmed:
            // Target state 2 of the attributes has the library calculate,
            // reserve and program in one call.
            id_ = session_->calculateRoute(source.c_str(), destination.c_str(), attributes());
            state_ = RouteState::programmed;
            break;
        case RouteState::reserved:
            id_ = session_->calculateRoute(source.c_str(), destination.c_str(), nullptr);
            state_ = RouteState::calculated;
            reserve();
            break;
        case RouteState::calculated:
            id_ = session_->calculateRoute(source.c_str(), destination.c_str(), nullptr);
            state_ = RouteState::calculated;
            break;
        default:
            break;
    }
    source_ = source;
    destination_ = destination;
}

void Route::reserve() {
    session_->reserveRoute(id_);
    state_ = RouteState::reserved;
}

void Route::program() {
    session_->programRoute(id_);
    state_ = RouteState::programmed;
}

void Route::unprogram() {
    session_->unprogramRoute(id_);
    state_ = RouteState::reserved;
}

void Route::unreserve() {
    session_->unreserveRoute(id_);
    state_ = RouteState::calculated;
}

void Route::destroy() {
    if (state_ == RouteState::none) return;
    session_->destroyRoute(id_);
    state_ = RouteState::none;
    id_ = 0;
}

void RouteSetting::setSource(const std::string& name) {
    source_ = qualifyTerminalName(name, qualifier_);
    sourceKey_ = foldTerminalName(source_);
}

void RouteSetting::setDestinations(const std::string& list) {
    std::map<std::string, std::string> wanted;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string qualified =
            qualifyTerminalName(std::string_view(list).substr(start, comma - start), qualifier_);
        if (!qualified.empty()) {
            std::string key = foldTerminalName(qualified);
            wanted.try_emplace(std::move(key), std::move(qualified));
        }
        start = comma + 1;
    }
    destinations_ = std::move(wanted);
}

// Every programmed route is released, not only those of the applied source:
// an apply that failed after a change of source leaves routes of the new
// source programmed while the applied source still names the old one.
void RouteSetting::releaseAllRoutes() {
    for (auto& entry : routes_) releaseRoute(*session_, *entry.second);
}

// A programmed route is stale when it leaves another source than the one
// wanted now or reaches a destination no longer wanted. Routes of the
// wanted source that an earlier failed apply left programmed stay.
void RouteSetting::releaseStaleRoutes() {
    for (auto& [key, route] : routes_) {
        if (!route->programmed()) continue;
        if (key.first != sourceKey_ || destinations_.count(key.second) == 0) {
            releaseRoute(*session_, *route);
        }
    }
}

void RouteSetting::applyRoutes() {
    if (source_.empty()) return;

    // Re-arm the routes still wanted; one that fails is dropped.
    std::vector<RouteKey> failed;
    for (auto it = routes_.lower_bound(RouteKey(sourceKey_, std::string()));
         it != routes_.end() && it->first.first == sourceKey_; ++it) {
        Route& route = *it->second;
        if (destinations_.count(it->first.second) == 0 || route.programmed()) continue;
        try {
            route.reserve();
            route.program();
        } catch (const qverr::Exception&) {
            failed.push_back(it->first);
        }
    }
    for (const RouteKey& key : failed) routes_.erase(key);

    for (const auto& [destinationKey, destination] : destinations_) {
        RouteKey key(sourceKey_, destinationKey);
        if (routes_.count(key) != 0) continue;
        auto route = std::make_unique<Route>(*session_);
        route->create(source_, destination, RouteState::programmed);
        routes_.emplace(std::move(key), std::move(route));
    }

    appliedSource_ = source_;
    appliedSourceKey_ = sourceKey_;
}

}  // namespace rocout
