// Where the profile decoder takes its bytes from.
//
// ExactStream receives every piece straight from the socket, exactly as
// long as asked: nothing beyond the piece is ever taken.
//
// BatchStream serves the profiles of one batch answer. Asking the socket
// for each 8-byte header and each payload separately costs two system
// calls per profile, several times the cost of moving the bytes, so it
// reads ahead into a buffer on the stack. The read-ahead never passes the
// end of the answer as its length word gives it, nor the end the profiles
// seen so far let one expect; the bytes actually asked for are always
// taken, so a scanner whose words disagree is read as far as the exact
// decoding would read it. If bytes were read ahead that no profile used
// (only when the length word claims more than the answer holds), the
// stream is out of step and finish() says so.
//
// Both keep the per-piece time-out: data already waiting is taken at once,
// and a wait, bounded by the time-out, starts only when there is none.
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
    // Pieces go straight to their destination: a profile is best received
    // whole and converted where it lies.
    static constexpr bool kConvertsOnCopy = false;

    ExactStream(net::Socket s, std::int32_t timeoutMs) : socket_(s), timeoutMs_(timeoutMs) {}
    int receive(void* destination, std::uint32_t length) {
        return receiveExact(socket_, destination, length, 0, timeoutMs_);
    }
    // As receive, for whole words, turned into host order.
    int receiveWords(void* destination, std::uint32_t words) {
        const int result = receive(destination, words * 4);
        if (result == kReceiveOk) copyWordsToHost(destination, destination, words);
        return result;
    }

private:
    net::Socket socket_;
    std::int32_t timeoutMs_;
};

class BatchStream {
public:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    // Pieces are copied out of the buffer, and converted on the way.
    static constexpr bool kConvertsOnCopy = true;

    // Until both ends are given, every piece is received exactly.
    BatchStream(net::Socket s, std::int32_t timeoutMs) : socket_(s), timeoutMs_(timeoutMs) {}
    BatchStream(const BatchStream&) = delete;
    BatchStream& operator=(const BatchStream&) = delete;

    // Bytes handed to the decoder so far.
    std::uint64_t position() const { return used_; }
    // The answer's length word says it ends at this position.
    void claimEnd(std::uint64_t end) { claimedEnd_ = end; }
    // The decoder expects the answer to go on to this position.
    void expectEnd(std::uint64_t end) { expectedEnd_ = end; }

    int receive(void* destination, std::uint32_t length) {
        return take(destination, length, false);
    }
    // As receive, for whole words, turned into host order on the way.
    int receiveWords(void* destination, std::uint32_t words) {
        return take(destination, words * 4, true);
    }

    // True when no byte was taken from the socket that the decoder did not use.
    bool finish() const { return begin_ == end_; }

private:
    int take(void* destination, std::uint32_t length, bool words) {
        auto* out = static_cast<std::uint8_t*>(destination);
        while (length > 0) {
            if (begin_ == end_) {
                const int result = fill(length);
                if (result != kReceiveOk) return result;
            }
            std::size_t piece = end_ - begin_ < length ? end_ - begin_ : length;
            if (words) {
                // A word split over two fills goes through a small copy.
                if (piece < 4) {
                    std::uint8_t word[4];
                    const int result = take(word, 4, false);
                    if (result != kReceiveOk) return result;
                    copyWordsToHost(out, word, 1);
                    out += 4;
                    length -= 4;
                    continue;
                }
                piece &= ~std::size_t(3);
                copyWordsToHost(out, buffer_ + begin_, piece / 4);
            } else {
                std::memcpy(out, buffer_ + begin_, piece);
            }
            begin_ += piece;
            used_ += piece;
            out += piece;
            length -= static_cast<std::uint32_t>(piece);
        }
        return kReceiveOk;
    }

    // Refills the empty buffer with at least `needed` bytes (or as many as
    // it holds) and whatever else of the answer is already waiting.
    int fill(std::uint32_t needed) {
        begin_ = end_ = 0;
        const std::uint64_t taken = used_;
        const std::uint64_t end = claimedEnd_ < expectedEnd_ ? claimedEnd_ : expectedEnd_;
        std::uint64_t allowed = end > taken ? end - taken : 0;
        if (allowed < needed) allowed = needed;
        if (allowed > kBufferSize) allowed = kBufferSize;
        const std::size_t least = needed < kBufferSize ? needed : kBufferSize;
        const long seconds = timeoutMs_ / 1000;
        const long microseconds = (timeoutMs_ % 1000) * 1000L;
        while (end_ < least) {
            long result = net::receiveAvailable(socket_, buffer_ + end_, allowed - end_);
            if (result == net::kWouldBlockResult) {
                const net::WaitResult wait = net::waitSocket(socket_, true, false, seconds, microseconds);
                if (wait.ready < 0) return kReceiveFailed;
                if (wait.ready == 0) return kReceiveTimedOut;
                if (!wait.readable) return kReceiveFailed;
                result = net::receiveAvailable(socket_, buffer_ + end_, allowed - end_);
                if (result == net::kWouldBlockResult) continue;
            }
            if (result <= 0) return kReceiveFailed;
            end_ += static_cast<std::size_t>(result);
        }
        return kReceiveOk;
    }

    net::Socket socket_;
    std::int32_t timeoutMs_;
    std::uint64_t claimedEnd_ = 0;
    std::uint64_t expectedEnd_ = 0;
    std::uint64_t used_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::uint8_t buffer_[kBufferSize];
};

}  // namespace kelo
