// SPDX-License-Identifier: Apache-2.0
#include "acquisition/image_decoder.h"

#include "acquisition/scan_payload.h"
#include "core/command_codes.h"
#include "core/transport.h"
#include "core/wire.h"

namespace kelo {
namespace {
constexpr std::size_t kImageHeaderWords = KELO_IMAGE_HEADER_SIZE / wire::kWordSize;
}

int decodeImage(net::Socket s, ImageRecord* image) {
    std::uint8_t headerBytes[wire::kHeaderSize];
    if (receiveExactDefault(s, headerBytes, sizeof headerBytes) != kReceiveOk) return -1;
    const wire::AnswerHeader header = wire::parseAnswerHeader(headerBytes);
    if (header.type != kAnswerImage) return -1;
    if (receiveBoundedPayload(s, image, header.length, sizeof(ImageRecord)) != 0) return -1;
    wire::wordsToHost(image, kImageHeaderWords);
    return 0;
}

}  // namespace kelo
