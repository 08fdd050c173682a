// Discovery tests on loopback: emulated scanners answer on a 127.x.y.z
// address of the test's own, and the library's messages go out from other
// loopback addresses to that address instead of being broadcast.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/safe_array.h"
#include "discovery/broadcast.h"
#include "emulator/discovery_responder.h"
#include "emulator/emulator.h"
#include "kelo_dll.h"
#include "support/emulator_fixture.h"

namespace kelo::test {

inline std::uint32_t addressOf(const std::string& dotted) {
    std::uint32_t address = 0;
    EXPECT_TRUE(net::parseDottedAddress(dotted.c_str(), &address)) << dotted;
    return address;
}

// A packed record's field by value: gtest would bind a misaligned reference.
template <typename T>
T field(T value) {
    return value;
}

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

class DiscoveryLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        responderAddress_ = uniqueLoopbackAddress();
        useLocalAddresses(1);
    }

    // The library sends from `count` loopback addresses of the test's own.
    void useLocalAddresses(int count) {
        discovery::BroadcastRoute route;
        for (int i = 0; i < count; ++i) route.localAddresses.push_back(addressOf(uniqueLoopbackAddress()));
        useRoute(std::move(route));
    }

    void useRoute(discovery::BroadcastRoute route) {
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

    // The datagrams the responder got, as seen by the first scanner.
    std::vector<emu::Datagram> datagrams() { return emu::receivedDatagrams(*scanners_.front()); }

    // Gives a datagram that should not have been sent time to arrive.
    std::size_t datagramsAfterPause() {
        emu::waitForDatagrams(*scanners_.front(), 1, 300);
        return datagrams().size();
    }

    std::string responderAddress_;
    std::unique_ptr<discovery::ScopedBroadcastRoute> route_;
    std::vector<std::unique_ptr<emu::Emulator>> scanners_;
};

}  // namespace kelo::test
