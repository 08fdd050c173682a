/* SPDX-License-Identifier: Apache-2.0 */
// The counted string: a big-endian byte count followed by that many bytes of
// text, no terminator. Parameter errors, calibration numbers and calibration
// texts all travel in it; it is read, written and its numbers are converted
// here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/transport.h"

namespace kelo {

// The longest text accepted from a peer. Real texts are a few dozen bytes;
// a larger count is a broken or lying peer and ends the read with -1.
inline constexpr std::uint32_t kMaxCountedStringBytes = 1u << 20;

// Numbers go out with ten significant digits, "%.10g" in the C locale, and
// never take more than this many characters.
inline constexpr std::size_t kMaxNumberTextLength = 63;

// Receives one counted string; the text is cut at an embedded NUL.
// 0, or -1 when it could not be received or its count exceeds the limit
// (noted as too long, with the count).
int readCountedString(Link link, std::string& out);

// Receives one counted string and drops it; results as readCountedString.
int skipCountedString(Link link);

// Receives one counted string and parses it as a number into *out; text
// that holds no number leaves *out unchanged. -1 only when the text could
// not be received.
int readCountedNumber(Link link, double* out);

// "%.10g" in the C locale, whatever locale the host process has set.
void formatCalibrationNumber(double value, std::string& out);

// Parses the longest leading number as "%lf" does in the C locale (leading
// white space skipped, sign, decimal or hexadecimal, inf and nan; a number
// beyond the range of a double gives infinity, one below it zero). False,
// with *out unchanged, when the text holds none.
bool parseCalibrationNumber(const std::string& text, double* out);

// Appends each text as a counted string (count, then bytes).
void appendCountedStrings(std::vector<std::uint8_t>& out, const std::vector<std::string>& texts);

// The bytes the texts take as counted strings: 4 + length each.
std::uint32_t countedStringsSize(const std::vector<std::string>& texts);

}  // namespace kelo
