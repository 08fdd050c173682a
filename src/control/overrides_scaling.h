/* SPDX-License-Identifier: Apache-2.0 */
// Real-valued settings on the wire: value times a fixed scale, truncated
// toward zero to a signed 32-bit word.
#pragma once

#include <cstdint>

// On 32-bit x86 the x87 unit would compute the product at the precision the
// host program has set, so the DLL must do its double arithmetic in SSE2.
#if (defined(__GNUC__) && defined(__i386__) && !defined(__SSE2_MATH__)) || \
    (defined(_MSC_VER) && defined(_M_IX86) && (!defined(_M_IX86_FP) || _M_IX86_FP < 2))
#error "build with SSE2 double arithmetic (-msse2 -mfpmath=sse, or /arch:SSE2)"
#endif

namespace kelo {

inline constexpr double kScaleMicro = 1000000.0;
inline constexpr double kScaleTenThousand = 10000.0;
inline constexpr double kScaleMilli = 1000.0;
// Sent for a product outside the signed 32-bit range and for NaN.
inline constexpr std::int32_t kScaledOutOfRange = INT32_MIN;

inline std::int32_t scaledValue(double value, double scale) {
    const double product = value * scale;
    // Both bounds exclusive: everything strictly between truncates into range.
    if (!(product > -2147483649.0 && product < 2147483648.0)) return kScaledOutOfRange;
    // The conversion truncates toward zero.
    return static_cast<std::int32_t>(product);
}

// The word as it is put on the wire (two's complement bits).
inline std::uint32_t scaledWord(double value, double scale) {
    return static_cast<std::uint32_t>(scaledValue(value, scale));
}

}  // namespace kelo
