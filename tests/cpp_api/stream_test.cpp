// SPDX-License-Identifier: Apache-2.0
// kelo::Stream against the in-process emulator: batches in order, the
// queue's bound under a slow consumer, failures delivered, and sync mode
// left (the connection exact afterwards) however the stream ends.
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/command_codes.h"
#include "kelo_dll/kelo.hpp"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

class CppStreamTest : public EmulatorTest {
protected:
    static StreamOptions options(std::uint32_t batchSize, std::size_t capacity,
                                 Overflow overflow = Overflow::Wait) {
        StreamOptions o;
        o.batchSize = batchSize;
        o.queueCapacity = capacity;
        o.overflow = overflow;
        o.readTimeout = milliseconds(200);
        o.silenceTimeout = milliseconds(400);
        return o;
    }
    // Idle on both sides, nothing owed, and the next exchange exact.
    void expectLeft(Scanner& scanner) {
        EXPECT_FALSE(scanner.synchronised());
        EXPECT_EQ(scanner.outstandingRequests(), 0u);
        EXPECT_EQ(scanner.status().at(0), static_cast<std::int32_t>(emulator_.config().serialNumber));
        EXPECT_GE(emulator_.commandCount(kCmdExitSync), 1u);
    }
    static void waitUntilEnded(const detail::StreamCore& stream) {
        for (int i = 0; i < 300 && stream.running(); ++i) std::this_thread::sleep_for(milliseconds(10));
    }
};

// Profiles come in the order the scanner measured them, none lost.
TEST_F(CppStreamTest, QueueHandsOverEveryProfileInOrder) {
    Scanner scanner(address_);
    {
        Stream stream(scanner, options(50, 4));
        std::int32_t next = -1;
        for (std::uint64_t sequence = 0; sequence < 6; ++sequence) {
            const Batch<ProfileRecord> batch = stream.pop(milliseconds(2000));
            ASSERT_TRUE(batch);
            EXPECT_EQ(batch.sequence(), sequence);
            for (const ProfileRecord& profile : batch) {
                EXPECT_EQ(profile.pointCount, KELO_PROFILE_MAX_POINTS);
                if (next >= 0) {
                    EXPECT_EQ(profile.header[1], next);
                }
                next = profile.header[1] + 1;
            }
        }
        stream.stop();
    }
    expectLeft(scanner);
}

TEST_F(CppStreamTest, SlowConsumerMeetsTheBound) {
    for (const Overflow overflow : {Overflow::Wait, Overflow::DropOldest}) {
        SCOPED_TRACE(overflow == Overflow::Wait ? "wait" : "drop oldest");
        Scanner scanner(address_);
        Stream stream(scanner, options(10, 3, overflow));
        std::this_thread::sleep_for(milliseconds(400));  // 80 batches' worth at 2000 profiles/s
        stream.stop();
        const std::uint64_t read = stream.batches();
        if (overflow == Overflow::Wait) {
            EXPECT_EQ(read, 3u);
            EXPECT_EQ(stream.dropped(), 0u);
        } else {
            EXPECT_GT(read, 3u);
            EXPECT_EQ(stream.dropped(), read - 3);
        }
        for (std::uint64_t sequence = read - 3; sequence < read; ++sequence) {
            EXPECT_EQ(stream.pop(milliseconds(0)).sequence(), sequence);
        }
        EXPECT_FALSE(stream.pop(milliseconds(0)));
        expectLeft(scanner);
    }
}

