// SPDX-License-Identifier: Apache-2.0
// Why a call failed, as lpGetLastFailure tells it, from real exchanges with
// an emulator in each of its fault modes; and what leaves the note alone.
#include <functional>
#include <string>

#include "core/command_codes.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

class FailureReportTest : public EmulatorTest {};

struct FailureCase {
    const char* name;
    emu::Fault fault;
    bool synchronised;  // entered before the call (sync entry gets no answer)
    std::function<std::int32_t(ScannerConnection*)> call;
    std::int32_t result, failure, detail;
};

ProfileRecord gRecords[4];
ScanRecord gScan;

const FailureCase kFailures[] = {
    {"silent batch read", emu::Fault::Silent, true,
     [](ScannerConnection* c) {
         lpSendMultipleProfileRequest(c, 2);
         return lpReadMultipleProfilesTimeout(c, gRecords, 4, 300);
     },
     KELO_ERROR_TIMEOUT, KELO_FAILURE_TIMEOUT, 0},
    {"short status answer", emu::Fault::ShortAnswer, false, lpGetScannerStatusFromScanner, KELO_ERROR_IO,
     KELO_FAILURE_CLOSED, 0},
    {"dropped profile request", emu::Fault::DropConnection, false,
     [](ScannerConnection* c) { return lpGetProfile(c, gRecords); }, KELO_ERROR_IO, KELO_FAILURE_CLOSED, 0},
    {"wrong type for a profile", emu::Fault::WrongType, false,
     [](ScannerConnection* c) { return lpGetProfile(c, gRecords); }, KELO_ERROR_IO, KELO_FAILURE_WRONG_TYPE, 99},
    {"wrong type for a batch", emu::Fault::WrongType, true,
     [](ScannerConnection* c) { return lpGetMultipleProfiles(c, gRecords, 4); }, KELO_ERROR_IO,
     KELO_FAILURE_WRONG_TYPE, 99},
    {"wrong type for a scan", emu::Fault::WrongType, false, [](ScannerConnection* c) { return lpGetScan(c, &gScan); },
     KELO_ERROR_IO, KELO_FAILURE_WRONG_TYPE, 99},
    {"huge parameter file", emu::Fault::HugeLength, false,
     [](ScannerConnection* c) { return lpGetParameterFileFromScanner(c, "never-written.txt"); }, KELO_ERROR_IO,
     KELO_FAILURE_TOO_LONG, 0x7FFFFFF0},
    {"wait on a dropped connection", emu::Fault::DropConnection, true,
     [](ScannerConnection* c) {
         lpSendMultipleProfileRequest(c, 1);
         return lpWaitForAnswer(c, 2000);
     },
     KELO_ERROR_IO, KELO_FAILURE_CLOSED, 0},
    {"negative wait", emu::Fault::None, false, [](ScannerConnection* c) { return lpWaitForAnswer(c, -1); },
     KELO_ERROR_ARGUMENT, KELO_FAILURE_REFUSED, 0},
    {"scan while synchronised", emu::Fault::None, true, [](ScannerConnection* c) { return lpGetScan(c, &gScan); },
     KELO_ERROR_STATE, KELO_FAILURE_REFUSED, 0},
    {"pulse setting out of range", emu::Fault::None, true,
     [](ScannerConnection* c) { return lpStartPulseMaster(c, 999, 0); }, KELO_ERROR_ARGUMENT, KELO_FAILURE_REFUSED,
     0},
    {"null record", emu::Fault::None, false, [](ScannerConnection* c) { return lpGetProfile(c, nullptr); },
     KELO_ERROR_ARGUMENT, KELO_FAILURE_REFUSED, 0},
    {"send on a socket that is gone", emu::Fault::None, false,
     [](ScannerConnection* c) {
         std::int32_t result = 0;
         withBrokenSocket(c, [&] { result = lpEnterTimeSyncMode(c); });
         return result;
     },
     KELO_ERROR_IO, KELO_FAILURE_SOCKET, 0},
};

// Each failure is noted with its code and detail, the next call that
// succeeds clears the note, and reading the sync flag or the outstanding
// count in between leaves it alone.
TEST_F(FailureReportTest, EachFaultIsToldApart) {
    for (const FailureCase& f : kFailures) {
        SCOPED_TRACE(f.name);
        ScannerConnection* c = open();
        ASSERT_NE(c, nullptr);
        if (f.synchronised) { ASSERT_EQ(lpEnterTimeSyncMode(c), 0); }
        emulator_.setFault(f.fault);
        EXPECT_EQ(f.call(c), f.result);
        emulator_.setFault(emu::Fault::None);
        lpIsInSyncMode(c);
        lpGetNumberOfOutstandingRequests(c);
        EXPECT_EQ(lpGetLastFailure(c), f.failure);
        EXPECT_EQ(lpGetLastFailureDetail(c), f.detail);
        if (f.failure == KELO_FAILURE_SOCKET) { EXPECT_NE(lpGetLastSocketError(), 0); }
        if (f.failure == KELO_FAILURE_REFUSED) {
            EXPECT_EQ(lpIsInSyncMode(c) ? lpExitSyncMode(c) : lpEnterTimeSyncMode(c), 0);
            EXPECT_EQ(lpGetLastFailure(c), KELO_FAILURE_NONE);
        }
        lpCloseConnection(c);
        connection_ = nullptr;
    }
    EXPECT_EQ(lpGetLastFailure(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetLastFailureDetail(nullptr), KELO_ERROR_ARGUMENT);
}

// No profile (-3) is an answer, not a failure: the note says none.
TEST_F(FailureReportTest, NoProfileIsNoFailure) {
    answerWith(kCmdProfileRequest, emu::answerBytes(kAnswerNoProfile, {}));
    ScannerConnection* c = open();
    ASSERT_NE(c, nullptr);
    ProfileRecord record;
    ASSERT_EQ(lpGetProfile(c, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetProfile(c, &record), KELO_ERROR_NO_PROFILE);
    EXPECT_EQ(lpGetLastFailure(c), KELO_FAILURE_NONE);
}

}  // namespace
}  // namespace kelo::test
