/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Opening and closing connections, the library's version numbers, the
 * messages of the last parameter upload and the last socket error. */
#ifndef KELO_DLL_CONNECTION_H
#define KELO_DLL_CONNECTION_H

#include "api.h"
#include "version.h"

KELO_BEGIN_DECLS

/** Opens a connection to a scanner, named by host name or dotted IPv4
 * address. Connects to TCP port ::KELO_SCANNER_TCP_PORT, waiting at most
 * 1 s, and switches Nagle's algorithm off. The connection starts idle, with
 * no answers owed and no messages.
 * @param host host name or dotted address, NUL-terminated.
 * @return the connection's handle, or null when @p host is null, the name
 *         cannot be resolved or the scanner cannot be reached. When the
 *         connect call itself fails at once, lpGetLastSocketError() holds
 *         its reason. */
KELO_API ScannerConnection* KELO_CALL lpOpenConnection(const char* host);
/** Opens a connection as lpOpenConnection() does, to an address given as a
 * number.
 * @param address IPv4 address in network byte order (the value inet_addr
 *        gives), as it stands in a socket address.
 * @return the connection's handle, or null when the scanner cannot be
 *         reached. */
KELO_API ScannerConnection* KELO_CALL lpOpenConnectionInt(uint32_t address);
/** Opens a connection to a host's address plus an offset, for scanners
 * configured with a base address (lpSetBaseIpInt()). The offset is added to
 * the address in host order, wrapping: 192.168.1.100 with offset 5 is
 * 192.168.1.105.
 * @param host host name or dotted address, NUL-terminated.
 * @param offset added to the host's first IPv4 address.
 * @return the connection's handle, or null when @p host is null, the name
 *         cannot be resolved or the scanner cannot be reached. */
KELO_API ScannerConnection* KELO_CALL lpOpenConnectionBase(const char* host, uint32_t offset);
/** Closes a connection: sends the close command (its failure is not
 * reported), closes the socket and frees the handle, whatever happens. The
 * handle must not be used again, and must first be removed from every group
 * that holds it.
 * @param connection handle, or null.
 * @retval KELO_OK closed, or @p connection was null.
 * @retval KELO_ERROR_IO the platform refused to close the socket (the
 *         handle is freed all the same). */
KELO_API int32_t KELO_CALL lpCloseConnection(ScannerConnection* connection);
/** The connection's socket, for diagnostics; the library keeps using it.
 * @param connection handle, or null.
 * @return the platform's socket handle as a signed 32-bit value; -1 (the
 *         invalid socket) for a null handle. */
KELO_API int32_t KELO_CALL lpGetSocket(ScannerConnection* connection);

/** The major version of the loaded library.
 * @return ::KELO_DLL_MAJOR_VERSION of the library's build. */
KELO_API uint32_t KELO_CALL lpGetKeloDllMajorVersionNumber(void);
/** The minor version of the loaded library.
 * @return ::KELO_DLL_MINOR_VERSION of the library's build. */
KELO_API uint32_t KELO_CALL lpGetKeloDllMinorVersionNumber(void);

/** The number of messages the scanner returned for the last parameter
 * upload on this connection (lpSendParametersToScanner() and the other
 * uploads), or the one message of a local parameter file that could not be
 * read.
 * @param connection handle, or null.
 * @return the number of messages; 0 for a null handle. */
KELO_API int32_t KELO_CALL lpGetNumberOfErrorMessages(ScannerConnection* connection);
/** One message of the last parameter upload.
 * @param connection handle, or null.
 * @param index from 0 to lpGetNumberOfErrorMessages() - 1.
 * @return the NUL-terminated message, owned by the connection and valid
 *         until its next upload begins or it is closed (never free it); null
 *         for a null handle or an index out of range. */
KELO_API const char* KELO_CALL lpGetErrorMessage(ScannerConnection* connection, uint32_t index);

KELO_END_DECLS

#endif
