/* SPDX-License-Identifier: Apache-2.0 */
// Turning a received profile into the record the application gets: words
// into host order, the point count kept within the record's room.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kelo_dll/profiles.h"

namespace kelo {

// Words before the point array: nine header values and the point count.
inline constexpr std::size_t kProfileLeadWords = KELO_PROFILE_HEADER_VALUES + 1;
inline constexpr std::size_t kProfileWordsPerPoint = 3;

template <typename Record>
inline constexpr std::size_t kRecordPoints = sizeof(Record::points) / sizeof(Record::points[0]);

// Turns a record received in place into host order: the ten lead words
// always, then the counted points, never more than the record holds. A
// count beyond the record's room is cut to it, so readers of the record
// stay inside it.
template <typename Record>
void profileToHost(Record* record);

// Stores a profile payload of `length` bytes (at most the record's size)
// that lies in memory: the same record as receiving it into the record and
// turning it into host order there, but converted while it is copied.
template <typename Record>
void profileFromBytes(Record* record, const std::uint8_t* payload, std::uint32_t length);

}  // namespace kelo
