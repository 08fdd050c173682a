// SPDX-License-Identifier: Apache-2.0
// kelo::discover and then open, over real broadcasts: only inside the
// network namespace of scripts/tests.d/30-discovery-netns.sh; anywhere else
// it skips, so nothing is ever broadcast on a real network.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "emulator/emulator.h"
#include "kelo_dll/kelo.hpp"

namespace kelo::test {
namespace {

TEST(CppDiscoveryTest, FoundScannerOpensAtTheAddressItAnsweredFrom) {
    const char* addresses = std::getenv("KELO_DISCOVERY_NETNS_ADDRESSES");
    const char* hostNamespace = std::getenv("KELO_HOST_NETNS");
    std::error_code error;
    const std::string own = std::filesystem::read_symlink("/proc/self/ns/net", error).string();
    if (addresses == nullptr || hostNamespace == nullptr || error || own == hostNamespace) {
        GTEST_SKIP() << "real broadcasts run only in the namespace of 30-discovery-netns.sh";
    }
    constexpr std::uint32_t kSerial = 7101, kPort = 24400;
    emu::Emulator emulator;
    emulator.config().serialNumber = kSerial;
    ASSERT_TRUE(emulator.start("0.0.0.0", kPort));
    ASSERT_TRUE(emulator.startDiscovery("0.0.0.0", KELO_SCANNER_UDP_PORT));

    const std::vector<FoundScanner> found = discoverBySerialNumber(kSerial);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].identity(), kSerial);
    EXPECT_NE(("," + std::string(addresses) + ",").find("," + found[0].host() + ","), std::string::npos)
        << found[0].host() << " is none of " << addresses;
    Scanner scanner = found[0].open(kPort);
    EXPECT_EQ(scanner.status().at(0), static_cast<std::int32_t>(kSerial));
}

}  // namespace
}  // namespace kelo::test
