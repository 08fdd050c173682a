/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Scanner status values and status descriptions. The library gives keys,
 * values and descriptions no meaning of its own: they are the scanner's. */
#ifndef KELO_DLL_STATUS_H
#define KELO_DLL_STATUS_H

#include "api.h"

/** Most status values one fetch takes; a longer list is refused with
 * ::KELO_ERROR_IO. */
#define KELO_STATUS_MAX_VALUES 65536
/** Longest description text, in bytes, a fetch takes; a longer one is
 * refused with ::KELO_ERROR_IO. */
#define KELO_STATUS_MAX_DESCRIPTION (1024u * 1024u)

KELO_BEGIN_DECLS

/** Fetches the scanner's status values into the connection, replacing
 * those of the last fetch (of a key sent twice the first pair counts);
 * only while idle.
 * @param connection handle.
 * @retval KELO_OK fetched.
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent, the
 *         values unchanged.
 * @retval KELO_ERROR_IO the exchange failed or the list is too long; no
 *         values are held then. */
KELO_API int32_t KELO_CALL lpGetScannerStatusFromScanner(ScannerConnection* connection);

/** Looks a key up in the values of the last fetch, in either sync state;
 * no traffic.
 * @param connection handle.
 * @param key the status key.
 * @param value receives the value.
 * @retval KELO_OK the value was written.
 * @retval KELO_ERROR_ARGUMENT null handle or output, a key greater than the
 *         number of values held, or a key not held (nothing written). */
KELO_API int32_t KELO_CALL lpGetScannerStatusValue(ScannerConnection* connection, uint32_t key,
                                                   int32_t* value);

/** Fetches the description of a status item; only while idle. The text is
 * cut to @p maxLength characters and always NUL-terminated.
 * @param connection handle.
 * @param id the item, passed to the scanner.
 * @param text buffer of @p maxLength + 1 bytes.
 * @param maxLength most characters stored.
 * @retval KELO_OK stored.
 * @retval KELO_ERROR_ARGUMENT null handle or buffer.
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent.
 * @retval KELO_ERROR_IO the exchange failed or the text is too long; the
 *         buffer is not written. */
KELO_API int32_t KELO_CALL lpGetStatusDescriptionFromScanner(ScannerConnection* connection,
                                                             uint32_t id, char* text,
                                                             uint32_t maxLength);

KELO_END_DECLS

#endif
