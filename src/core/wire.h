/* SPDX-License-Identifier: Apache-2.0 */
// Big-endian words and the two 8-byte headers of the TCP protocol. Every
// command is built and every answer header parsed through these helpers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelo::wire {

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kWordSize = 4;

inline void putWord(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

inline std::uint32_t getWord(const std::uint8_t* in) {
    return (std::uint32_t(in[0]) << 24) | (std::uint32_t(in[1]) << 16) |
           (std::uint32_t(in[2]) << 8) | std::uint32_t(in[3]);
}

// IPv4 addresses are held as they stand in a socket address (network
// order in memory); arithmetic on them happens in host order.
inline std::uint32_t networkToHost(std::uint32_t networkOrder) {
    std::uint8_t bytes[kWordSize];
    std::memcpy(bytes, &networkOrder, kWordSize);
    return getWord(bytes);
}

inline std::uint32_t hostToNetwork(std::uint32_t hostOrder) {
    std::uint8_t bytes[kWordSize];
    putWord(bytes, hostOrder);
    std::uint32_t networkOrder;
    std::memcpy(&networkOrder, bytes, kWordSize);
    return networkOrder;
}

// A base address moved on by an offset, counted in host order and wrapping.
inline std::uint32_t offsetAddress(std::uint32_t baseNetworkOrder, std::uint32_t offset) {
    return hostToNetwork(networkToHost(baseNetworkOrder) + offset);
}

// A command: header (code, payload length) followed by N payload words,
// assembled in one buffer so it leaves in one send.
template <std::size_t N>
struct Command {
    std::array<std::uint8_t, kHeaderSize + N * kWordSize> bytes{};
    const std::uint8_t* data() const { return bytes.data(); }
    static constexpr std::size_t size() { return kHeaderSize + N * kWordSize; }
};

template <typename... Words>
Command<sizeof...(Words)> buildCommand(std::uint32_t code, Words... payload) {
    Command<sizeof...(Words)> command;
    putWord(command.bytes.data(), code);
    putWord(command.bytes.data() + 4, static_cast<std::uint32_t>(sizeof...(Words) * kWordSize));
    std::size_t offset = kHeaderSize;
    ((putWord(command.bytes.data() + offset, static_cast<std::uint32_t>(payload)),
      offset += kWordSize),
     ...);
    return command;
}

// A header whose length word is given separately (variable payloads).
inline std::array<std::uint8_t, kHeaderSize> buildHeader(std::uint32_t code,
                                                         std::uint32_t payloadLength) {
    std::array<std::uint8_t, kHeaderSize> header{};
    putWord(header.data(), code);
    putWord(header.data() + 4, payloadLength);
    return header;
}

struct AnswerHeader {
    std::uint32_t type = 0;
    std::uint32_t length = 0;
};

inline AnswerHeader parseAnswerHeader(const std::uint8_t* bytes) {
    return AnswerHeader{getWord(bytes), getWord(bytes + 4)};
}

}  // namespace kelo::wire
