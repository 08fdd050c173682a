// SPDX-License-Identifier: Apache-2.0
#include "emulator/replay/capture_file.h"

#include <pcap/pcap.h>

#include <cstring>

namespace kelo::replay {
namespace {

constexpr std::uint16_t kEtherTypeIPv4 = 0x0800;
constexpr std::uint16_t kEtherTypeVlan = 0x8100;
constexpr std::uint16_t kEtherTypeQinQ = 0x88A8;
constexpr std::size_t kEthernetHeader = 14;
constexpr std::size_t kVlanTag = 4;
constexpr std::size_t kSllHeader = 16;
constexpr std::size_t kSll2Header = 20;
constexpr std::size_t kNullHeader = 4;
constexpr std::uint32_t kAfInet = 2;  // the BSD loopback family of IPv4 on every system
constexpr std::size_t kIpMinimumHeader = 20;
constexpr std::size_t kTcpMinimumHeader = 20;
constexpr std::uint8_t kProtocolTcp = 6;
constexpr std::uint16_t kFragmentBits = 0x3FFF;  // more-fragments flag and offset
constexpr std::uint8_t kTcpSyn = 0x02;
constexpr std::uint8_t kTcpAck = 0x10;

std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

constexpr std::size_t kNotIPv4 = ~std::size_t(0);

bool knownLinkType(int linkType) {
    switch (linkType) {
        case DLT_EN10MB:
        case DLT_LINUX_SLL:
        case DLT_LINUX_SLL2:
        case DLT_NULL:
        case DLT_LOOP:
        case DLT_RAW:
        case DLT_IPV4:
            return true;
        default:
            return false;
    }
}

// Offset of the IPv4 header after the link-layer header, or kNotIPv4 when
// the frame carries something else.
std::size_t ipOffset(int linkType, const std::uint8_t* data, std::size_t length) {
    switch (linkType) {
        case DLT_EN10MB: {
            std::size_t offset = kEthernetHeader;
            if (length < offset) return kNotIPv4;
            std::uint16_t type = be16(data + 12);
            while ((type == kEtherTypeVlan || type == kEtherTypeQinQ) &&
                   length >= offset + kVlanTag) {
                type = be16(data + offset + 2);
                offset += kVlanTag;
            }
            return type == kEtherTypeIPv4 ? offset : kNotIPv4;
        }
        case DLT_LINUX_SLL:
            return length >= kSllHeader && be16(data + 14) == kEtherTypeIPv4 ? kSllHeader
                                                                             : kNotIPv4;
        case DLT_LINUX_SLL2:
            return length >= kSll2Header && be16(data) == kEtherTypeIPv4 ? kSll2Header : kNotIPv4;
        case DLT_NULL: {
            // The family word is in the byte order of the capturing host.
            if (length < kNullHeader) return kNotIPv4;
            std::uint32_t family;
            std::memcpy(&family, data, sizeof family);
            return family == kAfInet || be32(data) == kAfInet ? kNullHeader : kNotIPv4;
        }
        case DLT_LOOP:
            return length >= kNullHeader && be32(data) == kAfInet ? kNullHeader : kNotIPv4;
        case DLT_RAW:
        case DLT_IPV4:
            return 0;
        default:
            return kNotIPv4;
    }
}

}  // namespace

bool parseFrame(int linkType, const std::uint8_t* data, std::size_t capturedLength,
                TcpSegment* segment) {
    const std::size_t ip = ipOffset(linkType, data, capturedLength);
    if (ip == kNotIPv4 || capturedLength < ip + kIpMinimumHeader) return false;
    const std::uint8_t* header = data + ip;
    const std::size_t ipHeader = std::size_t(header[0] & 0x0F) * 4;
    if ((header[0] >> 4) != 4 || ipHeader < kIpMinimumHeader || header[9] != kProtocolTcp)
        return false;
    if ((be16(header + 6) & kFragmentBits) != 0) return false;
    const std::size_t ipLength = be16(header + 2);
    if (ipLength < ipHeader + kTcpMinimumHeader ||
        capturedLength < ip + ipHeader + kTcpMinimumHeader)
        return false;
    const std::uint8_t* tcp = header + ipHeader;
    const std::size_t tcpHeader = std::size_t(tcp[12] >> 4) * 4;
    if (tcpHeader < kTcpMinimumHeader || ipLength < ipHeader + tcpHeader) return false;

    std::memcpy(&segment->sourceAddress, header + 12, 4);
    std::memcpy(&segment->destinationAddress, header + 16, 4);
    segment->sourcePort = be16(tcp);
    segment->destinationPort = be16(tcp + 2);
    segment->sequence = be32(tcp + 4);
    segment->syn = (tcp[13] & kTcpSyn) != 0;
    segment->ack = (tcp[13] & kTcpAck) != 0;
    // The IP length word, not the frame, bounds the payload: Ethernet pads
    // short frames. A snapshot length may have cut the payload's tail.
    const std::size_t start = ip + ipHeader + tcpHeader;
    const std::size_t end = ip + ipLength;
    const std::size_t available = capturedLength < end ? capturedLength : end;
    segment->payload.assign(data + (start < available ? start : available), data + available);
    return true;
}

bool readTcpSegments(const std::string& path, std::vector<TcpSegment>* segments,
                     std::string* error) {
    char pcapError[PCAP_ERRBUF_SIZE] = "";
    pcap_t* capture = pcap_open_offline(path.c_str(), pcapError);
    if (capture == nullptr) {
        *error = pcapError;
        return false;
    }
    const int linkType = pcap_datalink(capture);
    if (!knownLinkType(linkType)) {
        const char* name = pcap_datalink_val_to_name(linkType);
        *error = std::string("link type ") + (name ? name : std::to_string(linkType)) +
                 " is not one the replay reads (Ethernet, Linux cooked, loopback, raw IP)";
        pcap_close(capture);
        return false;
    }
    segments->clear();
    pcap_pkthdr* header = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t frame = 0;
    int result;
    while ((result = pcap_next_ex(capture, &header, &data)) == 1) {
        ++frame;
        TcpSegment segment;
        if (!parseFrame(linkType, data, header->caplen, &segment)) continue;
        segment.frame = frame;
        segments->push_back(std::move(segment));
    }
    if (result == PCAP_ERROR) *error = pcap_geterr(capture);
    pcap_close(capture);
    return result != PCAP_ERROR;
}

}  // namespace kelo::replay
