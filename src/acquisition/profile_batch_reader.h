/* SPDX-License-Identifier: Apache-2.0 */
// Reading one profile batch answer into the caller's array of records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/transport.h"
#include "core/wire.h"

struct ScannerConnection;

namespace kelo {

// A batch opens with its answer header and the count of inner answers.
inline constexpr std::size_t kBatchLeadSize = wire::kHeaderSize + wire::kWordSize;

// A connection's read-ahead buffer; null bytes when it has none.
struct ReadAhead {
    std::uint8_t* bytes;
    std::size_t size;
};

ReadAhead readAheadOf(const ScannerConnection* connection);

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

// How a batch read treats the answer's lead (header and count).
enum class LeadRule {
    BatchOnly,  // a failed receive gives its result; a type other than 39 gives -1
    AnyType,    // any failure gives -1; the type is not looked at
};

// Reads one batch answer: the lead, then its inner answers, the first
// `capacity` into records and the rest dropped. The number stored, or the
// first failing result. An inner profile too long for its record gives -1
// once the whole batch has been read, so the stream stays in step. The
// batch's length word is not used.
template <typename Record>
std::int32_t readProfileBatch(Link link, ReadAhead buffer, Records<Record> records,
                              std::int32_t timeoutMs, LeadRule rule);

}  // namespace kelo
