// The device session: what every sub-session of one side of the module
// shares (parsed parameters, FPGA session, kernel-driver proxy, module
// platform and calibration data), and the sub-sessions it creates on demand
// by context id. The device handle is its address.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "HALUtilities/AutoFpgaSession.h"
#include "apal_qv3377k/DriverCodes.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"

struct cJSON;

namespace rfplat {
class RFPlatSession;
}
namespace dataaccesshal {
class DataAccessHALSession;
}
namespace dsphal {
class DigitalOffsetHAL;
class DigitalOffsetSession;
class FreqShiftHAL;
class ImpairmentsHAL;
class IQDataTriggerHAL;
class ResamplerHAL;
class DigitalGainHAL;
class EqualizerSession;
class CalInDSPSession;
class CalOutDSPSession;
}  // namespace dsphal
namespace listmodehal {
class ListModeHALSession;
}
namespace datapathhal {
class DataPathSession;
}
namespace trighal {
class TrigHALSession;
}
namespace timerhal {
class TimerHALSession;
}
namespace BasecardConfigV1 {
class BasecardConfigSession;
}
namespace reservationhal {
class ReservationSession;
}
namespace selfcalhal {
class SelfCalHALSession;
}
namespace IQConfigV1 {
class IQConfigV1ProxyWrapper;
}
namespace routinghal {
class RoutingHALSession;
}
namespace iqmaniphal {
class IQManipulationHALSession;
}
namespace syntrasynchal {
class SyntraSyncSession;
}
namespace mrahal {
class MRAHALSession;
}
namespace wgenhal {
class WGenHALSession;
}

namespace qv3377hal {

// Subsystem types of the instance text.
enum SubsystemType : uint32_t { kSubsystemAi = 1, kSubsystemAo = 2, kSubsystemNone = 3 };

// Block ids of the driver's block paths.
namespace block {
inline constexpr uint16_t kGenerationPath = 2400;
inline constexpr uint16_t kAcquisitionPath = 2401;
inline constexpr uint16_t kGenerationTrigger = 2402;
inline constexpr uint16_t kAcquisitionTrigger = 2403;
inline constexpr uint16_t kListMode = 2404;
inline constexpr uint16_t kTimer = 2405;
inline constexpr uint16_t kCalibrationPath = 2406;
inline constexpr uint16_t kDspChain = 1620;
inline constexpr uint16_t kSecondDspChain = 1699;
inline constexpr uint16_t kAcquisitionResampler = 1610;
inline constexpr uint16_t kGenerationResampler = 1617;
inline constexpr uint16_t kDigitalGain = 1613;
inline constexpr uint16_t kDigitalOffset = 1614;
inline constexpr uint16_t kEqualizer = 1615;
inline constexpr uint16_t kFreqShift = 1616;
inline constexpr uint16_t kImpairments = 1618;
inline constexpr uint16_t kIQDataTrigger = 1619;
inline constexpr uint16_t kCalibrationDsp = 1681;
inline constexpr uint16_t kSecondChainBlock = 1701;
inline constexpr uint16_t kSyntraSync = 700;
}  // namespace block

// Context ids of getContext, shared with every host that asks for a
// sub-session by number.
namespace context {
inline constexpr uint32_t kDataPath = 0;
inline constexpr uint32_t kResampler = 2;
inline constexpr uint32_t kFreqShift = 3;
inline constexpr uint32_t kImpairments = 4;
inline constexpr uint32_t kDigitalOffset = 5;
inline constexpr uint32_t kEqualizer = 6;
inline constexpr uint32_t kBasecardConfig = 7;
inline constexpr uint32_t kDigitalGain = 9;
inline constexpr uint32_t kTrig = 10;
inline constexpr uint32_t kPlaceholder = 11;
inline constexpr uint32_t kCalInDsp = 12;
inline constexpr uint32_t kMra = 13;
inline constexpr uint32_t kCalOutDsp = 14;
inline constexpr uint32_t kWGen = 15;
inline constexpr uint32_t kIQDataTrigger = 16;
inline constexpr uint32_t kP2PDescription = 17;
inline constexpr uint32_t kIQManipulation = 18;
inline constexpr uint32_t kSyntraSync = 19;
inline constexpr uint32_t kIQConfig = 20;
inline constexpr uint32_t kGenerationPlaceholder = 21;
inline constexpr uint32_t kListMode = 22;
inline constexpr uint32_t kTimer = 23;
inline constexpr uint32_t kSelfCal = 24;
inline constexpr uint32_t kRouting = 25;
inline constexpr uint32_t kEqualizerV3 = 26;
inline constexpr uint32_t kSecondChainEqualizer = 27;
inline constexpr uint32_t kReservation = 28;
inline constexpr uint32_t kDataAccess = 32;
inline constexpr uint32_t kSecondDigitalOffset = 33;
}  // namespace context

// The driver's answer for a block that the module does not have.
inline constexpr int32_t kBlockAbsent = sdihal::kDriverErrorBlockAbsent;

// Throws the version check's code when the two ranges are incompatible.
void checkInterfaceVersion(uint16_t ownCurrent, uint16_t ownOldest, uint16_t driverCurrent,
                           uint16_t driverOldest);

class DeviceSession {
public:
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;
    virtual ~DeviceSession();

