// Finding scanners: the request on the wire, reply collection and its
// limits, against emulated scanners on loopback.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "discovery/discovery.h"
#include "discovery/udp_message.h"
#include "discovery_fixture.h"

namespace kelo::test {
namespace {

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

const emu::Bytes kUntouched(533, kFill);

using DiscoveryTest = DiscoveryLoopbackTest;

// Every form sends one 538-byte request from each local address, through
// one socket per address (Wine reports loopback senders as 127.0.0.1, so
// the ports tell them apart): selector mode and value little-endian, and
// at 10 and 11 the reply port, which the answer reached.
TEST_F(DiscoveryTest, EveryFindFormSendsItsRequestFromEachLocalAddress) {
    useRoute({freshAddress(), freshAddress()});
    emu::Emulator& scanner = addScanner(0x01020304, 7);
    ScannerInfo records[4];
    VbArray array(4);
    const emu::Bytes bySerial = messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x00, 0x02, 0x04, 0x03, 0x02, 0x01}),
        byCable = messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x00, 0x01, 0x07}), all = messageOf({0x7F, 0xAE, 0x23, 0xA2, 0});
    struct Case { const char* name; std::function<std::int32_t()> call; const emu::Bytes& expected; } cases[] = {
        {"serial", [&] { return lpFindScannerBySerialNumber(0x01020304, records, 4); }, bySerial},
        {"cable id", [&] { return lpFindScannerByCableId(7, records, 4); }, byCable},
        {"all", [&] { return lpFindAllScanners(records, 4); }, all},
        {"serial VB", [&] { return lpFindScannerBySerialNumberVB(0x01020304, &array.pointer); }, bySerial},
        {"cable id VB", [&] { return lpFindScannerByCableIdVB(7, &array.pointer); }, byCable},
        {"all VB", [&] { return lpFindAllScannersVB(&array.pointer); }, all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.call(), 1);
        auto got = emu::receivedDatagrams(scanner);
        emu::clearReceivedDatagrams(scanner);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_NE(got[0].fromPort, got[1].fromPort);
        EXPECT_EQ(hex(got[0].bytes), hex(got[1].bytes));
        ASSERT_EQ(got[0].bytes.size(), 538u);
        EXPECT_NE(udp::getLe16(&got[0].bytes[10]), 0);
        got[0].bytes[10] = got[0].bytes[11] = 0;
        EXPECT_EQ(hex(got[0].bytes), hex(c.expected));
    }
    EXPECT_EQ(hex(bytesOfRecord(records[0])), hex(emu::scannerInfoRecord(scanner)));
    EXPECT_EQ(hex(array.element(1)), hex(emu::Bytes(sizeof(ScannerInfoVB), kFill)));
}

// Records come unchanged in arrival order, and a full array ends the call.
// Without a reply the result is 0 and the socket error stays as it was.
TEST_F(DiscoveryTest, RecordsComeInArrivalOrderUntilTheArrayIsFull) {
    std::vector<emu::Emulator*> scanners;
    for (std::uint32_t serial : {3003, 1001, 2002, 4004}) scanners.push_back(&addScanner(serial, serial / 1000));
    ScannerInfo records[4];
    std::memset(records, kFill, sizeof records);

    ASSERT_EQ(lpFindAllScanners(records, 3), 3);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(hex(bytesOfRecord(records[i])), hex(emu::scannerInfoRecord(*scanners[i])));
    net::setLastError(4242);
    EXPECT_EQ(lpFindScannerBySerialNumber(9999, records + 3, 1), 0);
    EXPECT_EQ(lpGetLastSocketError(), 4242);
    EXPECT_EQ(hex(bytesOfRecord(records[3])), hex(kUntouched));
}

// A bad magic, a wrong type and a datagram too short for a type byte are
// dropped but restart the 500 ms quiet period: the first valid reply comes
// 1 s after the request. A short reply is taken with its missing bytes
// zero. The library applies no filter of its own to the serial-number
// request's replies and drops repeated identities.
TEST_F(DiscoveryTest, WhichRepliesCountAndHowLongTheCallWaits) {
    emu::Emulator& scanner = addScanner(1001);
    const emu::Bytes shortReply = bytesOf({0x7F, 0xAE, 0x23, 0xA2, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9,
                                           10, 11, 0x44, 0x33, 0x22, 0x11});
    emu::setDiscoveryReplyHook(scanner, [shortReply](const emu::Bytes&, const emu::ReplySender& reply) {
        emu::Bytes badMagic = replyOf(recordWithIdentity(5)), wrongType = badMagic;
        badMagic[0] = 0x7E;
        wrongType[4] = 0x00;
        for (const emu::Bytes& datagram :
             {badMagic, wrongType, bytesOf({0x7F, 0xAE, 0x23, 0xA2}), shortReply}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            reply(datagram);
        }
        for (std::uint32_t identity : {77, 0x11223344, 88, 77}) reply(replyOf(recordWithIdentity(identity)));
    });
    ScannerInfo records[5];
    std::memset(records, kFill, sizeof records);

    ASSERT_EQ(lpFindScannerBySerialNumber(1001, records, 5), 3);
    emu::Bytes expected(shortReply.begin() + 5, shortReply.end());
    expected.resize(533, 0);
    EXPECT_EQ(hex(bytesOfRecord(records[0])), hex(expected));
    EXPECT_EQ(field(records[0].identity), 0x11223344u);
    EXPECT_EQ(hex(bytesOfRecord(records[1])), hex(recordWithIdentity(77)));
    EXPECT_EQ(field(records[2].identity), 88u);
    EXPECT_EQ(hex(bytesOfRecord(records[3])), hex(kUntouched));
}