// A fault mid-stream ends it with the failure, after the batches read
// before, through each way of delivery: the queue, callbacks on the
// reading thread (Wait) and on a thread of their own (DropOldest). Where
// the connection is still up, sync mode is left on both sides.
TEST_F(CppStreamTest, FaultMidStreamIsDelivered) {
    const struct {
        bool callbacks;
        Overflow overflow;
    } deliveries[] = {{false, Overflow::Wait}, {true, Overflow::Wait}, {true, Overflow::DropOldest}};
    const struct {
        emu::Fault fault;
        std::int32_t failure;
    } faults[] = {{emu::Fault::DropConnection, KELO_FAILURE_CLOSED}, {emu::Fault::WrongType, KELO_FAILURE_WRONG_TYPE}};
    for (const auto& f : faults) {
        for (const auto& [callbacks, overflow] : deliveries) {
            SCOPED_TRACE(std::to_string(f.failure) + (callbacks ? " callbacks" : " queue") +
                         (overflow == Overflow::Wait ? "" : " thread"));
            Scanner scanner(address_);
            const std::size_t exits = emulator_.commandCount(kCmdExitSync);
            std::atomic<int> batches{0}, failures{0};
            const auto onBatch = [&](const Batch<ProfileRecord>&) {
                if (++batches == 2) emulator_.setFault(f.fault);
            };
            const auto onError = [&](const Error& e) { failures += e.failure() == f.failure ? 1 : 100; };
            std::unique_ptr<Stream> stream =
                callbacks ? std::make_unique<Stream>(scanner, options(20, 4, overflow), onBatch, onError)
                          : std::make_unique<Stream>(scanner, options(20, 4));
            for (int i = 0; i < 100 && !callbacks && failures == 0; ++i) {
                try {
                    if (stream->pop(milliseconds(1000))) onBatch(Batch<ProfileRecord>());
                } catch (const Error& e) {
                    onError(e);
                }
            }
            if (!callbacks) {
                EXPECT_THROW(stream->pop(milliseconds(0)), Error);
            }
            waitUntilEnded(*stream);
            EXPECT_FALSE(stream->running());
            EXPECT_NO_THROW(stream->stop());
            EXPECT_EQ(failures, 1);
            EXPECT_GE(batches, 2);
            emulator_.setFault(emu::Fault::None);
            if (f.fault == emu::Fault::WrongType) {
                // What is left of the failed answer puts the stream out of step:
                // only the exit command is certain.
                EXPECT_FALSE(scanner.synchronised());
                for (int i = 0; i < 200 && emulator_.commandCount(kCmdExitSync) == exits; ++i) {
                    std::this_thread::sleep_for(milliseconds(10));
                }
                EXPECT_EQ(emulator_.commandCount(kCmdExitSync), exits + 1);
            }
        }
    }
}

// What a callback throws ends the stream, sync mode left, and comes back from stop().
TEST_F(CppStreamTest, CallbackExceptionEndsTheStream) {
    Scanner scanner(address_);
    int calls = 0;
    Stream stream(scanner, options(20, 4), [&](const Batch<ProfileRecord>&) {
        if (++calls == 3) throw std::runtime_error("enough");
    }, [](const Error&) {});
    waitUntilEnded(stream);
    EXPECT_THROW(stream.stop(), std::runtime_error);
    EXPECT_EQ(calls, 3);
    expectLeft(scanner);
}

// A silent scanner is reported after the silence time-out, and stop() or
// the destructor still end the stream within about one read time-out,
// leaving sync mode without waiting for what the scanner owes.
TEST_F(CppStreamTest, SilentScannerIsReportedAndStopIsPrompt) {
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destructor" : "stop");
        Scanner scanner(address_);
        emulator_.setFault(emu::Fault::Silent);
        const Clock::time_point started = Clock::now();
        auto stream = std::make_unique<Stream>(scanner, options(20, 4));
        try {
            stream->pop(milliseconds(3000));
            ADD_FAILURE() << "no failure reported";
        } catch (const Error& e) {
            EXPECT_TRUE(e.timedOut());
            EXPECT_GE(Clock::now() - started, milliseconds(400));
        }
        EXPECT_TRUE(stream->running());
        const Clock::time_point stopping = Clock::now();
        if (destroy) {
            stream.reset();
        } else {
            stream->stop();
        }
        EXPECT_LT(Clock::now() - stopping, milliseconds(1000));
        emulator_.setFault(emu::Fault::None);
        expectLeft(scanner);
    }
}

}  // namespace
}  // namespace kelo::test
