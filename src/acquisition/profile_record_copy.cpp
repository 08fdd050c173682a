// SPDX-License-Identifier: Apache-2.0
#include "acquisition/profile_record_copy.h"

#include <cstring>

#include "core/byte_order.h"
#include "core/wire.h"

namespace kelo {
namespace {

template <typename Record>
void limitPointCount(Record* record) {
    if (record->pointCount > 0 && static_cast<std::size_t>(record->pointCount) > kRecordPoints<Record>) {
        record->pointCount = static_cast<std::int32_t>(kRecordPoints<Record>);
    }
}

}  // namespace

template <typename Record>
void profileToHost(Record* record) {
    copyWordsToHost(record, record, kProfileLeadWords);
    if (record->pointCount <= 0) return;
    limitPointCount(record);
    copyWordsToHost(record->points, record->points,
                    static_cast<std::size_t>(record->pointCount) * kProfileWordsPerPoint);
}

template <typename Record>
void profileFromBytes(Record* record, const std::uint8_t* payload, std::uint32_t length) {
    constexpr std::uint32_t leadBytes = kProfileLeadWords * wire::kWordSize;
    if (length < leadBytes) {
        std::memcpy(record, payload, length);
        profileToHost(record);
        return;
    }
    copyWordsToHost(record, payload, kProfileLeadWords);
    limitPointCount(record);
    const std::uint32_t countedWords =
        record->pointCount > 0 ? std::uint32_t(record->pointCount) * kProfileWordsPerPoint : 0;
    const std::uint32_t receivedWords = (length - leadBytes) / wire::kWordSize;
    const std::uint32_t convertedWords = countedWords < receivedWords ? countedWords : receivedWords;
    const std::uint32_t convertedBytes = convertedWords * wire::kWordSize;
    auto* points = reinterpret_cast<std::uint8_t*>(record->points);
    copyWordsToHost(points, payload + leadBytes, convertedWords);
    std::memcpy(points + convertedBytes, payload + leadBytes + convertedBytes,
                length - leadBytes - convertedBytes);
    // Counted points the payload did not reach are converted where they lie.
    if (countedWords > convertedWords) {
        copyWordsToHost(points + convertedBytes, points + convertedBytes, countedWords - convertedWords);
    }
}

template void profileToHost(ProfileRecord*);
template void profileToHost(LargeProfileRecord*);
template void profileFromBytes(ProfileRecord*, const std::uint8_t*, std::uint32_t);
template void profileFromBytes(LargeProfileRecord*, const std::uint8_t*, std::uint32_t);

}  // namespace kelo
