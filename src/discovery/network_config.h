/* SPDX-License-Identifier: Apache-2.0 */
// The IP configuration message and the text-to-address step of the Char setters.
#pragma once

#include <cstdint>

namespace kelo::discovery {

// Broadcasts the IP configuration message; broadcastMessage's result.
int sendIpConfiguration(std::uint32_t serialNumber, std::uint32_t address,
                        std::uint32_t secondAddress, std::uint8_t selectorMode,
                        std::uint8_t ipMode);

// address: host name or dotted text, first address of the lookup; second:
// dotted text only. 0xFFFFFFFF for text that does not convert.
void resolveAddressPair(const char* addressText, const char* secondText, std::uint32_t* address,
                        std::uint32_t* second);

}  // namespace kelo::discovery
