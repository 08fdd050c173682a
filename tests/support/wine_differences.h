// Where Wine's Winsock behaves unlike Windows. A test that relies on one of
// these leaves that part out under Wine (found at run time through ntdll's
// wine_get_version) and says why; on Windows and elsewhere nothing changes.
#pragma once

#include <gtest/gtest.h>

#include <memory>

namespace kelo::test::wine {

enum class Difference {
    // A UDP socket binds an IPv4 address that no interface of the host has.
    BindsAbsentAddresses,
    // UDP sockets bound to different loopback addresses on one port see
    // each other's datagrams.
    SharesUdpPortsAcrossLoopbackAddresses,
};

// The reason text when the program runs under Wine, else null.
const char* differs(Difference difference);

// Holds the UDP port for this process against the other test processes of
// the same Wine server (a named mutex), where the port is shared across
// loopback addresses; elsewhere holds nothing.
std::shared_ptr<void> holdUdpPort(unsigned port);

}  // namespace kelo::test::wine

// Skips the rest of the test, naming the difference, under Wine.
#define KELO_SKIP_WHERE_WINE_DIFFERS(difference)                              \
    if (const char* kelo_wine_reason = ::kelo::test::wine::differs(difference)) \
    GTEST_SKIP() << "Wine differs: " << kelo_wine_reason
