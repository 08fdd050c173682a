#include "support/wine_differences.h"

#include <string>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace kelo::test::wine {
namespace {

bool underWine() {
#if defined(_WIN32)
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
#else
    return false;
#endif
}

}  // namespace

const char* differs(Difference difference) {
    if (!underWine()) return nullptr;
    switch (difference) {
    case Difference::BindsAbsentAddresses:
        return "a UDP socket binds an address the host does not have";
    case Difference::SharesUdpPortsAcrossLoopbackAddresses:
        return "UDP sockets of different loopback addresses on one port share datagrams";
    }
    return "unnamed difference";
}

std::shared_ptr<void> holdUdpPort(unsigned port) {
#if defined(_WIN32)
    if (differs(Difference::SharesUdpPortsAcrossLoopbackAddresses) == nullptr) return nullptr;
    const std::string name = "kelo-tests-udp-port-" + std::to_string(port);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) {
        ADD_FAILURE() << "CreateMutex(" << name << ") failed: " << GetLastError();
        return nullptr;
    }
    // An owner that died leaves the mutex abandoned, which hands it on too.
    const DWORD waited = WaitForSingleObject(mutex, 60000);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ADD_FAILURE() << "waited " << waited << " for the UDP port " << port;
        CloseHandle(mutex);
        return nullptr;
    }
    return std::shared_ptr<void>(mutex, [](void* held) {
        ReleaseMutex(static_cast<HANDLE>(held));
        CloseHandle(static_cast<HANDLE>(held));
    });
#else
    (void)port;
    return nullptr;
#endif
}

}  // namespace kelo::test::wine
