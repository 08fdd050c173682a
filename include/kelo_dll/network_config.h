/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Changing a scanner's cable id and IP address by UDP broadcast. The
 * scanner is chosen by its serial number; no connection is needed and no
 * answer is awaited, so ::KELO_OK means the message left every local IPv4
 * address, not that a scanner applied it. Run these only where
 * broadcasting on every local network is allowed. */
#ifndef KELO_DLL_NETWORK_CONFIG_H
#define KELO_DLL_NETWORK_CONFIG_H

#include "api.h"

/** Largest cable id lpSetCableId() takes. */
#define KELO_MAX_CABLE_ID 255u

KELO_BEGIN_DECLS

/** Gives a scanner a cable id.
 * @param serialNumber the scanner's serial number.
 * @param cableId from 0 to ::KELO_MAX_CABLE_ID.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT a cable id above ::KELO_MAX_CABLE_ID; nothing
 *         sent.
 * @retval KELO_ERROR_IO a socket call failed (reason in
 *         lpGetLastSocketError()). */
KELO_API int32_t KELO_CALL lpSetCableId(uint32_t serialNumber, uint32_t cableId);
/** Clears a scanner's cable id.
 * @param serialNumber the scanner's serial number.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_IO a socket call failed (reason in
 *         lpGetLastSocketError()). */
KELO_API int32_t KELO_CALL lpClearCableId(uint32_t serialNumber);

/** Gives a scanner a static IP address.
 * @param serialNumber the scanner's serial number.
 * @param address IPv4 address in network byte order (the value inet_addr
 *        gives), sent as given.
 * @param secondAddress second IPv4 address of the message, the scanner's,
 *        in network byte order.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_IO a socket call failed (reason in
 *         lpGetLastSocketError()). */
KELO_API int32_t KELO_CALL lpSetStaticIpInt(uint32_t serialNumber, uint32_t address,
                                            uint32_t secondAddress);
/** Gives a scanner a base IP address (see lpOpenConnectionBase()); otherwise
 * as lpSetStaticIpInt().
 * @param serialNumber the scanner's serial number.
 * @param address IPv4 address in network byte order.
 * @param secondAddress second IPv4 address, in network byte order.
 * @return the results of lpSetStaticIpInt(). */
KELO_API int32_t KELO_CALL lpSetBaseIpInt(uint32_t serialNumber, uint32_t address,
                                          uint32_t secondAddress);

/** lpSetStaticIpInt() with the addresses as text.
 * @param serialNumber the scanner's serial number.
 * @param address host name or dotted address, NUL-terminated; the first
 *        address it resolves to is sent.
 * @param secondAddress dotted address, NUL-terminated.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT a null text, a failed lookup, or an address
 *         that is 255.255.255.255 or not an address; nothing sent.
 * @retval KELO_ERROR_IO a socket call failed (reason in
 *         lpGetLastSocketError()). */
KELO_API int32_t KELO_CALL lpSetStaticIpChar(uint32_t serialNumber, const char* address,
                                             const char* secondAddress);
/** lpSetBaseIpInt() with the addresses as text, as lpSetStaticIpChar().
 * @param serialNumber the scanner's serial number.
 * @param address host name or dotted address, NUL-terminated.
 * @param secondAddress dotted address, NUL-terminated.
 * @return the results of lpSetStaticIpChar(). */
KELO_API int32_t KELO_CALL lpSetBaseIpChar(uint32_t serialNumber, const char* address,
                                           const char* secondAddress);

KELO_END_DECLS

#endif
