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

std::int32_t collectReplies(net::Socket socket, ScannerInfo* records, std::uint32_t capacity,
                            unsigned limitMilliseconds) {
    if (records == nullptr || capacity == 0) return 0;
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
        if (net::receiveFrom(socket, datagram.data(), datagram.size(), nullptr, nullptr) < 0) {
            return -1;
        }
        if (udp::hasHeader(datagram, udp::kDiscoveryReply) &&
            !alreadyStored(records, count, udp::replyIdentity(datagram))) {
            std::memcpy(&records[count], udp::replyRecord(datagram), udp::kRecordSize);
            ++count;
        }
        if (count == capacity) return static_cast<std::int32_t>(count);
    }
}

std::int32_t discoverScanners(std::uint8_t mode, std::uint32_t value, ScannerInfo* records,
                              std::uint32_t capacity) {
    if (records == nullptr || capacity == 0) return refuse();
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
        count = collectReplies(replySocket, records, capacity);
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
    const std::int32_t found = discoverScanners(mode, value, scratch.get(), kVbScratchCapacity);

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

extern "C" {

KELO_API int32_t KELO_CALL lpFindAllScanners(ScannerInfo* records, uint32_t capacity) {
    return kelo::discovery::discoverScanners(kelo::udp::kSelectAll, 0, records, capacity);
}

KELO_API int32_t KELO_CALL lpFindScannerByCableId(uint32_t cableId, ScannerInfo* records,
                                                  uint32_t capacity) {
    return kelo::discovery::discoverScanners(kelo::udp::kSelectByCableId, cableId, records,
                                             capacity);
}

KELO_API int32_t KELO_CALL lpFindScannerBySerialNumber(uint32_t serialNumber,
                                                       ScannerInfo* records, uint32_t capacity) {
    return kelo::discovery::discoverScanners(kelo::udp::kSelectBySerialNumber, serialNumber,
                                             records, capacity);
}

KELO_API int32_t KELO_CALL lpFindAllScannersVB(KeloSafeArray** array) {
    return kelo::discovery::discoverScannersVB(kelo::udp::kSelectAll, 0, array);
}

KELO_API int32_t KELO_CALL lpFindScannerByCableIdVB(uint32_t cableId, KeloSafeArray** array) {
    return kelo::discovery::discoverScannersVB(kelo::udp::kSelectByCableId, cableId, array);
}

KELO_API int32_t KELO_CALL lpFindScannerBySerialNumberVB(uint32_t serialNumber,
                                                         KeloSafeArray** array) {
    return kelo::discovery::discoverScannersVB(kelo::udp::kSelectBySerialNumber, serialNumber,
                                               array);
}

}  // extern "C"
