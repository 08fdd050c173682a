/* SPDX-License-Identifier: Apache-2.0 */
/* Calling convention, export markers and result codes shared by every header. */
#ifndef KELO_DLL_API_H
#define KELO_DLL_API_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define KELO_CALL __stdcall
#else
#define KELO_CALL
#endif

/* The Windows DLL exports through its module definition file; the ELF
 * library hides everything but the lp functions. */
#if defined(KELO_BUILDING_LIBRARY) && !defined(_WIN32)
#define KELO_API __attribute__((visibility("default")))
#else
#define KELO_API
#endif

#ifdef __cplusplus
#define KELO_BEGIN_DECLS extern "C" {
#define KELO_END_DECLS }
#else
#define KELO_BEGIN_DECLS
#define KELO_END_DECLS
#endif

/* Compile-time checks of the record layouts: the language's static
 * assertion where it has one (C11, C++11), elsewhere (C89, C99, C++98) an
 * array of negative size, declared again by every check that holds. */
#if defined(__cplusplus) && \
    (__cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1600))
#define KELO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define KELO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#define KELO_STATIC_ASSERT(cond, msg) extern char kelo_static_assert_failed[(cond) ? 1 : -1]
#endif

/* Results of the exported functions. Batch reads and finds return counts,
 * which may equal one of these values; the call's documentation tells. */
#define KELO_OK 0
#define KELO_ERROR_IO (-1)          /* send/receive failed, peer closed, wrong answer type */
#define KELO_ERROR_ARGUMENT (-2)    /* null handle or pointer, argument out of range */
#define KELO_ERROR_NO_PROFILE (-3)  /* the scanner had no profile */
#define KELO_ERROR_TIMEOUT (-4)     /* no profile answer within the time-out */
#define KELO_ERROR_STATE 21         /* refused in this sync state (and the other uses of 21) */

/* The TCP port of the command protocol and the UDP port of discovery. */
#define KELO_SCANNER_TCP_PORT 24334
#define KELO_SCANNER_UDP_PORT 30127

KELO_BEGIN_DECLS

/* Opaque handle of one open scanner connection. */
typedef struct ScannerConnection ScannerConnection;

KELO_END_DECLS

#endif
