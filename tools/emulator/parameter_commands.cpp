// SPDX-License-Identifier: Apache-2.0
// Parameter commands: 18 (upload a parameter text) and 16 (serve the set).
#include <cerrno>
#include <cstdlib>
#include <string>

#include "core/command_codes.h"
#include "emulator/emulator.h"
#include "emulator/parameter_state.h"

namespace kelo::emu {
namespace {

// The answer type of an accepted upload; anything but 21 means accepted.
constexpr std::uint32_t kAnswerParametersAccepted = kCmdSendParameters;

std::string trim(const std::string& text) {
    const char* blanks = " \t\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

const ParameterRange* findParameter(const std::string& name) {
    for (const ParameterRange& range : knownParameters())
        if (name == range.name) return &range;
    return nullptr;
}

void fillInitial(ParameterState& state) {
    if (!state.values.empty()) return;
    for (const ParameterRange& range : knownParameters()) state.values[range.name] = range.initial;
}

}  // namespace

const std::vector<ParameterRange>& knownParameters() {
    static const std::vector<ParameterRange> parameters = {
        {"ExposureTime", 10, 100000, 500},      {"LaserPower", 0, 100, 80},
        {"ProfileRate", 1, 4000, 2000},         {"Gain", 1, 16, 1},
        {"ScanWindowLeft", -100000, 100000, -50000},
        {"ScanWindowRight", -100000, 100000, 50000},
        {"ScanWindowTop", 0, 500000, 20000},    {"ScanWindowBottom", 0, 500000, 120000},
        {"AutoExposure", 0, 1, 1},              {"EncoderDivider", 1, 65535, 1},
    };
    return parameters;
}

std::vector<std::string> ParameterState::apply(const std::string& text) {
    fillInitial(*this);
    std::vector<std::string> errors;
    std::map<std::string, std::int64_t> changes;
    std::size_t start = 0;
    int lineNumber = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = trim(text.substr(start, end - start));
        ++lineNumber;
        start = end + 1;
        if (line.empty() || line[0] == '#') continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || line.find('\0') != std::string::npos) {
            errors.push_back(where + "expected Name = Value");
            continue;
        }
        const std::string name = trim(line.substr(0, equals));
        const std::string value = trim(line.substr(equals + 1));
        const ParameterRange* range = findParameter(name);
        if (range == nullptr) {
            errors.push_back(where + "unknown parameter " + name);
            continue;
        }
        char* endOfNumber = nullptr;
        errno = 0;
        const long long number = std::strtoll(value.c_str(), &endOfNumber, 10);
        if (value.empty() || *endOfNumber != '\0' || errno != 0 || number < range->minimum ||
            number > range->maximum) {
            errors.push_back(where + name + " must be an integer from " +
                             std::to_string(range->minimum) + " to " +
                             std::to_string(range->maximum));
            continue;
        }
        changes[name] = number;
    }
    if (errors.empty()) {
        for (const auto& [name, number] : changes) values[name] = number;
        ++uploadsAccepted;
    }
    return errors;
}

std::string ParameterState::render() {
    fillInitial(*this);
    std::string text = "# parameter set\n";
    for (const ParameterRange& range : knownParameters())
        text += std::string(range.name) + " = " + std::to_string(values[range.name]) + "\n";
    return text;
}

namespace {

void takeParameters(Session& session, const Command& command) {
    ParameterState& state = session.emulator().state<ParameterState>();
    std::vector<std::string> errors;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        errors = state.apply(std::string(command.payload.begin(), command.payload.end()));
    }
    if (errors.empty()) {
        session.sendAnswer(kAnswerParametersAccepted, Bytes());
        return;
    }
    Bytes payload;
    appendWord(payload, static_cast<std::uint32_t>(errors.size()));
    for (const std::string& error : errors) appendCountedString(payload, error);
    session.sendAnswer(kAnswerParameterErrors, payload);
}

void serveParameters(Session& session, const Command&) {
    ParameterState& state = session.emulator().state<ParameterState>();
    std::string text;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        text = state.render();
    }
    session.sendAnswer(kCmdParameterFile, Bytes(text.begin(), text.end()));
}

const CommandRegistration uploadReg{kCmdSendParameters, takeParameters};
const CommandRegistration fetchReg{kCmdParameterFile, serveParameters};

}  // namespace
}  // namespace kelo::emu
