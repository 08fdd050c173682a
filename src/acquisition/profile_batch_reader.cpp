// SPDX-License-Identifier: Apache-2.0
// The stream ends exactly where decoding every inner answer with single
// exact receives would leave it, also after a failure: no byte past the
// inner answer being decoded is ever taken. Receiving each header and
// payload on its own costs two system calls per profile, more than moving
// the bytes, so the reader first peeks at what has arrived, decodes the
// complete plain profiles it finds straight from the peeked bytes, and
// then takes exactly those bytes from the socket. An inner answer that has
// only partly arrived, or that is anything but a profile fitting its
// record, is received exactly.
#include "acquisition/profile_batch_reader.h"

#include "acquisition/answer_stream.h"
#include "acquisition/profile_decoder.h"
#include "acquisition/profile_record_copy.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "kelo_dll/profiles.h"

namespace kelo {
namespace {

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
int dropArrived(Link link, ReadAhead buffer, std::size_t length) {
    while (length > 0) {
        const long taken = net::discardReceived(link.socket, buffer.bytes, length);
        if (taken <= 0) return noteReceiveFailure(link, taken);
        length -= static_cast<std::size_t>(taken);
    }
    return kDecodeOk;
}

}  // namespace

ReadAhead readAheadOf(const ScannerConnection* connection) {
    return ReadAhead{connection->readAhead.get(),
                     connection->readAhead ? ScannerConnection::kReadAheadSize : 0};
}

template <typename Record>
std::int32_t readProfileBatch(Link link, ReadAhead buffer, Records<Record> records,
                              std::int32_t timeoutMs, LeadRule rule) {
    ExactStream in(link, timeoutMs);
    std::uint8_t leadBytes[kBatchLeadSize];
    const int received = in.receive(leadBytes, sizeof leadBytes);
    if (received != kReceiveOk) return rule == LeadRule::BatchOnly ? received : kDecodeFailed;
    const BatchLead lead = parseBatchLead(leadBytes);
    if (rule == LeadRule::BatchOnly && lead.type != kAnswerProfileBatch) {
        in.note(KELO_FAILURE_WRONG_TYPE, static_cast<std::int32_t>(lead.type));
        return kDecodeFailed;
    }

    const std::uint32_t stored = lead.count < records.capacity ? lead.count : records.capacity;
    Record scratch;  // dropped and nested answers received exactly
    bool dropped = false;
    std::uint32_t next = 0;
    while (next < lead.count) {
        if (buffer.bytes != nullptr) {
            // No more than the rest of the batch can take if it is all plain
            // profiles: bytes of the answers behind it are not copied in vain.
            const std::uint64_t most = std::uint64_t(lead.count - next) * (wire::kHeaderSize + sizeof(Record));
            const std::size_t look = most < buffer.size ? static_cast<std::size_t>(most) : buffer.size;
            const long arrived = net::peekAvailable(link.socket, buffer.bytes, look);
            if (arrived == net::kWouldBlockResult) {
                // Nothing yet: the same wait a receive makes, then look again.
                const int waited = waitReadable(link, timeoutMs);
                if (waited != kReceiveOk) return waited;
                continue;
            }
            if (arrived > 0) {
                const std::size_t span =
                    decodeArrived(buffer.bytes, static_cast<std::size_t>(arrived), records, stored, lead.count, next);
                if (span > 0 && dropArrived(link, buffer, span) != kDecodeOk) return kDecodeFailed;
                if (next == lead.count) break;
                // A full look may hide more that has arrived.
                if (span > 0 && static_cast<std::size_t>(arrived) == look) continue;
            }
            // Otherwise (closed, failed, partly arrived, not a plain
            // profile) the next answer is received exactly.
        }
        Record* target = next < stored ? &records.array[next] : &scratch;
        const int result = decodeAnswer(in, target, &scratch);
        if (result == kDecodeDropped) {
            dropped = true;
        } else if (result != kDecodeOk) {
            return result;
        }
        ++next;
    }
    return dropped ? kDecodeFailed : static_cast<std::int32_t>(stored);
}

template std::int32_t readProfileBatch(Link, ReadAhead, Records<ProfileRecord>, std::int32_t, LeadRule);
template std::int32_t readProfileBatch(Link, ReadAhead, Records<LargeProfileRecord>, std::int32_t, LeadRule);

}  // namespace kelo
