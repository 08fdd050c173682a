/* SPDX-License-Identifier: Apache-2.0 */
// The scanner's UDP side: answers discovery requests on port 30127 and
// applies the cable-id and IP configuration messages addressed to its
// serial number. Emulators that start discovery on the same address and
// port share one socket, so several scanners answer from one process;
// the socket allows address reuse, so further processes can join.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "emulator/emulator.h"

namespace kelo::emu {

// The network settings the scanner reports and the configuration messages change.
struct NetworkSettings {
    std::uint32_t serialNumber = 0;
    std::uint32_t cableId = 0;
    std::uint8_t ipMode = 0;          // 0 static, 1 base address
    std::uint32_t address = 0;        // network order
    std::uint32_t secondAddress = 0;  // network order
};

struct Datagram {
    Bytes bytes;
    std::uint32_t fromAddress = 0;  // network order
    std::uint16_t fromPort = 0;
};

// Sends one datagram to the requester's reply port.
using ReplySender = std::function<void(const Bytes&)>;
// Replaces the reply to a discovery request that selects this scanner;
// runs on the responder's thread and may send any datagrams, or none.
using DiscoveryReplyHook = std::function<void(const Bytes& request, const ReplySender& reply)>;

NetworkSettings networkSettings(Emulator& emulator);
// The 533-byte ScannerInfo record this scanner sends in a reply now:
// value1 and identity the serial number, value2 the cable id, value3 the
// IP mode, value4 its own address, value6 the laser count, value7 1, value8
// the second address (addresses in network order), block a name text.
Bytes scannerInfoRecord(Emulator& emulator);
// Every datagram that reached the responder while this scanner was on it.
std::vector<Datagram> receivedDatagrams(Emulator& emulator);
void clearReceivedDatagrams(Emulator& emulator);
bool waitForDatagrams(Emulator& emulator, std::size_t count, int timeoutMs);
void setDiscoveryReplyHook(Emulator& emulator, DiscoveryReplyHook hook);

}  // namespace kelo::emu
