// SPDX-License-Identifier: Apache-2.0
// Discovery over real broadcasts to 255.255.255.255:30127, and connects to
// an address that drops every SYN. These tests only run inside the network
// namespace that scripts/tests.d/30-discovery-netns.sh builds (a veth pair
// with two addresses, an emulator process, a neighbour that swallows what it
// is sent); anywhere else they skip, so nothing reaches a real network.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "discovery_fixture.h"
#include "support/g3_checks.h"
#include "support/tool_runner.h"

namespace kelo::test {
namespace {

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string dottedAddress(std::uint32_t address) {
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
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

    // A scanner whose TCP side has an address of its own: it answers
    // discovery from there. Its address, in network order.
    std::uint32_t addScannerAt(std::uint32_t serialNumber, std::uint32_t cableId) {
        emu::ScannerConfig config;
        config.serialNumber = serialNumber;
        config.cableId = cableId;
        scanners_.push_back(std::make_unique<emu::Emulator>(config));
        const std::string address = uniqueLoopbackAddress();
        EXPECT_TRUE(scanners_.back()->start(address));
        EXPECT_TRUE(scanners_.back()->startDiscovery(responderAddress_, KELO_SCANNER_UDP_PORT));
        return addressOf(address);
    }

    // The kelo tool, run from a scratch directory of this test's own.
    ToolRun kelo(const std::string& arguments) {
        std::filesystem::path tool;
        if (!locateTool(&tool)) return {0, "", "", 0};
        const auto scratch = std::filesystem::temp_directory_path() / "kelo_netns_cli";
        std::filesystem::create_directories(scratch);
        return runTool(tool, scratch, arguments);
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

// Each record comes with the address its reply came from, at the same
// index, and that is where the scanner is opened; past the records the
// addresses are left as they were.
TEST_F(DiscoveryNamespaceTest, EachScannerIsReportedWithTheAddressItAnsweredFrom) {
    std::map<std::uint32_t, std::uint32_t> at{{6001, addScannerAt(6001, 8)}, {6002, addScannerAt(6002, 9)},
                                              {6003, addScannerAt(6003, 9)}};
    if (externalSerial_ != 0) at[externalSerial_] = addressOf(env("KELO_DISCOVERY_EXTERNAL_ADDRESS"));
    using Find = std::function<std::int32_t(ScannerInfo*, std::uint32_t*, std::uint32_t)>;
    struct Case { const char* what; Find find; std::uint32_t capacity; std::set<std::uint32_t> among; std::size_t count; };
    std::set<std::uint32_t> all;
    for (const auto& entry : at) all.insert(entry.first);
    const std::vector<Case> cases = {
        {"all", lpFindAllScannersWithAddresses, 8, all, all.size()},
        {"all, room for 2", lpFindAllScannersWithAddresses, 2, all, 2},
        {"serial 6002", [](auto r, auto a, auto n) { return lpFindScannerBySerialNumberWithAddresses(6002, r, a, n); }, 8, {6002}, 1},
        {"cable 9", [](auto r, auto a, auto n) { return lpFindScannerByCableIdWithAddresses(9, r, a, n); }, 8, {6002, 6003}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScannerInfo records[9];
        std::uint32_t addresses[9];
        std::memset(addresses, kFill, sizeof addresses);
        ASSERT_EQ(c.find(records, addresses, c.capacity), static_cast<std::int32_t>(c.count));
        std::set<std::uint32_t> seen;
        for (std::size_t i = 0; i < c.count; ++i) {
            const std::uint32_t identity = records[i].identity;
            EXPECT_TRUE(c.among.count(identity) && seen.insert(identity).second) << identity;
            EXPECT_EQ(addresses[i], at[identity]) << identity;
            ScannerConnection* opened = lpOpenConnectionInt(addresses[i]);
            ASSERT_NE(opened, nullptr);
            std::int32_t serial = 0;
            EXPECT_EQ(lpGetScannerStatusFromScanner(opened), 0);
            EXPECT_EQ(lpGetScannerStatusValue(opened, 0, &serial), 0);
            EXPECT_EQ(static_cast<std::uint32_t>(serial), identity);
            lpCloseConnection(opened);
        }
        EXPECT_EQ(addresses[c.count], 0xCCCCCCCCu);
    }
}

// kelo finds scanners with their addresses, and opens one found by serial
// number or cable id at the address it answered from.
TEST_F(DiscoveryNamespaceTest, KeloDiscoversAndOpensAScannerWhereItAnswered) {
    const std::uint32_t first = addScannerAt(6101, 5), second = addScannerAt(6102, 6), third = addScannerAt(6103, 6);
    const ToolRun listed = kelo("discover");
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    for (const auto& [serial, address, cable] : {std::tuple{6101, first, 5}, {6102, second, 6}, {6103, third, 6}}) {
        char line[160];
        std::snprintf(line, sizeof line, "\n%s identity %d value1 %d value2 %d value3 0 value4 0x%08X value6 1",
                      dottedAddress(address).c_str(), serial, serial, cable, address);
        EXPECT_NE(("\n" + listed.out).find(line), std::string::npos) << line << listed.out;
    }
    const ToolRun json = kelo("discover --json --serial 6102");
    EXPECT_EQ(json.out.rfind("[\n  {\"address\": \"" + dottedAddress(second) + "\", \"identity\": 6102, \"value1\": 6102, ", 0),
              0u) << json.out;
    EXPECT_EQ(json.out.substr(json.out.size() - 4), "}\n]\n");

    const ToolRun status = kelo("status --serial 6103 --values-only");
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_EQ(status.out.rfind("0: 6103 (", 0), 0u);
    EXPECT_NE(status.out.find("from serial number 6103 (" + dottedAddress(third) + ")\n"), std::string::npos);
    const ToolRun twice = kelo("status --cable 6");
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_NE(twice.err.find("kelo status: 2 scanners answered the discovery of cable id 6 ("), std::string::npos);
    EXPECT_TRUE(twice.err.find(dottedAddress(second)) != std::string::npos &&
                twice.err.find(dottedAddress(third)) != std::string::npos) << twice.err;
}

// An address whose SYNs vanish: the connect gives up after the time-out
// given, the library's own 1 s for 0, and kelo says so.
TEST_F(DiscoveryNamespaceTest, ConnectGivesUpAfterTheTimeOutGiven) {
    const char* silent = env("KELO_NETNS_SILENT_ADDRESS");
    if (silent == nullptr) GTEST_SKIP() << "the step gives no silent address";
    for (const auto& [timeoutMs, seconds] : {std::pair{300, 0.3}, {0, 1.0}}) {
        SCOPED_TRACE(timeoutMs);
        expectTakes(seconds, seconds + 0.25, [&, timeoutMs = timeoutMs] {
            EXPECT_EQ(lpOpenConnectionPort(silent, KELO_SCANNER_TCP_PORT, timeoutMs), nullptr);
        });
    }
    const ToolRun run = kelo(std::string("status ") + silent + " --connect-timeout 400");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, std::string("kelo status: no answer from ") + silent + " within 400 ms\n");
    EXPECT_TRUE(run.seconds >= 0.4 && run.seconds < 1.0) << run.seconds;
}

}  // namespace
}  // namespace kelo::test
