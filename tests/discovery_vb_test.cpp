// The safe-array find functions: descriptor checks, locking, and the
// packed-to-aligned conversion of each record.
#include <cstring>
#include <vector>

#include "discovery_fixture.h"

namespace kelo::test {
namespace {

constexpr std::uint8_t kPadding = 0xAB;

// A one-dimensional array of ScannerInfoVB elements, every byte preset.
struct VbArray {
    explicit VbArray(std::uint32_t elements, std::uint32_t elementSize = sizeof(ScannerInfoVB))
        : data(static_cast<std::size_t>(elements) * elementSize, kPadding) {
        std::memset(&descriptor, 0, sizeof descriptor);
        descriptor.cDims = 1;
        descriptor.cbElements = elementSize;
        descriptor.pvData = data.data();
        descriptor.rgsabound[0].cElements = elements;
        pointer = &descriptor;
    }
    const ScannerInfoVB& element(std::size_t i) const {
        return *reinterpret_cast<const ScannerInfoVB*>(data.data() + i * sizeof(ScannerInfoVB));
    }
    emu::Bytes elementBytes(std::size_t i) const {
        return emu::Bytes(data.begin() + i * sizeof(ScannerInfoVB),
                          data.begin() + (i + 1) * sizeof(ScannerInfoVB));
    }
    bool untouched() const {
        for (std::uint8_t b : data) {
            if (b != kPadding) return false;
        }
        return true;
    }

    KeloSafeArray descriptor;
    KeloSafeArray* pointer;
    std::vector<std::uint8_t> data;
};

void expectConverted(const VbArray& array, std::size_t i, const emu::Bytes& packed) {
    ScannerInfo record;
    std::memcpy(&record, packed.data(), sizeof record);
    const ScannerInfoVB& element = array.element(i);
    EXPECT_EQ(element.value1, field(record.value1));
    EXPECT_EQ(element.value2, field(record.value2));
    EXPECT_EQ(element.value3, field(record.value3));
    EXPECT_EQ(element.value4, field(record.value4));
    EXPECT_EQ(element.identity, field(record.identity));
    EXPECT_EQ(element.value6, field(record.value6));
    EXPECT_EQ(element.value7, field(record.value7));
    EXPECT_EQ(element.value8, field(record.value8));
    EXPECT_EQ(0, std::memcmp(element.block, record.block, sizeof record.block));
    // Padding at 7, 18 and 19 is not written.
    const emu::Bytes bytes = array.elementBytes(i);
    EXPECT_EQ(bytes[7], kPadding);
    EXPECT_EQ(bytes[18], kPadding);
    EXPECT_EQ(bytes[19], kPadding);
}

using DiscoveryVbTest = DiscoveryLoopbackTest;

TEST_F(DiscoveryVbTest, FillsOnlyTheElementsTheArrayHas) {
    std::vector<emu::Emulator*> scanners;
    for (std::uint32_t serial = 11; serial <= 15; ++serial) {
        scanners.push_back(&addScanner(serial, serial - 10));
    }
    VbArray array(2);

    ASSERT_EQ(lpFindAllScannersVB(&array.pointer), 2);
    expectConverted(array, 0, emu::scannerInfoRecord(*scanners[0]));
    expectConverted(array, 1, emu::scannerInfoRecord(*scanners[1]));
    EXPECT_EQ(array.descriptor.cLocks, 0u) << "the array was left locked";
}

TEST_F(DiscoveryVbTest, SelectorFormsSendTheirRequests) {
    emu::Emulator& scanner = addScanner(0x0A0B0C0D, 9);
    VbArray array(4);

    ASSERT_EQ(lpFindScannerBySerialNumberVB(0x0A0B0C0D, &array.pointer), 1);
    ASSERT_EQ(lpFindScannerByCableIdVB(9, &array.pointer), 1);
    EXPECT_EQ(array.element(0).identity, 0x0A0B0C0Du);
    EXPECT_EQ(hex(array.elementBytes(1)), hex(emu::Bytes(sizeof(ScannerInfoVB), kPadding)));

    const auto got = emu::receivedDatagrams(scanner);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(hex(emu::Bytes(got[0].bytes.begin(), got[0].bytes.begin() + 10)),
              "7F AE 23 A2 00 02 0D 0C 0B 0A");
    EXPECT_EQ(hex(emu::Bytes(got[1].bytes.begin(), got[1].bytes.begin() + 10)),
              "7F AE 23 A2 00 01 09 00 00 00");
}

TEST_F(DiscoveryVbTest, MalformedArraysAreRefusedBeforeAnythingIsSent) {
    addScanner(1001);
    VbArray packedSize(4, sizeof(ScannerInfo));
    VbArray twoDimensions(4);
    twoDimensions.descriptor.cDims = 2;
    VbArray empty(0);
    VbArray negativeCount(1);
    negativeCount.descriptor.rgsabound[0].cElements = 0x80000000u;
    VbArray noData(4);
    noData.descriptor.pvData = nullptr;
    KeloSafeArray* none = nullptr;

    struct Case {
        const char* name;
        KeloSafeArray** array;
    } cases[] = {
        {"element size 533", &packedSize.pointer},   {"two dimensions", &twoDimensions.pointer},
        {"no elements", &empty.pointer},             {"count negative", &negativeCount.pointer},
        {"no data", &noData.pointer},                {"null array", &none},
        {"null pointer", nullptr},
    };
    for (const Case& c : cases) {
        net::setLastError(0);
        EXPECT_EQ(lpFindAllScannersVB(c.array), -1) << c.name;
        EXPECT_EQ(lpGetLastSocketError(), 22) << c.name;
    }
    EXPECT_TRUE(packedSize.untouched());
    EXPECT_EQ(packedSize.descriptor.cLocks, 0u);
    EXPECT_EQ(datagramsAfterPause(), 0u);
}

TEST_F(DiscoveryVbTest, ArrayThatCannotBeLockedGivesError22) {
    addScanner(1001);
    VbArray array(2);
    array.descriptor.cLocks = 0xFFFF;

    EXPECT_EQ(lpFindAllScannersVB(&array.pointer), -1);
    EXPECT_EQ(lpGetLastSocketError(), 22);
    EXPECT_TRUE(array.untouched());
    EXPECT_EQ(array.descriptor.cLocks, 0xFFFFu);
}

TEST_F(DiscoveryVbTest, FailedDiscoveryWritesNoElement) {
    addScanner(1001);
    useRoute(discovery::BroadcastRoute{});  // no local address
    VbArray array(2);
    array.descriptor.cLocks = 1;  // the caller's own lock stays as it was

    EXPECT_EQ(lpFindAllScannersVB(&array.pointer), -1);
    EXPECT_NE(lpGetLastSocketError(), 0);
    EXPECT_NE(lpGetLastSocketError(), 22);
    EXPECT_TRUE(array.untouched());
    EXPECT_EQ(array.descriptor.cLocks, 1u);
}

}  // namespace
}  // namespace kelo::test
