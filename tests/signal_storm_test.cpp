// SPDX-License-Identifier: Apache-2.0
// A host program whose signal handler does not restart system calls (as
// Python's, GUI toolkits' and profilers' do), with a signal every 30 ms on
// the calling thread: every wait goes on for the time that remains.
#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "core/command_codes.h"
#include "profile_answers.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

std::atomic<int> gSignals{0};

void countSignal(int) { gSignals.fetch_add(1, std::memory_order_relaxed); }

// SIGUSR1 to the thread that made it, every 30 ms, for at most 15 s.
class SignalStorm {
public:
    SignalStorm() : target_(pthread_self()) {
        struct sigaction action {};
        action.sa_handler = countSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: interrupted calls fail with EINTR
        sigaction(SIGUSR1, &action, &previous_);
        thread_ = std::thread([this] {
            for (int i = 0; i < 500 && !stop_; ++i) {
                pthread_kill(target_, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
        });
    }
    ~SignalStorm() {
        stop_ = true;
        thread_.join();
        sigaction(SIGUSR1, &previous_, nullptr);
    }

private:
    pthread_t target_;
    struct sigaction previous_ {};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class SignalStormTest : public ConnectedTest {
protected:
    // The first `code` is answered by `send` after `delayMs`.
    void answerLate(std::uint32_t code, int delayMs, std::function<void(emu::Session&)> send) {
        answerOnceWith(code, [delayMs, send](emu::Session& s) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            send(s);
        });
    }
};

TEST_F(SignalStormTest, WaitsResumeWithTheTimeLeft) {
    ProfileRecord records[2];
    ASSERT_EQ(lpEnterTimeSyncMode(c_), 0);
    const emu::Bytes batch = batchAnswer({profileAnswer(1, 20)});
    answerLate(kCmdMultipleProfileRequest, 500, [batch](emu::Session& s) { s.sendRaw(batch); });
    const int before = gSignals;
    {
        SignalStorm storm;
        ASSERT_EQ(lpSendMultipleProfileRequest(c_, 1), 0);
        expectTakes(0.4, 0.75, [&] { EXPECT_EQ(lpReadMultipleProfilesTimeout(c_, records, 2, 800), 1); });
        EXPECT_EQ(records[0].header[0], static_cast<std::int32_t>(scriptedWord(1, 0)));

        // Nothing comes: the time-out is the time-out, not time-out per signal.
        ASSERT_EQ(lpSendMultipleProfileRequest(c_, 1), 0);
        expectTakes(0.75, 1.5, [&] { EXPECT_EQ(lpReadMultipleProfilesTimeout(c_, records, 2, 800), KELO_ERROR_TIMEOUT); });

        // The owed batch arrives late; leaving sync mode still drains it.
        emulator_.overrideCommand(kCmdMultipleProfileRequest, [batch](emu::Session& s, const emu::Command&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            s.sendRaw(batch);
        });
        ASSERT_EQ(lpSendMultipleProfileRequest(c_, 1), 0);
        EXPECT_EQ(lpExitSyncMode(c_), 0);
        EXPECT_EQ(lpGetNumberOfOutstandingRequests(c_), 0);

        // A single profile whose payload follows its header 300 ms later.
        const emu::Bytes profile = profileAnswer(2, 30);
        answerLate(kCmdProfileRequest, 100, [profile](emu::Session& s) {
            s.sendRaw(profile.data(), 8);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            s.sendRaw(profile.data() + 8, profile.size() - 8);
        });
        EXPECT_EQ(lpGetProfile(c_, records), 0);
        EXPECT_EQ(records[0].pointCount, 30);
    }
    EXPECT_GT(gSignals - before, 20) << "the storm did not reach the calling thread";
}

}  // namespace
}  // namespace kelo::test
#endif
