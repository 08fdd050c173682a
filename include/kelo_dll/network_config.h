/* SPDX-License-Identifier: Apache-2.0 */
/* Changing a scanner's cable id and IP address by UDP broadcast. The
 * scanner is chosen by its serial number; no connection is needed and no
 * answer is awaited: 0 means the message left every local IPv4 address,
 * -1 that a socket call failed (reason in lpGetLastSocketError). */
#ifndef KELO_DLL_NETWORK_CONFIG_H
#define KELO_DLL_NETWORK_CONFIG_H

#include "api.h"

#define KELO_MAX_CABLE_ID 255u

KELO_BEGIN_DECLS

/* -2 for a cable id above 255, nothing sent. */
KELO_API int32_t KELO_CALL lpSetCableId(uint32_t serialNumber, uint32_t cableId);
KELO_API int32_t KELO_CALL lpClearCableId(uint32_t serialNumber);

/* Addresses in network byte order (the value inet_addr gives), sent as given. */
KELO_API int32_t KELO_CALL lpSetStaticIpInt(uint32_t serialNumber, uint32_t address,
                                            uint32_t secondAddress);
KELO_API int32_t KELO_CALL lpSetBaseIpInt(uint32_t serialNumber, uint32_t address,
                                          uint32_t secondAddress);

/* The address may be a host name or dotted text, the second address dotted
 * text only; -2, nothing sent, for a null text, a failed lookup or
 * 255.255.255.255. */
KELO_API int32_t KELO_CALL lpSetStaticIpChar(uint32_t serialNumber, const char* address,
                                             const char* secondAddress);
KELO_API int32_t KELO_CALL lpSetBaseIpChar(uint32_t serialNumber, const char* address,
                                           const char* secondAddress);

KELO_END_DECLS

#endif
