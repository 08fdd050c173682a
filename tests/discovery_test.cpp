// Finding scanners: the request on the wire, reply collection and its
// limits, against emulated scanners on loopback.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "discovery/discovery.h"
#include "discovery/udp_message.h"
#include "discovery_fixture.h"

namespace kelo::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kFill = 0xCC;

emu::Bytes replyOf(const emu::Bytes& record) {
    emu::Bytes reply = bytesOf({0x7F, 0xAE, 0x23, 0xA2, 0x01});
    reply.insert(reply.end(), record.begin(), record.end());
    return reply;
}

emu::Bytes recordWithIdentity(std::uint32_t identity) {
    emu::Bytes record(533, 0x11);
    udp::putLe32(record.data() + 11, identity);
    return record;
}

using DiscoveryTest = DiscoveryLoopbackTest;

TEST_F(DiscoveryTest, RequestCarriesSelectorAndReplyPortLittleEndian) {
    emu::Emulator& scanner = addScanner(0x01020304, 7);
    ScannerInfo records[4];

    ASSERT_EQ(lpFindScannerBySerialNumber(0x01020304, records, 4), 1);
    ASSERT_EQ(lpFindScannerByCableId(7, records, 4), 1);
    ASSERT_EQ(lpFindAllScanners(records, 4), 1);

    const auto got = emu::receivedDatagrams(scanner);
    ASSERT_EQ(got.size(), 3u);
    const emu::Bytes expected[] = {
        messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x00, 0x02, 0x04, 0x03, 0x02, 0x01}),
        messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x00, 0x01, 0x07, 0x00, 0x00, 0x00}),
        messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}),
    };
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(got[i].bytes.size(), 538u);
        // Bytes 10 and 11 carry the reply port, which the answer reached.
        emu::Bytes bytes = got[i].bytes;
        EXPECT_NE(udp::getLe16(&bytes[10]), 0);
        bytes[10] = bytes[11] = 0;
        EXPECT_EQ(hex(bytes), hex(expected[i])) << "request " << i;
    }
    EXPECT_EQ(hex(bytesOfRecord(records[0])), hex(emu::scannerInfoRecord(scanner)));
}

TEST_F(DiscoveryTest, TwoLocalAddressesSendTwoRequestsAndGiveOneRecord) {
    useLocalAddresses(2);
    emu::Emulator& scanner = addScanner(1001);
    ScannerInfo records[4];

    EXPECT_EQ(lpFindAllScanners(records, 4), 1);

    // One socket per address; Wine reports loopback senders as 127.0.0.1,
    // so the ports tell the sockets apart.
    const auto got = emu::receivedDatagrams(scanner);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[0].fromPort, got[1].fromPort);
    EXPECT_EQ(hex(got[0].bytes), hex(got[1].bytes));
    EXPECT_EQ(field(records[0].identity), 1001u);
}

TEST_F(DiscoveryTest, RecordsArePassedUnchangedInArrivalOrder) {
    emu::Emulator& first = addScanner(3003, 3);
    emu::Emulator& second = addScanner(1001, 1);
    emu::Emulator& third = addScanner(2002, 2);
    ScannerInfo records[6];
    std::memset(records, kFill, sizeof records);

    ASSERT_EQ(lpFindAllScanners(records, 6), 3);

    EXPECT_EQ(hex(bytesOfRecord(records[0])), hex(emu::scannerInfoRecord(first)));
    EXPECT_EQ(hex(bytesOfRecord(records[1])), hex(emu::scannerInfoRecord(second)));
    EXPECT_EQ(hex(bytesOfRecord(records[2])), hex(emu::scannerInfoRecord(third)));
    EXPECT_EQ(hex(bytesOfRecord(records[3])), hex(emu::Bytes(533, kFill)));
}

TEST_F(DiscoveryTest, NoReplyGivesZeroAndLeavesTheSocketError) {
    addScanner(1001);
    ScannerInfo records[2];
    std::memset(records, kFill, sizeof records);
    net::setLastError(4242);

    EXPECT_EQ(lpFindScannerBySerialNumber(9999, records, 2), 0);
    EXPECT_EQ(lpGetLastSocketError(), 4242);
    EXPECT_EQ(hex(bytesOfRecord(records[0])), hex(emu::Bytes(533, kFill)));
}

TEST_F(DiscoveryTest, AppliesNoFilterOfItsOwnAndDropsRepeatedIdentities) {
    emu::Emulator& scanner = addScanner(1001);
    // The scanner answers a serial-number request with records of other
    // identities, one of them twice.
    emu::setDiscoveryReplyHook(scanner, [](const emu::Bytes&, const emu::ReplySender& reply) {
        reply(replyOf(recordWithIdentity(77)));
        reply(replyOf(recordWithIdentity(88)));
        reply(replyOf(recordWithIdentity(77)));
    });
    ScannerInfo records[4];

    ASSERT_EQ(lpFindScannerBySerialNumber(1001, records, 4), 2);
    EXPECT_EQ(field(records[0].identity), 77u);
    EXPECT_EQ(field(records[1].identity), 88u);
}

