// SPDX-License-Identifier: Apache-2.0
// Discovery into a VB safe array of a chosen element count: the request
// goes to a loopback scanner that answers with the datagrams of the input
// (format in loopback_scanner.h), then fills the library's scratch array.
// The elements written must hold the accepted input replies field by field
// at their aligned offsets, and no byte the library must not write (the
// padding, elements past the count) may change.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fed_connection.h"
#include "kelo_dll/discovery.h"
#include "loopback_scanner.h"

namespace {

constexpr std::uint32_t kMaxElements = 8;
constexpr std::uint8_t kUntouched = 0xA5;

#define KELO_VB_FIELDS(X) \
    X(value1) X(value2) X(value3) X(value4) X(identity) X(value6) X(value7) X(value8) X(block)

bool elementHolds(const std::uint8_t* element, const kelo::udp::Message& reply) {
    const std::uint8_t* record = kelo::udp::replyRecord(reply);
#define KELO_SAME(field)                                                               \
    if (std::memcmp(element + offsetof(ScannerInfoVB, field),                         \
                    record + offsetof(ScannerInfo, field), sizeof(ScannerInfo::field)) != 0) \
        return false;
    KELO_VB_FIELDS(KELO_SAME)
#undef KELO_SAME
    return true;
}

// The bytes of an element that belong to no field keep the caller's value.
bool paddingUntouched(const std::uint8_t* element) {
    std::uint8_t inField[sizeof(ScannerInfoVB)] = {};
#define KELO_MARK(field) \
    std::memset(inField + offsetof(ScannerInfoVB, field), 1, sizeof(ScannerInfoVB::field));
    KELO_VB_FIELDS(KELO_MARK)
#undef KELO_MARK
    for (std::size_t i = 0; i < sizeof inField; ++i) {
        if (!inField[i] && element[i] != kUntouched) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelo;
    const auto input = fuzz::select(data, size, 3);
    const std::vector<fuzz::Datagram> datagrams = fuzz::splitDatagrams(input.data, input.size);
    const std::uint32_t elements = 1 + input.option % kMaxElements;
    std::vector<std::uint8_t> storage(elements * sizeof(ScannerInfoVB), kUntouched);
    KeloSafeArray descriptor{};
    descriptor.cDims = 1;
    descriptor.cbElements = sizeof(ScannerInfoVB);
    descriptor.pvData = storage.data();
    descriptor.rgsabound[0].cElements = elements;
    KeloSafeArray* array = &descriptor;

    fuzz::LoopbackScanner scanner(datagrams);
    if (!scanner.ready()) return 0;
    int32_t written = -1;
    switch (input.choice) {
        case 0: written = lpFindAllScannersVB(&array); break;
        case 1: written = lpFindScannerByCableIdVB(input.option, &array); break;
        case 2: written = lpFindScannerBySerialNumberVB(input.option, &array); break;
    }
    scanner.stop();

    const std::vector<udp::Message> accepted = fuzz::acceptedReplies(datagrams);
    const std::size_t expected = accepted.size() < elements ? accepted.size() : elements;
    if (written > static_cast<int32_t>(elements) || descriptor.cLocks != 0) __builtin_trap();
    if (written >= 0 && static_cast<std::size_t>(written) < expected) __builtin_trap();
    for (std::uint32_t i = 0; i < elements; ++i) {
        const std::uint8_t* element = storage.data() + i * sizeof(ScannerInfoVB);
        if (static_cast<int32_t>(i) < written) {
            if (!paddingUntouched(element)) __builtin_trap();
            if (i < accepted.size() && !elementHolds(element, accepted[i])) __builtin_trap();
            continue;
        }
        for (std::size_t k = 0; k < sizeof(ScannerInfoVB); ++k) {
            if (element[k] != kUntouched) __builtin_trap();
        }
    }
    return 0;
}
