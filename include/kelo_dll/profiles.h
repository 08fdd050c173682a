/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Profile records and the profile requests and reads.
 *
 * Single profiles are asked for and read in one call (lpGetProfile()) or in
 * two (lpSendProfileRequest(), later lpReadProfile()). While the connection
 * is synchronised (sync.h), profiles come in batches: lpSendMultipleProfileRequest()
 * asks for a number of them and a later lpReadMultipleProfiles() stores one
 * batch in an array of records. The connection counts the answers it is
 * owed; each read takes the oldest one, and lpExitSyncMode() drains the rest.
 * A read that fails part-way leaves the rest of its answer unread, so the
 * connection is out of step until it is closed. */
#ifndef KELO_DLL_PROFILES_H
#define KELO_DLL_PROFILES_H

#include "api.h"

/** Header values of a profile, defined by the scanner. */
#define KELO_PROFILE_HEADER_VALUES 9
/** Points a ProfileRecord holds. */
#define KELO_PROFILE_MAX_POINTS 243
/** Points a LargeProfileRecord holds. */
#define KELO_LARGE_PROFILE_MAX_POINTS 486
/** Milliseconds a read waits for each piece of an answer, unless the call
 * takes a time-out. */
#define KELO_DEFAULT_TIMEOUT_MS 5000

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/** One profile, 2956 bytes, in host byte order. A profile answer longer
 * than the record is read to its end and refused (::KELO_ERROR_IO): use
 * LargeProfileRecord for profiles of more than 243 points. An answer that
 * fits but counts more points than the record holds has its count cut to
 * the record's room. */
typedef struct ProfileRecord {
    /** Header values, defined by the scanner and passed on unchanged. */
    int32_t header[KELO_PROFILE_HEADER_VALUES];
    /** Number of valid points at the start of @ref points. */
    int32_t pointCount;
    /** Three values per point, defined by the scanner. Points past
     * @ref pointCount are left as they were received. */
    int32_t points[KELO_PROFILE_MAX_POINTS][3];
} ProfileRecord;

/** The layout of ProfileRecord with room for 486 points, 5872 bytes; read
 * by lpReadMultipleLargeProfiles(). */
typedef struct LargeProfileRecord {
    /** Header values, defined by the scanner and passed on unchanged. */
    int32_t header[KELO_PROFILE_HEADER_VALUES];
    /** Number of valid points at the start of @ref points. */
    int32_t pointCount;
    /** Three values per point, defined by the scanner. */
    int32_t points[KELO_LARGE_PROFILE_MAX_POINTS][3];
} LargeProfileRecord;

#pragma pack(pop)

KELO_STATIC_ASSERT(sizeof(ProfileRecord) == 2956, "ProfileRecord must be 2956 bytes");
KELO_STATIC_ASSERT(sizeof(LargeProfileRecord) == 5872, "LargeProfileRecord must be 5872 bytes");

/** Asks for one profile without waiting for it; read it later with
 * lpReadProfile(). Allowed in either sync state. Counts one answer owed once
 * the request was sent.
 * @param connection handle.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_IO the send failed (nothing counted). */
KELO_API int32_t KELO_CALL lpSendProfileRequest(ScannerConnection* connection);
/** Asks for one profile of one laser without waiting for it; read it later
 * with lpReadProfileN(). Only while idle. Counts one answer owed before it
 * sends, so a failed send stays counted.
 * @param connection handle.
 * @param laser the laser's number, passed to the scanner.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the send failed. */
KELO_API int32_t KELO_CALL lpSendProfileRequestN(ScannerConnection* connection, uint32_t laser);
/** Reads the answer to the oldest profile request, waiting at most
 * ::KELO_DEFAULT_TIMEOUT_MS for each piece. Allowed in either sync state.
 * Takes one answer off the count first, whatever the result (from 0 the
 * count wraps, and lpGetNumberOfOutstandingRequests() gives -1). The first
 * profile of a batch answer is stored and the others read and dropped.
 * @param connection handle.
 * @param record where the profile is stored.
 * @retval KELO_OK a profile was stored.
 * @retval KELO_ERROR_ARGUMENT null handle or record.
 * @retval KELO_ERROR_NO_PROFILE the scanner had no profile (the answer was
 *         read whole; the connection stays usable).
 * @retval KELO_ERROR_TIMEOUT no answer within the time-out.
 * @retval KELO_ERROR_IO receive failure, an answer of another type, or a
 *         profile too large for the record. */
KELO_API int32_t KELO_CALL lpReadProfile(ScannerConnection* connection, ProfileRecord* record);
/** The same read as lpReadProfile(), for answers to lpSendProfileRequestN().
 * @param connection handle.
 * @param record where the profile is stored.
 * @return the results of lpReadProfile(). */
KELO_API int32_t KELO_CALL lpReadProfileN(ScannerConnection* connection, ProfileRecord* record);
/** Asks for one profile and reads it, in either sync state; the count of
 * answers owed is not touched. Answers owed to earlier requests must have
 * been read first.
 * @param connection handle.
 * @param record where the profile is stored.
 * @return ::KELO_ERROR_IO when the send fails, else the results of
 *         lpReadProfile(). */
KELO_API int32_t KELO_CALL lpGetProfile(ScannerConnection* connection, ProfileRecord* record);
/** Asks for one profile of one laser and reads it: lpSendProfileRequestN(),
 * then lpReadProfileN(). Only while idle.
 * @param connection handle.
 * @param laser the laser's number, passed to the scanner.
 * @param record where the profile is stored.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @return otherwise the result of lpSendProfileRequestN(), and when that was
 *         ::KELO_OK the result of lpReadProfileN(). */
