// A temporary directory that stands in for the real root of the fixed
// system directories while it exists.
#pragma once

#include <string>

#include "kerneldriver/DeviceTree.h"

namespace qvtest {

class SimulatedRoot {
public:
    const std::string& path() const { return tree_.root(); }
    std::string operator/(const std::string& name) const { return tree_.root() + "/" + name; }

private:
    qvsim::DeviceTree tree_;
};

}  // namespace qvtest
