// Discovery over real broadcasts to 255.255.255.255:30127. These tests only
// run inside the network namespace that scripts/tests.d/30-discovery-netns.sh
// builds (a veth pair with two addresses, and an emulator process); anywhere
// else they skip, so no broadcast ever reaches a real network.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
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
// exactly the ones the script gave it.
bool insideTestNamespace(std::string* why) {
    const char* expected = env("KELO_DISCOVERY_NETNS_ADDRESSES");
    const char* hostNamespace = env("KELO_HOST_NETNS");
    if (expected == nullptr || hostNamespace == nullptr) {
        *why = "real broadcasts run only in the namespace of scripts/tests.d/30-discovery-netns.sh";
        return false;
    }
    std::error_code error;
    const std::string own = std::filesystem::read_symlink("/proc/self/ns/net", error).string();
    if (error || own.empty() || own == hostNamespace) {
        *why = "not inside a network namespace of its own";
        return false;
    }
    std::set<std::uint32_t> wanted;
    std::stringstream list(expected);
    for (std::string item; std::getline(list, item, ',');) {
        std::uint32_t address = 0;
        if (!net::parseDottedAddress(item.c_str(), &address)) {
            *why = "bad address in KELO_DISCOVERY_NETNS_ADDRESSES: " + item;
            return false;
        }
        wanted.insert(address);
    }
    const std::vector<std::uint32_t> found = net::localIPv4Addresses();
    if (wanted.empty() || std::set<std::uint32_t>(found.begin(), found.end()) != wanted) {
        *why = "the local addresses are not the namespace's own";
        return false;
    }
    return true;
}

class DiscoveryNamespaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!insideTestNamespace(&why)) GTEST_SKIP() << why;
        std::stringstream list(env("KELO_DISCOVERY_NETNS_ADDRESSES"));
        for (std::string item; std::getline(list, item, ',');) localAddresses_.push_back(addressOf(item));
        if (const char* serial = env("KELO_DISCOVERY_EXTERNAL_SERIAL")) {
            externalSerial_ = static_cast<std::uint32_t>(std::strtoul(serial, nullptr, 0));
        }
    }

    emu::Emulator& addScanner(std::uint32_t serialNumber) {
        emu::ScannerConfig config;
        config.serialNumber = serialNumber;
        scanners_.push_back(std::make_unique<emu::Emulator>(config));
        EXPECT_TRUE(scanners_.back()->startDiscovery("0.0.0.0", KELO_SCANNER_UDP_PORT));
        return *scanners_.back();
    }

    std::set<std::uint32_t> identities(const ScannerInfo* records, std::int32_t count) {
        std::set<std::uint32_t> found;
        for (std::int32_t i = 0; i < count; ++i) found.insert(field(records[i].identity));
        return found;
    }

    std::vector<std::uint32_t> localAddresses_;
    std::uint32_t externalSerial_ = 0;
    std::vector<std::unique_ptr<emu::Emulator>> scanners_;
};

TEST_F(DiscoveryNamespaceTest, EveryLocalAddressBroadcastsAndEachScannerIsFoundOnce) {
    emu::Emulator& first = addScanner(5001);
    addScanner(5002);
    addScanner(5003);
    ScannerInfo records[8];

    const std::int32_t count = lpFindAllScanners(records, 8);

    std::set<std::uint32_t> expected{5001, 5002, 5003};
    if (externalSerial_ != 0) expected.insert(externalSerial_);
    ASSERT_EQ(count, static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(identities(records, count), expected);
    const auto got = emu::receivedDatagrams(first);
    ASSERT_EQ(got.size(), localAddresses_.size()) << "one request per local address";
    std::set<std::uint32_t> senders;
    for (const auto& datagram : got) senders.insert(datagram.fromAddress);
    EXPECT_EQ(senders, std::set<std::uint32_t>(localAddresses_.begin(), localAddresses_.end()));
}

TEST_F(DiscoveryNamespaceTest, ConfigurationReachesScannersInThisAndAnotherProcess) {
    addScanner(6001);
    ScannerInfo record;

    ASSERT_EQ(lpSetCableId(6001, 17), 0);
    ASSERT_EQ(lpFindScannerByCableId(17, &record, 1), 1);
    EXPECT_EQ(field(record.identity), 6001u);

    ASSERT_EQ(lpSetStaticIpChar(6001, "10.77.0.50", "255.255.255.0"), 0);
    ASSERT_EQ(lpFindScannerBySerialNumber(6001, &record, 1), 1);
    EXPECT_EQ(field(record.value3), 0);
    EXPECT_EQ(field(record.value4), addressOf("10.77.0.50"));

    if (externalSerial_ == 0) return;
    ASSERT_EQ(lpSetCableId(externalSerial_, 33), 0);
    ASSERT_EQ(lpFindScannerByCableId(33, &record, 1), 1);
    EXPECT_EQ(field(record.identity), externalSerial_);
    ASSERT_EQ(lpClearCableId(externalSerial_), 0);
    EXPECT_EQ(lpFindScannerByCableId(33, &record, 1), 0);
}

TEST_F(DiscoveryNamespaceTest, SafeArrayFormFindsByBroadcast) {
    addScanner(8001);
    std::vector<ScannerInfoVB> elements(4);
    KeloSafeArray descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    descriptor.cDims = 1;
    descriptor.cbElements = sizeof(ScannerInfoVB);
    descriptor.pvData = elements.data();
    descriptor.rgsabound[0].cElements = 4;
    KeloSafeArray* array = &descriptor;

    ASSERT_EQ(lpFindScannerBySerialNumberVB(8001, &array), 1);
    EXPECT_EQ(elements[0].identity, 8001u);
    EXPECT_EQ(elements[0].value1, 8001u);
    EXPECT_EQ(descriptor.cLocks, 0u);
}

}  // namespace
}  // namespace kelo::test
