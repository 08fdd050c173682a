/* SPDX-License-Identifier: Apache-2.0 */
// Every command number the library sends and every answer type it tests.
#pragma once

#include <cstdint>

namespace kelo {

enum CommandCode : std::uint32_t {
    kCmdFirmwareUpdate = 8,
    kCmdProfileRequest = 10,
    kCmdImage = 11,
    kCmdImageScan = 12,
    kCmdScan = 13,
    kCmdParameterFile = 16,
    kCmdSendParameters = 18,
    kCmdScannerStatus = 24,
    kCmdStatusDescription = 26,
    kCmdEnterEncoderSync = 28,
    kCmdEnterTimeSync = 29,
    kCmdHaltSync = 33,
    kCmdExitSync = 35,
    kCmdMultipleProfileRequest = 38,
    kCmdPositionCalibration = 41,
    kCmdIntrinsicCalibration = 42,
    kCmdProfileRequestN = 43,
    kCmdImageN = 44,
    kCmdImageScanN = 45,
    kCmdScanN = 46,
    kCmdCalibration = 47,
    kCmdProfileFromAllLasers = 48,
    kCmdEncoderValue = 49,
    kCmdEnterPulseSync = 52,
    kCmdOldPositionCalibrations = 55,
    kCmdPulseGenerator = 57,
    kCmdOverrideAutoexposure = 58,
    kCmdOverrideScanWindow = 59,
    kCmdOverrideSyncSettings = 60,
    kCmdAlternatingExposure = 61,
    kCmdDiagnosticScan = 85,
    kCmdDiagnosticImageScan = 86,
    kCmdClose = 102,
};

enum AnswerType : std::uint32_t {
    kAnswerProfile = 0,
    kAnswerImage = 1,
    kAnswerScan = 2,
    kAnswerParameterErrors = 21,
    kAnswerNoProfile = 34,
    kAnswerProfileBatch = 39,
};

}  // namespace kelo