KELO_API int32_t KELO_CALL lpGetProfileN(ScannerConnection* connection, uint32_t laser,
                                         ProfileRecord* record);

/** Asks for a batch of profiles without waiting for it; read it later with
 * lpReadMultipleProfiles(). Only while synchronised. Several batches may be
 * outstanding; each counts as one answer owed, counted before the send.
 * @param connection handle.
 * @param count profiles asked for; the scanner decides how many the batch
 *        holds.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is idle; nothing sent.
 * @retval KELO_ERROR_IO the send failed (the request stays counted). */
KELO_API int32_t KELO_CALL lpSendMultipleProfileRequest(ScannerConnection* connection,
                                                        uint32_t count);
/** Reads the oldest batch into an array of records: the first @p capacity
 * profiles are stored, the rest of the batch is read and dropped. Only
 * while synchronised. With no answer owed it reads nothing and returns 0;
 * otherwise it takes one answer off the count first, whatever the result.
 * On an idle connection the result ::KELO_ERROR_STATE (21) cannot be told
 * from 21 profiles stored except by lpIsInSyncMode().
 * @param connection handle.
 * @param records array of at least @p capacity records.
 * @param capacity records the array holds.
 * @param timeoutMs milliseconds to wait for each piece of the batch.
 * @return the number of profiles stored, 0 or more (0 also when nothing
 *         was owed or the batch was empty).
 * @retval KELO_ERROR_ARGUMENT null handle or array.
 * @retval KELO_ERROR_STATE the connection is idle.
 * @retval KELO_ERROR_TIMEOUT no data within the time-out.
 * @retval KELO_ERROR_NO_PROFILE a profile of the batch was a no-profile
 *         answer.
 * @retval KELO_ERROR_IO receive failure, an answer that is not a batch, or a
 *         profile too large for its record. After a failure the array's
 *         contents are undefined. */
KELO_API int32_t KELO_CALL lpReadMultipleProfilesTimeout(ScannerConnection* connection,
                                                         ProfileRecord* records,
                                                         uint32_t capacity, int32_t timeoutMs);
/** lpReadMultipleProfilesTimeout() with ::KELO_DEFAULT_TIMEOUT_MS.
 * @param connection handle.
 * @param records array of at least @p capacity records.
 * @param capacity records the array holds.
 * @return the results of lpReadMultipleProfilesTimeout(). */
KELO_API int32_t KELO_CALL lpReadMultipleProfiles(ScannerConnection* connection,
                                                  ProfileRecord* records, uint32_t capacity);
/** lpReadMultipleProfilesTimeout() into records of 486 points, for scanners
 * that send longer profiles.
 * @param connection handle.
 * @param records array of at least @p capacity records.
 * @param capacity records the array holds.
 * @param timeoutMs milliseconds to wait for each piece of the batch.
 * @return the results of lpReadMultipleProfilesTimeout(). */
KELO_API int32_t KELO_CALL lpReadMultipleLargeProfiles(ScannerConnection* connection,
                                                       LargeProfileRecord* records,
                                                       uint32_t capacity, int32_t timeoutMs);
/** Asks for a batch and reads the oldest batch owed, which is this one when
 * no other was outstanding: lpSendMultipleProfileRequest(), then
 * lpReadMultipleProfilesTimeout() with ::KELO_DEFAULT_TIMEOUT_MS. Only while
 * synchronised.
 * @param connection handle.
 * @param records array of at least @p count records.
 * @param count profiles asked for, and the array's capacity.
 * @return the result of lpSendMultipleProfileRequest() when it is not
 *         ::KELO_OK, else that of the read. */
KELO_API int32_t KELO_CALL lpGetMultipleProfiles(ScannerConnection* connection,
                                                 ProfileRecord* records, uint32_t count);

/** Asks for one profile from every laser and reads them, in one call; only
 * while idle. The scanner decides which lasers answer; the first
 * @p capacity profiles are stored, the rest read and dropped. The count of
 * answers owed is not touched.
 * @param connection handle.
 * @param records array of at least @p capacity records.
 * @param capacity records the array holds.
 * @return the number of profiles stored, 0 or more.
 * @retval KELO_ERROR_ARGUMENT null handle or array.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_NO_PROFILE a profile of the batch was a no-profile
 *         answer.
 * @retval KELO_ERROR_TIMEOUT no data within the time-out while reading a
 *         profile.
 * @retval KELO_ERROR_IO send or receive failure (a time-out before the batch
 *         began included), or a profile too large for its record. */
KELO_API int32_t KELO_CALL lpGetProfileFromAllLasers(ScannerConnection* connection,
                                                     ProfileRecord* records, uint32_t capacity);

/** Reads and drops every answer still owed to this connection, each by the
 * length its header announces. lpExitSyncMode() calls it.
 * @param connection handle.
 * @retval KELO_OK nothing is owed any more.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_IO a read failed or timed out; the count keeps the
 *         answers not yet drained. */
KELO_API int32_t KELO_CALL lpCleanUpOutstandingRequests(ScannerConnection* connection);
/** The number of profile answers the connection is owed.
 * @param connection handle.
 * @return the count; -1 after a single read with nothing outstanding
 *         wrapped it.
 * @retval KELO_ERROR_ARGUMENT null handle. */
KELO_API int32_t KELO_CALL lpGetNumberOfOutstandingRequests(ScannerConnection* connection);

KELO_END_DECLS

#endif