    // The sub-session of `id` (created on first use), or null when absent.
    virtual void* getContext(uint32_t id, uint8_t flag);
    virtual uint16_t getSignalPathId() const = 0;
    virtual uint16_t getResamplerBlockId() const = 0;

    bool hasFpgaSession() const { return fpgaSession_ != nullptr; }
    uint32_t fpgaSessionNumber() const { return fpgaSession_ ? fpgaSession_->getSession() : 0; }
    const std::string& p2pDescription() const { return p2pDescription_; }
    bool syntraAvailable() const { return syntraAvailable_; }
    int32_t productId() const { return productId_; }

protected:
    DeviceSession(SubsystemType type, const char* sessionParamsJson);

    // 0 for an "ai" session, 1 otherwise.
    uint32_t instanceIndex() const { return subsystemType_ == kSubsystemAi ? 0 : 1; }
    // "ai/0" or "ao/0"; a "none" session has none (std::runtime_error).
    std::string deviceContextText() const;
    // The endpoint of the peer-to-peer description; the variant's
    // constructor calls it once, between the head and the tail.
    void describeP2P(const char* fifoName, const char* direction);
    // The driver's versions of the block at `path`; a failed query is left
    // in `status`, not thrown, as an optional block's absence is no error.
    void queryVersion(const uint32_t* path, uint32_t count, uint16_t& current, uint16_t& oldest,
                      nQVAPALS100::tStatus& status);
    // The signal path's, the DSP chain's and the calibration path's versions
    // checked against ours (the signal path's against the given range), and
    // whether the driver has the Syntra block; returns the driver's
    // signal-path version.
    uint16_t checkDriverVersions(uint16_t ownCurrent, uint16_t ownOldest);
    // A FIFO of the FPGA image: its number, or -52006 / an error code.
    int32_t findFifo(const char* name, uint32_t& fifo) const;

    template <class Sub>
    std::shared_ptr<Sub> sub() const {
        return proxy_;
    }

    dsphal::DigitalOffsetSession* digitalOffsetAt(
        std::unique_ptr<dsphal::DigitalOffsetHAL>& slot,
        std::unique_ptr<dsphal::DigitalOffsetSession>& plain, uint16_t chain, uint16_t blockId);
    dsphal::EqualizerSession* makeEqualizerSession(std::unique_ptr<dsphal::EqualizerSession>& slot,
                                                   uint16_t path, uint16_t chain, uint16_t blockId);
    void* digitalGainAt(std::unique_ptr<dsphal::DigitalGainHAL>& slot, uint16_t path,
                        uint8_t instance);
    // The hardware control of a DSP block {path, DSP chain, blockElement},
    // its HAL over the `Proxy` sub-interface created on first use.
    template <class Proxy, class Hal>
    void* dspControl(std::unique_ptr<Hal>& slot, uint16_t path, uint32_t blockElement);

    // Members are declared so that destruction runs sub-sessions first, then
    // the calibration data and platform sessions, then the FPGA session, and
    // the kernel-driver proxy last: every sub-session may still release FPGA
    // resources or send a request while it is destroyed.
    std::shared_ptr<sdihal::tInterfaceProxy_qv3377k> proxy_;
    std::unique_ptr<AutoFpgaSession> fpgaSession_;
    std::unique_ptr<cJSON, void (*)(cJSON*)> parameters_;
    std::string resourceName_;
    std::string sessionClientName_;
    const char* sessionUID_ = nullptr;
    int32_t productId_ = 0;
    SubsystemType subsystemType_;
    uint16_t signalPathKind_;
    std::string p2pDescription_;
    bool syntraAvailable_ = false;
    std::unique_ptr<rfplat::RFPlatSession> rfPlatSession_;
    std::unique_ptr<dataaccesshal::DataAccessHALSession> dataAccessSession_;

private:
    // The constructor's steps, in order. The names and ids the session is
    // opened by; returns the device interface path.
    const char* readParameters();
    // The FPGA session, when the parameters name a bitfile.
    void openFpgaSession();
    // The kernel-driver proxy and the platform session over it.
    void openDevice(const char* deviceInterfacePath);
    // The calibration files of this board and the common ones, then every
    // flash device.
    void addDataAccessors();

