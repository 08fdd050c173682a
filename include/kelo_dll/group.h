/* SPDX-License-Identifier: Apache-2.0 */
/* Groups of open connections driven together: sync modes and profile
 * collection for every member at once. */
#ifndef KELO_DLL_GROUP_H
#define KELO_DLL_GROUP_H

#include "api.h"
#include "profiles.h"

KELO_BEGIN_DECLS

/* Opaque handle of a group; the caller owns it from lpMultipleScannerCreate
 * to lpMultipleScannerDelete. A group refers to connections but never opens,
 * closes or checks them: remove a connection from every group before
 * closing it. */
typedef struct MultipleScanner MultipleScanner;

/* Result of the group functions that act on every member: 0 when every
 * member succeeded, otherwise the ScannerConnection handle of the member
 * that failed, carried as an unsigned pointer-sized integer (64 bits on
 * 64-bit Linux, 32 bits in the Windows DLL). Convert it back with
 * (ScannerConnection*)result. */
typedef uintptr_t KeloGroupResult;
#define KELO_GROUP_OK ((KeloGroupResult)0)

/* Null when memory runs out. */
KELO_API MultipleScanner* KELO_CALL lpMultipleScannerCreate(void);
/* Frees the group and its stored profiles; the members stay open. */
KELO_API void KELO_CALL lpMultipleScannerDelete(MultipleScanner* group);
/* 0 added; -2 null group or connection; 21 already a member, or memory ran
 * out (the group is then unchanged). */
KELO_API int32_t KELO_CALL lpMultipleScannerAddConnection(MultipleScanner* group,
                                                          ScannerConnection* connection);
/* Drops the member and its stored profiles; the connection stays open. */
KELO_API void KELO_CALL lpMultipleScannerRemoveConnection(MultipleScanner* group,
                                                          ScannerConnection* connection);
/* 1 member, 0 not a member, -2 null group or connection. */
KELO_API int32_t KELO_CALL lpMultipleScannerContainsConnection(MultipleScanner* group,
                                                               ScannerConnection* connection);
/* Sets every member's stored count to 0; the storage is kept for reuse. */
KELO_API void KELO_CALL lpMultipleScannerClearProfiles(MultipleScanner* group);
/* Profiles stored for the member; 0 for null arguments or a non-member. */
KELO_API int32_t KELO_CALL lpMultipleScannerGetProfileCount(MultipleScanner* group,
                                                            ScannerConnection* connection);

/* Members are visited in ascending handle order. The walks stop at the first
 * member that fails and return its handle; members visited before stay in
 * their new state. A null or empty group gives 0 without any traffic. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerEnterEncoderSyncMode(MultipleScanner* group);
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerEnterTimeSyncMode(MultipleScanner* group);
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerExitSyncMode(MultipleScanner* group);
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerSendMultipleProfileRequest(
    MultipleScanner* group, uint32_t count);

/* Collects count profiles from every member into the group, replacing what
 * each member held. 0 when every member holds count profiles of this call;
 * otherwise the handle of the member whose request or read failed (that
 * member then holds the profiles it received before the failure), or of the
 * first member that is not synchronised (checked before anything is sent;
 * nothing changes). count 0 empties every member's store and sends nothing.
 * Time-outs and empty batches lead to another round of requests; there is
 * no overall time-out. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerGetMultipleProfiles(MultipleScanner* group,
                                                                        uint32_t count);
/* The member's stored profile at index, null for null arguments, a
 * non-member or an index at or beyond its stored count. Valid until the
 * member's store changes (collection, clear, removal, delete). */
KELO_API ProfileRecord* KELO_CALL lpMultipleScannerGetProfile(MultipleScanner* group,
                                                              ScannerConnection* connection,
                                                              uint32_t index);
/* Has no effect and returns 0; read member answers with lpReadMultipleProfiles. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerReadMultipleProfiles(MultipleScanner* group,
                                                                         uint32_t count);

KELO_END_DECLS

#endif
