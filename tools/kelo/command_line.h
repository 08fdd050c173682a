/* SPDX-License-Identifier: Apache-2.0 */
// The arguments of one kelo subcommand: positional words and --options.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kelo::cli {

class CommandLine {
public:
    // Options in valueOptions take the next word (or --name=value); every
    // other --word is a flag. False with error() set on an unknown option
    // or a value that is missing.
    bool parse(int argc, char** argv, const std::set<std::string>& valueOptions,
               const std::set<std::string>& flags);

    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& name) const;
    std::string value(const std::string& name, const std::string& fallback = "") const;
    // Every value given for a repeatable option, in order.
    std::vector<std::string> values(const std::string& name) const;
    bool helpWanted() const { return has("help"); }

    // Number options: false with error() set when the text is not a number
    // in [minimum, maximum]; the fallback when the option is absent.
    bool number(const std::string& name, std::int64_t fallback, std::int64_t minimum,
                std::int64_t maximum, std::int64_t* out);

    const std::string& error() const { return error_; }

private:
    std::vector<std::string> positional_;
    std::multimap<std::string, std::string> options_;
    std::string error_;
};

// Parses a whole decimal or 0x-hexadecimal integer in [minimum, maximum].
bool parseInteger(const std::string& text, std::int64_t minimum, std::int64_t maximum,
                  std::int64_t* out);

}  // namespace kelo::cli
