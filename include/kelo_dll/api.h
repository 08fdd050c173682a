/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Calling convention, export markers and the result codes that every
 * function of the library shares. Each header includes it; applications
 * include kelo_dll.h. */
#ifndef KELO_DLL_API_H
#define KELO_DLL_API_H

#include <stdint.h>

/** Calling convention of every exported function: __stdcall in the 32-bit
 * Windows DLL, the platform's own elsewhere. Function pointers to the
 * exports must be declared with it. */
#if defined(_WIN32) && !defined(_WIN64)
#define KELO_CALL __stdcall
#else
#define KELO_CALL
#endif

/** Marks an exported function. The Windows DLL exports through its module
 * definition file; the ELF library hides everything but the lp functions. */
#if defined(KELO_BUILDING_LIBRARY) && !defined(_WIN32)
#define KELO_API __attribute__((visibility("default")))
#else
#define KELO_API
#endif

/** @def KELO_BEGIN_DECLS
 * Opens a block of declarations with C linkage (extern "C" in C++). */
/** @def KELO_END_DECLS
 * Closes the block that ::KELO_BEGIN_DECLS opened. */
#ifdef __cplusplus
#define KELO_BEGIN_DECLS extern "C" {
#define KELO_END_DECLS }
#else
#define KELO_BEGIN_DECLS
#define KELO_END_DECLS
#endif

/** Compile-time check of a record layout: the language's static assertion
 * where it has one (C11, C++11), elsewhere (C89, C99, C++98) an array of
 * negative size, declared again by every check that holds.
 * @param cond condition that must hold.
 * @param msg text of the assertion where the language shows one. */
#if defined(__cplusplus) && \
    (__cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1600))
#define KELO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define KELO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#define KELO_STATIC_ASSERT(cond, msg) extern char kelo_static_assert_failed[(cond) ? 1 : -1]
#endif

/** Success. The result codes below are the same for every function;
 * reads that fill arrays and the find functions return counts instead,
 * which may equal one of these values (each function says how to tell). */
#define KELO_OK 0
/** A command could not be sent, or an answer could not be read (socket
 * error, the scanner closed the connection, a time-out outside the profile
 * reads) or was not of the expected type or size. */
#define KELO_ERROR_IO (-1)
/** A null handle or pointer, or an argument out of its range. Nothing was
 * sent. */
#define KELO_ERROR_ARGUMENT (-2)
/** The scanner had no profile to give (profile reads only). */
#define KELO_ERROR_NO_PROFILE (-3)
/** No profile answer came within the time-out (profile reads only). */
#define KELO_ERROR_TIMEOUT (-4)
/** Refused in the connection's present sync state; nothing was sent. A few
 * functions use it for more: the scanner rejected a parameter set, a local
 * file cannot be opened, a firmware update was not confirmed, calibration
 * data is not held, a connection is already a group member. */
#define KELO_ERROR_STATE 21

/** TCP port of the scanner's command protocol. */
#define KELO_SCANNER_TCP_PORT 24334
/** UDP port on which scanners take discovery and configuration messages. */
#define KELO_SCANNER_UDP_PORT 30127

KELO_BEGIN_DECLS

/** Opaque handle of one open scanner connection, from lpOpenConnection()
 * (or its variants) to lpCloseConnection(). The caller owns it; the library
 * keeps no list of connections and never checks a non-null handle. */
typedef struct ScannerConnection ScannerConnection;

KELO_END_DECLS

#endif
