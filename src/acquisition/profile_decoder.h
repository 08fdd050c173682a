/* SPDX-License-Identifier: Apache-2.0 */
// Decoding of profile answers (type 0, no-profile 34, batch 39) received
// straight into an application record, for either record size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "acquisition/answer_stream.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
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

template <typename Record>
inline constexpr std::size_t kRecordPoints = sizeof(Record::points) / sizeof(Record::points[0]);

// A connection's read-ahead buffer; null bytes when it has none.
struct ReadAhead {
    std::uint8_t* bytes;
    std::size_t size;
};

inline ReadAhead readAheadOf(const ScannerConnection* connection) {
    return ReadAhead{connection->readAhead.get(),
                     connection->readAhead ? ScannerConnection::kReadAheadSize : 0};
}

// The caller's array of records and how many it holds.
template <typename Record>
struct Records {
    Record* array;
    std::uint32_t capacity;
};

struct BatchLead {
    std::uint32_t type = 0;
    std::uint32_t length = 0;
    std::uint32_t count = 0;
};

inline BatchLead parseBatchLead(const std::uint8_t* bytes) {
    return BatchLead{wire::getWord(bytes), wire::getWord(bytes + wire::kWordSize),
                     wire::getWord(bytes + 2 * wire::kWordSize)};
}

// Turns a received record into host order: the ten lead words always, then
// the counted points, never more than the record holds. A count beyond the
// record's room is cut to it, so readers of the record stay inside it.
template <typename Record>
void profileToHost(Record* record) {
    copyWordsToHost(record, record, kProfileLeadWords);
    if (record->pointCount <= 0) return;
    if (static_cast<std::size_t>(record->pointCount) > kRecordPoints<Record>) {
        record->pointCount = static_cast<std::int32_t>(kRecordPoints<Record>);
    }
    copyWordsToHost(record->points, record->points,
                    static_cast<std::size_t>(record->pointCount) * kProfileWordsPerPoint);
}

