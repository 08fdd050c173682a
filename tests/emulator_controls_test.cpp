// SPDX-License-Identifier: Apache-2.0
// What the soak relies on from the emulator: stamped profiles, the control
// channel, and session threads that end with their connections.
#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

#include "emulator/control_commands.h"
#include "emulator/profile_header.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using StampTest = EmulatorTest;

std::uint32_t checksumOf(const ProfileRecord& r) {
    emu::ProfileChecksum sum;
    for (int i = 0; i < emu::kHeaderChecksum; ++i) sum.add(static_cast<std::uint32_t>(r.header[i]));
    sum.add(static_cast<std::uint32_t>(r.pointCount));
    for (int i = 0; i < r.pointCount; ++i) {
        for (std::int32_t value : r.points[i]) sum.add(static_cast<std::uint32_t>(value));
    }
    return sum.value();
}

TEST_F(StampTest, StampedProfilesCarryMarkAndChecksumOthersStayAsTheyWere) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpEnterTimeSyncMode(connection_), 0);
    for (const bool stamped : {false, true}) {
        emulator_.config().stamped = stamped;  // read by the session only while it answers
        emulator_.config().stampMark = 0xA5A5A5A5u;
        std::vector<ProfileRecord> records(20);
        ASSERT_EQ(lpGetMultipleProfiles(connection_, records.data(), 20), 20);
        for (std::size_t i = 0; i < records.size(); ++i) {
            const ProfileRecord& r = records[i];
            EXPECT_EQ(r.header[emu::kHeaderSequence] - records[0].header[emu::kHeaderSequence], std::int32_t(i));
            EXPECT_EQ(static_cast<std::uint32_t>(r.header[emu::kHeaderStampMark]), stamped ? 0xA5A5A5A5u : 0u);
            EXPECT_EQ(static_cast<std::uint32_t>(r.header[emu::kHeaderChecksum]), stamped ? checksumOf(r) : 0u);
        }
        // A changed word, or two words that changed places, change the sum.
        ProfileRecord r = records[3];
        const std::uint32_t before = checksumOf(r);
        std::swap(r.points[0][0], r.points[0][1]);
        EXPECT_NE(checksumOf(r), before);
        r = records[3];
        r.points[242][2] ^= 1;
        EXPECT_NE(checksumOf(r), before);
    }
}

TEST(ControlCommandsTest, FaultLinesSwitchModesAndOthersAreNamed) {
    std::istringstream in("fault silent\nfault none\n\nfault\nfault drop now\nfault bogus\nshout\n  fault   wrong-type\n");
    std::ostringstream errors;
    std::vector<emu::Fault> asked;
    emu::readControlCommands(in, [&](emu::Fault f) { asked.push_back(f); }, errors);
    EXPECT_EQ(asked, (std::vector<emu::Fault>{emu::Fault::Silent, emu::Fault::None, emu::Fault::WrongType}));
    EXPECT_EQ(errors.str(),
              "kelo-scanner-emulator: unknown control command: fault\n"
              "kelo-scanner-emulator: unknown control command: fault drop now\n"
              "kelo-scanner-emulator: unknown control command: fault bogus\n"
              "kelo-scanner-emulator: unknown control command: shout\n");
}

TEST_F(StampTest, SessionThreadsAreJoinedOnceTheirConnectionsEnd) {
    for (int i = 0; i < 12; ++i) lpCloseConnection(open());
    connection_ = nullptr;
    for (int wait = 0; wait < 100 && (emulator_.connectionsAccepted() < 12 || emulator_.sessionThreads() > 0);
         ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(emulator_.connectionsAccepted(), 12u);
    EXPECT_EQ(emulator_.sessionThreads(), 0u);
}

}  // namespace
}  // namespace kelo::test
