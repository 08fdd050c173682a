/* SPDX-License-Identifier: Apache-2.0 */
// The simulated scanner's parameter set and the grammar it accepts.
//
// A parameter text is a sequence of lines (LF or CR LF). Blank lines and
// lines starting with '#' are ignored; every other line is
//     Name = Value
// where Name is one of the known parameters below and Value an integer in
// its range. A text with any bad line is rejected as a whole, with one
// message per bad line; an accepted text changes the parameters it names.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kelo::emu {

struct ParameterRange {
    const char* name;
    std::int64_t minimum;
    std::int64_t maximum;
    std::int64_t initial;
};

// The known parameters, in the order the scanner lists them.
const std::vector<ParameterRange>& knownParameters();

struct ParameterState {
    std::mutex mutex;
    std::map<std::string, std::int64_t> values;  // filled with the initial values on first use
    std::size_t uploadsAccepted = 0;

    // Validates and, when valid, applies the text; the messages of the
    // bad lines otherwise. Callers hold mutex.
    std::vector<std::string> apply(const std::string& text);
    // The set as the scanner serves it. Callers hold mutex.
    std::string render();
};

}  // namespace kelo::emu
