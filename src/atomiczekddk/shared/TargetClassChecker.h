// Whether a bitfile may go to a device: the bitfile lists the FPGA target
// classes it was built for, the device reports its own.
#pragma once

#include <memory>
#include <string_view>

#include "atomiczekddk/user/IAttributeHandler.h"

namespace qvzek {

class ITargetClassChecker {
public:
    virtual ~ITargetClassChecker() = default;
    // `bitfileTargetClasses`: the bitfile's "TargetClass" text.
    virtual bool isCompatible(std::string_view bitfileTargetClasses) = 0;
};

class TargetClassCheckerDefault : public ITargetClassChecker {
public:
    explicit TargetClassCheckerDefault(std::shared_ptr<IAttributeHandler> device)
        : device_(std::move(device)) {}
    TargetClassCheckerDefault(const TargetClassCheckerDefault&) = delete;
    TargetClassCheckerDefault& operator=(const TargetClassCheckerDefault&) = delete;

    // -52003 when the device does not tell its target class.
    bool isCompatible(std::string_view bitfileTargetClasses) override;

private:
    std::shared_ptr<IAttributeHandler> device_;
};

// An empty list fits every device; otherwise one of its ";"-separated
// entries, white space trimmed, must equal the trimmed class exactly.
bool targetClassListMatches(std::string_view list, std::string_view deviceClass);

}  // namespace qvzek
