/* Extensions: functions this library adds beside the scanner's classic API.
 * They follow the same conventions (KELO_CALL, the result codes of api.h)
 * and never change what another function does. */
#ifndef KELO_DLL_EXTENSIONS_H
#define KELO_DLL_EXTENSIONS_H

#include "api.h"
#include "discovery.h"
#include "group.h"

/* Why the last call on a connection failed (lpGetLastFailure). */
#define KELO_FAILURE_NONE 0       /* the last call on the handle succeeded */
#define KELO_FAILURE_TIMEOUT 1    /* no answer within the time-out */
#define KELO_FAILURE_CLOSED 2     /* the peer closed (or reset) the connection */
#define KELO_FAILURE_SOCKET 3     /* a socket error: lpGetLastSocketError has its code */
#define KELO_FAILURE_WRONG_TYPE 4 /* an answer of another type; the detail is that type */
#define KELO_FAILURE_TOO_LONG 5   /* an answer longer than its record or a limit; the
                                     detail is the length or count it announced */
#define KELO_FAILURE_REFUSED 6    /* the call was refused: its result was -2 or 21 */

KELO_BEGIN_DECLS

/* The calling thread's last socket error (WSAGetLastError on Windows, the
 * library's per-thread copy of errno elsewhere); 22 marks invalid arguments
 * of the discovery functions. After a failed name look-up it holds the
 * look-up's own error: WSAHOST_NOT_FOUND and its kin on Windows, the
 * negative EAI_ code of getaddrinfo elsewhere. */
KELO_API int32_t KELO_CALL lpGetLastSocketError(void);

/* Why the last call on this connection failed: one of the KELO_FAILURE_
 * codes, KELO_FAILURE_NONE when it succeeded (a profile read that gave -3,
 * no profile, counts as succeeded). Calls that only read what the connection
 * holds and cannot fail (lpIsInSyncMode, lpGetNumberOfOutstandingRequests,
 * lpGetSocket, the error-message accessors and these two) leave it as it is.
 * -2 for a null handle. */
KELO_API int32_t KELO_CALL lpGetLastFailure(ScannerConnection* connection);
/* The detail of the last failure: the answer type received for
 * KELO_FAILURE_WRONG_TYPE, the announced length or count for
 * KELO_FAILURE_TOO_LONG, else 0. -2 for a null handle. */
KELO_API int32_t KELO_CALL lpGetLastFailureDetail(ScannerConnection* connection);

/* As lpOpenConnection, to the given TCP port (1 to 65535, else null) with
 * the given connect time-out in milliseconds (0 or less: the usual 1 s). */
KELO_API ScannerConnection* KELO_CALL lpOpenConnectionPort(const char* host, uint32_t port,
                                                          int32_t connectTimeoutMs);

/* Waits until the next answer on the connection has begun to arrive, for at
 * most timeoutMs milliseconds (0: only looks), without reading any of it;
 * in either sync state. The outstanding count and the sync state stay as
 * they are, so a program can wait for a batch in short slices and stay
 * responsive, where a batch read that times out has already given up the
 * answer it was owed. 0 bytes are waiting, -4 nothing arrived in time,
 * -1 the peer closed or a socket error (lpGetLastFailure tells which),
 * -2 null handle or a negative time-out. */
KELO_API int32_t KELO_CALL lpWaitForAnswer(ScannerConnection* connection, int32_t timeoutMs);

/* As lpFindAllScanners, lpFindScannerBySerialNumber and
 * lpFindScannerByCableId, and for each record stored, the IPv4 address its
 * reply came from at the same index of addresses, in network byte order
 * (the form lpOpenConnectionInt takes). addresses must have room for
 * capacity entries; null gives -1 with error 22, as null records do. */
KELO_API int32_t KELO_CALL lpFindAllScannersWithAddresses(ScannerInfo* records,
                                                          uint32_t* addresses, uint32_t capacity);
KELO_API int32_t KELO_CALL lpFindScannerBySerialNumberWithAddresses(uint32_t serialNumber,
                                                                    ScannerInfo* records,
                                                                    uint32_t* addresses,
                                                                    uint32_t capacity);
KELO_API int32_t KELO_CALL lpFindScannerByCableIdWithAddresses(uint32_t cableId,
                                                               ScannerInfo* records,
                                                               uint32_t* addresses,
                                                               uint32_t capacity);

/* As lpMultipleScannerGetMultipleProfiles, but when the collection has not
 * completed within timeoutMs milliseconds it returns the handle of the
 * first member, in the group's order, that has not delivered its share
 * (its failure is then KELO_FAILURE_TIMEOUT). No read waits past the time
 * that remains; a time-out of 0 or less makes one round that takes only
 * what has arrived. The answers still owed stay counted on each member, so
 * lpMultipleScannerExitSyncMode drains them. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerGetMultipleProfilesTimeout(
    MultipleScanner* group, uint32_t count, int32_t timeoutMs);

KELO_END_DECLS

#endif
