// Decoding of profile answers (type 0, no-profile 34, batch 39) received
// straight into an application record, for either record size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "acquisition/answer_stream.h"
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

// Reads and drops length bytes; 0, or the failed receive's result.
template <typename Stream>
int discardBytes(Stream& in, std::uint32_t length) {
    std::uint8_t scratch[kDiscardChunk];
    while (length > 0) {
        const std::uint32_t piece = length < kDiscardChunk ? length : std::uint32_t(kDiscardChunk);
        const int result = in.receive(scratch, piece);
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

// Receives a profile payload of `length` bytes (at most the record's size)
// and turns it into host order: the same record as receiving it whole and
// converting afterwards, but converted while it is copied where the stream
// buffers.
template <typename Record, typename Stream>
int receiveProfile(Stream& in, Record* record, std::uint32_t length) {
    constexpr std::uint32_t leadBytes = kProfileLeadWords * wire::kWordSize;
    if (!Stream::kConvertsOnCopy || length < leadBytes) {
        // One receive straight into the record, converted in place.
        const int result = in.receive(record, length);
        if (result == kReceiveOk) profileToHost(record);
        return result;
    }
    int result = in.receiveWords(record, kProfileLeadWords);
    if (result != kReceiveOk) return result;
    if (static_cast<std::size_t>(record->pointCount) > kRecordPoints<Record> && record->pointCount > 0) {
        record->pointCount = static_cast<std::int32_t>(kRecordPoints<Record>);
    }
    const std::uint32_t countedWords =
        record->pointCount > 0 ? std::uint32_t(record->pointCount) * kProfileWordsPerPoint : 0;
    const std::uint32_t receivedWords = (length - leadBytes) / wire::kWordSize;
    const std::uint32_t convertedWords = countedWords < receivedWords ? countedWords : receivedWords;
    auto* points = reinterpret_cast<std::uint8_t*>(record->points);
    result = in.receiveWords(points, convertedWords);
    if (result != kReceiveOk) return result;
    const std::uint32_t convertedBytes = convertedWords * wire::kWordSize;
    result = in.receive(points + convertedBytes, length - leadBytes - convertedBytes);
    if (result != kReceiveOk) return result;
    // Counted points the payload did not reach are converted where they lie.
    if (countedWords > convertedWords) {
        wire::wordsToHost(points + convertedBytes, countedWords - convertedWords);
    }
    return kDecodeOk;
}

template <typename Record, typename Stream>
int decodeAnswer(Stream& in, Record* record, Record* scratch, int depth);

template <typename Stream>
int receiveHeader(Stream& in, wire::AnswerHeader* header) {
    std::uint8_t headerBytes[wire::kHeaderSize];
    const int result = in.receive(headerBytes, sizeof headerBytes);
    if (result == kReceiveOk) *header = wire::parseAnswerHeader(headerBytes);
    return result;
}

// The rest of an answer whose header was read.
template <typename Record, typename Stream>
int decodeAfterHeader(Stream& in, const wire::AnswerHeader& header, Record* record, Record* scratch,
                      int depth) {
    int result = kReceiveOk;
    switch (header.type) {
        case kAnswerProfile: {
            if (header.length > sizeof(Record)) {
                // Too long for the record: read to its end so the stream
                // stays in step, and keep none of it.
                result = in.receive(record, sizeof(Record));
                if (result == kReceiveOk) {
                    result = discardBytes(in, header.length - std::uint32_t(sizeof(Record)));
                }
                return result != kReceiveOk ? result : kDecodeFailed;
            }
            return receiveProfile(in, record, header.length);
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

template <typename Record, typename Stream>
int decodeAnswer(Stream& in, Record* record, Record* scratch, int depth) {
    wire::AnswerHeader header;
    const int result = receiveHeader(in, &header);
    if (result != kReceiveOk) return result;
    return decodeAfterHeader(in, header, record, scratch, depth);
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

// Reads one batch answer: the lead, then its profiles, the first
// `capacity` into records and the rest dropped through one scratch record.
// The number stored, or the first failing result; -1 as well when the
// answer's length word claimed bytes that none of its profiles used and
// that were read ahead (the stream is then out of step).
template <typename Record>
std::int32_t readProfileBatch(net::Socket s, Records<Record> records, std::int32_t timeoutMs,
                              LeadRule rule) {
    BatchStream in(s, timeoutMs);
    std::uint8_t leadBytes[kBatchLeadSize];
    const int received = in.receive(leadBytes, sizeof leadBytes);
    if (received != kReceiveOk) return rule == LeadRule::BatchOnly ? received : kDecodeFailed;
    const BatchLead lead = parseBatchLead(leadBytes);
    if (rule == LeadRule::BatchOnly && lead.type != kAnswerProfileBatch) return kDecodeFailed;
    if (lead.length >= wire::kWordSize) in.claimEnd(wire::kHeaderSize + std::uint64_t(lead.length));
    // Nothing is read ahead until the first profile shows the size to expect:
    // a length word that claims too much then cannot take the next answer.

    Record scratch;
    const std::uint32_t stored = lead.count < records.capacity ? lead.count : records.capacity;
    for (std::uint32_t i = 0; i < lead.count; ++i) {
        wire::AnswerHeader header;
        int result = detail::receiveHeader(in, &header);
        if (result != kReceiveOk) return result;
        if (header.type == kAnswerProfile && header.length <= sizeof(Record)) {
            // This profile's payload, then the rest taken to be of its size.
            const std::uint64_t size = wire::kHeaderSize + std::uint64_t(header.length);
            in.expectEnd(in.position() + header.length + std::uint64_t(lead.count - i - 1) * size);
        } else {
            in.expectEnd(0);
        }
        Record* target = i < stored ? &records.array[i] : &scratch;
        result = detail::decodeAfterHeader(in, header, target, &scratch, 0);
        if (result != kDecodeOk) return result;
    }
    if (!in.finish()) return kDecodeFailed;
    return static_cast<std::int32_t>(stored);
}

}  // namespace kelo
