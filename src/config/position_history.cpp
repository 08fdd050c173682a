// SPDX-License-Identifier: Apache-2.0
// Reading position calibrations back: the current values (command 47) and
// the history (command 55).
#include "config/position_history.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "config/calibration_answer.h"
#include "config/counted_string.h"
#include "config/laser_calibration.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"

namespace kelo {
namespace {

// Keeps the first three text values, which are the position calibration.
class PositionSink : public CalibrationAnswerSink {
public:
    explicit PositionSink(double* const outputs[kPositionValues]) {
        for (int i = 0; i < kPositionValues; ++i) outputs_[i] = outputs[i];
    }
    double* numberTarget(int index) override {
        return index < kPositionValues ? outputs_[index] : nullptr;
    }
    void wordReceived(int, std::int32_t) override {}

private:
    double* outputs_[kPositionValues] = {};
};

int readOldPositionEntry(Link link, OldPositionCalibration& entry) {
    for (int k = 0; k < kPositionValues; ++k)
        if (readCountedNumber(link, &entry.position[k]) != 0) return -1;
    std::memset(entry.text, 0, sizeof entry.text);
    std::string text;
    if (readCountedString(link, text) != 0) return -1;
    std::memcpy(entry.text, text.data(), std::min(text.size(), sizeof entry.text - 1));
    return 0;
}

}  // namespace

OldPositionRequest buildOldPositionRequest(std::uint32_t laserIndex, std::uint32_t requestWord) {
    OldPositionRequest request{};
    const auto header = wire::buildHeader(kCmdOldPositionCalibrations, kOldPositionAnnouncedLength);
    std::memcpy(request.data(), header.data(), header.size());
    wire::putWord(request.data() + wire::kHeaderSize, laserIndex);
    wire::putWord(request.data() + wire::kHeaderSize + wire::kWordSize, requestWord);
    return request;
}

std::int32_t readOldPositionAnswer(Link link, OldPositionCalibration* entries,
                                   std::uint32_t capacity) {
    std::uint8_t header[wire::kHeaderSize];
    if (receiveExactDefault(link, header, sizeof header) != kReceiveOk) return -1;
    std::uint8_t countWord[wire::kWordSize];
    if (receiveExactDefault(link, countWord, sizeof countWord) != kReceiveOk) return -1;
    const auto count = static_cast<std::int32_t>(wire::getWord(countWord));
    if (count < 1) return count;
    std::uint32_t written = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        OldPositionCalibration scratch{};
        const bool keep = static_cast<std::uint32_t>(i) < capacity;
        if (readOldPositionEntry(link, keep ? entries[i] : scratch) != 0) return -1;
        if (keep) ++written;
    }
    return static_cast<std::int32_t>(written);
}

}  // namespace kelo

extern "C" {

KELO_API int32_t KELO_CALL lpReadPositionCalibrationN(ScannerConnection* connection,
                                                      uint32_t laserIndex, double* position1,
                                                      double* position2, double* position3) {
    if (!kelo::beginCall(connection, position1, position2, position3)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (kelo::sendCalibrationRequest(connection->link(), laserIndex) != 0) return KELO_ERROR_IO;
    double* const outputs[kelo::kPositionValues] = {position1, position2, position3};
    kelo::PositionSink sink(outputs);
    return kelo::readCalibrationAnswer(connection->link(), sink) == 0 ? KELO_OK : KELO_ERROR_IO;
}

KELO_API int32_t KELO_CALL lpReadOldPositionCalibrationsN(ScannerConnection* connection,
                                                          uint32_t laserIndex,
                                                          OldPositionCalibration* entries,
                                                          uint32_t requestWord) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (entries == nullptr && requestWord > 0) return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const auto request = kelo::buildOldPositionRequest(laserIndex, requestWord);
    if (kelo::sendAll(connection->link(), request.data(),
                      static_cast<std::uint32_t>(request.size())) != 0)
        return KELO_ERROR_IO;
    return kelo::readOldPositionAnswer(connection->link(), entries, requestWord);
}

}  // extern "C"
