/* SPDX-License-Identifier: Apache-2.0 */
// Decoding of image answers (type 1) into an ImageRecord.
#pragma once

#include "core/transport.h"
#include "kelo_dll/images.h"

namespace kelo {

// Reads one image answer with the default time-out per piece; the pixels
// land straight in the record and only the five header words are
// converted. 0 stored; -1 on a receive failure or time-out, an answer type
// other than 1 (only its header read), or an image longer than the record
// (read and dropped).
int decodeImage(Link link, ImageRecord* image);

}  // namespace kelo
