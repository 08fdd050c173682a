// Cable-id and IP configuration messages: their bytes, the argument
// checks, and the emulated scanner applying them.
#include <functional>

#include "discovery_fixture.h"

namespace kelo::test {
namespace {

constexpr std::uint32_t kSerial = 0x01020304;

using DiscoveryConfigTest = DiscoveryLoopbackTest;

// Text and integer forms send the same bytes; the base forms differ from
// the static ones only in byte 10; a host name is taken as the address.
TEST_F(DiscoveryConfigTest, EachCallSendsItsMessage) {
    emu::Emulator& scanner = addScanner(kSerial);
    const std::uint32_t address = addressOf("192.168.1.10"), mask = addressOf("255.255.255.0");
    const emu::Bytes staticIp = messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x02, 0x02, 0x04, 0x03, 0x02, 0x01, 0x00,
                                           192, 168, 1, 10, 0xFF, 0x01, 0x04, 255, 255, 255, 0, 0xFF, 0xFF});
    emu::Bytes baseIp = staticIp;
    baseIp[10] = 0x01;
    struct Case { const char* name; std::function<int()> call; emu::Bytes expected; } cases[] = {
        {"set cable id", [] { return lpSetCableId(kSerial, 255); },
         messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x03, 0x02, 0x04, 0x03, 0x02, 0x01, 0x02, 0xFF, 0, 0, 0})},
        {"clear cable id", [] { return lpClearCableId(kSerial); },
         messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x03, 0x02, 0x04, 0x03, 0x02, 0x01, 0x03, 0, 0, 0, 0})},
        {"static int", [&] { return lpSetStaticIpInt(kSerial, address, mask); }, staticIp},
        {"static text", [] { return lpSetStaticIpChar(kSerial, "192.168.1.10", "255.255.255.0"); }, staticIp},
        {"base int", [&] { return lpSetBaseIpInt(kSerial, address, mask); }, baseIp},
        {"base text", [] { return lpSetBaseIpChar(kSerial, "192.168.1.10", "255.255.255.0"); }, baseIp},
        {"host name", [] { return lpSetStaticIpChar(kSerial, "localhost", "255.0.0.0"); },
         messageOf({0x7F, 0xAE, 0x23, 0xA2, 0x02, 0x02, 0x04, 0x03, 0x02, 0x01, 0x00, 127, 0, 0, 1, 0xFF,
                    0x01, 0x04, 255, 0, 0, 0, 0xFF, 0xFF})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.call(), 0);
        ASSERT_TRUE(emu::waitForDatagrams(scanner, 1, 2000));
        const auto got = emu::receivedDatagrams(scanner);
        emu::clearReceivedDatagrams(scanner);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(hex(got[0].bytes), hex(c.expected));
    }
}

// Arguments out of range or not convertible give -2, a failed send -1;
// neither sends anything.
TEST_F(DiscoveryConfigTest, RefusedAndFailedCallsSendNothing) {
    emu::Emulator& scanner = addScanner(kSerial);
    EXPECT_EQ(lpSetCableId(kSerial, 256), -2);
    EXPECT_EQ(lpSetCableId(kSerial, 0xFFFFFFFFu), -2);
    const char* const texts[][2] = {
        {nullptr, "255.0.0.0"},          {"10.0.0.1", nullptr},
        {"255.255.255.255", "255.0.0.0"}, {"10.0.0.1", "255.255.255.255"},
        {"10.0.0.1", "not an address"},   {"10.0.0.1", "10.0.0.256"},
        {"10.0.0.1", "localhost"},
    };
    for (const auto& t : texts) {
        SCOPED_TRACE(std::string(t[0] ? t[0] : "null") + " / " + (t[1] ? t[1] : "null"));
        EXPECT_EQ(lpSetStaticIpChar(5, t[0], t[1]), -2);
        EXPECT_EQ(lpSetBaseIpChar(5, t[0], t[1]), -2);
    }
    EXPECT_EQ(emu::networkSettings(scanner).cableId, 0u);

    useRoute({});
    net::setLastError(0);
    EXPECT_EQ(lpSetCableId(kSerial, 1), -1);
    EXPECT_NE(lpGetLastSocketError(), 0);
    EXPECT_EQ(lpClearCableId(kSerial), -1);
    EXPECT_EQ(lpSetStaticIpInt(kSerial, 1, 2), -1);
    EXPECT_EQ(lpSetBaseIpChar(kSerial, "10.0.0.1", "255.0.0.0"), -1);
    EXPECT_EQ(datagramsAfterPause(), 0u);
}

TEST_F(DiscoveryConfigTest, ScannerAppliesSettingsAddressedToItsSerial) {
    addScanner(kSerial);
    emu::Emulator& other = addScanner(0x0BADCAFE, 9);
    ScannerInfo record;
    ASSERT_EQ(lpSetCableId(kSerial, 42), 0);
    ASSERT_EQ(lpFindScannerByCableId(42, &record, 1), 1);
    EXPECT_EQ(field(record.identity), kSerial);
    EXPECT_EQ(field(record.value2), 42);

    ASSERT_EQ(lpSetBaseIpChar(kSerial, "192.168.7.0", "255.255.255.0"), 0);
    ASSERT_EQ(lpFindScannerBySerialNumber(kSerial, &record, 1), 1);
    EXPECT_EQ(field(record.value3), 1);
    EXPECT_EQ(field(record.value4), addressOf("192.168.7.0"));
    EXPECT_EQ(field(record.value8), addressOf("255.255.255.0"));

    ASSERT_EQ(lpClearCableId(kSerial), 0);
    ASSERT_EQ(lpFindScannerBySerialNumber(kSerial, &record, 1), 1);
    EXPECT_EQ(field(record.value2), 0);

    // The other scanner saw every message and changed nothing.
    const emu::NetworkSettings untouched = emu::networkSettings(other);
    EXPECT_EQ(untouched.cableId, 9u);
    EXPECT_EQ(untouched.ipMode, 0);
    EXPECT_EQ(untouched.address, addressOf(responderAddress_));
}

}  // namespace
}  // namespace kelo::test
