#include "SyntraSyncHALImpl/SyntraSyncControlProxy.h"

#include "qverr/Status.h"

namespace syntrasynchal {

sdihal::iInterfaceProxy_syntrasync* SyntraSyncControlProxy::target(nQVAPALS100::tStatus& status,
                                                                   uint64_t line) {
    if (status.isError()) return nullptr;
    if (proxy_ == nullptr) {
        status.setCode(qverr::qvapalerr_resourceNotFound, "qv3377hal",
                       "SyntraSyncHALImpl/SyntraSyncControlProxy", line);
    }
    return proxy_.get();
}

void SyntraSyncControlProxy::configureSyntra(uint32_t first, uint32_t second,
                                             nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__)) p->configureSyntra(first, second, status);
}

void SyntraSyncControlProxy::configureTriggerSynchronization(uint32_t index, const uint32_t* value,
                                                             nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__))
        p->configureTriggerSynchronization(index, *value, status);
}

void SyntraSyncControlProxy::enableSyntraMeasurement(nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__)) p->enableSyntraMeasurement(status);
}

void SyntraSyncControlProxy::disableSyntraMeasurement(nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__)) p->disableSyntraMeasurement(status);
}

void SyntraSyncControlProxy::sendSyncPulse(nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__)) p->sendSyncPulse(status);
}

void SyntraSyncControlProxy::readFTDCMeasurement(uint32_t measurementArgument,
                                                 sdihal::tFixedPointValue& start,
                                                 sdihal::tFixedPointValue& stop,
                                                 uint64_t& coarseCount,
                                                 nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__))
        p->readFTDCMeasurement(measurementArgument, &start, &stop, &coarseCount, status);
}

void SyntraSyncControlProxy::applyCoarseAdjustment(uint32_t first, uint32_t second,
                                                   nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__)) p->applyCoarseAdjustment(first, second, status);
}

void SyntraSyncControlProxy::applyMediumAdjustment(uint32_t amount, nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__)) p->applyMediumAdjustment(amount, status);
}

void SyntraSyncControlProxy::readFTDCConfiguration(uint64_t recordAddress,
                                                   nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__)) p->readFTDCConfiguration(recordAddress, status);
}

uint32_t SyntraSyncControlProxy::getMeasurementType(nQVAPALS100::tStatus& status) {
    auto* p = target(status, __LINE__);
    return p != nullptr ? p->getMeasurementType(status) : 4;
}

uint32_t SyntraSyncControlProxy::getPulseInjectionSampleCount(nQVAPALS100::tStatus& status) {
    auto* p = target(status, __LINE__);
    return p != nullptr ? p->getPulseInjectionSampleCount(status) : 0;
}

void SyntraSyncControlProxy::readPulseInjectionSamples(uint64_t bufferAddress, uint32_t count,
                                                       uint32_t& first, uint32_t& second,
                                                       nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__))
        p->readPulseInjectionSamples(bufferAddress, count, &first, &second, status);
}

void SyntraSyncControlProxy::readPulseStretcherMeasurement(uint64_t& first, uint64_t& second,
                                                           uint64_t& third,
                                                           nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__))
        p->readPulseStretcherMeasurement(&first, &second, &third, status);
}

void SyntraSyncControlProxy::runPulseStretcherCalibration(uint64_t settingsAddress,
                                                          uint64_t countsAddress, uint32_t count,
                                                          nQVAPALS100::tStatus& status) {
    if (auto* p = target(status, __LINE__))
        p->runPulseStretcherCalibration(settingsAddress, countsAddress, count, status);
}

}  // namespace syntrasynchal
