#include "atomiczekddk/user/IoAccessorIoctl.h"

#include <exception>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Exception.h"
#include "qverr/trace.h"

namespace qvzek::user {
namespace {

uint32_t driverAddress(uint32_t address) {
    if ((address & 1u) != 0) throwStatusCode(kErrorBadRegisterAddress);
    return address & ~3u;
}

// True when the request succeeded. A failure throws, unless an exception is
// already unwinding: throwing then would end the process, and returning
// quietly would pass the failure off as success, so it is logged.
bool settle(const nQVAPALS100::tStatus& status, const char* operation, uint32_t address) {
    if (!status.isError()) return true;
    if (std::uncaught_exceptions() == 0) qverr::throwIfTStatusError(status);
    trace::log(trace::kLevelError, TRACE_LOCATION(),
               "%s of register 0x%08x failed with %lld during unwinding", operation, address,
               static_cast<long long>(status.code));
    return false;
}

}  // namespace

uint32_t IoAccessorIoctl::read32(uint32_t address) {
    const uint32_t sent = driverAddress(address);
    nQVAPALS100::tStatus status;
    const uint32_t value = io_->read32(sent, status);
    return settle(status, "read32", sent) ? value : 0xFFFFFFFFu;
}

void IoAccessorIoctl::write32(uint32_t address, uint32_t value) {
    const uint32_t sent = driverAddress(address);
    nQVAPALS100::tStatus status;
    io_->write32(sent, value, status);
    settle(status, "write32", sent);
}

void IoAccessorIoctl::readBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                                uint32_t flag) {
    const uint32_t sent = driverAddress(address);
    nQVAPALS100::tStatus status;
    io_->blockRead(sent, buffer, bytes, width, flag, status);
    settle(status, "block read", sent);
}

void IoAccessorIoctl::writeBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                                 uint32_t flag) {
    const uint32_t sent = driverAddress(address);
    nQVAPALS100::tStatus status;
    io_->blockWrite(sent, buffer, bytes, width, flag, status);
    settle(status, "block write", sent);
}

}  // namespace qvzek::user
