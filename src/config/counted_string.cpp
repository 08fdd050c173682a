// SPDX-License-Identifier: Apache-2.0
#include "config/counted_string.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

#include "core/transport.h"
#include "core/wire.h"

namespace kelo {
namespace {

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// from_chars refuses a number beyond the range of a double, where scanning
// in C stores what strtod gives: infinity when it is too large, zero when
// it is too small. Which one is told by where the leading digit stands.
double outOfRangeValue(const char* first, const char* last, bool hex) {
    long long integerDigits = 0, zerosAfterPoint = 0;
    bool afterPoint = false, significant = false;
    const char* p = first;
    for (; p < last; ++p) {
        if (*p == '.') {
            afterPoint = true;
            continue;
        }
        if (!(hex ? isHexDigit(*p) : isDecimalDigit(*p))) break;
        if (!significant && *p == '0') {
            if (afterPoint) ++zerosAfterPoint;
            continue;
        }
        significant = true;
        if (!afterPoint) ++integerDigits;
    }
    long long exponent = 0;
    if (p < last && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')) {
        ++p;
        const bool negative = p < last && *p == '-';
        if (p < last && (*p == '+' || *p == '-')) ++p;
        for (; p < last && isDecimalDigit(*p); ++p) {
            if (exponent < 1000000000LL) exponent = exponent * 10 + (*p - '0');
        }
        if (negative) exponent = -exponent;
    }
    const long long digitWidth = hex ? 4 : 1;
    const long long leading = integerDigits > 0 ? integerDigits : -zerosAfterPoint;
    return leading * digitWidth + exponent > 0 ? HUGE_VAL : 0.0;
}

}  // namespace

namespace {

// The count of the next counted string, or -1 when it could not be
// received or exceeds the limit.
std::int64_t receiveCount(Link link) {
    std::uint8_t countBytes[wire::kWordSize];
    if (receiveExactDefault(link, countBytes, sizeof countBytes) != kReceiveOk) return -1;
    const std::uint32_t count = wire::getWord(countBytes);
    if (count > kMaxCountedStringBytes) {
        noteFailure(link.failure, KELO_FAILURE_TOO_LONG, static_cast<std::int32_t>(count));
        return -1;
    }
    return count;
}

}  // namespace

int readCountedString(Link link, std::string& out) {
    const std::int64_t received = receiveCount(link);
    if (received < 0) return -1;
    const auto count = static_cast<std::uint32_t>(received);
    std::string text;
    try {
        text.assign(count, '\0');
    } catch (const std::bad_alloc&) {
        noteFailure(link.failure, KELO_FAILURE_TOO_LONG, static_cast<std::int32_t>(count));
        return -1;
    }
    if (count > 0 && receiveExactDefault(link, text.data(), count) != kReceiveOk) return -1;
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        // Keep only the text: the buffer the count asked for may be far larger.
        try {
            out.assign(text.data(), nul);
            out.shrink_to_fit();
        } catch (const std::bad_alloc&) {
            noteFailure(link.failure, KELO_FAILURE_TOO_LONG, static_cast<std::int32_t>(count));
            return -1;
        }
        return 0;
    }
    out.swap(text);
    return 0;
}

int skipCountedString(Link link) {
    const std::int64_t count = receiveCount(link);
    if (count < 0) return -1;
    return discardExact(link, static_cast<std::uint32_t>(count), kDefaultTimeoutMs) == kReceiveOk ? 0 : -1;
}

int readCountedNumber(Link link, double* out) {
    std::string text;
    if (readCountedString(link, text) != 0) return -1;
    parseCalibrationNumber(text, out);
    return 0;
}

void formatCalibrationNumber(double value, std::string& out) {
    // to_chars in general form with a precision is defined as printf's %.*g
    // in the C locale, so the host's numeric locale cannot change the text.
    char buffer[kMaxNumberTextLength + 1] = {};
    const auto result =
        std::to_chars(buffer, buffer + kMaxNumberTextLength, value, std::chars_format::general, 10);
    if (result.ec != std::errc()) {
        out.clear();
        return;
    }
    out.assign(buffer, result.ptr);
}

bool parseCalibrationNumber(const std::string& text, double* out) {
    const char* p = text.c_str();
    const char* end = p + text.size();
    while (p < end && isCSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // from_chars takes neither a '+' nor a second sign nor the 0x prefix;
    // the sign is handled here so that "+1" and "-0x1p3" read as scanf reads them.
    if (p == end || *p == '+' || *p == '-') return false;
    double value = 0.0;
    const bool hex = end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
                     ((end - p >= 3 && isHexDigit(p[2])) ||
                      (end - p >= 4 && p[2] == '.' && isHexDigit(p[3])));
    const char* digits = hex ? p + 2 : p;
    const std::from_chars_result result = std::from_chars(
        digits, end, value, hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = outOfRangeValue(digits, result.ptr, hex);
    } else if (result.ec != std::errc()) {
        return false;
    }
    *out = negative ? -value : value;
    return true;
}

void appendCountedStrings(std::vector<std::uint8_t>& out, const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        std::uint8_t count[wire::kWordSize];
        wire::putWord(count, static_cast<std::uint32_t>(text.size()));
        out.insert(out.end(), count, count + wire::kWordSize);
        out.insert(out.end(), text.begin(), text.end());
    }
}

std::uint32_t countedStringsSize(const std::vector<std::string>& texts) {
    std::uint32_t size = 0;
    for (const std::string& text : texts)
        size += static_cast<std::uint32_t>(wire::kWordSize + text.size());
    return size;
}

}  // namespace kelo
