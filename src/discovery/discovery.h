/* SPDX-License-Identifier: Apache-2.0 */
// Discovery: one request broadcast from every local address, replies
// collected on a private socket until the network is quiet.
#pragma once

#include <cstdint>

#include "core/socket_layer.h"
#include "kelo_dll/discovery.h"

namespace kelo::discovery {

// Each wait for the next datagram; any datagram starts a fresh one.
inline constexpr long kReplyWaitMicroseconds = 500000;
// However chatty the network, collecting ends this long after it began.
inline constexpr unsigned kCollectLimitMilliseconds = 10000;
inline constexpr std::uint32_t kVbScratchCapacity = KELO_VB_SCRATCH_CAPACITY;
inline constexpr std::uint32_t kVbElementSize = sizeof(ScannerInfoVB);

// Creates a UDP socket bound to any address and an ephemeral port. The
// port (host order), or -1 with the socket error set and nothing left open.
int openReplySocket(net::Socket* socket);

// Where replies are stored: records and, when not null, the source
// address of each reply (network order) at the same index.
struct ReplyStore {
    ScannerInfo* records;
    std::uint32_t* addresses;
    std::uint32_t capacity;
};

// Stores distinct replies (by identity) in arrival order until a wait of
// 500 ms passes without any datagram, the store is full or the collect
// limit is reached. The count, or -1 when waiting or receiving failed
// (records stored so far stay).
std::int32_t collectReplies(net::Socket socket, ReplyStore store,
                            unsigned limitMilliseconds = kCollectLimitMilliseconds);

// A find: null records (or null addresses where they are asked for) or a
// capacity of 0 give -1 with error 22 and send nothing.
std::int32_t discoverScanners(std::uint8_t mode, std::uint32_t value, ReplyStore store,
                              bool withAddresses = false);
std::int32_t discoverScannersVB(std::uint8_t mode, std::uint32_t value, KeloSafeArray** array);

}  // namespace kelo::discovery
