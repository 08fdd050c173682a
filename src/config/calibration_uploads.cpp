// SPDX-License-Identifier: Apache-2.0
// Intrinsic and position calibration uploads. Neither gets an answer.
#include "config/calibration_uploads.h"

#include <new>

#include "config/counted_string.h"
#include "config/date_line.h"
#include "config/laser_calibration.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/calibration.h"

namespace kelo {
namespace {

void appendWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    std::uint8_t word[wire::kWordSize];
    wire::putWord(word, value);
    out.insert(out.end(), word, word + wire::kWordSize);
}

std::vector<std::uint8_t> buildMessage(std::uint32_t code, std::uint32_t laserIndex,
                                       const std::vector<std::string>& texts, bool trailer) {
    // The length word counts everything after the header.
    const std::uint32_t length = static_cast<std::uint32_t>(
        wire::kWordSize + countedStringsSize(texts) + (trailer ? wire::kWordSize : 0));
    std::vector<std::uint8_t> message(wire::kHeaderSize + wire::kWordSize);
    message.reserve(wire::kHeaderSize + length);
    wire::putWord(message.data(), code);
    wire::putWord(message.data() + wire::kWordSize, length);
    wire::putWord(message.data() + wire::kHeaderSize, laserIndex);
    appendCountedStrings(message, texts);
    if (trailer) appendWord(message, kCalibrationTrailer);
    return message;
}

int sendMessage(Link link, const std::vector<std::uint8_t>& message) {
    return sendAll(link, message.data(), static_cast<std::uint32_t>(message.size()));
}

}  // namespace

std::vector<std::uint8_t> buildIntrinsicCalibration(std::uint32_t laserIndex,
                                                    const double (&values)[kIntrinsicValues]) {
    std::vector<std::string> texts(kIntrinsicValues);
    for (int i = 0; i < kIntrinsicValues; ++i) formatCalibrationNumber(values[i], texts[i]);
    return buildMessage(kCmdIntrinsicCalibration, laserIndex, texts, true);
}

std::vector<std::uint8_t> buildPositionCalibration(std::uint32_t laserIndex,
                                                   const double (&values)[3],
                                                   const std::string& dateLine) {
    std::vector<std::string> texts(kPositionValues + 1);
    for (int i = 0; i < kPositionValues; ++i) formatCalibrationNumber(values[i], texts[i]);
    texts[kPositionValues] = dateLine;
    return buildMessage(kCmdPositionCalibration, laserIndex, texts, false);
}

}  // namespace kelo

extern "C" {

// Sent whatever the sync state: the scanner takes intrinsic values at any time.
KELO_API int32_t KELO_CALL lpSendIntrinsicCalibrationN(
    ScannerConnection* connection, uint32_t laserIndex, double p1, double p2, double p3,
    double p4, double p5, double p6, double p7, double p8, double p9, double p10, double p11,
    double p12, double p13, double p14) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    const double values[kelo::kIntrinsicValues] = {p1, p2,  p3,  p4,  p5,  p6,  p7,
                                                   p8, p9, p10, p11, p12, p13, p14};
    try {
        const auto message = kelo::buildIntrinsicCalibration(laserIndex, values);
        return kelo::sendMessage(connection->link(), message) == 0 ? KELO_OK : KELO_ERROR_IO;
    } catch (const std::bad_alloc&) {
        return kelo::outOfMemory(connection);
    }
}

KELO_API int32_t KELO_CALL lpSendIntrinsicCalibration(ScannerConnection* connection, double p1,
                                                      double p2, double p3, double p4,
                                                      double p5, double p6, double p7,
                                                      double p8, double p9, double p10,
                                                      double p11, double p12, double p13,
                                                      double p14) {
    return lpSendIntrinsicCalibrationN(connection, 0, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10,
                                       p11, p12, p13, p14);
}

KELO_API int32_t KELO_CALL lpSendPositionCalibrationN(ScannerConnection* connection,
                                                      uint32_t laserIndex, double position1,
                                                      double position2, double position3) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const double values[kelo::kPositionValues] = {position1, position2, position3};
    try {
        const auto message =
            kelo::buildPositionCalibration(laserIndex, values, kelo::currentDateLine());
        return kelo::sendMessage(connection->link(), message) == 0 ? KELO_OK : KELO_ERROR_IO;
    } catch (const std::bad_alloc&) {
        return kelo::outOfMemory(connection);
    }
}

}  // extern "C"
