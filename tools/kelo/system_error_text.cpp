// SPDX-License-Identifier: Apache-2.0
// The system's words for socket and name look-up errors: the one part of
// kelo that differs between Windows and the others.
#include "failure_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <netdb.h>

#include <cstring>
#endif

namespace kelo::cli {

#ifdef _WIN32

namespace {
// WSAHOST_NOT_FOUND, WSATRY_AGAIN, WSANO_RECOVERY and WSANO_DATA.
constexpr std::int32_t kFirstLookupError = 11001;
constexpr std::int32_t kLastLookupError = 11004;
}  // namespace

bool isLookupError(std::int32_t error) {
    return error >= kFirstLookupError && error <= kLastLookupError;
}

std::string systemErrorText(std::int32_t error) {
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string out(text, length);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
        out.pop_back();
    }
    return out.empty() ? "unknown error" : out;
}

#else

// The library gives the negative EAI_ code of a failed getaddrinfo.
bool isLookupError(std::int32_t error) { return error < 0; }

std::string systemErrorText(std::int32_t error) {
    return isLookupError(error) ? gai_strerror(error) : std::strerror(error);
}

#endif

}  // namespace kelo::cli
