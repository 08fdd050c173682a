/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Extensions: functions this library adds beside the scanner's classic API.
 * They follow the same conventions (::KELO_CALL, the result codes of api.h)
 * and never change what another function does: why a call failed, a port
 * and a connect time-out of the caller's choice, discovery that reports
 * where each scanner answered from, and a group collection with a
 * time-out. */
#ifndef KELO_DLL_EXTENSIONS_H
#define KELO_DLL_EXTENSIONS_H

#include "api.h"
#include "discovery.h"
#include "group.h"

/** lpGetLastFailure(): the last call on the connection succeeded. */
#define KELO_FAILURE_NONE 0
/** lpGetLastFailure(): no answer came within the time-out. */
#define KELO_FAILURE_TIMEOUT 1
/** lpGetLastFailure(): the peer closed or reset the connection. */
#define KELO_FAILURE_CLOSED 2
/** lpGetLastFailure(): a socket error; lpGetLastSocketError() has its code. */
#define KELO_FAILURE_SOCKET 3
/** lpGetLastFailure(): an answer of another type came; the detail is that type. */
#define KELO_FAILURE_WRONG_TYPE 4
/** lpGetLastFailure(): an answer longer than its record or than a limit of
 * the library; the detail is the length or count it announced. */
#define KELO_FAILURE_TOO_LONG 5
/** lpGetLastFailure(): the call was refused: its result was
 * ::KELO_ERROR_ARGUMENT or ::KELO_ERROR_STATE. */
#define KELO_FAILURE_REFUSED 6

KELO_BEGIN_DECLS

/** The calling thread's last socket error: WSAGetLastError() on Windows,
 * the library's own per-thread copy of errno elsewhere. The discovery and
 * network configuration functions report their failures here; they set
 * ::KELO_SOCKET_ERROR_INVALID_ARGUMENT (22) for arguments they refuse.
 * After a failed name look-up it holds the look-up's own error:
 * WSAHOST_NOT_FOUND and its kin on Windows, the negative EAI_ code of
 * getaddrinfo elsewhere (gai_strerror() tells it).
 * @return the error number; 0 when none was recorded. */
KELO_API int32_t KELO_CALL lpGetLastSocketError(void);

/** Why the last call on this connection failed. Every call on a connection
 * sets it, to ::KELO_FAILURE_NONE when it succeeds (a profile read that gave
 * ::KELO_ERROR_NO_PROFILE succeeded: the scanner answered). Calls that only
 * read what the connection holds and cannot fail (lpIsInSyncMode(),
 * lpGetNumberOfOutstandingRequests(), lpGetSocket(), the error-message
 * accessors and these two) leave it as it is, so it can be read after them.
 * When several things go wrong in one call, the first is kept.
 * @param connection handle.
 * @return one of the KELO_FAILURE_ codes; ::KELO_ERROR_ARGUMENT for a null
 *         handle. */
KELO_API int32_t KELO_CALL lpGetLastFailure(ScannerConnection* connection);
/** The detail of the last failure.
 * @param connection handle.
 * @return the answer type received for ::KELO_FAILURE_WRONG_TYPE, the length
 *         or count the answer announced for ::KELO_FAILURE_TOO_LONG, else 0;
 *         ::KELO_ERROR_ARGUMENT for a null handle. */
KELO_API int32_t KELO_CALL lpGetLastFailureDetail(ScannerConnection* connection);

/** Opens a connection as lpOpenConnection() does, to a TCP port and with a
 * connect time-out of the caller's choice: for a scanner behind port
 * forwarding, a second emulator on one host, or a slow link.
 * @param host host name or dotted address, NUL-terminated.
 * @param port TCP port, 1 to 65535.
 * @param connectTimeoutMs how long to wait for the connection, in
 *        milliseconds; 0 or less waits the usual 1 s.
 * @return the connection's handle, or null when @p host is null, @p port is
 *         out of range, the name cannot be resolved or the scanner cannot be
 *         reached in time. */
KELO_API ScannerConnection* KELO_CALL lpOpenConnectionPort(const char* host, uint32_t port,
                                                          int32_t connectTimeoutMs);

