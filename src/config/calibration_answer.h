/* SPDX-License-Identifier: Apache-2.0 */
// The calibration exchange, command 47: the request and the reading of its
// answer (answer header, 17 counted numbers, spare word, laser count, four
// scan-window words in thousandths). Every user reads the answer through
// readCalibrationAnswer and keeps what it needs as the fields arrive.
#pragma once

#include <cstdint>

#include "core/transport.h"

namespace kelo {

inline constexpr int kCalibrationTextValues = 17;
inline constexpr int kCalibrationWords = 6;
inline constexpr int kSpareWordIndex = 0;
inline constexpr int kLaserCountWordIndex = 1;
inline constexpr int kFirstWindowWordIndex = 2;
inline constexpr double kScanWindowScale = 1000.0;

// Receives the fields of one answer in order.
class CalibrationAnswerSink {
public:
    virtual ~CalibrationAnswerSink() = default;
    // Called once the answer header has arrived.
    virtual void headerReceived() {}
    // Where text value i (0..16) is parsed into; null to discard it.
    virtual double* numberTarget(int index) = 0;
    // Word i (0..5) as a signed value, host order.
    virtual void wordReceived(int index, std::int32_t value) = 0;
};

// Sends the request for laserIndex. 0 or -1.
int sendCalibrationRequest(Link link, std::uint32_t laserIndex);

// Reads one whole answer; every piece is checked. 0, or -1 at the first
// piece that cannot be received (fields delivered before it stay delivered).
int readCalibrationAnswer(Link link, CalibrationAnswerSink& sink);

}  // namespace kelo
