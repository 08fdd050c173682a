// The per-scanner object behind a connection handle.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "config/laser_calibration.h"
#include "core/socket_layer.h"
#include "kelo_dll/api.h"

struct ScannerConnection {
    kelo::net::Socket socket = kelo::net::kInvalidSocket;
    // Profile answers owed by the scanner and not yet read.
    std::uint32_t outstandingRequests = 0;
    // Messages of the last parameter upload, in the order received.
    std::vector<std::string> errorMessages;
    // The status record last fetched: key to value.
    std::map<std::int32_t, std::int32_t> statusValues;
    // Calibration store, by laser index.
    std::map<std::int32_t, kelo::LaserCalibration> laserCalibrations;
    // 0 idle, non-zero synchronised.
    std::uint8_t syncFlag = 0;

    bool synchronised() const { return syncFlag != 0; }
};
