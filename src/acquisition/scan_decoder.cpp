// SPDX-License-Identifier: Apache-2.0
#include "acquisition/scan_decoder.h"

#include <cstring>

#include "acquisition/scan_payload.h"
#include "core/byte_order.h"
#include "core/command_codes.h"
#include "core/transport.h"
#include "core/wire.h"

namespace kelo {
namespace {
constexpr std::size_t kScanHeaderWords = KELO_SCAN_HEADER_VALUES + 1;  // with pointCount
constexpr std::size_t kWordsPerPoint = 3;
}  // namespace

int decodeScan(Link link, ScanRecord* scan) {
    std::uint8_t headerBytes[wire::kHeaderSize];
    if (receiveExactDefault(link, headerBytes, sizeof headerBytes) != kReceiveOk) return -1;
    const wire::AnswerHeader header = wire::parseAnswerHeader(headerBytes);
    if (header.type != kAnswerScan) {
        noteFailure(link.failure, KELO_FAILURE_WRONG_TYPE, static_cast<std::int32_t>(header.type));
        return -1;
    }
    if (receiveBoundedPayload(link, scan, header.length, sizeof(ScanRecord)) != 0) return -1;

    wordsToHost(scan, kScanHeaderWords);
    // A count the record cannot hold would send the caller past its end.
    if (scan->pointCount > KELO_SCAN_MAX_POINTS) {
        noteFailure(link.failure, KELO_FAILURE_TOO_LONG, scan->pointCount);
        return -1;
    }
    if (scan->pointCount > 0) {
        wordsToHost(scan->points, static_cast<std::size_t>(scan->pointCount) * kWordsPerPoint);
    }
    return 0;
}

}  // namespace kelo
