/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Parameter sets: upload of a text or a file, fetch of the scanner's file.
 *
 * The library neither reads nor checks a parameter set; the scanner accepts
 * it or answers with error messages, which the connection keeps until the
 * next upload begins (lpGetNumberOfErrorMessages(), lpGetErrorMessage()).
 * Files are read and written in the platform's text mode: on Windows, CR LF
 * on disk is LF on the wire. */
#ifndef KELO_DLL_PARAMETERS_H
#define KELO_DLL_PARAMETERS_H

#include "api.h"

KELO_BEGIN_DECLS

/** Sends a parameter set and empties the connection's messages, without
 * waiting for the scanner's verdict: read it with
 * lpEndSendParametersToScanner() before any other command. Only while idle.
 * The 32-bit DLL exports this one function under its decorated name
 * _lpBeginSendParametersToScanner@8.
 * @param connection handle.
 * @param text the parameter set, up to its first NUL.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle or text, or a text of 4 GiB or
 *         more (messages kept).
 * @retval KELO_ERROR_STATE the connection is synchronised; nothing sent,
 *         messages kept.
 * @retval KELO_ERROR_IO a send failed. */
KELO_API int32_t KELO_CALL lpBeginSendParametersToScanner(ScannerConnection* connection,
                                                          const char* text);
/** Reads the scanner's verdict on the last upload; only while idle. The
 * messages of a rejection are appended to the connection's messages.
 * @param connection handle.
 * @retval KELO_OK the scanner accepted the parameters.
 * @retval KELO_ERROR_STATE the scanner rejected them (its messages, possibly
 *         none, are the connection's), or the connection is synchronised
 *         (nothing read; lpIsInSyncMode() tells the two apart).
 * @retval KELO_ERROR_ARGUMENT null handle.
 * @retval KELO_ERROR_IO the answer could not be read, or announced more
 *         messages or text than can be held. */
KELO_API int32_t KELO_CALL lpEndSendParametersToScanner(ScannerConnection* connection);
/** Uploads a parameter set and reads the verdict:
 * lpBeginSendParametersToScanner(), then, when it gave ::KELO_OK,
 * lpEndSendParametersToScanner().
 * @param connection handle.
 * @param text the parameter set, up to its first NUL.
 * @return the first result that is not ::KELO_OK, or that of the end. */
KELO_API int32_t KELO_CALL lpSendParametersToScanner(ScannerConnection* connection,
                                                     const char* text);

/** Sends a local file as the parameter set, as
 * lpBeginSendParametersToScanner() sends a text; only while idle.
 * @param connection handle.
 * @param path the file's path, NUL-terminated, relative to the working
 *        directory or absolute.
 * @retval KELO_OK sent.
 * @retval KELO_ERROR_ARGUMENT null handle or path.
 * @retval KELO_ERROR_STATE the connection is synchronised; or the file
 *         cannot be opened (the one message "Couldn't open local parameter
 *         file: <path>"), or is too large to send: 4 GiB or more, more than
 *         one buffer of the process holds (in the 32-bit DLL 2 GiB - 1 byte
 *         or more), or more than memory can be had for (the one message
 *         "Local parameter file too large: <path>"). Nothing is sent.
 * @retval KELO_ERROR_IO a send failed. */
KELO_API int32_t KELO_CALL lpBeginSendParameterFileToScanner(ScannerConnection* connection,
                                                             const char* path);
/** Uploads a local file as the parameter set and reads the verdict:
 * lpBeginSendParameterFileToScanner(), then, when it gave ::KELO_OK,
 * lpEndSendParametersToScanner().
 * @param connection handle.
 * @param path the file's path, NUL-terminated.
 * @return the first result that is not ::KELO_OK, or that of the end. The
 *         messages tell a rejection from a file that could not be read. */
KELO_API int32_t KELO_CALL lpSendParameterFileToScanner(ScannerConnection* connection,
                                                        const char* path);
/** Fetches the scanner's parameter set into a local file, created or
 * emptied; only while idle. The whole answer is read before the file is
 * opened, so a local failure leaves the connection in step.
 * @param connection handle.
 * @param path the file's path, NUL-terminated.
 * @retval KELO_OK written.
 * @retval KELO_ERROR_ARGUMENT null handle or path.
 * @retval KELO_ERROR_STATE the connection is synchronised (nothing sent), or
 *         the file cannot be opened for writing (the text is dropped, no
 *         message).
 * @retval KELO_ERROR_IO the exchange failed, or the text announced is too
 *         large to hold; the file is untouched. */
KELO_API int32_t KELO_CALL lpGetParameterFileFromScanner(ScannerConnection* connection,
                                                         const char* path);

KELO_END_DECLS

#endif
