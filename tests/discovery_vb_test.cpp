// The safe-array find functions: descriptor checks, locking, and the
// packed-to-aligned conversion of each record.
#include <functional>

#include "discovery_fixture.h"

namespace kelo::test {
namespace {

// The aligned element a packed 533-byte record becomes: padding at 7, 18
// and 19 keeps the array's own bytes.
emu::Bytes alignedOf(const emu::Bytes& packed) {
    emu::Bytes element(packed.begin(), packed.begin() + 7);
    element.push_back(kFill);
    element.insert(element.end(), packed.begin() + 7, packed.begin() + 17);
    element.insert(element.end(), {kFill, kFill});
    element.insert(element.end(), packed.begin() + 17, packed.end());
    return element;
}

using DiscoveryVbTest = DiscoveryLoopbackTest;

TEST_F(DiscoveryVbTest, FillsOnlyTheElementsTheArrayHas) {
    std::vector<emu::Emulator*> scanners;
    for (std::uint32_t serial = 11; serial <= 15; ++serial) scanners.push_back(&addScanner(serial, serial - 10));
    VbArray array(2);

    ASSERT_EQ(lpFindAllScannersVB(&array.pointer), 2);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(hex(array.element(i)), hex(alignedOf(emu::scannerInfoRecord(*scanners[i]))));
    EXPECT_EQ(array.descriptor.cLocks, 0u) << "the array was left locked";
}

// Malformed arrays give error 22 before anything is sent, an array that
// cannot be locked error 22 after discovery, a failed discovery its socket
// error. None writes an element or changes the lock count.
TEST_F(DiscoveryVbTest, RefusedArraysAndFailedDiscoveryWriteNothing) {
    addScanner(1001);
    struct Case { const char* name; std::function<void(KeloSafeArray&)> spoil; bool refused; } cases[] = {
        {"element size 533", [](KeloSafeArray& a) { a.cbElements = sizeof(ScannerInfo); }, true},
        {"two dimensions", [](KeloSafeArray& a) { a.cDims = 2; }, true},
        {"no elements", [](KeloSafeArray& a) { a.rgsabound[0].cElements = 0; }, true},
        {"count negative", [](KeloSafeArray& a) { a.rgsabound[0].cElements = 0x80000000u; }, true},
        {"no data", [](KeloSafeArray& a) { a.pvData = nullptr; }, true},
        {"cannot be locked", [](KeloSafeArray& a) { a.cLocks = 0xFFFF; }, true},
        // The caller's own lock stays as it was.
        {"no local address", [this](KeloSafeArray& a) { a.cLocks = 1; useRoute({}); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VbArray array(2);
        c.spoil(array.descriptor);
        const std::uint32_t locks = array.descriptor.cLocks;
        net::setLastError(0);
        EXPECT_EQ(lpFindAllScannersVB(&array.pointer), -1);
        EXPECT_NE(lpGetLastSocketError(), 0);
        EXPECT_EQ(lpGetLastSocketError() == 22, c.refused) << lpGetLastSocketError();
        EXPECT_EQ(array.data, std::vector<std::uint8_t>(array.data.size(), kFill));
        EXPECT_EQ(array.descriptor.cLocks, locks);
    }
    KeloSafeArray* none = nullptr;
    for (KeloSafeArray** array : {&none, static_cast<KeloSafeArray**>(nullptr)}) {
        net::setLastError(0);
        EXPECT_EQ(lpFindAllScannersVB(array), -1);
        EXPECT_EQ(lpGetLastSocketError(), 22);
    }
    // Only the array that cannot be locked got as far as discovery.
    EXPECT_EQ(datagramsAfterPause(), 1u);
}

}  // namespace
}  // namespace kelo::test
