/* SPDX-License-Identifier: Apache-2.0 */
// Where the profile decoder takes its bytes from, and the byte-order copy
// that turns received words into host order.
//
// ExactStream receives every piece straight from the socket, exactly as
// long as asked: nothing beyond the piece is ever taken. It keeps the
// per-piece time-out: data already waiting is taken at once, and a wait,
// bounded by the time-out, starts only when there is none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
// Vector byte swapping where the compiler can target x86 extensions.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define KELO_X86_VECTOR_SWAP 1
#include <immintrin.h>
#endif

#include "core/socket_layer.h"
#include "core/transport.h"
#include "core/wire.h"

namespace kelo {

namespace detail {

inline void copyWordsToHostBytewise(std::uint8_t* out, const std::uint8_t* in, std::size_t words) {
    for (std::size_t i = 0; i < words; ++i, in += 4, out += 4) {
        const std::uint32_t value = wire::getWord(in);
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

enum class SwapKind { Bytewise, Ssse3, Avx2 };

inline SwapKind bestSwap() {
    static const SwapKind kind = __builtin_cpu_supports("avx2")    ? SwapKind::Avx2
                                 : __builtin_cpu_supports("ssse3") ? SwapKind::Ssse3
                                                                   : SwapKind::Bytewise;
    return kind;
}
#endif

}  // namespace detail

// Copies `words` big-endian 32-bit words from source to destination in host
// order; the two may be the same memory. On x86 (a little-endian host) the
// widest byte shuffle the processor has does the work; elsewhere the
// byte-wise form, which is the same on every platform.
inline void copyWordsToHost(void* destination, const void* source, std::size_t words) {
    auto* out = static_cast<std::uint8_t*>(destination);
    const auto* in = static_cast<const std::uint8_t*>(source);
#if defined(KELO_X86_VECTOR_SWAP)
    switch (detail::bestSwap()) {
        case detail::SwapKind::Avx2: return detail::copyWordsToHostAvx2(out, in, words);
        case detail::SwapKind::Ssse3: return detail::copyWordsToHostSsse3(out, in, words);
        case detail::SwapKind::Bytewise: break;
    }
#endif
    detail::copyWordsToHostBytewise(out, in, words);
}

class ExactStream {
public:
    ExactStream(net::Socket s, std::int32_t timeoutMs) : socket_(s), timeoutMs_(timeoutMs) {}
    int receive(void* destination, std::uint32_t length) {
        return receiveExact(socket_, destination, length, 0, timeoutMs_);
    }
    int discard(std::uint32_t length) { return discardExact(socket_, length, timeoutMs_); }
private:
    net::Socket socket_;
    std::int32_t timeoutMs_;
};

}  // namespace kelo
