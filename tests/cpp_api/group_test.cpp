// SPDX-License-Identifier: Apache-2.0
// kelo::GroupStream with three emulated scanners: every member's share in
// each batch, a silent member named and the stream going on, and every
// member left idle at the end.
#include <chrono>
#include <memory>
#include <vector>

#include "emulator/acquisition_state.h"
#include "kelo_dll/kelo.hpp"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using std::chrono::milliseconds;

class CppGroupTest : public EmulatorTest {};

TEST_F(CppGroupTest, EveryMemberDeliversAndASilentOneIsNamed) {
    std::vector<emu::Emulator*> emulators{&emulator_};
    std::vector<Scanner> scanners;
    scanners.emplace_back(address_);
    std::unique_ptr<emu::Emulator> others[2];
    for (auto& other : others) {
        other = std::make_unique<emu::Emulator>();
        other->config().serialNumber = 2002 + static_cast<std::uint32_t>(emulators.size());
        const std::string address = uniqueLoopbackAddress();
        ASSERT_TRUE(other->start(address, KELO_SCANNER_TCP_PORT));
        scanners.emplace_back(address);
        emulators.push_back(other.get());
    }
    Group group;
    for (Scanner& scanner : scanners) group.add(scanner);
    GroupStreamOptions options;
    options.batchSize = 20;
    options.timeout = milliseconds(400);
    GroupStream stream(group, options);

    const GroupBatch batch = stream.pop(milliseconds(3000));
    ASSERT_TRUE(batch);
    ASSERT_EQ(batch.members(), group.members());
    for (std::size_t i = 0; i < scanners.size(); ++i) {
        const Span<const ProfileRecord> profiles = batch.profiles(scanners[i]);
        ASSERT_EQ(profiles.size(), 20u);
        EXPECT_EQ(profiles[19].header[5], static_cast<std::int32_t>(emulators[i]->config().serialNumber));
    }

    emulators[1]->setFault(emu::Fault::Silent);
    bool named = false;
    for (int i = 0; i < 100 && !named; ++i) {
        try {
            stream.pop(milliseconds(1000));
        } catch (const Error& e) {
            EXPECT_TRUE(e.timedOut());
            EXPECT_EQ(e.connection(), scanners[1].native());
            named = true;
        }
    }
    EXPECT_TRUE(named);
    EXPECT_TRUE(stream.running());
    stream.stop();
    emulators[1]->setFault(emu::Fault::None);
    for (std::size_t i = 0; i < scanners.size(); ++i) {
        EXPECT_FALSE(scanners[i].synchronised());
        EXPECT_EQ(scanners[i].status().at(0), static_cast<std::int32_t>(emulators[i]->config().serialNumber));
        EXPECT_EQ(emulators[i]->state<emu::AcquisitionState>().mode(), emu::SyncMode::Idle);
    }
}

}  // namespace
}  // namespace kelo::test
