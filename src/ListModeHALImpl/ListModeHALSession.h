// The list-mode block as the device session creates it: its sub-interface
// and, when the FPGA image has one, its FIFO. List-mode operations are not
// part of this library.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"
#include "qvisl/Fifo.h"

namespace listmodehal {

class ListModeHALSession {
public:
    ListModeHALSession(std::shared_ptr<sdihal::iInterfaceProxy_listmode> proxy,
                       std::unique_ptr<qvisl::Fifo<uint64_t>> fifo)
        : proxy_(std::move(proxy)), fifo_(std::move(fifo)) {}
    explicit ListModeHALSession(std::shared_ptr<sdihal::iInterfaceProxy_listmode> proxy)
        : proxy_(std::move(proxy)) {}
    ListModeHALSession(const ListModeHALSession&) = delete;
    ListModeHALSession& operator=(const ListModeHALSession&) = delete;

    qvisl::Fifo<uint64_t>* fifo() const { return fifo_.get(); }

private:
    std::shared_ptr<sdihal::iInterfaceProxy_listmode> proxy_;
    std::unique_ptr<qvisl::Fifo<uint64_t>> fifo_;
};

}  // namespace listmodehal
