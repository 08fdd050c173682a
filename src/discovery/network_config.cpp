// SPDX-License-Identifier: Apache-2.0
// Cable-id and IP configuration messages, broadcast to one scanner chosen
// by serial number. Nothing comes back.
#include "kelo_dll/network_config.h"
#include "discovery/network_config.h"

#include "core/socket_layer.h"
#include "discovery/broadcast.h"
#include "discovery/udp_message.h"

namespace kelo::discovery {
namespace {

constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;  // a failed lookup, as inet_addr gives it

int sendMessage(const udp::Message& message) {
    return broadcastMessage(message.data(), message.size());
}

}  // namespace

int sendIpConfiguration(std::uint32_t serialNumber, std::uint32_t address,
                        std::uint32_t secondAddress, std::uint8_t selectorMode,
                        std::uint8_t ipMode) {
    udp::Message message;
    udp::buildIpConfiguration(message, selectorMode, serialNumber, ipMode, address, secondAddress);
    return sendMessage(message);
}

// The address may be a host name (its first address is taken), the second
// only dotted text. Either gives kNoAddress when it cannot be converted.
void resolveAddressPair(const char* addressText, const char* secondText, std::uint32_t* address,
                        std::uint32_t* second) {
    if (!net::lookupHost(addressText, address)) *address = kNoAddress;
    if (!net::parseDottedAddress(secondText, second)) *second = kNoAddress;
}

namespace {

int32_t setIpFromText(std::uint32_t serialNumber, const char* addressText,
                      const char* secondText, udp::IpMode mode) {
    if (addressText == nullptr || secondText == nullptr) return KELO_ERROR_ARGUMENT;
    std::uint32_t address = kNoAddress;
    std::uint32_t second = kNoAddress;
    resolveAddressPair(addressText, secondText, &address, &second);
    if (address == kNoAddress || second == kNoAddress) return KELO_ERROR_ARGUMENT;
    return sendIpConfiguration(serialNumber, address, second, udp::kSelectBySerialNumber, mode);
}

}  // namespace
}  // namespace kelo::discovery

extern "C" {

KELO_API int32_t KELO_CALL lpSetCableId(uint32_t serialNumber, uint32_t cableId) {
    if (cableId > KELO_MAX_CABLE_ID) return KELO_ERROR_ARGUMENT;
    kelo::udp::Message message;
    kelo::udp::buildCableIdConfiguration(message, serialNumber, kelo::udp::kSetCableId, cableId);
    return kelo::discovery::sendMessage(message);
}

KELO_API int32_t KELO_CALL lpClearCableId(uint32_t serialNumber) {
    kelo::udp::Message message;
    kelo::udp::buildCableIdConfiguration(message, serialNumber, kelo::udp::kClearCableId, 0);
    return kelo::discovery::sendMessage(message);
}

KELO_API int32_t KELO_CALL lpSetStaticIpInt(uint32_t serialNumber, uint32_t address,
                                            uint32_t secondAddress) {
    return kelo::discovery::sendIpConfiguration(serialNumber, address, secondAddress,
                                                kelo::udp::kSelectBySerialNumber,
                                                kelo::udp::kStaticAddress);
}

KELO_API int32_t KELO_CALL lpSetBaseIpInt(uint32_t serialNumber, uint32_t address,
                                          uint32_t secondAddress) {
    return kelo::discovery::sendIpConfiguration(serialNumber, address, secondAddress,
                                                kelo::udp::kSelectBySerialNumber,
                                                kelo::udp::kBaseAddress);
}

KELO_API int32_t KELO_CALL lpSetStaticIpChar(uint32_t serialNumber, const char* address,
                                             const char* secondAddress) {
    return kelo::discovery::setIpFromText(serialNumber, address, secondAddress,
                                          kelo::udp::kStaticAddress);
}

KELO_API int32_t KELO_CALL lpSetBaseIpChar(uint32_t serialNumber, const char* address,
                                           const char* secondAddress) {
    return kelo::discovery::setIpFromText(serialNumber, address, secondAddress,
                                          kelo::udp::kBaseAddress);
}

}  // extern "C"