/** Waits until the next answer on the connection has begun to arrive,
 * without reading any of it, in either sync state. The count of answers
 * owed and the sync state stay as they are, so a program can wait for a
 * batch in short slices and stay responsive to a stop, where a batch read
 * that times out has already given up the answer it was owed.
 * @param connection handle.
 * @param timeoutMs the longest wait in milliseconds; 0 only looks.
 * @retval KELO_OK bytes of an answer are waiting.
 * @retval KELO_ERROR_TIMEOUT nothing arrived in time.
 * @retval KELO_ERROR_IO the peer closed the connection or a socket error
 *         (lpGetLastFailure() tells which).
 * @retval KELO_ERROR_ARGUMENT null handle, or a negative time-out. */
KELO_API int32_t KELO_CALL lpWaitForAnswer(ScannerConnection* connection, int32_t timeoutMs);

/** Finds scanners as lpFindAllScanners() does, and tells where each one
 * answered from: the IPv4 source address of its reply, which
 * lpOpenConnectionInt() takes as it is. The records are those
 * lpFindAllScanners() stores.
 * @param records array of at least @p capacity records.
 * @param addresses array of at least @p capacity addresses; the address of
 *        record i goes to index i, in network byte order.
 * @param capacity the number of records and addresses there is room for.
 * @return the number of records stored, or -1 with the reason in
 *         lpGetLastSocketError() (22: null arrays or capacity 0, nothing
 *         sent). */
KELO_API int32_t KELO_CALL lpFindAllScannersWithAddresses(ScannerInfo* records,
                                                          uint32_t* addresses, uint32_t capacity);
/** Finds the scanner with a serial number as lpFindScannerBySerialNumber()
 * does, with the source address of each reply.
 * @param serialNumber the scanner's serial number.
 * @param records array of at least @p capacity records.
 * @param addresses array of at least @p capacity addresses (network order).
 * @param capacity the number of records and addresses there is room for.
 * @return as lpFindAllScannersWithAddresses(). */
KELO_API int32_t KELO_CALL lpFindScannerBySerialNumberWithAddresses(uint32_t serialNumber,
                                                                    ScannerInfo* records,
                                                                    uint32_t* addresses,
                                                                    uint32_t capacity);
/** Finds the scanners with a cable id as lpFindScannerByCableId() does,
 * with the source address of each reply.
 * @param cableId the cable id.
 * @param records array of at least @p capacity records.
 * @param addresses array of at least @p capacity addresses (network order).
 * @param capacity the number of records and addresses there is room for.
 * @return as lpFindAllScannersWithAddresses(). */
KELO_API int32_t KELO_CALL lpFindScannerByCableIdWithAddresses(uint32_t cableId,
                                                               ScannerInfo* records,
                                                               uint32_t* addresses,
                                                               uint32_t capacity);

/** Collects profiles as lpMultipleScannerGetMultipleProfiles() does, but
 * gives up when the collection has not completed within a time-out: a
 * member that stopped answering cannot hold the caller. A member's batch is
 * read only once it has begun to arrive, and no wait for one goes past the
 * time that remains (a batch that has begun is read to its end, with the
 * usual time-out for each piece). So the answers still owed stay counted on
 * each member, and lpMultipleScannerExitSyncMode() drains them; each member
 * keeps the profiles it received in this call.
 *
 * Unlike lpMultipleScannerGetMultipleProfiles(), a member that is still owed
 * an answer (left by a collection that timed out, or asked for ahead with
 * lpSendMultipleProfileRequest()) is not asked again before that answer has
 * been read: time-outs do not leave members ever further behind, and a
 * member that swallowed a request shows as late instead of answering the
 * next one.
 * @param group handle.
 * @param count profiles wanted from every member.
 * @param timeoutMs the time the whole collection may take, in milliseconds;
 *        0 or less makes one round that takes only what has arrived.
 * @return ::KELO_GROUP_OK when every member holds @p count profiles;
 *         otherwise a member's handle: one whose request or read failed, as
 *         lpMultipleScannerGetMultipleProfiles() gives it, or, when the time
 *         is up, the first member in handle order that has not delivered its
 *         share (its lpGetLastFailure() is then ::KELO_FAILURE_TIMEOUT). */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerGetMultipleProfilesTimeout(
    MultipleScanner* group, uint32_t count, int32_t timeoutMs);

KELO_END_DECLS

#endif
