// SPDX-License-Identifier: Apache-2.0
// kelo::Scanner, kelo::Error and the sync guard through the exported C
// functions only, against an in-process emulator and its fault modes.
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/command_codes.h"
#include "emulator/acquisition_state.h"
#include "kelo_dll/kelo.hpp"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using std::chrono::milliseconds;

class CppScannerTest : public EmulatorTest {};

// Runs call and gives the Error it threw; fails the test when none came.
Error thrownBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no kelo::Error thrown";
    return Error("none", 0, 0, 0, 0);
}

TEST_F(CppScannerTest, OpensAndClosesOnce) {
    {
        Scanner scanner(address_, KELO_SCANNER_TCP_PORT, milliseconds(500));
        const Scanner moved = std::move(scanner);
        EXPECT_EQ(scanner.native(), nullptr);
    }
    expectReceived(bytesOf({0, 0, 0, 0x66, 0, 0, 0, 0}));
    EXPECT_EQ(emulator_.connectionsAccepted(), 1u);

    const struct {
        std::string host;
        std::uint32_t port;
        std::int32_t result, failure;
    } refusals[] = {{address_, 1, KELO_ERROR_IO, KELO_FAILURE_SOCKET},
                    {kUnresolvableHost, KELO_SCANNER_TCP_PORT, KELO_ERROR_IO, KELO_FAILURE_SOCKET},
                    {address_, 0, KELO_ERROR_ARGUMENT, KELO_FAILURE_REFUSED},
                    {address_, 65536, KELO_ERROR_ARGUMENT, KELO_FAILURE_REFUSED}};
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.host + ":" + std::to_string(r.port));
        const Error error = thrownBy([&] { Scanner(r.host, r.port); });
        EXPECT_EQ(error.result(), r.result);
        EXPECT_EQ(error.failure(), r.failure);
        if (r.failure == KELO_FAILURE_SOCKET) {
            EXPECT_NE(error.socketError(), 0);
        }
        EXPECT_NE(std::string(error.what()).find(r.host), std::string::npos) << error.what();
    }
}

TEST_F(CppScannerTest, FailuresCarryResultFailureAndDetail) {
    const struct {
        const char* name;
        emu::Fault fault;
        bool synchronised;
        std::function<void(Scanner&)> call;
        std::int32_t result, failure, detail;
    } cases[] = {
        {"wrong type", emu::Fault::WrongType, false, [](Scanner& s) { s.scan(); }, KELO_ERROR_IO,
         KELO_FAILURE_WRONG_TYPE, 99},
        {"huge length", emu::Fault::HugeLength, false, [](Scanner& s) { s.saveParameterFile("unwritten.txt"); },
         KELO_ERROR_IO, KELO_FAILURE_TOO_LONG, 0x7FFFFFF0},
        {"dropped", emu::Fault::DropConnection, false, [](Scanner& s) { s.status(); }, KELO_ERROR_IO,
         KELO_FAILURE_CLOSED, 0},
        {"synchronised", emu::Fault::None, true, [](Scanner& s) { s.scan(); }, KELO_ERROR_STATE,
         KELO_FAILURE_REFUSED, 0},
        {"rejected", emu::Fault::None, false, [](Scanner& s) { s.sendParameters("Gain = high\n"); },
         KELO_ERROR_STATE, KELO_FAILURE_REFUSED, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scanner scanner(address_);
        SyncGuard guard;
        if (c.synchronised) guard = scanner.enterSync();
        emulator_.setFault(c.fault);
        const Error error = thrownBy([&] { c.call(scanner); });
        emulator_.setFault(emu::Fault::None);
        EXPECT_EQ(error.result(), c.result);
        EXPECT_EQ(error.failure(), c.failure);
        EXPECT_EQ(error.detail(), c.detail);
        EXPECT_EQ(error.connection(), scanner.native());
        if (c.result == KELO_ERROR_STATE && !c.synchronised) {
            EXPECT_FALSE(scanner.errorMessages().empty());
            EXPECT_NE(std::string(error.what()).find(scanner.errorMessages()[0]), std::string::npos);
        }
    }
}

// However the scope of a guard ends, the scanner is idle afterwards, on its
// side and the library's, the exit command sent once and the owed batches
// drained, so that the next exchange is exact.
TEST_F(CppScannerTest, GuardLeavesSyncOnEveryWayOut) {
    const struct {
        const char* name;
        Sync sync;
        std::function<void(Scanner&, SyncGuard&)> body;
    } exits[] = {
        {"end of scope", Sync::time(), [](Scanner&, SyncGuard&) {}},
        {"exception", Sync::encoder(7), [](Scanner&, SyncGuard&) { throw std::runtime_error("out"); }},
        {"pulses", Sync::pulse(2000, 3), [](Scanner&, SyncGuard&) {}},
        {"moved", Sync::time(), [](Scanner&, SyncGuard& guard) { const SyncGuard other = std::move(guard); }},
        {"left by hand", Sync::time(), [](Scanner& s, SyncGuard&) { s.exitSync(); }},
    };
    for (const auto& e : exits) {
        SCOPED_TRACE(e.name);
        Scanner scanner(address_);
        const std::size_t exitsBefore = emulator_.commandCount(kCmdExitSync);
        try {
            SyncGuard guard = scanner.enterSync(e.sync);
            scanner.requestProfiles(5);
            scanner.requestProfiles(5);
            e.body(scanner, guard);
        } catch (const std::runtime_error&) {
        }
        EXPECT_FALSE(scanner.synchronised());
        EXPECT_EQ(scanner.outstandingRequests(), 0u);
        // The emulator has handled every command before it answers this one.
        EXPECT_EQ(scanner.status().at(0), static_cast<std::int32_t>(emulator_.config().serialNumber));
        const auto& acquisition = emulator_.state<emu::AcquisitionState>();
        EXPECT_EQ(emulator_.commandCount(kCmdExitSync), exitsBefore + 1);
        EXPECT_EQ(acquisition.mode(), emu::SyncMode::Idle);
        EXPECT_EQ(acquisition.pulseSetting1(), 0u);
    }
}

}  // namespace
}  // namespace kelo::test
