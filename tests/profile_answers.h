/* SPDX-License-Identifier: Apache-2.0 */
// Profile answers written byte by byte for scripted scanners, and checks of
// the records the library fills from them.
#pragma once

#include <cstdint>
#include <vector>

#include "core/wire.h"
#include "emulator/emulator.h"
#include "kelo_dll.h"

namespace kelo::test {

// Word i of a scripted profile payload carries tag * 0x10000 + i, so every
// word is distinct and its byte order visible.
inline std::uint32_t scriptedWord(std::uint32_t tag, std::size_t i) {
    return tag * 0x10000u + static_cast<std::uint32_t>(i);
}

// A type-0 payload: nine header words, the point count, then `points`
// points; `length` bytes in all (padded with further words, or cut).
inline emu::Bytes profilePayloadBytes(std::uint32_t tag, std::int32_t pointCount,
                                      std::size_t length) {
    emu::Bytes payload;
    for (std::size_t i = 0; payload.size() < length; ++i) {
        emu::appendWord(payload, i == 9 ? static_cast<std::uint32_t>(pointCount) : scriptedWord(tag, i));
    }
    payload.resize(length);
    return payload;
}

inline std::size_t profileLength(std::size_t points) { return 40 + 12 * points; }

inline emu::Bytes profileAnswer(std::uint32_t tag, std::int32_t pointCount, std::size_t length) {
    return emu::answerBytes(0, profilePayloadBytes(tag, pointCount, length));
}

inline emu::Bytes profileAnswer(std::uint32_t tag, std::size_t points) {
    return profileAnswer(tag, static_cast<std::int32_t>(points), profileLength(points));
}

// A type-39 batch whose length word counts its whole payload.
inline emu::Bytes batchAnswer(const std::vector<emu::Bytes>& inner, std::uint32_t type = 39) {
    emu::Bytes payload;
    emu::appendWord(payload, static_cast<std::uint32_t>(inner.size()));
    for (const auto& answer : inner) payload.insert(payload.end(), answer.begin(), answer.end());
    return emu::answerBytes(type, payload);
}

inline emu::Bytes concat(std::initializer_list<emu::Bytes> parts) {
    emu::Bytes out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A word of a record as the application sees it.
template <typename Record>
std::uint32_t recordWord(const Record& record, std::size_t i) {
    std::uint32_t value;
    std::memcpy(&value, reinterpret_cast<const std::uint8_t*>(&record) + 4 * i, 4);
    return value;
}

// The same word still in wire order (not converted by the library).
inline std::uint32_t swapped(std::uint32_t value) {
    std::uint8_t bytes[4];
    wire::putWord(bytes, value);
    std::uint32_t raw;
    std::memcpy(&raw, bytes, 4);
    return raw;
}

inline constexpr std::uint32_t kUntouched = 0xA5A5A5A5u;

template <typename Record>
void fillUntouched(Record* records, std::size_t count) {
    std::memset(static_cast<void*>(records), 0xA5, sizeof(Record) * count);
}

}  // namespace kelo::test
