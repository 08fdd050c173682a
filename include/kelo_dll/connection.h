/* SPDX-License-Identifier: Apache-2.0 */
/* Opening and closing connections, version numbers, upload error messages. */
#ifndef KELO_DLL_CONNECTION_H
#define KELO_DLL_CONNECTION_H

#include "api.h"
#include "version.h"

KELO_BEGIN_DECLS

/* Connects to TCP port 24334 of a host name or dotted address, waiting at
 * most 1 s; null on any failure. */
KELO_API ScannerConnection* KELO_CALL lpOpenConnection(const char* host);
/* As lpOpenConnection, for an IPv4 address in network byte order. */
KELO_API ScannerConnection* KELO_CALL lpOpenConnectionInt(uint32_t address);
/* Connects to the host's address plus offset (added in host order, wrapping). */
KELO_API ScannerConnection* KELO_CALL lpOpenConnectionBase(const char* host, uint32_t offset);
/* Sends the close command, closes the socket and frees the handle.
 * 0 for a null handle, else 0 closed / -1 the socket refused to close. */
KELO_API int32_t KELO_CALL lpCloseConnection(ScannerConnection* connection);
/* The connection's socket handle; the handle must not be null. */
KELO_API int32_t KELO_CALL lpGetSocket(ScannerConnection* connection);

KELO_API uint32_t KELO_CALL lpGetKeloDllMajorVersionNumber(void);
KELO_API uint32_t KELO_CALL lpGetKeloDllMinorVersionNumber(void);

/* Messages the scanner returned for the last parameter upload. The text
 * lives until the next upload on this connection or its close. */
KELO_API int32_t KELO_CALL lpGetNumberOfErrorMessages(ScannerConnection* connection);
KELO_API const char* KELO_CALL lpGetErrorMessage(ScannerConnection* connection, uint32_t index);

/* The calling thread's last socket error (WSAGetLastError on Windows, the
 * library's per-thread copy of errno elsewhere); 22 marks invalid arguments
 * of the discovery functions. */
KELO_API int32_t KELO_CALL lpGetLastSocketError(void);

KELO_END_DECLS

#endif
