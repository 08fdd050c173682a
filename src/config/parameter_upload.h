/* SPDX-License-Identifier: Apache-2.0 */
// Limits of the parameter exchanges.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelo {

// A rejection announcing more messages than this is a broken peer: the
// answer is refused with -1 rather than followed.
inline constexpr std::int32_t kMaxErrorMessages = 65536;

// What one upload's messages may hold in all; a rejection that sends more
// is read to its end and refused with -1.
inline constexpr std::size_t kMaxErrorMessageBytes = 16u * 1024u * 1024u;

// The longest parameter text accepted from the scanner (command 16).
inline constexpr std::uint32_t kMaxParameterTextBytes = 64u * 1024u * 1024u;

}  // namespace kelo