TEST_F(DiscoveryTest, IgnoredDatagramsStillRestartTheQuietPeriod) {
    emu::Emulator& scanner = addScanner(1001);
    const emu::Bytes good = replyOf(recordWithIdentity(5));
    // Each datagram follows the previous one within 500 ms, the valid
    // reply only 750 ms after the request: without the restarts it would
    // come too late.
    emu::setDiscoveryReplyHook(scanner, [good](const emu::Bytes&, const emu::ReplySender& reply) {
        emu::Bytes badMagic = good;
        badMagic[0] = 0x7E;
        emu::Bytes wrongType = good;
        wrongType[4] = 0x00;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        reply(badMagic);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        reply(wrongType);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        reply(good);
    });
    ScannerInfo records[4];

    ASSERT_EQ(lpFindAllScanners(records, 4), 1);
    EXPECT_EQ(hex(bytesOfRecord(records[0])), hex(emu::Bytes(good.begin() + 5, good.end())));
}

TEST_F(DiscoveryTest, ShortReplyIsAcceptedWithTheMissingBytesZero) {
    emu::Emulator& scanner = addScanner(1001);
    emu::setDiscoveryReplyHook(scanner, [](const emu::Bytes&, const emu::ReplySender& reply) {
        // Header and the record's first 15 bytes (value1 to identity).
        reply(bytesOf({0x7F, 0xAE, 0x23, 0xA2, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x44,
                       0x33, 0x22, 0x11}));
        // Too short to carry a type byte: dropped.
        reply(bytesOf({0x7F, 0xAE, 0x23, 0xA2}));
    });
    ScannerInfo records[3];
    std::memset(records, kFill, sizeof records);

    ASSERT_EQ(lpFindAllScanners(records, 3), 1);
    emu::Bytes expected = bytesOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x44, 0x33, 0x22, 0x11});
    expected.resize(533, 0);
    EXPECT_EQ(hex(bytesOfRecord(records[0])), hex(expected));
    EXPECT_EQ(field(records[0].identity), 0x11223344u);
    EXPECT_EQ(hex(bytesOfRecord(records[1])), hex(emu::Bytes(533, kFill)));
}

TEST_F(DiscoveryTest, FullArrayEndsTheCall) {
    for (std::uint32_t serial = 1; serial <= 5; ++serial) addScanner(serial);
    ScannerInfo records[4];
    std::memset(records, kFill, sizeof records);

    ASSERT_EQ(lpFindAllScanners(records, 3), 3);
    EXPECT_EQ(field(records[0].identity), 1u);
    EXPECT_EQ(field(records[1].identity), 2u);
    EXPECT_EQ(field(records[2].identity), 3u);
    EXPECT_EQ(hex(bytesOfRecord(records[3])), hex(emu::Bytes(533, kFill)));
}

TEST_F(DiscoveryTest, NullRecordsOrZeroCapacitySendNothing) {
    addScanner(1001);
    ScannerInfo records[1];
    net::setLastError(0);
    EXPECT_EQ(lpFindAllScanners(nullptr, 4), -1);
    EXPECT_EQ(lpGetLastSocketError(), 22);
    net::setLastError(0);
    EXPECT_EQ(lpFindScannerByCableId(1, records, 0), -1);
    EXPECT_EQ(lpGetLastSocketError(), 22);
    net::setLastError(0);
    EXPECT_EQ(lpFindScannerBySerialNumber(1001, nullptr, 0), -1);
    EXPECT_EQ(lpGetLastSocketError(), 22);
    EXPECT_EQ(datagramsAfterPause(), 0u);
}

TEST_F(DiscoveryTest, NoLocalAddressFailsWithAReason) {
    addScanner(1001);
    ScannerInfo records[2];
    for (auto list : {std::vector<std::uint32_t>{}, std::vector<std::uint32_t>{addressOf("127.0.0.1")}}) {
        discovery::BroadcastRoute route;
        route.localAddresses = list;
        useRoute(route);
        net::setLastError(0);
        EXPECT_EQ(lpFindAllScanners(records, 2), -1);
        EXPECT_NE(lpGetLastSocketError(), 0);
        EXPECT_NE(lpGetLastSocketError(), 22);
    }
    EXPECT_EQ(datagramsAfterPause(), 0u);
}