// Stores a profile payload of `length` bytes (at most the record's size)
// that lies in memory: the same record as receiving it into the record and
// turning it into host order there, but converted while it is copied.
template <typename Record>
void profileFromBytes(Record* record, const std::uint8_t* payload, std::uint32_t length) {
    constexpr std::uint32_t leadBytes = kProfileLeadWords * wire::kWordSize;
    if (length < leadBytes) {
        std::memcpy(record, payload, length);
        profileToHost(record);
        return;
    }
    copyWordsToHost(record, payload, kProfileLeadWords);
    if (record->pointCount > 0 && static_cast<std::size_t>(record->pointCount) > kRecordPoints<Record>) {
        record->pointCount = static_cast<std::int32_t>(kRecordPoints<Record>);
    }
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

namespace detail {

template <typename Record>
int decodeAnswer(ExactStream& in, Record* record, Record* scratch, int depth);

// The rest of an answer whose header was read.
template <typename Record>
int decodeAfterHeader(ExactStream& in, const wire::AnswerHeader& header, Record* record,
                      Record* scratch, int depth) {
    int result = kReceiveOk;
    switch (header.type) {
        case kAnswerProfile: {
            if (header.length > sizeof(Record)) {
                // Too long for the record: read to its end so the stream
                // stays in step, and keep none of it.
                result = in.receive(record, sizeof(Record));
                if (result == kReceiveOk) {
                    result = in.discard(header.length - std::uint32_t(sizeof(Record)));
                }
                return result != kReceiveOk ? result : kDecodeFailed;
            }
            result = in.receive(record, header.length);
            if (result == kReceiveOk) profileToHost(record);
            return result;
        }
        case kAnswerProfileBatch: {
            std::uint8_t countBytes[wire::kWordSize];
            result = in.receive(countBytes, sizeof countBytes);
            if (result != kReceiveOk) return result;
            const auto count = static_cast<std::int32_t>(wire::getWord(countBytes));
            if (count == 0) return kDecodeNoProfile;
            if (depth >= kMaxBatchNesting) return kDecodeFailed;
            result = decodeAnswer(in, record, scratch, depth + 1);
            if (result != kDecodeOk) return result;
            for (std::int32_t i = 1; i < count; ++i) {
                result = decodeAnswer(in, scratch, scratch, depth + 1);
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

template <typename Record>
int decodeAnswer(ExactStream& in, Record* record, Record* scratch, int depth) {
    std::uint8_t headerBytes[wire::kHeaderSize];
    const int result = in.receive(headerBytes, sizeof headerBytes);
    if (result != kReceiveOk) return result;
    return decodeAfterHeader(in, wire::parseAnswerHeader(headerBytes), record, scratch, depth);
}

// Decodes the inner answers of a batch that have arrived whole and are
// plain profiles that fit their records, from the bytes a peek showed:
// from answer `next` on, at most up to answer `count`. Answers from `stored`
// on are passed over. The number of bytes they took.
template <typename Record>
std::size_t decodeArrived(const std::uint8_t* bytes, std::size_t available, Records<Record> records,
                          std::uint32_t stored, std::uint32_t count, std::uint32_t& next) {
    std::size_t span = 0;
    while (next < count && available - span >= wire::kHeaderSize) {
        const wire::AnswerHeader header = wire::parseAnswerHeader(bytes + span);
        if (header.type != kAnswerProfile || header.length > sizeof(Record)) break;
        if (available - span - wire::kHeaderSize < header.length) break;
        if (next < stored) {
            profileFromBytes(&records.array[next], bytes + span + wire::kHeaderSize, header.length);
        }
        span += wire::kHeaderSize + header.length;
        ++next;
    }
    return span;
}

// Takes `length` bytes that a peek showed are waiting.
inline int dropArrived(net::Socket s, ReadAhead buffer, std::size_t length) {
    while (length > 0) {
        const long taken = net::discardReceived(s, buffer.bytes, length);
        if (taken <= 0) return kDecodeFailed;
        length -= static_cast<std::size_t>(taken);
    }
    return kDecodeOk;
}

}  // namespace detail

// One profile answer into record: 0 stored; -1 socket error, peer closed,
// wrong type or a payload longer than the record; -3 no profile (type 34
// or an empty batch); -4 time-out. A batch gives its first profile.
template <typename Record>
int decodeProfile(net::Socket s, Record* record, std::int32_t timeoutMs) {
    ExactStream in(s, timeoutMs);
    Record scratch;  // the discarded profiles of a batch, reused for each
    return detail::decodeAnswer(in, record, &scratch, 0);
}

// How a batch read treats the answer's lead (header and count).
enum class LeadRule {
    BatchOnly,  // a failed receive gives its result; a type other than 39 gives -1
    AnyType,    // any failure gives -1; the type is not looked at
};

// Reads one batch answer: the lead, then its inner answers, the first
// `capacity` into records and the rest dropped. The number stored, or the
// first failing result. The batch's length word is not used.
//
// The stream ends exactly where decoding every inner answer with single
// exact receives would leave it, also after a failure: no byte past the
// inner answer being decoded is ever taken. Receiving each header and
// payload on its own costs two system calls per profile, more than moving
// the bytes, so the reader first peeks at what has arrived, decodes the
// complete plain profiles it finds straight from the peeked bytes, and
// then takes exactly those bytes from the socket. An inner answer that has
// only partly arrived, or that is anything but a profile fitting its
// record, is received exactly.
template <typename Record>
std::int32_t readProfileBatch(net::Socket s, ReadAhead buffer, Records<Record> records,
                              std::int32_t timeoutMs, LeadRule rule) {
    ExactStream in(s, timeoutMs);
    std::uint8_t leadBytes[kBatchLeadSize];
    const int received = in.receive(leadBytes, sizeof leadBytes);
    if (received != kReceiveOk) return rule == LeadRule::BatchOnly ? received : kDecodeFailed;
    const BatchLead lead = parseBatchLead(leadBytes);
    if (rule == LeadRule::BatchOnly && lead.type != kAnswerProfileBatch) return kDecodeFailed;

    const std::uint32_t stored = lead.count < records.capacity ? lead.count : records.capacity;
    Record scratch;  // dropped and nested answers received exactly
    std::uint32_t next = 0;
    while (next < lead.count) {
        if (buffer.bytes != nullptr) {
            // No more than the rest of the batch can take if it is all plain
            // profiles: bytes of the answers behind it are not copied in vain.
            const std::uint64_t most = std::uint64_t(lead.count - next) * (wire::kHeaderSize + sizeof(Record));
            const std::size_t look = most < buffer.size ? static_cast<std::size_t>(most) : buffer.size;
            const long arrived = net::peekAvailable(s, buffer.bytes, look);
            if (arrived == net::kWouldBlockResult) {
                // Nothing yet: the same wait a receive makes, then look again.
                const int waited = waitReadable(s, timeoutMs);
                if (waited != kReceiveOk) return waited;
                continue;
            }
            if (arrived > 0) {
                const std::size_t span = detail::decodeArrived(
                    buffer.bytes, static_cast<std::size_t>(arrived), records, stored, lead.count, next);
                if (span > 0 && detail::dropArrived(s, buffer, span) != kDecodeOk) return kDecodeFailed;
                if (next == lead.count) break;
                // A full look may hide more that has arrived.
                if (span > 0 && static_cast<std::size_t>(arrived) == look) continue;
            }
            // Otherwise (closed, failed, partly arrived, not a plain
            // profile) the next answer is received exactly.
        }
        Record* target = next < stored ? &records.array[next] : &scratch;
        const int result = detail::decodeAnswer(in, target, &scratch, 0);
        if (result != kDecodeOk) return result;
        ++next;
    }
    return static_cast<std::int32_t>(stored);
}

}  // namespace kelo
