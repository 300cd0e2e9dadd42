// The bitfile as this module's FPGA-driver plug-in sees it: the general
// parsed bitfile plus the module section of its target-specific data, which
// names the module revisions the image was built for.
#pragma once

#include <cstdint>
#include <string>

#include "atomiczekddk/bitfile/Bitfile.h"

namespace atomiczekhal {

// Handed to the driver with the personality: revision 1, revision 2 and
// whether the bitfile named them.
struct ModuleRevisions {
    uint32_t desired = 0;
    uint32_t minimum = 0;
    bool valid = false;
};

class BitfileQrx : public qvzek::Bitfile {
public:
    // Parses the text (bitstream decoded), then the module section; an image
    // without the section is accepted and names no revisions.
    explicit BitfileQrx(const std::string& text);

    uint32_t getDesiredModuleRevision() const { return desiredModuleRevision_; }
    uint32_t getLowestModuleRevision() const { return lowestModuleRevision_; }
    bool hasModuleRevisions() const { return hasModuleRevisions_; }
    ModuleRevisions getModuleRevisions() const {
        return {desiredModuleRevision_, lowestModuleRevision_, hasModuleRevisions_};
    }

private:
    void parseCompilationResults();

    uint32_t desiredModuleRevision_ = 0;
    uint32_t lowestModuleRevision_ = 0;
    bool hasModuleRevisions_ = false;
};

}  // namespace atomiczekhal
