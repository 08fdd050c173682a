/* SPDX-License-Identifier: Apache-2.0 */
// Where commands and answers end in the two byte streams of a session, and
// how many answers each command is owed; shared by the recording and the
// server that plays it back.
#pragma once

#include <cstdint>

#include "core/command_codes.h"
#include "core/wire.h"
#include "kelo_dll/api.h"

namespace kelo::replay {

inline constexpr std::uint16_t kScannerPort = KELO_SCANNER_TCP_PORT;
inline constexpr std::size_t kHeaderSize = wire::kHeaderSize;
inline constexpr std::uint32_t kOwedUnknown = ~0u;

// Payload bytes after a command header: the length word, plus the request
// word that command 55 sends beyond the length it announces.
inline std::uint64_t commandPayloadSize(std::uint32_t code, std::uint32_t lengthWord) {
    return std::uint64_t(lengthWord) + (code == kCmdOldPositionCalibrations ? wire::kWordSize : 0);
}

// Answers a command is owed (each an 8-byte header and the bytes its length
// word counts); kOwedUnknown for a code the library never sends.
inline std::uint32_t answersOwed(std::uint32_t code) {
    switch (code) {
        case kCmdEnterEncoderSync:
        case kCmdEnterTimeSync:
        case kCmdHaltSync:
        case kCmdExitSync:
        case kCmdPositionCalibration:
        case kCmdIntrinsicCalibration:
        case kCmdEncoderValue:
        case kCmdEnterPulseSync:
        case kCmdPulseGenerator:
        case kCmdOverrideAutoexposure:
        case kCmdOverrideScanWindow:
        case kCmdOverrideSyncSettings:
        case kCmdAlternatingExposure:
        case kCmdClose:
            return 0;
        case kCmdImageScan:
        case kCmdImageScanN:
        case kCmdDiagnosticImageScan:
            return 2;
        case kCmdFirmwareUpdate:
        case kCmdProfileRequest:
        case kCmdImage:
        case kCmdScan:
        case kCmdParameterFile:
        case kCmdSendParameters:
        case kCmdScannerStatus:
        case kCmdStatusDescription:
        case kCmdMultipleProfileRequest:
        case kCmdProfileRequestN:
        case kCmdImageN:
        case kCmdScanN:
        case kCmdCalibration:
        case kCmdProfileFromAllLasers:
        case kCmdOldPositionCalibrations:
        case kCmdDiagnosticScan:
            return 1;
        default:
            return kOwedUnknown;
    }
}

}  // namespace kelo::replay
