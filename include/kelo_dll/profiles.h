/* SPDX-License-Identifier: Apache-2.0 */
/* Profile records and the profile requests and reads. */
#ifndef KELO_DLL_PROFILES_H
#define KELO_DLL_PROFILES_H

#include "api.h"

#define KELO_PROFILE_HEADER_VALUES 9
#define KELO_PROFILE_MAX_POINTS 243
#define KELO_LARGE_PROFILE_MAX_POINTS 486
#define KELO_DEFAULT_TIMEOUT_MS 5000

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/* One profile in host byte order: nine scanner-defined header values, the
 * number of valid points, then three 32-bit values per point. A profile
 * answer longer than the record is read to its end and refused (-1); use
 * LargeProfileRecord for profiles of more than 243 points. An answer that
 * fits but counts more points than the record holds has its count cut to
 * the record's room; points past the count are left as they were received. */
typedef struct ProfileRecord {
    int32_t header[KELO_PROFILE_HEADER_VALUES];
    int32_t pointCount;
    int32_t points[KELO_PROFILE_MAX_POINTS][3];
} ProfileRecord;

/* The same layout with room for 486 points (lpReadMultipleLargeProfiles). */
typedef struct LargeProfileRecord {
    int32_t header[KELO_PROFILE_HEADER_VALUES];
    int32_t pointCount;
    int32_t points[KELO_LARGE_PROFILE_MAX_POINTS][3];
} LargeProfileRecord;

#pragma pack(pop)

KELO_STATIC_ASSERT(sizeof(ProfileRecord) == 2956, "ProfileRecord must be 2956 bytes");
KELO_STATIC_ASSERT(sizeof(LargeProfileRecord) == 5872, "LargeProfileRecord must be 5872 bytes");

/* Single profiles, allowed in either sync state (the N forms only while idle). */
KELO_API int32_t KELO_CALL lpSendProfileRequest(ScannerConnection* connection);
KELO_API int32_t KELO_CALL lpSendProfileRequestN(ScannerConnection* connection, uint32_t laser);
KELO_API int32_t KELO_CALL lpReadProfile(ScannerConnection* connection, ProfileRecord* record);
KELO_API int32_t KELO_CALL lpReadProfileN(ScannerConnection* connection, ProfileRecord* record);
KELO_API int32_t KELO_CALL lpGetProfile(ScannerConnection* connection, ProfileRecord* record);
KELO_API int32_t KELO_CALL lpGetProfileN(ScannerConnection* connection, uint32_t laser,
                                         ProfileRecord* record);

/* Batches, only while synchronised. The reads return the number of records
 * stored, which on an idle connection cannot be told from 21 but by the state. */
KELO_API int32_t KELO_CALL lpSendMultipleProfileRequest(ScannerConnection* connection,
                                                        uint32_t count);
KELO_API int32_t KELO_CALL lpReadMultipleProfilesTimeout(ScannerConnection* connection,
                                                         ProfileRecord* records,
                                                         uint32_t capacity, int32_t timeoutMs);
KELO_API int32_t KELO_CALL lpReadMultipleProfiles(ScannerConnection* connection,
                                                  ProfileRecord* records, uint32_t capacity);
KELO_API int32_t KELO_CALL lpReadMultipleLargeProfiles(ScannerConnection* connection,
                                                       LargeProfileRecord* records,
                                                       uint32_t capacity, int32_t timeoutMs);
KELO_API int32_t KELO_CALL lpGetMultipleProfiles(ScannerConnection* connection,
                                                 ProfileRecord* records, uint32_t count);

/* One profile from every laser, only while idle. */
KELO_API int32_t KELO_CALL lpGetProfileFromAllLasers(ScannerConnection* connection,
                                                     ProfileRecord* records, uint32_t capacity);

/* Reads and drops every answer still owed to this connection. */
KELO_API int32_t KELO_CALL lpCleanUpOutstandingRequests(ScannerConnection* connection);
/* Profile answers owed; -1 after a read with nothing outstanding wrapped it. */
KELO_API int32_t KELO_CALL lpGetNumberOfOutstandingRequests(ScannerConnection* connection);

KELO_END_DECLS

#endif
