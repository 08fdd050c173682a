/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Groups of open connections driven together: sync modes and profile
 * collection for every member at once. A group sends nothing of its own: it
 * calls the functions of sync.h and profiles.h on each member, in ascending
 * handle order. Calls on a group and on its members must not overlap. */
#ifndef KELO_DLL_GROUP_H
#define KELO_DLL_GROUP_H

#include "api.h"
#include "profiles.h"

KELO_BEGIN_DECLS

/** Opaque handle of a group; the caller owns it from lpMultipleScannerCreate()
 * to lpMultipleScannerDelete(). A group refers to connections but never opens,
 * closes or checks them: remove a connection from every group before
 * closing it. */
typedef struct MultipleScanner MultipleScanner;

/** Result of the group functions that act on every member:
 * ::KELO_GROUP_OK when every member succeeded, otherwise the
 * ScannerConnection handle of the member that failed, carried as an
 * unsigned pointer-sized integer (64 bits on 64-bit Linux, 32 bits in the
 * Windows DLL). Convert it back with (ScannerConnection*)result. */
typedef uintptr_t KeloGroupResult;
/** Every member succeeded. */
#define KELO_GROUP_OK ((KeloGroupResult)0)

/** Creates an empty group.
 * @return the group's handle, or null when memory runs out. */
KELO_API MultipleScanner* KELO_CALL lpMultipleScannerCreate(void);
/** Frees the group and its stored profiles; the members stay open.
 * @param group handle, or null (nothing happens). */
KELO_API void KELO_CALL lpMultipleScannerDelete(MultipleScanner* group);
/** Adds an open connection to the group, with an empty profile store.
 * @param group handle.
 * @param connection handle of an open connection.
 * @retval KELO_OK added.
 * @retval KELO_ERROR_ARGUMENT null group or connection.
 * @retval KELO_ERROR_STATE already a member, or memory ran out; the group is
 *         unchanged. */
KELO_API int32_t KELO_CALL lpMultipleScannerAddConnection(MultipleScanner* group,
                                                          ScannerConnection* connection);
/** Drops a member and its stored profiles; the connection stays open.
 * @param group handle, or null (nothing happens).
 * @param connection the member; nothing happens for a non-member. */
KELO_API void KELO_CALL lpMultipleScannerRemoveConnection(MultipleScanner* group,
                                                          ScannerConnection* connection);
/** Whether a connection is a member.
 * @param group handle.
 * @param connection handle.
 * @retval 1 a member.
 * @retval 0 not a member.
 * @retval KELO_ERROR_ARGUMENT null group or connection. */
KELO_API int32_t KELO_CALL lpMultipleScannerContainsConnection(MultipleScanner* group,
                                                               ScannerConnection* connection);
/** Empties every member's profile store; its memory is kept for reuse.
 * @param group handle, or null (nothing happens). */
KELO_API void KELO_CALL lpMultipleScannerClearProfiles(MultipleScanner* group);
/** The number of profiles stored for a member.
 * @param group handle.
 * @param connection the member.
 * @return the count; 0 for null arguments or a non-member. */
KELO_API int32_t KELO_CALL lpMultipleScannerGetProfileCount(MultipleScanner* group,
                                                            ScannerConnection* connection);

/** lpEnterEncoderSyncMode() on every member, in ascending handle order,
 * stopping at the first that fails; members before it stay synchronised.
 * @param group handle; a null or empty group gives ::KELO_GROUP_OK without
 *        traffic.
 * @return ::KELO_GROUP_OK, or the handle of the member that failed. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerEnterEncoderSyncMode(MultipleScanner* group);
/** lpEnterTimeSyncMode() on every member, as
 * lpMultipleScannerEnterEncoderSyncMode() does.
 * @param group handle, or null.
 * @return ::KELO_GROUP_OK, or the handle of the member that failed. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerEnterTimeSyncMode(MultipleScanner* group);
/** lpExitSyncMode() on every member, as
 * lpMultipleScannerEnterEncoderSyncMode() does; an idle member fails.
 * @param group handle, or null.
 * @return ::KELO_GROUP_OK, or the handle of the member that failed. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerExitSyncMode(MultipleScanner* group);
/** lpSendMultipleProfileRequest() on every member, as
 * lpMultipleScannerEnterEncoderSyncMode() does.
 * @param group handle, or null.
 * @param count profiles asked for from each member.
 * @return ::KELO_GROUP_OK, or the handle of the member that failed. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerSendMultipleProfileRequest(
    MultipleScanner* group, uint32_t count);

/** Collects @p count profiles from every synchronised member into the group,
 * replacing what each member held; read them with
 * lpMultipleScannerGetProfile(). Time-outs and empty batches lead to another
 * round of requests; there is no overall time-out, so a member that keeps
 * sending empty batches keeps the call running.
 * @param group handle; a null or empty group gives ::KELO_GROUP_OK without
 *        traffic.
 * @param count profiles wanted from each member; 0 empties every member's
 *        store and sends nothing.
 * @return ::KELO_GROUP_OK when every member holds @p count profiles of this
 *         call; otherwise the handle of the member whose request or read
 *         failed (it holds the profiles it received before the failure), or
 *         of the first member that is not synchronised (checked before
 *         anything is sent; nothing changes). */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerGetMultipleProfiles(MultipleScanner* group,
                                                                        uint32_t count);
/** A member's stored profile.
 * @param group handle.
 * @param connection the member.
 * @param index from 0 to lpMultipleScannerGetProfileCount() - 1.
 * @return the profile, owned by the group and valid until the member's
 *         store changes (collection, clear, removal, delete); null for null
 *         arguments, a non-member or an index out of range. */
KELO_API ProfileRecord* KELO_CALL lpMultipleScannerGetProfile(MultipleScanner* group,
                                                              ScannerConnection* connection,
                                                              uint32_t index);
/** Does nothing; read the members' batches with lpReadMultipleProfiles(),
 * or collect them with lpMultipleScannerGetMultipleProfiles().
 * @param group ignored.
 * @param count ignored.
 * @return ::KELO_GROUP_OK. */
KELO_API KeloGroupResult KELO_CALL lpMultipleScannerReadMultipleProfiles(MultipleScanner* group,
                                                                         uint32_t count);

KELO_END_DECLS

#endif
