// SPDX-License-Identifier: Apache-2.0
// Discovery over real broadcasts to 255.255.255.255:30127. These tests only
// run inside the network namespace that scripts/tests.d/30-discovery-netns.sh
// builds (a veth pair with two addresses, and an emulator process); anywhere
// else they skip, so no broadcast ever reaches a real network.
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "discovery_fixture.h"

namespace kelo::test {
namespace {

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// True only in a namespace other than the host's whose local addresses are
// exactly the ones the script gave it, which it then holds.
bool insideTestNamespace(std::set<std::uint32_t>* addresses, std::string* why) {
    const char* expected = env("KELO_DISCOVERY_NETNS_ADDRESSES");
    const char* hostNamespace = env("KELO_HOST_NETNS");
    std::error_code error;
    const std::string own = std::filesystem::read_symlink("/proc/self/ns/net", error).string();
    std::stringstream list(expected != nullptr ? expected : "");
    for (std::string item; std::getline(list, item, ',');) {
        std::uint32_t address = 0;
        if (!net::parseDottedAddress(item.c_str(), &address)) *why = "bad address in the list: " + item;
        addresses->insert(address);
    }
    const std::vector<std::uint32_t> found = net::localIPv4Addresses();
    if (expected == nullptr || hostNamespace == nullptr)
        *why = "real broadcasts run only in the namespace of scripts/tests.d/30-discovery-netns.sh";
    else if (error || own.empty() || own == hostNamespace)
        *why = "not inside a network namespace of its own";
    else if (addresses->empty() || std::set<std::uint32_t>(found.begin(), found.end()) != *addresses)
        *why = "the local addresses are not the namespace's own";
    return why->empty();
}

// The loopback fixture's scanners bound to every address, and no route of
// the test's own: the library broadcasts for real.
class DiscoveryNamespaceTest : public DiscoveryLoopbackTest {
protected:
    void SetUp() override {
        std::string why;
        if (!insideTestNamespace(&localAddresses_, &why)) GTEST_SKIP() << why;
        responderAddress_ = "0.0.0.0";
        if (const char* serial = env("KELO_DISCOVERY_EXTERNAL_SERIAL"))
            externalSerial_ = static_cast<std::uint32_t>(std::strtoul(serial, nullptr, 0));
    }

    std::set<std::uint32_t> localAddresses_;
    std::uint32_t externalSerial_ = 0;
};

TEST_F(DiscoveryNamespaceTest, EveryLocalAddressBroadcastsAndEachScannerIsFoundOnce) {
    emu::Emulator& first = addScanner(5001);
    addScanner(5002);
    addScanner(5003);
    ScannerInfo records[8];

    const std::int32_t count = lpFindAllScanners(records, 8);

    std::set<std::uint32_t> expected{5001, 5002, 5003}, found, senders;
    if (externalSerial_ != 0) expected.insert(externalSerial_);
    for (std::int32_t i = 0; i < count; ++i)  // identity, little-endian as sent
        found.insert(udp::getLe32(&bytesOfRecord(records[i])[offsetof(ScannerInfo, identity)]));
    EXPECT_EQ(count, static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(found, expected);
    const auto got = emu::receivedDatagrams(first);
    EXPECT_EQ(got.size(), localAddresses_.size()) << "one request per local address";
    for (const auto& datagram : got) senders.insert(datagram.fromAddress);
    EXPECT_EQ(senders, localAddresses_);
}

}  // namespace
}  // namespace kelo::test
