/* SPDX-License-Identifier: Apache-2.0 */
// The TCP segments of a packet capture file (pcap or pcapng, read with
// libpcap), IPv4 only: the scanner protocol runs on IPv4.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelo::replay {

using Bytes = std::vector<std::uint8_t>;

struct TcpSegment {
    std::size_t frame = 0;                 // packet number in the file, from 1
    std::uint32_t sourceAddress = 0;       // network order
    std::uint32_t destinationAddress = 0;  // network order
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    std::uint32_t sequence = 0;
    bool syn = false;
    bool ack = false;
    Bytes payload;  // as captured: a cut snapshot leaves the tail out
};

// Takes one captured frame of the given libpcap link type apart; false when
// it is not an unfragmented IPv4 TCP segment.
bool parseFrame(int linkType, const std::uint8_t* data, std::size_t capturedLength,
                TcpSegment* segment);

// Every TCP segment of the file in capture order; false with a reason when
// the file cannot be read or its link type is not one parseFrame knows.
bool readTcpSegments(const std::string& path, std::vector<TcpSegment>* segments,
                     std::string* error);

}  // namespace kelo::replay
