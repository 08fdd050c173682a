// SPDX-License-Identifier: Apache-2.0
#include "acquisition/image_decoder.h"

#include "acquisition/scan_payload.h"
#include "core/byte_order.h"
#include "core/command_codes.h"
#include "core/transport.h"
#include "core/wire.h"

namespace kelo {
namespace {
constexpr std::size_t kImageHeaderWords = KELO_IMAGE_HEADER_SIZE / wire::kWordSize;
}

int decodeImage(Link link, ImageRecord* image) {
    std::uint8_t headerBytes[wire::kHeaderSize];
    if (receiveExactDefault(link, headerBytes, sizeof headerBytes) != kReceiveOk) return -1;
    const wire::AnswerHeader header = wire::parseAnswerHeader(headerBytes);
    if (header.type != kAnswerImage) {
        noteFailure(link.failure, KELO_FAILURE_WRONG_TYPE, static_cast<std::int32_t>(header.type));
        return -1;
    }
    if (receiveBoundedPayload(link, image, header.length, sizeof(ImageRecord)) != 0) return -1;
    wordsToHost(image, kImageHeaderWords);
    return 0;
}

}  // namespace kelo
