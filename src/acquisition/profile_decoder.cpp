// SPDX-License-Identifier: Apache-2.0
#include "acquisition/profile_decoder.h"

#include "acquisition/profile_record_copy.h"
#include "core/command_codes.h"
#include "core/wire.h"

namespace kelo {
namespace {

// Batches inside batches are legal on the wire; a peer that nests them
// without end must not run the decoder's stack out.
constexpr int kMaxBatchNesting = 8;

template <typename Record>
int decodeNested(ExactStream& in, Record* record, Record* scratch, int depth);

// Reads the inner answers of a batch whose count was read: the first into
// record (also when the count, taken as signed, is negative), the others
// into scratch. One that does not fit is dropped and the rest are read all
// the same, so that the batch is taken whole.
template <typename Record>
int decodeBatchBody(ExactStream& in, std::int32_t count, Record* record, Record* scratch, int depth) {
    int result = decodeNested(in, record, scratch, depth + 1);
    bool dropped = result == kDecodeDropped;
    if (result != kDecodeOk && !dropped) return result;
    for (std::int32_t i = 1; i < count; ++i) {
        result = decodeNested(in, scratch, scratch, depth + 1);
        if (result == kDecodeDropped) {
            dropped = true;
        } else if (result != kDecodeOk) {
            return result;
        }
    }
    return dropped ? kDecodeDropped : kDecodeOk;
}

// The rest of an answer whose header was read.
template <typename Record>
int decodeAfterHeader(ExactStream& in, const wire::AnswerHeader& header, Record* record,
                      Record* scratch, int depth) {
    switch (header.type) {
        case kAnswerProfile: {
            if (header.length > sizeof(Record)) {
                // Too long for the record: read to its end so the stream
                // stays in step, and keep none of it.
                in.note(KELO_FAILURE_TOO_LONG, static_cast<std::int32_t>(header.length));
                int result = in.receive(record, sizeof(Record));
                if (result == kReceiveOk) result = in.discard(header.length - std::uint32_t(sizeof(Record)));
                return result != kReceiveOk ? result : kDecodeDropped;
            }
            const int result = in.receive(record, header.length);
            if (result == kReceiveOk) profileToHost(record);
            return result;
        }
        case kAnswerProfileBatch: {
            std::uint8_t countBytes[wire::kWordSize];
            const int result = in.receive(countBytes, sizeof countBytes);
            if (result != kReceiveOk) return result;
            const auto count = static_cast<std::int32_t>(wire::getWord(countBytes));
            if (count == 0) return kDecodeNoProfile;
            if (depth >= kMaxBatchNesting) {
                in.note(KELO_FAILURE_TOO_LONG, count);
                return kDecodeFailed;
            }
            return decodeBatchBody(in, count, record, scratch, depth);
        }
        case kAnswerNoProfile:
            return kDecodeNoProfile;
        default:
            in.note(KELO_FAILURE_WRONG_TYPE, static_cast<std::int32_t>(header.type));
            return kDecodeFailed;
    }
}

template <typename Record>
int decodeNested(ExactStream& in, Record* record, Record* scratch, int depth) {
    std::uint8_t headerBytes[wire::kHeaderSize];
    const int result = in.receive(headerBytes, sizeof headerBytes);
    if (result != kReceiveOk) return result;
    return decodeAfterHeader(in, wire::parseAnswerHeader(headerBytes), record, scratch, depth);
}

}  // namespace

template <typename Record>
int decodeAnswer(ExactStream& in, Record* record, Record* scratch) {
    return decodeNested(in, record, scratch, 0);
}

template <typename Record>
int decodeProfile(Link link, Record* record, std::int32_t timeoutMs) {
    ExactStream in(link, timeoutMs);
    Record scratch;  // the discarded profiles of a batch, reused for each
    const int result = decodeAnswer(in, record, &scratch);
    return result == kDecodeDropped ? kDecodeFailed : result;
}

template int decodeAnswer(ExactStream&, ProfileRecord*, ProfileRecord*);
template int decodeAnswer(ExactStream&, LargeProfileRecord*, LargeProfileRecord*);
template int decodeProfile(Link, ProfileRecord*, std::int32_t);
template int decodeProfile(Link, LargeProfileRecord*, std::int32_t);

}  // namespace kelo
