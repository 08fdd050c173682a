// SPDX-License-Identifier: Apache-2.0
// Discovery replies into the plain ScannerInfo arrays: the request goes to
// a loopback scanner that answers with the datagrams of the input (format
// in loopback_scanner.h), then fills the array. The records stored must be
// the accepted input replies in arrival order, byte for byte, and records
// past the count must keep the caller's bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fed_connection.h"
#include "kelo_dll/discovery.h"
#include "loopback_scanner.h"

namespace {
constexpr std::uint32_t kMaxCapacity = 8;
constexpr std::uint8_t kUntouched = 0xA5;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelo;
    const auto input = fuzz::select(data, size, 3);
    const std::vector<fuzz::Datagram> datagrams = fuzz::splitDatagrams(input.data, input.size);
    const std::uint32_t capacity = 1 + input.option % kMaxCapacity;
    std::vector<ScannerInfo> records(capacity);
    std::memset(records.data(), kUntouched, capacity * sizeof(ScannerInfo));

    fuzz::LoopbackScanner scanner(datagrams);
    if (!scanner.ready()) return 0;
    const std::uint32_t selector = input.option * 0x01010101u;
    int32_t count = -1;
    switch (input.choice) {
        case 0: count = lpFindAllScanners(records.data(), capacity); break;
        case 1: count = lpFindScannerByCableId(selector, records.data(), capacity); break;
        case 2: count = lpFindScannerBySerialNumber(selector, records.data(), capacity); break;
    }
    scanner.stop();
    // The request names what was asked for.
    if (scanner.requested()) {
        const udp::Selector asked = udp::selector(scanner.request());
        if (asked.mode != input.choice || asked.value != (input.choice ? selector : 0)) {
            __builtin_trap();
        }
    }

    const std::vector<udp::Message> accepted = fuzz::acceptedReplies(datagrams);
    const std::size_t expected = accepted.size() < capacity ? accepted.size() : capacity;
    if (count > static_cast<int32_t>(capacity)) __builtin_trap();
    if (count >= 0 && static_cast<std::size_t>(count) < expected) __builtin_trap();
    for (std::uint32_t i = 0; i < capacity; ++i) {
        const auto* record = reinterpret_cast<const std::uint8_t*>(&records[i]);
        if (static_cast<int32_t>(i) < count) {
            if (i < accepted.size() &&
                std::memcmp(record, udp::replyRecord(accepted[i]), udp::kRecordSize) != 0) {
                __builtin_trap();
            }
            continue;
        }
        for (std::size_t k = 0; k < sizeof(ScannerInfo); ++k) {
            if (record[k] != kUntouched) __builtin_trap();
        }
    }
    return 0;
}
