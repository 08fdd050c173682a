// Cable-id and IP configuration messages: their bytes, the argument
// checks, and the emulated scanner applying them.
#include <cstring>

#include "discovery_fixture.h"

namespace kelo::test {
namespace {

class DiscoveryConfigTest : public DiscoveryLoopbackTest {
protected:
    void SetUp() override {
        DiscoveryLoopbackTest::SetUp();
        scanner_ = &addScanner(0x01020304);
    }

    // The one message the last call sent.
    emu::Bytes lastMessage() {
        EXPECT_TRUE(emu::waitForDatagrams(*scanner_, 1, 2000));
        auto got = emu::receivedDatagrams(*scanner_);
        EXPECT_EQ(got.size(), 1u);
        emu::clearReceivedDatagrams(*scanner_);
        return got.empty() ? emu::Bytes{} : got.back().bytes;
    }

    ScannerInfo findBySerial(std::uint32_t serial) {
        ScannerInfo record;
        std::memset(&record, 0, sizeof record);
        EXPECT_EQ(lpFindScannerBySerialNumber(serial, &record, 1), 1);
        return record;
    }

    emu::Emulator* scanner_ = nullptr;
};

TEST_F(DiscoveryConfigTest, SetAndClearCableIdMessages) {
    ASSERT_EQ(lpSetCableId(0x01020304, 255), 0);
    EXPECT_EQ(hex(lastMessage()), hex(messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x03, 0x02, 0x04, 0x03,
                                                 0x02, 0x01, 0x02, 0xFF, 0x00, 0x00, 0x00})));

    ASSERT_EQ(lpClearCableId(0x01020304), 0);
    EXPECT_EQ(hex(lastMessage()), hex(messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x03, 0x02, 0x04, 0x03,
                                                 0x02, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00})));
}

TEST_F(DiscoveryConfigTest, CableIdAbove255SendsNothing) {
    EXPECT_EQ(lpSetCableId(0x01020304, 256), -2);
    EXPECT_EQ(lpSetCableId(0x01020304, 0xFFFFFFFFu), -2);
    EXPECT_EQ(datagramsAfterPause(), 0u);
    EXPECT_EQ(emu::networkSettings(*scanner_).cableId, 0u);
}

TEST_F(DiscoveryConfigTest, IpMessageLayout) {
    ASSERT_EQ(lpSetStaticIpInt(0x01020304, addressOf("192.168.1.10"), addressOf("255.255.255.0")), 0);
    EXPECT_EQ(hex(lastMessage()),
              hex(messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x02, 0x02, 0x04, 0x03, 0x02, 0x01, 0x00,
                             192, 168, 1, 10, 0xFF, 0x01, 0x04, 255, 255, 255, 0, 0xFF, 0xFF})));
}

TEST_F(DiscoveryConfigTest, IntAndCharFormsSendTheSameBytes) {
    ASSERT_EQ(lpSetStaticIpInt(77, addressOf("10.1.2.3"), addressOf("255.255.0.0")), 0);
    const emu::Bytes staticInt = lastMessage();
    ASSERT_EQ(lpSetStaticIpChar(77, "10.1.2.3", "255.255.0.0"), 0);
    const emu::Bytes staticChar = lastMessage();
    ASSERT_EQ(lpSetBaseIpInt(77, addressOf("10.1.2.3"), addressOf("255.255.0.0")), 0);
    const emu::Bytes baseInt = lastMessage();
    ASSERT_EQ(lpSetBaseIpChar(77, "10.1.2.3", "255.255.0.0"), 0);
    const emu::Bytes baseChar = lastMessage();

    EXPECT_EQ(hex(staticChar), hex(staticInt));
    EXPECT_EQ(hex(baseChar), hex(baseInt));
    ASSERT_EQ(baseInt.size(), 538u);
    emu::Bytes baseAsStatic = baseInt;
    EXPECT_EQ(baseAsStatic[10], 0x01);
    baseAsStatic[10] = 0x00;
    EXPECT_EQ(hex(baseAsStatic), hex(staticInt));
}

TEST_F(DiscoveryConfigTest, CharAddressMayBeAHostNameButTheSecondMayNot) {
    ASSERT_EQ(lpSetStaticIpChar(5, "localhost", "255.0.0.0"), 0);
    const emu::Bytes message = lastMessage();
    ASSERT_EQ(message.size(), 538u);
    EXPECT_EQ(hex(emu::Bytes(message.begin() + 11, message.begin() + 15)), "7F 00 00 01");

    EXPECT_EQ(lpSetStaticIpChar(5, "10.0.0.1", "localhost"), -2);
    EXPECT_EQ(datagramsAfterPause(), 0u);
}

TEST_F(DiscoveryConfigTest, UnconvertibleTextsSendNothing) {
    const char* const cases[][2] = {
        {nullptr, "255.0.0.0"},          {"10.0.0.1", nullptr},
        {"255.255.255.255", "255.0.0.0"}, {"10.0.0.1", "255.255.255.255"},
        {"10.0.0.1", "not an address"},   {"10.0.0.1", "10.0.0.256"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lpSetStaticIpChar(5, c[0], c[1]), -2)
            << (c[0] ? c[0] : "null") << " / " << (c[1] ? c[1] : "null");
        EXPECT_EQ(lpSetBaseIpChar(5, c[0], c[1]), -2);
    }
    EXPECT_EQ(datagramsAfterPause(), 0u);
}

TEST_F(DiscoveryConfigTest, ScannerAppliesSettingsAddressedToItsSerial) {
    emu::Emulator& other = addScanner(0x0BADCAFE, 9);

    ASSERT_EQ(lpSetCableId(0x01020304, 42), 0);
    ScannerInfo record;
    ASSERT_EQ(lpFindScannerByCableId(42, &record, 1), 1);
    EXPECT_EQ(field(record.identity), 0x01020304u);
    EXPECT_EQ(field(record.value2), 42);

    ASSERT_EQ(lpSetBaseIpChar(0x01020304, "192.168.7.0", "255.255.255.0"), 0);
    record = findBySerial(0x01020304);
    EXPECT_EQ(field(record.value3), 1);
    EXPECT_EQ(field(record.value4), addressOf("192.168.7.0"));
    EXPECT_EQ(field(record.value8), addressOf("255.255.255.0"));

    ASSERT_EQ(lpClearCableId(0x01020304), 0);
    EXPECT_EQ(findBySerial(0x01020304).value2, 0);

    // The other scanner saw every message and changed nothing.
    const emu::NetworkSettings untouched = emu::networkSettings(other);
    EXPECT_EQ(untouched.cableId, 9u);
    EXPECT_EQ(untouched.ipMode, 0);
    EXPECT_EQ(untouched.address, addressOf(responderAddress_));
}

TEST_F(DiscoveryConfigTest, SendFailureGivesMinusOne) {
    useRoute(discovery::BroadcastRoute{});
    net::setLastError(0);
    EXPECT_EQ(lpSetCableId(0x01020304, 1), -1);
    EXPECT_NE(lpGetLastSocketError(), 0);
    EXPECT_EQ(lpClearCableId(0x01020304), -1);
    EXPECT_EQ(lpSetStaticIpInt(0x01020304, 1, 2), -1);
    EXPECT_EQ(lpSetBaseIpChar(0x01020304, "10.0.0.1", "255.0.0.0"), -1);
    EXPECT_EQ(datagramsAfterPause(), 0u);
}

}  // namespace
}  // namespace kelo::test
