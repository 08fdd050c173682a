// SPDX-License-Identifier: Apache-2.0
/** @file
 * kelo::discover: the scanners on the local networks, each with the
 * address its reply came from, ready to open. */
#ifndef KELO_DLL_CPP_DISCOVERY_HPP
#define KELO_DLL_CPP_DISCOVERY_HPP

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "scanner.hpp"

namespace kelo {

/** A scanner that answered a discovery. */
struct FoundScanner {
    /** The reply as the scanner sent it. */
    ScannerInfo info;
    /** The IPv4 address the reply came from, in network byte order. */
    std::uint32_t address;

    /** @return the address as dotted text */
    std::string host() const {
        const auto* octet = reinterpret_cast<const unsigned char*>(&address);
        return std::to_string(octet[0]) + "." + std::to_string(octet[1]) + "." +
               std::to_string(octet[2]) + "." + std::to_string(octet[3]);
    }
    /** @return the scanner's identity: equal identities are the same scanner */
    std::uint32_t identity() const { return info.identity; }
    /**
     * Connects to the scanner at the address it answered from.
     * @param port           TCP port, 1 to 65535
     * @param connectTimeout how long the connect may take; 0 for the library's 1 s
     * @return the open connection
     * @throws Error when no connection could be made (as Scanner's constructor)
     */
    Scanner open(std::uint32_t port = KELO_SCANNER_TCP_PORT,
                 std::chrono::milliseconds connectTimeout = std::chrono::milliseconds(0)) const {
        return Scanner(host(), port, connectTimeout);
    }
};

namespace detail {

inline std::vector<FoundScanner> found(const char* call, std::int32_t result,
                                       const std::vector<ScannerInfo>& records,
                                       const std::vector<std::uint32_t>& addresses) {
    if (result < 0) throw Error(call, result, KELO_FAILURE_SOCKET, 0, lpGetLastSocketError());
    std::vector<FoundScanner> scanners;
    for (std::int32_t i = 0; i < result; ++i) {
        const auto at = static_cast<std::size_t>(i);
        scanners.push_back(FoundScanner{records[at], addresses[at]});
    }
    return scanners;
}

}  // namespace detail

/**
 * Broadcasts a discovery request from every local IPv4 address and
 * collects the replies (lpFindAllScannersWithAddresses): this sends on
 * every local network. Takes at least the quiet period of 500 ms.
 * @param capacity the most scanners reported
 * @return the scanners that answered, each with the address its reply came from
 * @throws Error with the socket error when a socket call failed
 */
inline std::vector<FoundScanner> discover(std::uint32_t capacity = 64) {
    std::vector<ScannerInfo> records(capacity == 0 ? 1 : capacity);
    std::vector<std::uint32_t> addresses(records.size());
    const std::int32_t result = lpFindAllScannersWithAddresses(records.data(), addresses.data(), capacity);
    return detail::found("lpFindAllScannersWithAddresses", result, records, addresses);
}

/** The scanner with this serial number; as discover().
 * @param serialNumber the scanner's serial number
 * @param capacity the most scanners reported
 * @return the scanners that answered
 * @throws Error with the socket error when a socket call failed */
inline std::vector<FoundScanner> discoverBySerialNumber(std::uint32_t serialNumber,
                                                        std::uint32_t capacity = 64) {
    std::vector<ScannerInfo> records(capacity == 0 ? 1 : capacity);
    std::vector<std::uint32_t> addresses(records.size());
    const std::int32_t result = lpFindScannerBySerialNumberWithAddresses(
        serialNumber, records.data(), addresses.data(), capacity);
    return detail::found("lpFindScannerBySerialNumberWithAddresses", result, records, addresses);
}

/** The scanners with this cable id; as discover().
 * @param cableId the cable id
 * @param capacity the most scanners reported
 * @return the scanners that answered
 * @throws Error with the socket error when a socket call failed */
inline std::vector<FoundScanner> discoverByCableId(std::uint32_t cableId, std::uint32_t capacity = 64) {
    std::vector<ScannerInfo> records(capacity == 0 ? 1 : capacity);
    std::vector<std::uint32_t> addresses(records.size());
    const std::int32_t result =
        lpFindScannerByCableIdWithAddresses(cableId, records.data(), addresses.data(), capacity);
    return detail::found("lpFindScannerByCableIdWithAddresses", result, records, addresses);
}

}  // namespace kelo

#endif
