// SPDX-License-Identifier: Apache-2.0
#include "discovery/discovery.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "core/safe_array.h"
#include "discovery/broadcast.h"
#include "discovery/socket_errors.h"
#include "discovery/udp_message.h"
#include "kelo_dll/extensions.h"

namespace kelo::discovery {
namespace {

constexpr std::uint32_t kAnyAddress = 0;

std::int32_t refuse() {
    net::setLastError(kErrorInvalidArgument);
    return -1;
}

// The stored records keep the scanner's little-endian bytes on every host.
bool alreadyStored(const ScannerInfo* records, std::uint32_t count, std::uint32_t identity) {
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto* record = reinterpret_cast<const std::uint8_t*>(&records[i]);
        if (udp::getLe32(record + offsetof(ScannerInfo, identity)) == identity) return true;
    }
    return false;
}

// Field by field from the packed record to the aligned element; the
// element's padding keeps what the caller's array held.
void toVbElement(const ScannerInfo& from, std::uint8_t* element) {
#define KELO_COPY_FIELD(field)                                              \
    std::memcpy(element + offsetof(ScannerInfoVB, field),                  \
                reinterpret_cast<const std::uint8_t*>(&from) + offsetof(ScannerInfo, field), \
                sizeof from.field)
    KELO_COPY_FIELD(value1);
    KELO_COPY_FIELD(value2);
    KELO_COPY_FIELD(value3);
    KELO_COPY_FIELD(value4);
    KELO_COPY_FIELD(identity);
    KELO_COPY_FIELD(value6);
    KELO_COPY_FIELD(value7);
    KELO_COPY_FIELD(value8);
    KELO_COPY_FIELD(block);
#undef KELO_COPY_FIELD
}

// A usable VB target: one dimension of 536-byte elements, at least one
// element (the count read as signed), and memory behind it.
bool validVbArray(KeloSafeArray** array) {
    if (array == nullptr || *array == nullptr) return false;
    const KeloSafeArray& descriptor = **array;
    return descriptor.cDims == 1 && descriptor.cbElements == kVbElementSize &&
           static_cast<std::int32_t>(descriptor.rgsabound[0].cElements) > 0 &&
           descriptor.pvData != nullptr;
}

}  // namespace

int openReplySocket(net::Socket* socket) {
    const net::Socket s = net::openUdpSocket();
    if (s == net::kInvalidSocket) return -1;
    if (net::bindSocket(s, kAnyAddress, 0) != 0) {
        closeKeepingError(s);
        return -1;
    }
    const std::uint16_t port = net::boundPort(s);
    if (port == 0) {
        closeKeepingError(s);
        return -1;
    }
    *socket = s;
    return port;
}

std::int32_t collectReplies(net::Socket socket, ReplyStore store, unsigned limitMilliseconds) {
    if (store.records == nullptr || store.capacity == 0) return 0;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(limitMilliseconds);
    std::uint32_t count = 0;
    udp::Message datagram;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
        if (left <= 0) return static_cast<std::int32_t>(count);
        const long wait = static_cast<long>(std::min<long long>(left, kReplyWaitMicroseconds));
        const net::WaitResult ready = net::waitSocket(socket, true, false, 0, wait);
        if (ready.ready < 0) return -1;
        if (ready.ready == 0) return static_cast<std::int32_t>(count);
        if (!ready.readable) continue;

        datagram.fill(0);
        std::uint32_t from = 0;
        if (net::receiveFrom(socket, datagram.data(), datagram.size(), &from, nullptr) < 0) {
            return -1;
        }
        if (udp::hasHeader(datagram, udp::kDiscoveryReply) &&
            !alreadyStored(store.records, count, udp::replyIdentity(datagram))) {
            std::memcpy(&store.records[count], udp::replyRecord(datagram), udp::kRecordSize);
            if (store.addresses != nullptr) store.addresses[count] = from;
            ++count;
        }
        if (count == store.capacity) return static_cast<std::int32_t>(count);
    }
}

