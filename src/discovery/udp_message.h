/* SPDX-License-Identifier: Apache-2.0 */
// The UDP message of discovery and network configuration: 538 bytes,
// little-endian integers, IPv4 addresses in network order. Every message is
// built and read through this file, by the library and by the emulator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelo::udp {

inline constexpr std::size_t kMessageSize = 538;
inline constexpr std::uint32_t kMagic = 0xA223AE7Fu;
inline constexpr std::uint16_t kDiscoveryPort = 30127;
inline constexpr std::uint32_t kBroadcastAddress = 0xFFFFFFFFu;  // 255.255.255.255
inline constexpr std::size_t kRecordOffset = 5;
inline constexpr std::size_t kRecordSize = kMessageSize - kRecordOffset;  // one ScannerInfo
inline constexpr std::size_t kIdentityOffset = kRecordOffset + 11;

enum MessageType : std::uint8_t {
    kDiscoveryRequest = 0,
    kDiscoveryReply = 1,
    kIpConfiguration = 2,
    kCableIdConfiguration = 3,
};

enum SelectorMode : std::uint8_t {
    kSelectAll = 0,
    kSelectByCableId = 1,
    kSelectBySerialNumber = 2,
};

enum CableIdAction : std::uint8_t {
    kSetCableId = 2,
    kClearCableId = 3,
};

enum IpMode : std::uint8_t {
    kStaticAddress = 0,
    kBaseAddress = 1,
};

using Message = std::array<std::uint8_t, kMessageSize>;

namespace layout {
inline constexpr std::size_t kType = 4;
inline constexpr std::size_t kSelectorMode = 5;
inline constexpr std::size_t kSelectorValue = 6;
inline constexpr std::size_t kReplyPort = 10;
inline constexpr std::size_t kAction = 10;  // cable-id action or IP mode
inline constexpr std::size_t kCableId = 11;
inline constexpr std::size_t kAddress = 11;
inline constexpr std::size_t kSecondAddress = 18;
// Fixed bytes of the IP configuration message around the second address.
inline constexpr std::size_t kIpConstants = 15;
inline constexpr std::uint8_t kIpConstantBytes[] = {0xFF, 0x01, 0x04};
inline constexpr std::size_t kIpTrailer = 22;
inline constexpr std::uint8_t kIpTrailerBytes[] = {0xFF, 0xFF};
}  // namespace layout

inline void putLe32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
    out[3] = static_cast<std::uint8_t>(value >> 24);
}

inline void putLe16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

inline std::uint32_t getLe32(const std::uint8_t* in) {
    return std::uint32_t(in[0]) | (std::uint32_t(in[1]) << 8) | (std::uint32_t(in[2]) << 16) |
           (std::uint32_t(in[3]) << 24);
}

inline std::uint16_t getLe16(const std::uint8_t* in) {
    return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

// Addresses are copied byte for byte as they stand in memory.
inline void putAddress(std::uint8_t* out, std::uint32_t addressNetworkOrder) {
    std::memcpy(out, &addressNetworkOrder, 4);
}

inline std::uint32_t getAddress(const std::uint8_t* in) {
    std::uint32_t address;
    std::memcpy(&address, in, 4);
    return address;
}

// A zeroed message with the common header.
inline void startMessage(Message& message, MessageType type) {
    message.fill(0);
    putLe32(message.data(), kMagic);
    message[layout::kType] = type;
}

inline void buildDiscoveryRequest(Message& message, std::uint8_t mode, std::uint32_t value,
                                  std::uint16_t replyPort) {
    startMessage(message, kDiscoveryRequest);
    message[layout::kSelectorMode] = mode;
    putLe32(&message[layout::kSelectorValue], value);
    putLe16(&message[layout::kReplyPort], replyPort);
}

inline void buildCableIdConfiguration(Message& message, std::uint32_t serialNumber,
                                      CableIdAction action, std::uint32_t cableId) {
    startMessage(message, kCableIdConfiguration);
    message[layout::kSelectorMode] = kSelectBySerialNumber;
    putLe32(&message[layout::kSelectorValue], serialNumber);
    message[layout::kAction] = action;
    putLe32(&message[layout::kCableId], cableId);
}

inline void buildIpConfiguration(Message& message, std::uint8_t selectorMode,
                                 std::uint32_t serialNumber, std::uint8_t ipMode,
                                 std::uint32_t address, std::uint32_t secondAddress) {
    startMessage(message, kIpConfiguration);
    message[layout::kSelectorMode] = selectorMode;
    putLe32(&message[layout::kSelectorValue], serialNumber);
    message[layout::kAction] = ipMode;
    putAddress(&message[layout::kAddress], address);
    std::memcpy(&message[layout::kIpConstants], layout::kIpConstantBytes,
                sizeof layout::kIpConstantBytes);
    putAddress(&message[layout::kSecondAddress], secondAddress);
    std::memcpy(&message[layout::kIpTrailer], layout::kIpTrailerBytes,
                sizeof layout::kIpTrailerBytes);
}

// record: kRecordSize bytes of one ScannerInfo.
inline void buildDiscoveryReply(Message& message, const std::uint8_t* record) {
    startMessage(message, kDiscoveryReply);
    std::memcpy(&message[kRecordOffset], record, kRecordSize);
}

// Reading. A received datagram sits in a zeroed Message, so bytes a short
// datagram did not carry read as zero.
inline bool hasHeader(const Message& message, MessageType type) {
    return getLe32(message.data()) == kMagic && message[layout::kType] == type;
}

inline std::uint8_t messageType(const Message& message) { return message[layout::kType]; }
inline bool hasMagic(const Message& message) { return getLe32(message.data()) == kMagic; }

inline std::uint32_t replyIdentity(const Message& message) {
    return getLe32(&message[kIdentityOffset]);
}
inline const std::uint8_t* replyRecord(const Message& message) {
    return &message[kRecordOffset];
}

struct Selector {
    std::uint8_t mode = 0;
    std::uint32_t value = 0;
};
inline Selector selector(const Message& message) {
    return {message[layout::kSelectorMode], getLe32(&message[layout::kSelectorValue])};
}
inline std::uint16_t requestReplyPort(const Message& message) {
    return getLe16(&message[layout::kReplyPort]);
}

struct CableIdSetting {
    std::uint8_t action = 0;
    std::uint32_t cableId = 0;
};
inline CableIdSetting cableIdSetting(const Message& message) {
    return {message[layout::kAction], getLe32(&message[layout::kCableId])};
}

struct IpSetting {
    std::uint8_t mode = 0;
    std::uint32_t address = 0;        // network order
    std::uint32_t secondAddress = 0;  // network order
};
inline IpSetting ipSetting(const Message& message) {
    return {message[layout::kAction], getAddress(&message[layout::kAddress]),
            getAddress(&message[layout::kSecondAddress])};
}

}  // namespace kelo::udp
