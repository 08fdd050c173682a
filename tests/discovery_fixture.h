/* SPDX-License-Identifier: Apache-2.0 */
// Discovery test support: emulated scanners answer on an address of the
// test's own. On loopback the library's messages go from other loopback
// addresses to that address instead of being broadcast.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/safe_array.h"
#include "discovery/broadcast.h"
#include "emulator/discovery_responder.h"
#include "emulator/emulator.h"
#include "kelo_dll.h"
#include "support/emulator_fixture.h"
#include "support/wine_differences.h"

namespace kelo::test {

// Every record array is preset with this byte, so untouched records show.
constexpr std::uint8_t kFill = 0xCC;

inline std::uint32_t addressOf(const std::string& dotted) {
    std::uint32_t address = 0;
    EXPECT_TRUE(net::parseDottedAddress(dotted.c_str(), &address)) << dotted;
    return address;
}

// A loopback address of the test's own, in network order.
inline std::uint32_t freshAddress() { return addressOf(uniqueLoopbackAddress()); }

inline emu::Bytes bytesOfRecord(const ScannerInfo& record) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    return emu::Bytes(p, p + sizeof record);
}

// A 538-byte message: the given leading bytes, zeros after them.
inline emu::Bytes messageOf(std::initializer_list<unsigned> leading) {
    emu::Bytes bytes = bytesOf(leading);
    bytes.resize(538, 0);
    return bytes;
}

// A one-dimensional safe array of ScannerInfoVB, every byte kFill.
struct VbArray {
    explicit VbArray(std::uint32_t elements) : data(elements * sizeof(ScannerInfoVB), kFill) {
        descriptor.cDims = 1;
        descriptor.cbElements = sizeof(ScannerInfoVB);
        descriptor.pvData = data.data();
        descriptor.rgsabound[0].cElements = elements;
    }

    KeloSafeArray descriptor{};
    KeloSafeArray* pointer = &descriptor;
    std::vector<std::uint8_t> data;
};

class DiscoveryLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        udpPort_ = wine::holdUdpPort(KELO_SCANNER_UDP_PORT);
        responderAddress_ = uniqueLoopbackAddress();
        useRoute({freshAddress()});
    }

    void useRoute(std::vector<std::uint32_t> localAddresses) {
        discovery::BroadcastRoute route;
        route.localAddresses = std::move(localAddresses);
        route.destination = addressOf(responderAddress_);
        route.port = KELO_SCANNER_UDP_PORT;
        route_.reset();
        route_ = std::make_unique<discovery::ScopedBroadcastRoute>(std::move(route));
    }

    emu::Emulator& addScanner(std::uint32_t serialNumber, std::uint32_t cableId = 0) {
        emu::ScannerConfig config;
        config.serialNumber = serialNumber;
        config.cableId = cableId;
        scanners_.push_back(std::make_unique<emu::Emulator>(config));
        EXPECT_TRUE(scanners_.back()->startDiscovery(responderAddress_, KELO_SCANNER_UDP_PORT))
            << "no UDP socket on " << responderAddress_;
        return *scanners_.back();
    }

    std::shared_ptr<void> udpPort_;  // released after the scanners have closed their sockets
    std::string responderAddress_;
    std::unique_ptr<discovery::ScopedBroadcastRoute> route_;
    std::vector<std::unique_ptr<emu::Emulator>> scanners_;
};

}  // namespace kelo::test
