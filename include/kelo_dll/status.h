/* SPDX-License-Identifier: Apache-2.0 */
/* Scanner status values and status descriptions. */
#ifndef KELO_DLL_STATUS_H
#define KELO_DLL_STATUS_H

#include "api.h"

/* Status lists and description texts longer than these are refused with -1. */
#define KELO_STATUS_MAX_VALUES 65536
#define KELO_STATUS_MAX_DESCRIPTION (1024u * 1024u)

KELO_BEGIN_DECLS

/* Idle only. Replaces the connection's status values with the scanner's
 * list (the first pair of a repeated key wins): 0, -2 null handle, 21
 * synchronised (values unchanged), -1 failure (values left empty). */
KELO_API int32_t KELO_CALL lpGetScannerStatusFromScanner(ScannerConnection* connection);

/* Looks a key up in the values of the last fetch, without traffic, in
 * either sync state. -2 for a null argument, a key greater than the number
 * of values held, or a key not held; the value is then not written. */
KELO_API int32_t KELO_CALL lpGetScannerStatusValue(ScannerConnection* connection, uint32_t key,
                                                   int32_t* value);

/* Idle only. Stores the description of id, cut to maxLength characters and
 * always NUL-terminated: text must hold maxLength + 1 bytes. -2 null
 * argument, 21 synchronised, -1 failure (text is then not written). */
KELO_API int32_t KELO_CALL lpGetStatusDescriptionFromScanner(ScannerConnection* connection,
                                                             uint32_t id, char* text,
                                                             uint32_t maxLength);

KELO_END_DECLS

#endif
