#include "acquisition/scan_payload.h"

#include <algorithm>

#include "core/transport.h"

namespace kelo {
namespace {
constexpr std::uint32_t kDiscardChunk = 16 * 1024;
}

int receiveBoundedPayload(net::Socket s, void* destination, std::uint32_t length,
                          std::size_t capacity) {
    if (length <= capacity) {
        return receiveExactDefault(s, destination, length) == kReceiveOk ? 0 : -1;
    }
    std::uint8_t scratch[kDiscardChunk];
    std::uint32_t left = length;
    while (left > 0) {
        const std::uint32_t piece = std::min(left, kDiscardChunk);
        if (receiveExactDefault(s, scratch, piece) != kReceiveOk) return -1;
        left -= piece;
    }
    return -1;
}

}  // namespace kelo
