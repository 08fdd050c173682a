/* SPDX-License-Identifier: Apache-2.0 */
// Where Wine's Winsock behaves unlike Windows. A test that relies on one of
// these leaves that part out under Wine (found at run time through ntdll's
// wine_get_version) and says why; on Windows and elsewhere nothing changes.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace kelo::test::wine {

inline constexpr const char* kBindsAbsentAddresses = "a UDP socket binds an address the host does not have";
inline constexpr const char* kSendsUdpFromFirstLoopback =
    "UDP datagrams leave from 127.0.0.1 whatever loopback address the socket is bound to";
inline constexpr const char* kSharesUdpPortsAcrossLoopback =
    "UDP sockets of different loopback addresses on one port share datagrams";

// The difference's text when the program runs under Wine, else null.
inline const char* differs(const char* difference) {
#if defined(_WIN32)
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine ? difference : nullptr;
#else
    return nullptr;
#endif
}

// Under Wine, where a UDP port is shared across loopback addresses, holds
// it against the other test processes of the same Wine server (a named
// mutex, which an owner that died hands on as abandoned); elsewhere nothing.
inline std::shared_ptr<void> holdUdpPort(unsigned port) {
#if defined(_WIN32)
    if (!differs(kSharesUdpPortsAcrossLoopback)) return nullptr;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, ("kelo-tests-udp-port-" + std::to_string(port)).c_str());
    if (mutex == nullptr || WaitForSingleObject(mutex, 60000) == WAIT_TIMEOUT) {
        ADD_FAILURE() << "the UDP port " << port << " stayed held";
        return nullptr;
    }
    return std::shared_ptr<void>(mutex, [](HANDLE held) { ReleaseMutex(held), CloseHandle(held); });
#else
    (void)port;
    return nullptr;
#endif
}

}  // namespace kelo::test::wine