std::int32_t discoverScanners(std::uint8_t mode, std::uint32_t value, ReplyStore store,
                              bool withAddresses) {
    if (store.records == nullptr || store.capacity == 0 || (withAddresses && store.addresses == nullptr)) {
        return refuse();
    }
    // Some socket layers clear the error on success; a successful search
    // leaves the caller's value as it found it.
    const int errorBefore = net::lastError();
    net::Socket replySocket = net::kInvalidSocket;
    const int port = openReplySocket(&replySocket);
    if (port < 0) return -1;

    udp::Message request;
    udp::buildDiscoveryRequest(request, mode, value, static_cast<std::uint16_t>(port));
    std::int32_t count = -1;
    if (broadcastMessage(request.data(), request.size()) == 0) {
        count = collectReplies(replySocket, store);
    }
    if (count < 0) {
        closeKeepingError(replySocket);
        return -1;
    }
    net::closeSocket(replySocket);
    net::setLastError(errorBefore);
    return count;
}

std::int32_t discoverScannersVB(std::uint8_t mode, std::uint32_t value, KeloSafeArray** array) {
    if (!validVbArray(array)) return refuse();
    KeloSafeArray* target = *array;
    const std::uint32_t elements = target->rgsabound[0].cElements;

    std::unique_ptr<ScannerInfo[]> scratch(new (std::nothrow) ScannerInfo[kVbScratchCapacity]);
    if (!scratch) {
        net::setLastError(kErrorNoBuffers);
        return -1;
    }
    const std::int32_t found =
        discoverScanners(mode, value, ReplyStore{scratch.get(), nullptr, kVbScratchCapacity});

    if (!platform::lockSafeArray(target)) return refuse();
    const std::int32_t written =
        found < 0 ? -1 : static_cast<std::int32_t>(std::min<std::uint32_t>(found, elements));
    auto* data = static_cast<std::uint8_t*>(target->pvData);
    for (std::int32_t i = 0; i < written; ++i) {
        toVbElement(scratch[i], data + static_cast<std::size_t>(i) * kVbElementSize);
    }
    if (!platform::unlockSafeArray(target)) return refuse();
    return written;
}

}  // namespace kelo::discovery

using kelo::discovery::discoverScanners;
using kelo::discovery::discoverScannersVB;
using kelo::discovery::ReplyStore;
using kelo::udp::kSelectAll;
using kelo::udp::kSelectByCableId;
using kelo::udp::kSelectBySerialNumber;

extern "C" {

KELO_API int32_t KELO_CALL lpFindAllScanners(ScannerInfo* records, uint32_t capacity) {
    return discoverScanners(kSelectAll, 0, ReplyStore{records, nullptr, capacity});
}

KELO_API int32_t KELO_CALL lpFindScannerByCableId(uint32_t cableId, ScannerInfo* records,
                                                  uint32_t capacity) {
    return discoverScanners(kSelectByCableId, cableId, ReplyStore{records, nullptr, capacity});
}

KELO_API int32_t KELO_CALL lpFindScannerBySerialNumber(uint32_t serialNumber,
                                                       ScannerInfo* records, uint32_t capacity) {
    return discoverScanners(kSelectBySerialNumber, serialNumber, ReplyStore{records, nullptr, capacity});
}

KELO_API int32_t KELO_CALL lpFindAllScannersWithAddresses(ScannerInfo* records,
                                                          uint32_t* addresses, uint32_t capacity) {
    return discoverScanners(kSelectAll, 0, ReplyStore{records, addresses, capacity}, true);
}

KELO_API int32_t KELO_CALL lpFindScannerBySerialNumberWithAddresses(uint32_t serialNumber,
                                                                    ScannerInfo* records,
                                                                    uint32_t* addresses,
                                                                    uint32_t capacity) {
    return discoverScanners(kSelectBySerialNumber, serialNumber, ReplyStore{records, addresses, capacity},
                            true);
}

KELO_API int32_t KELO_CALL lpFindScannerByCableIdWithAddresses(uint32_t cableId,
                                                               ScannerInfo* records,
                                                               uint32_t* addresses,
                                                               uint32_t capacity) {
    return discoverScanners(kSelectByCableId, cableId, ReplyStore{records, addresses, capacity}, true);
}

KELO_API int32_t KELO_CALL lpFindAllScannersVB(KeloSafeArray** array) {
    return discoverScannersVB(kSelectAll, 0, array);
}

KELO_API int32_t KELO_CALL lpFindScannerByCableIdVB(uint32_t cableId, KeloSafeArray** array) {
    return discoverScannersVB(kSelectByCableId, cableId, array);
}

KELO_API int32_t KELO_CALL lpFindScannerBySerialNumberVB(uint32_t serialNumber,
                                                         KeloSafeArray** array) {
    return discoverScannersVB(kSelectBySerialNumber, serialNumber, array);
}

}  // extern "C"
