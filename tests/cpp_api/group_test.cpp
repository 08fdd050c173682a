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

class CppGroupTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        emulators_.push_back(&emulator_);
        for (std::uint32_t serial : {2002u, 2003u}) {
            others_.push_back(std::make_unique<emu::Emulator>());
            others_.back()->config().serialNumber = serial;
            const std::string address = uniqueLoopbackAddress();
            ASSERT_TRUE(others_.back()->start(address, KELO_SCANNER_TCP_PORT));
            addresses_.push_back(address);
            emulators_.push_back(others_.back().get());
        }
    }
    std::vector<std::unique_ptr<emu::Emulator>> others_;
    std::vector<std::string> addresses_;
    std::vector<emu::Emulator*> emulators_;
};

TEST_F(CppGroupTest, EveryMemberDeliversAndASilentOneIsNamed) {
    std::vector<Scanner> scanners;
    scanners.emplace_back(address_);
    for (const std::string& address : addresses_) scanners.emplace_back(address);
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
        EXPECT_EQ(profiles[19].header[5], static_cast<std::int32_t>(emulators_[i]->config().serialNumber));
    }

    emulators_[1]->setFault(emu::Fault::Silent);
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
    emulators_[1]->setFault(emu::Fault::None);
    for (std::size_t i = 0; i < scanners.size(); ++i) {
        EXPECT_FALSE(scanners[i].synchronised());
        EXPECT_EQ(scanners[i].status().at(0), static_cast<std::int32_t>(emulators_[i]->config().serialNumber));
        EXPECT_EQ(emulators_[i]->state<emu::AcquisitionState>().mode(), emu::SyncMode::Idle);
    }
}

}  // namespace
}  // namespace kelo::test
