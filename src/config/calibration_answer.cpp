// SPDX-License-Identifier: Apache-2.0
#include "config/calibration_answer.h"

#include <string>

#include "config/counted_string.h"
#include "core/command_codes.h"
#include "core/transport.h"
#include "core/wire.h"

namespace kelo {

int sendCalibrationRequest(Link link, std::uint32_t laserIndex) {
    return sendCommand(link, wire::buildCommand(kCmdCalibration, laserIndex));
}

int readCalibrationAnswer(Link link, CalibrationAnswerSink& sink) {
    // Both header words are always read: skipping one would leave the rest
    // of the answer out of step with the fields.
    std::uint8_t header[wire::kHeaderSize];
    if (receiveExactDefault(link, header, sizeof header) != kReceiveOk) return -1;
    sink.headerReceived();
    for (int i = 0; i < kCalibrationTextValues; ++i) {
        double* target = sink.numberTarget(i);
        if (target != nullptr) {
            if (readCountedNumber(link, target) != 0) return -1;
        } else {
            std::string discarded;
            if (readCountedString(link, discarded) != 0) return -1;
        }
    }
    for (int i = 0; i < kCalibrationWords; ++i) {
        std::uint8_t word[wire::kWordSize];
        if (receiveExactDefault(link, word, sizeof word) != kReceiveOk) return -1;
        sink.wordReceived(i, static_cast<std::int32_t>(wire::getWord(word)));
    }
    return 0;
}

}  // namespace kelo
