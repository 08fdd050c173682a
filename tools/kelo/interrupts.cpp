// SPDX-License-Identifier: Apache-2.0
#include "interrupts.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "session.h"

namespace kelo::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Time for a command that stops by itself to say so once its deadline passed.
constexpr std::chrono::milliseconds kReportMargin{150};
constexpr std::chrono::milliseconds kWatchInterval{20};

std::atomic<int> gSignals{0};
std::atomic<bool> gStopsByItself{false};
std::atomic<int> gLeaving{0};
std::atomic<Clock::rep> gLeavingSince{0};

// Composed before any signal can come: the handler only writes it.
char gInterruptedLine[96];
char gNotLeftLine[160];

void writeLine(const char* line) {
#ifdef _WIN32
    _write(2, line, static_cast<unsigned>(std::strlen(line)));
#else
    const ssize_t ignored = ::write(2, line, std::strlen(line));
    (void)ignored;
#endif
}

[[noreturn]] void endNow(const char* line) {
    writeLine(line);
    std::_Exit(kExitInterrupted);
}

extern "C" void onSignal(int number) {
    std::signal(number, onSignal);  // Windows resets the handler at each signal
    if (gSignals.fetch_add(1) > 0) endNow(gInterruptedLine);
}

}  // namespace

bool interrupted() { return gSignals.load() > 0; }

void stopsByItself() { gStopsByItself = true; }

LeavingSync::LeavingSync() {
    if (gLeaving.fetch_add(1) == 0) gLeavingSince = Clock::now().time_since_epoch().count();
}

LeavingSync::~LeavingSync() { gLeaving.fetch_sub(1); }

int runInterruptible(const char* command, int (*run)(int, char**), int argc, char** argv) {
    std::snprintf(gInterruptedLine, sizeof gInterruptedLine, "kelo %s: interrupted\n", command);
    std::snprintf(gNotLeftLine, sizeof gNotLeftLine,
                  "kelo %s: interrupted; could not leave sync mode within %lld ms\n", command,
                  static_cast<long long>(kLeaveWithin.count()));
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    std::promise<int> status;
    std::future<int> finished = status.get_future();
    std::thread worker([&] { status.set_value(run(argc, argv)); });
    Clock::time_point since{};
    while (finished.wait_for(kWatchInterval) != std::future_status::ready) {
        if (!interrupted()) continue;
        const Clock::time_point now = Clock::now();
        if (since == Clock::time_point{}) since = now;
        if (!gStopsByItself) endNow(gInterruptedLine);
        Clock::time_point deadline = since + kStopWithin;
        const bool leaving = gLeaving.load() > 0;
        if (leaving) {
            const Clock::time_point began{Clock::duration(gLeavingSince.load())};
            deadline = std::max(deadline, std::max(began, since) + kLeaveWithin);
        }
        if (now >= deadline + kReportMargin) endNow(leaving ? gNotLeftLine : gInterruptedLine);
    }
    worker.join();
    return finished.get();
}

}  // namespace kelo::cli
