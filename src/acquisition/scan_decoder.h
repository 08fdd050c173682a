/* SPDX-License-Identifier: Apache-2.0 */
// Decoding of scan answers (type 2) into a ScanRecord.
#pragma once

#include "core/transport.h"
#include "kelo_dll/scans.h"

namespace kelo {

// Reads one scan answer with the default time-out per piece. 0 stored; -1
// on a receive failure or time-out, an answer type other than 2 (only its
// header read), or a scan the record cannot hold (read and dropped).
int decodeScan(Link link, ScanRecord* scan);

}  // namespace kelo
