/* SPDX-License-Identifier: Apache-2.0 */
/* Parameter sets: upload of a text or a file, fetch of the scanner's file. */
#ifndef KELO_DLL_PARAMETERS_H
#define KELO_DLL_PARAMETERS_H

#include "api.h"

KELO_BEGIN_DECLS

/* Sends the text up to its first NUL as the scanner's parameter set and
 * empties the connection's error-message list; does not wait for the
 * answer. 0 sent, -2 null argument, 21 synchronised, -1 send failed.
 * The 32-bit DLL exports this one function under its decorated name
 * _lpBeginSendParametersToScanner@8. */
KELO_API int32_t KELO_CALL lpBeginSendParametersToScanner(ScannerConnection* connection,
                                                          const char* text);
/* Reads the scanner's verdict on the last upload: 0 accepted, 21 rejected
 * (its messages appended to the error-message list) or synchronised,
 * -1 the answer could not be read or announced more than can be held. */
KELO_API int32_t KELO_CALL lpEndSendParametersToScanner(ScannerConnection* connection);
/* Begin, then End when Begin gave 0. */
KELO_API int32_t KELO_CALL lpSendParametersToScanner(ScannerConnection* connection,
                                                     const char* text);

/* Uploads a local file (text mode) as lpBeginSendParametersToScanner does.
 * 21 with the message "Couldn't open local parameter file: <path>" when
 * the file cannot be opened, or with "Local parameter file too large:
 * <path>" when it does not fit the upload's 32-bit length (4 GiB or more)
 * or one buffer of the process (in the 32-bit DLL: 2 GiB - 1 byte or more),
 * or memory for its text cannot be had; nothing is sent in either case. */
KELO_API int32_t KELO_CALL lpBeginSendParameterFileToScanner(ScannerConnection* connection,
                                                             const char* path);
/* Begin with the file, then End. */
KELO_API int32_t KELO_CALL lpSendParameterFileToScanner(ScannerConnection* connection,
                                                        const char* path);
/* Fetches the scanner's parameter text into a local file (text mode,
 * created or emptied). The whole answer is read before the file is
 * opened: 0 written, -1 exchange failed (file untouched), 21 synchronised
 * or the file cannot be opened for writing. */
KELO_API int32_t KELO_CALL lpGetParameterFileFromScanner(ScannerConnection* connection,
                                                         const char* path);

KELO_END_DECLS

#endif
