// SPDX-License-Identifier: Apache-2.0
// Built-in answers to the status list (24) and status description (26).
#include <chrono>

#include "core/command_codes.h"
#include "emulator/status_state.h"

namespace kelo::emu {
namespace {

const auto gStarted = std::chrono::steady_clock::now();

const char* const kDescriptions[kStatusKeyCount] = {
    "Serial number",
    "Firmware version",
    "Sensor head temperature in thousandths of a degree Celsius",
    "Time since power-up in seconds",
    "Number of lasers",
    "Error flags, 0 when the scanner is healthy",
    "Profile rate in thousandths of a hertz",
    "Supply voltage in millivolts",
};

const CommandRegistration statusReg{kCmdScannerStatus, [](Session& session, const Command&) {
                                        const auto pairs = statusList(session.emulator());
                                        Bytes payload;
                                        appendWord(payload, static_cast<std::uint32_t>(pairs.size()));
                                        for (const auto& [key, value] : pairs) {
                                            appendWord(payload, key);
                                            appendWord(payload, value);
                                        }
                                        session.sendAnswer(kCmdScannerStatus, payload);
                                    }};

const CommandRegistration descriptionReg{
    kCmdStatusDescription, [](Session& session, const Command& command) {
        Bytes payload;
        appendCountedString(payload, statusDescription(command.word(0)));
        session.sendAnswer(kCmdStatusDescription, payload);
    }};

}  // namespace

std::vector<std::pair<std::uint32_t, std::uint32_t>> statusList(Emulator& emulator) {
    const ScannerConfig& config = emulator.config();
    const auto uptime = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::steady_clock::now() - gStarted)
                            .count();
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs = {
        {kStatusSerialNumber, config.serialNumber},
        {kStatusFirmwareVersion, kEmulatorFirmwareVersion},
        {kStatusTemperatureMilliC, 41250},
        {kStatusUptimeSeconds, static_cast<std::uint32_t>(uptime)},
        {kStatusLaserCount, static_cast<std::uint32_t>(config.laserCount)},
        {kStatusErrorFlags, 0},
        {kStatusProfileRateMilliHz, static_cast<std::uint32_t>(config.profileRateHz * 1000.0)},
        {kStatusSupplyMillivolts, 24010},
    };
    auto& state = emulator.state<StatusState>();
    std::lock_guard<std::mutex> lock(state.mutex);
    pairs.insert(pairs.end(), state.extraPairs.begin(), state.extraPairs.end());
    return pairs;
}

std::string statusDescription(std::uint32_t id) {
    if (id < kStatusKeyCount) return kDescriptions[id];
    return "Unknown status item " + std::to_string(id);
}

}  // namespace kelo::emu