TEST_F(DiscoveryTest, RefusedCallsSendNothing) {
    addScanner(1001);
    ScannerInfo records[1];
    struct Case { const char* name; std::function<std::int32_t()> call; bool argumentError; } cases[] = {
        {"null records", [] { return lpFindAllScanners(nullptr, 4); }, true},
        {"zero capacity", [&] { return lpFindScannerByCableId(1, records, 0); }, true},
        {"both", [] { return lpFindScannerBySerialNumber(1001, nullptr, 0); }, true},
        {"no local address", [&] { useRoute({}); return lpFindAllScanners(records, 1); }, false},
        {"only 127.0.0.1", [&] { useRoute({addressOf("127.0.0.1")}); return lpFindAllScanners(records, 1); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net::setLastError(0);
        EXPECT_EQ(c.call(), -1);
        EXPECT_NE(lpGetLastSocketError(), 0);
        EXPECT_EQ(lpGetLastSocketError() == 22, c.argumentError) << lpGetLastSocketError();
    }
    EXPECT_EQ(datagramsAfterPause(), 0u);
}

TEST_F(DiscoveryTest, FailedAddressStopsTheBroadcast) {
    const std::uint32_t notLocal = addressOf("192.0.2.1");  // documentation range, not ours
    const net::Socket probe = net::openUdpSocket();
    const bool bindsForeign = net::setBroadcast(probe) == 0 && net::bindSocket(probe, notLocal, 0) == 0;
    net::closeSocket(probe);
    if (bindsForeign) GTEST_SKIP() << "this socket layer binds 192.0.2.1 (Wine does)";
    addScanner(1001);
    const std::uint32_t good = freshAddress();
    ScannerInfo records[2];

    useRoute({notLocal, good});
    net::setLastError(0);
    EXPECT_EQ(lpFindAllScanners(records, 2), -1);
    EXPECT_NE(lpGetLastSocketError(), 0);
    EXPECT_EQ(datagramsAfterPause(), 0u) << "addresses after the failed one got a request";

    useRoute({good, notLocal});
    EXPECT_EQ(lpFindAllScanners(records, 2), -1);
    ASSERT_TRUE(emu::waitForDatagrams(*scanners_.front(), 1, 1000));
    EXPECT_EQ(datagramsAfterPause(), 1u);
}

// collectReplies on a socket of the test's own, so what it leaves unread
// shows. The third reply is overlong and cut to the message size; the
// array is full after it and the fourth and fifth stay on the socket.
// Endless chatter cannot hold the call beyond its collect limit.
TEST(DiscoveryCollect, BoundedByTheArrayAndTheCollectLimit) {
    const std::uint32_t address = freshAddress();
    const net::Socket socket = net::openUdpSocket(), sender = net::openUdpSocket();
    ASSERT_EQ(net::bindSocket(socket, address, 0), 0);
    const std::uint16_t port = net::boundPort(socket);
    auto send = [&](const emu::Bytes& bytes) { net::sendTo(sender, bytes.data(), bytes.size(), address, port); };
    for (std::uint32_t identity = 1; identity <= 5; ++identity) {
        emu::Bytes reply = replyOf(recordWithIdentity(identity));
        if (identity == 3) reply.resize(900, 0xEE);
        send(reply);
    }
    ScannerInfo records[4];
    std::memset(records, kFill, sizeof records);
    ASSERT_EQ(discovery::collectReplies(socket, records, 3), 3);
    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(hex(bytesOfRecord(records[i])), hex(recordWithIdentity(i + 1)));
    EXPECT_EQ(hex(bytesOfRecord(records[3])), hex(kUntouched));
    udp::Message left;
    for (std::uint32_t identity : {4u, 5u}) {
        ASSERT_EQ(net::receiveFrom(socket, left.data(), left.size(), nullptr, nullptr), 538);
        EXPECT_EQ(udp::replyIdentity(left), identity);
    }

    constexpr int kChatter = 40;  // one every 100 ms: four seconds of noise
    std::atomic<int> sent{0};
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        for (int i = 0; i < kChatter && !stop; ++i, ++sent) {
            send(bytesOf({0x00, 0x01, 0x02}));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const std::int32_t count = discovery::collectReplies(socket, records, 2, 1000);
    const int sentBeforeReturn = sent;
    stop = true;
    chatter.join();
    net::closeSocket(socket);
    net::closeSocket(sender);
    EXPECT_EQ(count, 0);
    EXPECT_LT(sentBeforeReturn, kChatter) << "the call waited for the noise to end";
}

}  // namespace
}  // namespace kelo::test
