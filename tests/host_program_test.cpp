// SPDX-License-Identifier: Apache-2.0
// Host programs unlike the usual test program: thousands of open
// descriptors, threads with small stacks, and memory a scanner could make
// the library take.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "core/command_codes.h"
#include "profile_answers.h"
#include "support/allocation_counter.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

class HostProgramTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        ASSERT_NE(open(), nullptr);
    }
};

// A batch that takes both of the reader's ways: plain profiles, a batch
// nested in it, and more profiles than the records hold.
emu::Bytes mixedBatch() {
    return batchAnswer({profileAnswer(1, 243), batchAnswer({profileAnswer(2, 243), profileAnswer(3, 243)}),
                        profileAnswer(4, 243), profileAnswer(5, 243)});
}

TEST_F(HostProgramTest, BatchReadsAllocateNothing) {
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    answerOnceWith(kCmdMultipleProfileRequest, mixedBatch());
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    ProfileRecord records[2];
    AllocationCounter counter;
    EXPECT_EQ(lpReadMultipleProfiles(connection_, records, 2), 2);
    EXPECT_EQ(counter.count(), 0u);
}

// A header that announces a huge parameter file takes memory only as the
// file really arrives.
TEST_F(HostProgramTest, ParameterFileMemoryFollowsWhatArrives) {
    emu::Bytes answer = emu::answerBytes(0, emu::Bytes(1000, 'x'));
    wire::putWord(answer.data() + 4, 64u << 20);
    emulator_.overrideCommand(kCmdParameterFile, [answer](emu::Session& s, const emu::Command&) {
        s.sendRaw(answer);
        s.close();
    });
    AllocationCounter counter;
    EXPECT_EQ(lpGetParameterFileFromScanner(connection_, "kelo-never-written.txt"), KELO_ERROR_IO);
    EXPECT_LT(counter.largest(), std::size_t(1) << 20);
}

#if defined(__linux__)
// Descriptors numbered past FD_SETSIZE (1024) wait, connect and read like
// any other.
TEST_F(HostProgramTest, SocketsNumberedPast1024) {
    constexpr int kHeld = 2000;
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    const rlim_t wanted = kHeld + 100;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min<rlim_t>(wanted, limit.rlim_max);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < wanted) GTEST_SKIP() << "the descriptor limit cannot be raised to " << wanted;
    std::vector<int> held;
    for (int i = 0; i < kHeld; ++i) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) break;
        held.push_back(fd);
    }
    ASSERT_EQ(held.size(), std::size_t(kHeld));

    ScannerConnection* high = lpOpenConnection(address_.c_str());
    ASSERT_NE(high, nullptr);
    EXPECT_GT(lpGetSocket(high), 1024);
    ASSERT_EQ(lpEnterTimeSyncMode(high), 0);
    ProfileRecord records[4];
    EXPECT_EQ(lpGetMultipleProfiles(high, records, 4), 4);
    EXPECT_EQ(lpExitSyncMode(high), 0);
    EXPECT_EQ(lpCloseConnection(high), 0);

    for (int fd : held) ::close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
constexpr std::size_t kPainted = 40 * 1024;
constexpr unsigned char kPaint = 0xA5;

// Fills stack below the caller with a pattern; the lowest address painted.
__attribute__((noinline)) std::uintptr_t paintStack() {
    volatile unsigned char area[kPainted];
    for (std::size_t i = 0; i < kPainted; ++i) area[i] = kPaint;
    return reinterpret_cast<std::uintptr_t>(&area[0]);
}

// How far below `top` the stack was written since it was painted.
__attribute__((noinline)) std::size_t stackUsedBelow(std::uintptr_t top, std::uintptr_t lowest) {
    const auto* bytes = reinterpret_cast<const volatile unsigned char*>(lowest);
    std::size_t i = 0;
    while (lowest + i < top && bytes[i] == kPaint) ++i;
    return top - (lowest + i);
}

struct StackRun {
    ScannerConnection* connection;
    std::int32_t result = 0;
    std::size_t used = 0;
};

void* readOnSmallStack(void* argument) {
    auto* run = static_cast<StackRun*>(argument);
    volatile char marker = 0;
    const auto top = reinterpret_cast<std::uintptr_t>(&marker);
    const std::uintptr_t lowest = paintStack();
    LargeProfileRecord records[1];
    run->result = lpReadMultipleLargeProfiles(run->connection, records, 1, 2000);
    run->used = stackUsedBelow(top, lowest);
    return nullptr;
}

// A batch read runs on a thread with a 64 KiB stack (or the smallest the
// platform allows: 128 KiB on arm64) and takes at most 16 KiB of it,
// whatever way its answers arrive.
TEST_F(HostProgramTest, BatchReadFitsASmallThreadStack) {
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    answerOnceWith(kCmdMultipleProfileRequest, mixedBatch());
    ASSERT_EQ(lpSendMultipleProfileRequest(connection_, 4), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, std::max<long>(64 * 1024, sysconf(_SC_THREAD_STACK_MIN))), 0);
    StackRun run{connection_};
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, readOnSmallStack, &run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(run.result, 1);
    EXPECT_LE(run.used, 16u * 1024u);
    EXPECT_GT(run.used, 0u);
}
#endif
#endif

}  // namespace
}  // namespace kelo::test