// Whether a broadcast socket can be bound to an address the host does not
// have (Wine allows it).
bool bindsForeignAddresses(std::uint32_t address) {
    const net::Socket probe = net::openUdpSocket();
    const bool bound = net::setBroadcast(probe) == 0 && net::bindSocket(probe, address, 0) == 0;
    net::closeSocket(probe);
    return bound;
}

TEST_F(DiscoveryTest, FailedAddressStopsTheBroadcast) {
    const std::uint32_t notLocal = addressOf("192.0.2.1");  // documentation range, not ours
    if (bindsForeignAddresses(notLocal)) GTEST_SKIP() << "this socket layer binds 192.0.2.1";
    addScanner(1001);
    const std::uint32_t good = addressOf(uniqueLoopbackAddress());
    ScannerInfo records[2];

    discovery::BroadcastRoute route;
    route.localAddresses = {notLocal, good};
    useRoute(route);
    net::setLastError(0);
    EXPECT_EQ(lpFindAllScanners(records, 2), -1);
    EXPECT_NE(lpGetLastSocketError(), 0);
    EXPECT_EQ(datagramsAfterPause(), 0u) << "addresses after the failed one got a request";

    route.localAddresses = {good, notLocal};
    useRoute(route);
    EXPECT_EQ(lpFindAllScanners(records, 2), -1);
    ASSERT_TRUE(emu::waitForDatagrams(*scanners_.front(), 1, 1000));
    EXPECT_EQ(datagramsAfterPause(), 1u);
}

// collectReplies on a socket of the test's own, so what it leaves unread shows.
class DiscoveryCollectTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string address = uniqueLoopbackAddress();
        address_ = addressOf(address);
        socket_ = net::openUdpSocket();
        ASSERT_NE(socket_, net::kInvalidSocket);
        ASSERT_EQ(net::bindSocket(socket_, address_, 0), 0);
        port_ = net::boundPort(socket_);
        sender_ = net::openUdpSocket();
        ASSERT_NE(sender_, net::kInvalidSocket);
    }
    void TearDown() override {
        net::closeSocket(socket_);
        net::closeSocket(sender_);
    }
    void send(const emu::Bytes& bytes) {
        ASSERT_EQ(net::sendTo(sender_, bytes.data(), bytes.size(), address_, port_),
                  static_cast<long>(bytes.size()));
    }

    std::uint32_t address_ = 0;
    std::uint16_t port_ = 0;
    net::Socket socket_ = net::kInvalidSocket;
    net::Socket sender_ = net::kInvalidSocket;
};

TEST_F(DiscoveryCollectTest, StopsReadingWhenTheArrayIsFull) {
    for (std::uint32_t identity = 1; identity <= 5; ++identity) send(replyOf(recordWithIdentity(identity)));
    ScannerInfo records[3];

    ASSERT_EQ(discovery::collectReplies(socket_, records, 3), 3);
    EXPECT_EQ(field(records[2].identity), 3u);
    // The fourth and fifth replies are still waiting on the socket.
    udp::Message left;
    ASSERT_EQ(net::receiveFrom(socket_, left.data(), left.size(), nullptr, nullptr), 538);
    EXPECT_EQ(udp::replyIdentity(left), 4u);
    ASSERT_EQ(net::receiveFrom(socket_, left.data(), left.size(), nullptr, nullptr), 538);
    EXPECT_EQ(udp::replyIdentity(left), 5u);
}

TEST_F(DiscoveryCollectTest, OverlongDatagramIsCutToTheMessageSize) {
    emu::Bytes reply = replyOf(recordWithIdentity(12));
    reply.resize(900, 0xEE);
    send(reply);
    ScannerInfo records[2];
    std::memset(records, kFill, sizeof records);

    ASSERT_EQ(discovery::collectReplies(socket_, records, 2), 1);
    EXPECT_EQ(hex(bytesOfRecord(records[0])), hex(recordWithIdentity(12)));
    EXPECT_EQ(hex(bytesOfRecord(records[1])), hex(emu::Bytes(533, kFill)));
}

TEST_F(DiscoveryCollectTest, EndlessChatterCannotHoldTheCallForever) {
    constexpr int kChatter = 40;  // one every 100 ms: four seconds of noise
    std::atomic<int> sent{0};
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        const emu::Bytes noise = bytesOf({0x00, 0x01, 0x02});
        for (int i = 0; i < kChatter && !stop; ++i) {
            net::sendTo(sender_, noise.data(), noise.size(), address_, port_);
            ++sent;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    ScannerInfo records[2];

    const std::int32_t count = discovery::collectReplies(socket_, records, 2, 1000);
    const int sentBeforeReturn = sent;
    stop = true;
    chatter.join();

    EXPECT_EQ(count, 0);
    EXPECT_LT(sentBeforeReturn, kChatter) << "the call waited for the noise to end";
}

}  // namespace
}  // namespace kelo::test
