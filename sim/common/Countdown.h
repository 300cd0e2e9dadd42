// Results that stand-ins inject into the nth next call: every pending entry
// counts down once per call; the first one that falls due answers the call,
// and every entry due is used up.
#pragma once

#include <vector>

namespace qvsim {

// The result of the first entry due, or a default-constructed one.
template <class Entry, class Result>
Result takeDue(std::vector<Entry>& pending, Result Entry::*result) {
    Result taken{};
    bool found = false;
    for (auto it = pending.begin(); it != pending.end();) {
        if (--it->countdown == 0) {
            if (!found) taken = (*it).*result;
            found = true;
            it = pending.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

}  // namespace qvsim
