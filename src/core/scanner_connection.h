/* SPDX-License-Identifier: Apache-2.0 */
// The per-scanner object behind a connection handle.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "config/laser_calibration.h"
#include "core/failure.h"
#include "core/socket_layer.h"
#include "core/transport.h"
#include "kelo_dll/api.h"

struct ScannerConnection {
    kelo::net::Socket socket = kelo::net::kInvalidSocket;
    // Profile answers owed by the scanner and not yet read.
    std::uint32_t outstandingRequests = 0;
    // Messages of the last parameter upload, in the order received. A deque
    // keeps the text of earlier messages in place while more are appended,
    // so pointers handed out stay valid until the list is cleared.
    std::deque<std::string> errorMessages;
    // The status record last fetched: key to value.
    std::map<std::int32_t, std::int32_t> statusValues;
    // Calibration store, by laser index.
    std::map<std::int32_t, kelo::LaserCalibration> laserCalibrations;
    // 0 idle, non-zero synchronised.
    std::uint8_t syncFlag = 0;
    // Why the last call on the connection failed.
    kelo::Failure failure;
    // Where batch reads look at what has arrived before taking it; made
    // once with the connection so that no read allocates. A batch of 100
    // standard profiles takes one or two looks: each system call costs more
    // than moving a profile. Null only when the allocation failed (then no
    // connection is handed out).
    static constexpr std::size_t kReadAheadSize = 256 * 1024;
    std::unique_ptr<std::uint8_t[]> readAhead{new (std::nothrow) std::uint8_t[kReadAheadSize]};

    bool synchronised() const { return syncFlag != 0; }
    // The socket with this connection's failure note, for the transport.
    kelo::Link link() { return kelo::Link{socket, &failure}; }
};
