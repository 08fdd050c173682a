/* SPDX-License-Identifier: Apache-2.0 */
// Turning big-endian words as they arrived into host order, in place or
// while copying: the one conversion every record read uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
// Vector byte swapping where the compiler can target x86 extensions.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define KELO_X86_VECTOR_SWAP 1
#include <immintrin.h>
#endif

namespace kelo {

namespace detail {

inline void copyWordsToHostBytewise(std::uint8_t* out, const std::uint8_t* in, std::size_t words) {
    for (std::size_t i = 0; i < words; ++i, in += 4, out += 4) {
        const std::uint32_t value = (std::uint32_t(in[0]) << 24) | (std::uint32_t(in[1]) << 16) |
                                    (std::uint32_t(in[2]) << 8) | std::uint32_t(in[3]);
        std::memcpy(out, &value, 4);
    }
}

#if defined(KELO_X86_VECTOR_SWAP)
// One byte shuffle turns four words at a time; 32 bytes per step with AVX2.
__attribute__((target("avx2"))) inline void copyWordsToHostAvx2(std::uint8_t* out, const std::uint8_t* in,
                                                              std::size_t words) {
    const __m256i order = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12,  //
                                           3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    std::size_t i = 0;
    for (; i + 8 <= words; i += 8, in += 32, out += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_shuffle_epi8(x, order));
    }
    copyWordsToHostBytewise(out, in, words - i);
}

__attribute__((target("ssse3"))) inline void copyWordsToHostSsse3(std::uint8_t* out, const std::uint8_t* in,
                                                                std::size_t words) {
    const __m128i order = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    std::size_t i = 0;
    for (; i + 4 <= words; i += 4, in += 16, out += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(x, order));
    }
    copyWordsToHostBytewise(out, in, words - i);
}
#endif

}  // namespace detail

// Copies `words` big-endian 32-bit words from source to destination in host
// order; the two may be the same memory. On x86 (a little-endian host) the
// widest byte shuffle the processor has does the work (the compiler's
// run-time CPU test reads what the runtime found at start-up); elsewhere
// the byte-wise form, which is right on hosts of either byte order.
inline void copyWordsToHost(void* destination, const void* source, std::size_t words) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const auto* in = static_cast<const std::uint8_t*>(source);
#if defined(KELO_X86_VECTOR_SWAP)
    if (__builtin_cpu_supports("avx2")) return detail::copyWordsToHostAvx2(out, in, words);
    if (__builtin_cpu_supports("ssse3")) return detail::copyWordsToHostSsse3(out, in, words);
#endif
    detail::copyWordsToHostBytewise(out, in, words);
}

// The same, in place.
inline void wordsToHost(void* words, std::size_t count) { copyWordsToHost(words, words, count); }

}  // namespace kelo
