// Decoding of profile answers (type 0, no-profile 34, batch 39) received
// straight into an application record, for either record size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/command_codes.h"
#include "core/socket_layer.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/profiles.h"

namespace kelo {

inline constexpr int kDecodeOk = 0;
inline constexpr int kDecodeFailed = -1;
inline constexpr int kDecodeNoProfile = -3;

// Words before the point array: nine header values and the point count.
inline constexpr std::size_t kProfileLeadWords = KELO_PROFILE_HEADER_VALUES + 1;
inline constexpr std::size_t kProfileWordsPerPoint = 3;
// A batch opens with its answer header and the count of inner answers.
inline constexpr std::size_t kBatchLeadSize = wire::kHeaderSize + wire::kWordSize;
// Batches inside batches are legal on the wire; a peer that nests them
// without end must not run the decoder's stack out.
inline constexpr int kMaxBatchNesting = 8;
// Surplus payload bytes are read into this much stack at a time.
inline constexpr std::size_t kDiscardChunk = 1024;

template <typename Record>
inline constexpr std::size_t kRecordPoints = sizeof(Record::points) / sizeof(Record::points[0]);

struct BatchLead {
    std::uint32_t type = 0;
    std::uint32_t length = 0;
    std::uint32_t count = 0;
};

inline BatchLead parseBatchLead(const std::uint8_t* bytes) {
    return BatchLead{wire::getWord(bytes), wire::getWord(bytes + wire::kWordSize),
                     wire::getWord(bytes + 2 * wire::kWordSize)};
}

// Reads and drops length bytes; 0, or the failed receive's result.
inline int discardBytes(net::Socket s, std::uint32_t length, std::int32_t timeoutMs) {
    std::uint8_t scratch[kDiscardChunk];
    while (length > 0) {
        const std::uint32_t piece = length < kDiscardChunk ? length : std::uint32_t(kDiscardChunk);
        const int result = receiveExact(s, scratch, piece, 0, timeoutMs);
        if (result != kReceiveOk) return result;
        length -= piece;
    }
    return kReceiveOk;
}

// Turns a received record into host order: the ten lead words always, then
// the counted points, never more than the record holds. A count beyond the
// record's room is cut to it, so readers of the record stay inside it.
template <typename Record>
void profileToHost(Record* record) {
    wire::wordsToHost(record, kProfileLeadWords);
    if (record->pointCount <= 0) return;
    if (static_cast<std::size_t>(record->pointCount) > kRecordPoints<Record>) {
        record->pointCount = static_cast<std::int32_t>(kRecordPoints<Record>);
    }
    wire::wordsToHost(record->points,
                      static_cast<std::size_t>(record->pointCount) * kProfileWordsPerPoint);
}

namespace detail {

template <typename Record>
int decodeProfileAt(net::Socket s, Record* record, Record* scratch, std::int32_t timeoutMs,
                    int depth) {
    std::uint8_t headerBytes[wire::kHeaderSize];
    int result = receiveExact(s, headerBytes, sizeof headerBytes, 0, timeoutMs);
    if (result != kReceiveOk) return result;
    const wire::AnswerHeader header = wire::parseAnswerHeader(headerBytes);

    switch (header.type) {
        case kAnswerProfile: {
            if (header.length > sizeof(Record)) {
                // Too long for the record: read to its end so the stream
                // stays in step, and keep none of it.
                result = receiveExact(s, record, sizeof(Record), 0, timeoutMs);
                if (result == kReceiveOk) {
                    result = discardBytes(s, header.length - std::uint32_t(sizeof(Record)),
                                          timeoutMs);
                }
                return result != kReceiveOk ? result : kDecodeFailed;
            }
            result = receiveExact(s, record, header.length, 0, timeoutMs);
            if (result != kReceiveOk) return result;
            profileToHost(record);
            return kDecodeOk;
        }
        case kAnswerProfileBatch: {
            std::uint8_t countBytes[wire::kWordSize];
            result = receiveExact(s, countBytes, sizeof countBytes, 0, timeoutMs);
            if (result != kReceiveOk) return result;
            const auto count = static_cast<std::int32_t>(wire::getWord(countBytes));
            if (count == 0) return kDecodeNoProfile;
            if (depth >= kMaxBatchNesting) return kDecodeFailed;
            result = decodeProfileAt(s, record, scratch, timeoutMs, depth + 1);
            if (result != kDecodeOk) return result;
            for (std::int32_t i = 1; i < count; ++i) {
                result = decodeProfileAt(s, scratch, scratch, timeoutMs, depth + 1);
                if (result != kDecodeOk) return result;
            }
            return kDecodeOk;
        }
        case kAnswerNoProfile:
            return kDecodeNoProfile;
        default:
            return kDecodeFailed;
    }
}

}  // namespace detail

// One profile answer into record: 0 stored; -1 socket error, peer closed,
// wrong type or a payload longer than the record; -3 no profile (type 34
// or an empty batch); -4 time-out. A batch gives its first profile.
template <typename Record>
int decodeProfile(net::Socket s, Record* record, std::int32_t timeoutMs) {
    Record scratch;  // the discarded profiles of a batch, reused for each
    return detail::decodeProfileAt(s, record, &scratch, timeoutMs, 0);
}

// Profiles of a batch whose lead (header and count) was read: the first
// `capacity` into records, the rest dropped through one scratch record.
// The number stored, or the first failing decode's result.
template <typename Record>
std::int32_t decodeBatchProfiles(net::Socket s, Record* records, std::uint32_t count,
                                 std::uint32_t capacity, std::int32_t timeoutMs) {
    const std::uint32_t stored = count < capacity ? count : capacity;
    Record scratch;
    for (std::uint32_t i = 0; i < stored; ++i) {
        const int result = detail::decodeProfileAt(s, &records[i], &scratch, timeoutMs, 0);
        if (result != kDecodeOk) return result;
    }
    for (std::uint32_t i = stored; i < count; ++i) {
        const int result = detail::decodeProfileAt(s, &scratch, &scratch, timeoutMs, 0);
        if (result != kDecodeOk) return result;
    }
    return static_cast<std::int32_t>(stored);
}

}  // namespace kelo