    void* _getDataPath();
    void* _getResampler();
    void* _getFreqShift();
    void* _getImpairments();
    void* _getDigitalOffset();
    void* _getBasecardConfig();
    void* _getTrig();
    void* _getIQDataTrigger();
    void* _getIQManipulation();
    void* _getSyntraSync();
    void* _getIQConfig();
    void* _getListMode();
    void* _getTimer();
    void* _getSelfCal();
    void* _getRoutingHAL();
    void* _getReservation();

    // The sixteen base sub-sessions, destroyed in reverse order.
    std::unique_ptr<dsphal::DigitalOffsetHAL> digitalOffset_;
    std::unique_ptr<dsphal::DigitalOffsetSession> digitalOffsetPlain_;
    std::unique_ptr<dsphal::FreqShiftHAL> freqShift_;
    std::unique_ptr<dsphal::ImpairmentsHAL> impairments_;
    std::unique_ptr<dsphal::IQDataTriggerHAL> iqDataTrigger_;
    std::unique_ptr<dsphal::ResamplerHAL> resampler_;
    std::unique_ptr<listmodehal::ListModeHALSession> listMode_;
    std::unique_ptr<datapathhal::DataPathSession> dataPath_;
    std::unique_ptr<trighal::TrigHALSession> trig_;
    std::unique_ptr<BasecardConfigV1::BasecardConfigSession> basecardConfig_;
    std::unique_ptr<reservationhal::ReservationSession> reservation_;
    std::unique_ptr<selfcalhal::SelfCalHALSession> selfCal_;
    std::unique_ptr<timerhal::TimerHALSession> timer_;
    std::unique_ptr<IQConfigV1::IQConfigV1ProxyWrapper> iqConfig_;
    std::unique_ptr<routinghal::RoutingHALSession> routing_;
    std::unique_ptr<iqmaniphal::IQManipulationHALSession> iqManipulation_;
    std::unique_ptr<syntrasynchal::SyntraSyncSession> syntraSync_;
};

class AcqDeviceSession final : public DeviceSession {
public:
    AcqDeviceSession(SubsystemType type, const char* sessionParamsJson);
    ~AcqDeviceSession() override;

    void* getContext(uint32_t id, uint8_t flag) override;
    uint16_t getSignalPathId() const override { return block::kAcquisitionPath; }
    uint16_t getResamplerBlockId() const override { return block::kAcquisitionResampler; }

    uint16_t driverInterfaceVersion() const { return driverInterfaceVersion_; }
    bool hasRecordAcquisition();

private:
    void* _getCalInDSP();
    void* _getMRA();

    uint16_t driverInterfaceVersion_ = 0;
    std::unique_ptr<mrahal::MRAHALSession> mra_;
    std::unique_ptr<dsphal::DigitalGainHAL> digitalGain_;
    std::unique_ptr<dsphal::CalInDSPSession> calInDsp_;
    std::unique_ptr<dsphal::DigitalOffsetHAL> secondOffset_;
    std::unique_ptr<dsphal::DigitalOffsetSession> secondOffsetPlain_;
    std::unique_ptr<dsphal::EqualizerSession> equalizer6_;
    std::unique_ptr<dsphal::EqualizerSession> equalizer26_;
    std::unique_ptr<dsphal::EqualizerSession> equalizer27_;
};

class GenDeviceSession final : public DeviceSession {
public:
    explicit GenDeviceSession(const char* sessionParamsJson);
    ~GenDeviceSession() override;

    void* getContext(uint32_t id, uint8_t flag) override;
    uint16_t getSignalPathId() const override { return block::kGenerationPath; }
    uint16_t getResamplerBlockId() const override { return block::kGenerationResampler; }

    bool hasWaveformGenerator();

private:
    void* _getCalOutDSP();
    void* _getWGen();

    std::unique_ptr<wgenhal::WGenHALSession> wgen_;
    std::unique_ptr<dsphal::DigitalGainHAL> digitalGain0_;
    std::unique_ptr<dsphal::DigitalGainHAL> digitalGain1_;
    std::unique_ptr<dsphal::CalOutDSPSession> calOutDsp_;
    std::unique_ptr<dsphal::DigitalOffsetSession> digitalOffset33_;
    std::unique_ptr<dsphal::EqualizerSession> equalizer6_;
};

}  // namespace qv3377hal
