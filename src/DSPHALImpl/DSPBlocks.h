// The signal-path blocks as the device session creates them: each object
// holds the block's sub-interface of the kernel-driver proxy (and the block
// instance the driver's look-up returned). The blocks' own operations are
// not part of this library; these objects are what the families' handles
// point to.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"
#include "qvisl/Fifo.h"

namespace qvdspcontrol::v1 {

// The hardware control of one block: its sub-interface and instance.
template <class Proxy>
class BlockControl {
public:
    BlockControl(std::shared_ptr<Proxy> proxy, uint32_t instance)
        : proxy_(std::move(proxy)), instance_(instance) {}
    virtual ~BlockControl() = default;
    BlockControl(const BlockControl&) = delete;
    BlockControl& operator=(const BlockControl&) = delete;

    Proxy* proxy() const { return proxy_.get(); }
    uint32_t instance() const { return instance_; }

private:
    std::shared_ptr<Proxy> proxy_;
    uint32_t instance_;
};

#define QV_DSP_HW_CONTROL(NS, PROXY)                       \
    namespace NS {                                         \
    class HWControl : public BlockControl<sdihal::PROXY> { \
    public:                                                \
        using BlockControl::BlockControl;                  \
    };                                                     \
    }

QV_DSP_HW_CONTROL(resampler, iInterfaceProxy_resampler)
QV_DSP_HW_CONTROL(freqShift, iInterfaceProxy_freqshift)
QV_DSP_HW_CONTROL(iqImpairments, iInterfaceProxy_impairments)
QV_DSP_HW_CONTROL(iqDataTrigger, iInterfaceProxy_iqDataTrigger)
QV_DSP_HW_CONTROL(iqGain, iInterfaceProxy_digitalgain)

#undef QV_DSP_HW_CONTROL

}  // namespace qvdspcontrol::v1

namespace dsphal {

// A block's HAL object: owns its hardware control, the family handle.
template <class Control, class Proxy>
class BlockHAL {
public:
    explicit BlockHAL(std::shared_ptr<Proxy> proxy, uint32_t instance = 0)
        : control_(std::make_unique<Control>(std::move(proxy), instance)) {}
    Control* getHWControl() const { return control_.get(); }

private:
    std::unique_ptr<Control> control_;
};

class ResamplerHAL
    : public BlockHAL<qvdspcontrol::v1::resampler::HWControl, sdihal::iInterfaceProxy_resampler> {
public:
    explicit ResamplerHAL(std::shared_ptr<sdihal::iInterfaceProxy_resampler> proxy)
        : BlockHAL(std::move(proxy)) {}
};
class ImpairmentsHAL : public BlockHAL<qvdspcontrol::v1::iqImpairments::HWControl,
                                       sdihal::iInterfaceProxy_impairments> {
public:
    explicit ImpairmentsHAL(std::shared_ptr<sdihal::iInterfaceProxy_impairments> proxy)
        : BlockHAL(std::move(proxy)) {}
};
class IQDataTriggerHAL : public BlockHAL<qvdspcontrol::v1::iqDataTrigger::HWControl,
                                         sdihal::iInterfaceProxy_iqDataTrigger> {
public:
    explicit IQDataTriggerHAL(std::shared_ptr<sdihal::iInterfaceProxy_iqDataTrigger> proxy)
        : BlockHAL(std::move(proxy)) {}
};
class FreqShiftHAL
    : public BlockHAL<qvdspcontrol::v1::freqShift::HWControl, sdihal::iInterfaceProxy_freqshift> {
public:
    using BlockHAL::BlockHAL;
};
class DigitalGainHAL
    : public BlockHAL<qvdspcontrol::v1::iqGain::HWControl, sdihal::iInterfaceProxy_digitalgain> {
public:
    using BlockHAL::BlockHAL;
};

// The digital offset: bound to a block, or without hardware (cleared
// settings only).
class DigitalOffsetSession {
public:
    struct Format {
        bool isSigned;
        uint32_t wordLength;
        uint32_t integerWordLength;
    };

    DigitalOffsetSession() = default;
    DigitalOffsetSession(std::shared_ptr<sdihal::iInterfaceProxy_digitaloffset> proxy,
                         uint32_t instance)
        : proxy_(std::move(proxy)), instance_(instance) {}
    DigitalOffsetSession(const DigitalOffsetSession&) = delete;
    DigitalOffsetSession& operator=(const DigitalOffsetSession&) = delete;

    bool hasHardware() const { return proxy_ != nullptr; }
    uint32_t instance() const { return instance_; }
    Format format() const { return format_; }

private:
    std::shared_ptr<sdihal::iInterfaceProxy_digitaloffset> proxy_;
    uint32_t instance_ = 0;
    Format format_{true, 18, 1};
};

class DigitalOffsetHAL {
public:
    DigitalOffsetHAL(std::shared_ptr<sdihal::iInterfaceProxy_digitaloffset> proxy,
                     uint32_t instance)
        : session_(std::make_unique<DigitalOffsetSession>(std::move(proxy), instance)) {}
    DigitalOffsetSession* session() const { return session_.get(); }

private:
    std::unique_ptr<DigitalOffsetSession> session_;
};

class EqualizerSession {
public:
    EqualizerSession(std::shared_ptr<sdihal::iInterfaceProxy_equalizer> proxy, uint32_t instance)
        : proxy_(std::move(proxy)), instance_(instance) {}
    EqualizerSession(const EqualizerSession&) = delete;
    EqualizerSession& operator=(const EqualizerSession&) = delete;
    uint32_t instance() const { return instance_; }

private:
    std::shared_ptr<sdihal::iInterfaceProxy_equalizer> proxy_;
    uint32_t instance_;
};

// The calibration-input DSP and its measurement FIFO, which must be an FPGA
// FIFO of signed 64-bit elements ("Bad FIFO format" otherwise).
class CalInDSPSession {
public:
    CalInDSPSession(std::shared_ptr<sdihal::iInterfaceProxy_calindsp> proxy,
                    std::unique_ptr<qvisl::Fifo<int64_t>> fifo);
    CalInDSPSession(const CalInDSPSession&) = delete;
    CalInDSPSession& operator=(const CalInDSPSession&) = delete;
    qvisl::Fifo<int64_t>* fifo() const { return fifo_.get(); }

private:
    std::shared_ptr<sdihal::iInterfaceProxy_calindsp> proxy_;
    std::unique_ptr<qvisl::Fifo<int64_t>> fifo_;
};

// The calibration-output DSP; refused ("the FPGA does not have Cal Out
// DSP") when the driver reports no such block.
class CalOutDSPSession {
public:
    explicit CalOutDSPSession(std::shared_ptr<sdihal::iInterfaceProxy_caloutdsp> proxy);
    CalOutDSPSession(const CalOutDSPSession&) = delete;
    CalOutDSPSession& operator=(const CalOutDSPSession&) = delete;

private:
    std::shared_ptr<sdihal::iInterfaceProxy_caloutdsp> proxy_;
};

}  // namespace dsphal
