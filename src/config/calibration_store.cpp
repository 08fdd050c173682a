// SPDX-License-Identifier: Apache-2.0
// The calibration store: retrieval and the exports answered from memory,
// plus the scan-window read straight from the scanner.
#include "config/calibration_store.h"

#include <new>

#include "config/calibration_answer.h"
#include "config/laser_calibration.h"
#include "core/call_outcome.h"
#include "core/scanner_connection.h"
#include "kelo_dll/calibration.h"

namespace kelo {
namespace {

// Stores each field of the answer into the laser's record as it arrives.
class StoreSink : public CalibrationAnswerSink {
public:
    StoreSink(ScannerConnection& connection, std::int32_t laserIndex)
        : connection_(connection), laserIndex_(laserIndex) {}

    bool failed() const { return failed_; }

    void headerReceived() override {
        try {
            record_ = &connection_.laserCalibrations[laserIndex_];
        } catch (const std::bad_alloc&) {
            failed_ = true;
        }
    }

    double* numberTarget(int index) override {
        if (record_ == nullptr) return &scratch_;
        if (index < kPositionValues) return &record_->positionCalibration[index];
        return &record_->transformParameters[index - kPositionValues];
    }

    void wordReceived(int index, std::int32_t value) override {
        if (record_ == nullptr) return;
        if (index == kSpareWordIndex) {
            record_->spareWord = value;
        } else if (index == kLaserCountWordIndex) {
            record_->laserCount = value;
        } else {
            record_->scanWindow[index - kFirstWindowWordIndex] =
                static_cast<double>(value) / kScanWindowScale;
        }
    }

private:
    ScannerConnection& connection_;
    std::int32_t laserIndex_;
    LaserCalibration* record_ = nullptr;
    double scratch_ = 0.0;
    bool failed_ = false;
};

// Keeps only the four window words, as received.
class WindowSink : public CalibrationAnswerSink {
public:
    explicit WindowSink(std::int32_t* const outputs[kScanWindowValues]) {
        for (int i = 0; i < kScanWindowValues; ++i) outputs_[i] = outputs[i];
    }
    double* numberTarget(int) override { return nullptr; }
    void wordReceived(int index, std::int32_t value) override {
        if (index >= kFirstWindowWordIndex) *outputs_[index - kFirstWindowWordIndex] = value;
    }

private:
    std::int32_t* outputs_[kScanWindowValues] = {};
};

const LaserCalibration* findLaser(const ScannerConnection& connection, std::int32_t laserIndex) {
    const auto it = connection.laserCalibrations.find(laserIndex);
    return it == connection.laserCalibrations.end() ? nullptr : &it->second;
}

}  // namespace

int retrieveLaserCalibration(ScannerConnection& connection, std::int32_t laserIndex) {
    if (sendCalibrationRequest(connection.link(), static_cast<std::uint32_t>(laserIndex)) != 0)
        return -1;
    StoreSink sink(connection, laserIndex);
    const int result = readCalibrationAnswer(connection.link(), sink);
    // The store could not take the laser: memory ran out.
    if (result == 0 && sink.failed()) return outOfMemory(&connection);
    return result;
}

}  // namespace kelo

using kelo::LaserCalibration;

extern "C" {

KELO_API int32_t KELO_CALL lpRetrieveCalibrationValues(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    if (kelo::retrieveLaserCalibration(*connection, 0) != 0) return KELO_ERROR_IO;
    // The laser count is read again from laser 0's record before each pass;
    // the index table bounds the loop whatever count the scanner reports.
    for (std::int32_t i = 1; i < kelo::kLaserIndexTableSize; ++i) {
        const LaserCalibration* laser0 = kelo::findLaser(*connection, 0);
        if (laser0 == nullptr || i >= laser0->laserCount) break;
        if (kelo::retrieveLaserCalibration(
                *connection, static_cast<std::int32_t>(kelo::kLaserIndexTable[i])) != 0)
            return KELO_ERROR_IO;
    }
    return KELO_OK;
}

KELO_API int32_t KELO_CALL lpGetLaserCount(ScannerConnection* connection) {
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    const LaserCalibration* laser0 = kelo::findLaser(*connection, 0);
    return laser0 == nullptr ? kelo::refuse(connection, KELO_ERROR_STATE) : laser0->laserCount;
}

KELO_API int32_t KELO_CALL lpGetScanWindow(ScannerConnection* connection, double* out1,
                                           double* out2, double* out3, double* out4) {
    if (!kelo::beginCall(connection, out1, out2, out3, out4)) return KELO_ERROR_ARGUMENT;
    const LaserCalibration* laser0 = kelo::findLaser(*connection, 0);
    if (laser0 == nullptr) return kelo::refuse(connection, KELO_ERROR_STATE);
    // The scanner's window order differs from the order callers expect.
    *out1 = laser0->scanWindow[0];
    *out2 = laser0->scanWindow[2];
    *out3 = laser0->scanWindow[3];
    *out4 = laser0->scanWindow[1];
    return KELO_OK;
}

KELO_API int32_t KELO_CALL lpReadScanWindowN(ScannerConnection* connection, uint32_t laserIndex,
                                             int32_t* out1, int32_t* out2, int32_t* out3,
                                             int32_t* out4) {
    if (!kelo::beginCall(connection, out1, out2, out3, out4)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    if (kelo::sendCalibrationRequest(connection->link(), laserIndex) != 0) return KELO_ERROR_IO;
    std::int32_t* const outputs[kelo::kScanWindowValues] = {out1, out2, out3, out4};
    kelo::WindowSink sink(outputs);
    return kelo::readCalibrationAnswer(connection->link(), sink) == 0 ? KELO_OK : KELO_ERROR_IO;
}

KELO_API int32_t KELO_CALL lpGetTransformParametersN(
    ScannerConnection* connection, int32_t laserIndex, double* p1, double* p2, double* p3,
    double* p4, double* p5, double* p6, double* p7, double* p8, double* p9, double* p10,
    double* p11, double* p12, double* p13, double* p14) {
    double* const outputs[kelo::kTransformValues] = {p1, p2,  p3,  p4,  p5,  p6,  p7,
                                                      p8, p9, p10, p11, p12, p13, p14};
    if (!kelo::beginCall(connection)) return KELO_ERROR_ARGUMENT;
    for (double* output : outputs)
        if (output == nullptr) return kelo::refuse(connection, KELO_ERROR_ARGUMENT);
    const LaserCalibration* laser = kelo::findLaser(*connection, laserIndex);
    if (laser == nullptr) return kelo::refuse(connection, KELO_ERROR_STATE);
    for (int i = 0; i < kelo::kTransformValues; ++i) *outputs[i] = laser->transformParameters[i];
    return KELO_OK;
}

}  // extern "C"
