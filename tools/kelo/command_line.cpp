// SPDX-License-Identifier: Apache-2.0
#include "command_line.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>

namespace kelo::cli {

bool parseInteger(const std::string& text, std::int64_t minimum, std::int64_t maximum,
                  std::int64_t* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    if (value < minimum || value > maximum) return false;
    *out = value;
    return true;
}

bool CommandLine::parse(int argc, char** argv, const std::set<std::string>& valueOptions,
                        const std::set<std::string>& flags) {
    bool onlyPositional = false;
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (onlyPositional || word.size() < 2 || word[0] != '-' || word == "-") {
            positional_.push_back(word);
            continue;
        }
        if (word == "--") {
            onlyPositional = true;
            continue;
        }
        if (word == "-h" || word == "--help") {
            options_.emplace("help", "");
            continue;
        }
        if (word.compare(0, 2, "--") != 0) {
            error_ = "unknown option " + word;
            return false;
        }
        std::string name = word.substr(2);
        std::string inlineValue;
        bool hasInline = false;
        const auto equals = name.find('=');
        if (equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
            hasInline = true;
        }
        if (valueOptions.count(name)) {
            if (hasInline) {
                options_.emplace(name, inlineValue);
            } else if (i + 1 < argc) {
                options_.emplace(name, argv[++i]);
            } else {
                error_ = "--" + name + " needs a value";
                return false;
            }
        } else if (flags.count(name) && !hasInline) {
            options_.emplace(name, "");
        } else {
            error_ = "unknown option --" + name;
            return false;
        }
    }
    return true;
}

bool CommandLine::has(const std::string& name) const { return options_.count(name) != 0; }

std::string CommandLine::value(const std::string& name, const std::string& fallback) const {
    // The last occurrence wins, as people expect when they repeat an option.
    auto range = options_.equal_range(name);
    if (range.first == range.second) return fallback;
    return std::prev(range.second)->second;
}

std::vector<std::string> CommandLine::values(const std::string& name) const {
    std::vector<std::string> out;
    auto range = options_.equal_range(name);
    for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
    return out;
}

bool CommandLine::number(const std::string& name, std::int64_t fallback, std::int64_t minimum,
                         std::int64_t maximum, std::int64_t* out) {
    if (!has(name)) {
        *out = fallback;
        return true;
    }
    const std::string text = value(name);
    if (parseInteger(text, minimum, maximum, out)) return true;
    error_ = "--" + name + ": expected a whole number from " + std::to_string(minimum) + " to " +
             std::to_string(maximum) + ", got '" + text + "'";
    return false;
}

}  // namespace kelo::cli
