// SPDX-License-Identifier: Apache-2.0
#include "answer_wait.h"

#include <algorithm>
#include <chrono>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

#include "interrupts.h"

namespace kelo::cli {
namespace {
constexpr int kSliceMs = 100;
}  // namespace

AnswerWait awaitAnswer(ScannerConnection* connection, std::int32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::int32_t socket = lpGetSocket(connection);
    for (;;) {
        if (interrupted()) return AnswerWait::Interrupted;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return AnswerWait::TimedOut;
        if (socketReadable(socket, static_cast<int>(std::min<long long>(left, kSliceMs)))) {
            return AnswerWait::Arrived;
        }
    }
}

#ifdef _WIN32

bool socketReadable(std::int32_t socket, int milliseconds) {
    const auto handle = static_cast<SOCKET>(static_cast<std::uint32_t>(socket));
    fd_set readable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    FD_SET(handle, &readable);
    FD_SET(handle, &failed);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, &readable, nullptr, &failed, &wait) != 0;
}

#else

bool socketReadable(std::int32_t socket, int milliseconds) {
    pollfd entry{socket, POLLIN, 0};
    const int ready = poll(&entry, 1, milliseconds);
    // An interrupted wait counts as not ready: the caller looks again.
    return ready > 0;
}

#endif

}  // namespace kelo::cli
