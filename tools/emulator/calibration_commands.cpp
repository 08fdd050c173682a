// SPDX-License-Identifier: Apache-2.0
// Calibration commands: 47 (read a laser's calibration), 42 (intrinsic
// upload, becomes the transform parameters), 41 (position upload, the
// previous values go to the history) and 55 (the history).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/command_codes.h"
#include "core/wire.h"
#include "emulator/calibration_state.h"

namespace kelo::emu {

EmulatedLaserCalibration& CalibrationState::laser(std::uint32_t index) {
    auto it = lasers.find(index);
    if (it != lasers.end()) return it->second;
    EmulatedLaserCalibration& laser = lasers[index];
    const double offset = static_cast<double>(index % 16);
    laser.position[0] = 12.5 + offset;
    laser.position[1] = -3.25;
    laser.position[2] = 0.001 * (offset + 1.0);
    laser.positionText = "Date:.....January 01 2024 08:00 AM";
    const double transform[14] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0,
                                  0.0, 1.0, 100.0 + offset, 0.25, -0.125, 2.0e-6, 3.0};
    for (int i = 0; i < 14; ++i) laser.transform[i] = transform[i];
    laser.spareWord = 7;
    const std::int32_t window[4] = {-50000, 50000, 20000, 120000};
    for (int i = 0; i < 4; ++i) laser.scanWindow[i] = window[i];
    return laser;
}

bool readOldPositionRequestWord(Session& session, std::uint32_t* requestWord) {
    std::uint8_t word[wire::kWordSize];
    if (!session.readExact(word, sizeof word)) return false;
    *requestWord = wire::getWord(word);
    return true;
}

std::string calibrationText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

namespace {

// Walks the counted strings of an upload's payload.
class PayloadReader {
public:
    explicit PayloadReader(const Bytes& payload) : payload_(payload) {}

    bool word(std::uint32_t* value) {
        if (payload_.size() - offset_ < wire::kWordSize) return false;
        *value = wire::getWord(payload_.data() + offset_);
        offset_ += wire::kWordSize;
        return true;
    }
    bool text(std::string* out) {
        std::uint32_t count = 0;
        if (!word(&count) || payload_.size() - offset_ < count) return false;
        out->assign(payload_.begin() + static_cast<long>(offset_),
                    payload_.begin() + static_cast<long>(offset_ + count));
        offset_ += count;
        return true;
    }
    bool number(double* out) {
        std::string value;
        if (!text(&value)) return false;
        char* end = nullptr;
        *out = std::strtod(value.c_str(), &end);
        return end != value.c_str();
    }
    bool atEnd() const { return offset_ == payload_.size(); }

private:
    const Bytes& payload_;
    std::size_t offset_ = 0;
};

CalibrationState& calibrations(Session& session) {
    return session.emulator().state<CalibrationState>();
}

void answerCalibration(Session& session, const Command& command) {
    const std::uint32_t index = command.word(0);
    Bytes payload;
    {
        CalibrationState& state = calibrations(session);
        std::lock_guard<std::mutex> lock(state.mutex);
        const EmulatedLaserCalibration& laser = state.laser(index);
        for (double value : laser.position) appendCountedString(payload, calibrationText(value));
        for (double value : laser.transform) appendCountedString(payload, calibrationText(value));
        appendWord(payload, static_cast<std::uint32_t>(laser.spareWord));
        appendWord(payload, static_cast<std::uint32_t>(session.emulator().config().laserCount));
        for (std::int32_t word : laser.scanWindow) appendWord(payload, static_cast<std::uint32_t>(word));
    }
    session.sendAnswer(kCmdCalibration, payload);
}

void takeIntrinsicCalibration(Session& session, const Command& command) {
    PayloadReader reader(command.payload);
    std::uint32_t index = 0;
    double values[14] = {};
    std::uint32_t trailer = 0;
    bool valid = reader.word(&index);
    for (int i = 0; valid && i < 14; ++i) valid = reader.number(&values[i]);
    valid = valid && reader.word(&trailer) && trailer == 0xAAAAAAAAu && reader.atEnd();
    if (!valid) {
        session.emulator().log("malformed intrinsic calibration ignored");
        return;
    }
    CalibrationState& state = calibrations(session);
    std::lock_guard<std::mutex> lock(state.mutex);
    EmulatedLaserCalibration& laser = state.laser(index);
    for (int i = 0; i < 14; ++i) laser.transform[i] = values[i];
}

void takePositionCalibration(Session& session, const Command& command) {
    PayloadReader reader(command.payload);
    std::uint32_t index = 0;
    double values[3] = {};
    std::string text;
    bool valid = reader.word(&index);
    for (int i = 0; valid && i < 3; ++i) valid = reader.number(&values[i]);
    valid = valid && reader.text(&text) && reader.atEnd();
    if (!valid) {
        session.emulator().log("malformed position calibration ignored");
        return;
    }
    CalibrationState& state = calibrations(session);
    std::lock_guard<std::mutex> lock(state.mutex);
    EmulatedLaserCalibration& laser = state.laser(index);
    auto& history = state.history[index];
    PositionHistoryEntry previous;
    for (int i = 0; i < 3; ++i) previous.position[i] = laser.position[i];
    previous.text = laser.positionText;
    history.insert(history.begin(), previous);
    if (history.size() > CalibrationState::kHistoryLimit) history.pop_back();
    for (int i = 0; i < 3; ++i) laser.position[i] = values[i];
    laser.positionText = text;
}

// Answers with at most requestWord entries, the most recent first.
void answerPositionHistory(Session& session, const Command& command) {
    std::uint32_t requestWord = 0;
    if (!readOldPositionRequestWord(session, &requestWord)) return;
    const std::uint32_t index = command.word(0);
    Bytes payload;
    {
        CalibrationState& state = calibrations(session);
        std::lock_guard<std::mutex> lock(state.mutex);
        const auto& history = state.history[index];
        const std::size_t count = std::min<std::size_t>(history.size(), requestWord);
        appendWord(payload, static_cast<std::uint32_t>(count));
        for (std::size_t i = 0; i < count; ++i) {
            for (double value : history[i].position)
                appendCountedString(payload, calibrationText(value));
            appendCountedString(payload, history[i].text);
        }
    }
    session.sendAnswer(kCmdOldPositionCalibrations, payload);
}

const CommandRegistration calibrationReg{kCmdCalibration, answerCalibration};
const CommandRegistration intrinsicReg{kCmdIntrinsicCalibration, takeIntrinsicCalibration};
const CommandRegistration positionReg{kCmdPositionCalibration, takePositionCalibration};
const CommandRegistration historyReg{kCmdOldPositionCalibrations, answerPositionHistory};

}  // namespace
}  // namespace kelo::emu
