/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * Finding scanners on the local network by UDP broadcast to port
 * ::KELO_SCANNER_UDP_PORT; no connection is needed. Run these only where
 * broadcasting on every local network is allowed. */
#ifndef KELO_DLL_DISCOVERY_H
#define KELO_DLL_DISCOVERY_H

#include <stddef.h>

#include "api.h"

/** Most scanners one VB find call collects replies from. */
#define KELO_VB_SCRATCH_CAPACITY 1024
/** lpGetLastSocketError() after a find or configuration call refused its
 * arguments. */
#define KELO_SOCKET_ERROR_INVALID_ARGUMENT 22

/* The COM safe-array descriptor the VB find functions fill. Windows uses
 * the real SAFEARRAY of <oleauto.h>, named here by its tag so that this
 * header does not bring in the Windows headers and their macros; elsewhere
 * a descriptor of the same shape stands in, locked and unlocked by the
 * library through its cLocks counter. */
#if defined(_WIN32)
typedef struct tagSAFEARRAY KeloSafeArray;
#else
/** One dimension's bounds of a KeloSafeArray. */
typedef struct KeloSafeArrayBound {
    uint32_t cElements; /**< Number of elements. */
    int32_t lLbound;    /**< Index of the first element. */
} KeloSafeArrayBound;

/** The COM safe-array descriptor the VB find functions fill: on Windows the
 * SAFEARRAY of <oleauto.h> (named by its tag, so this header brings in no
 * Windows header), elsewhere a descriptor of the same shape, locked and
 * unlocked by the library through @ref cLocks. */
typedef struct KeloSafeArray {
    uint16_t cDims;      /**< Number of dimensions; the find calls need 1. */
    uint16_t fFeatures;  /**< Feature flags, not used by the library. */
    uint32_t cbElements; /**< Size of an element; the find calls need 536. */
    uint32_t cLocks;     /**< Lock count. */
    void* pvData;        /**< The elements. */
    KeloSafeArrayBound rgsabound[1]; /**< Bounds of the one dimension. */
} KeloSafeArray;
#endif

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/** One scanner's discovery reply, 533 bytes, exactly as the scanner sent
 * it (little-endian). Only @ref identity has a meaning to the library: two
 * records with equal identity are the same scanner. The other fields are
 * the scanner's. */
typedef struct ScannerInfo {
    uint32_t value1;    /**< The scanner's value 1. */
    uint16_t value2;    /**< The scanner's value 2. */
    uint8_t value3;     /**< The scanner's value 3. */
    uint32_t value4;    /**< The scanner's value 4. */
    uint32_t identity;  /**< Equal for every reply of one scanner. */
    uint8_t value6;     /**< The scanner's value 6. */
    uint8_t value7;     /**< The scanner's value 7. */
    uint32_t value8;    /**< The scanner's value 8. */
    uint8_t block[512]; /**< The scanner's block of 512 bytes. */
} ScannerInfo;

#pragma pack(pop)

/** The fields of ScannerInfo naturally aligned, 536 bytes: the element
 * type of the VB safe arrays. The library never writes the padding. */
typedef struct ScannerInfoVB {
    uint32_t value1;    /**< The scanner's value 1. */
    uint16_t value2;    /**< The scanner's value 2. */
    uint8_t value3;     /**< The scanner's value 3. */
    uint32_t value4;    /**< The scanner's value 4. */
    uint32_t identity;  /**< Equal for every reply of one scanner. */
    uint8_t value6;     /**< The scanner's value 6. */
    uint8_t value7;     /**< The scanner's value 7. */
    uint32_t value8;    /**< The scanner's value 8. */
    uint8_t block[512]; /**< The scanner's block of 512 bytes. */
} ScannerInfoVB;

KELO_STATIC_ASSERT(sizeof(ScannerInfo) == 533, "ScannerInfo must be 533 bytes");
KELO_STATIC_ASSERT(offsetof(ScannerInfo, identity) == 11, "ScannerInfo.identity at 11");
KELO_STATIC_ASSERT(offsetof(ScannerInfo, block) == 21, "ScannerInfo.block at 21");
KELO_STATIC_ASSERT(sizeof(ScannerInfoVB) == 536, "ScannerInfoVB must be 536 bytes");
KELO_STATIC_ASSERT(offsetof(ScannerInfoVB, value4) == 8, "ScannerInfoVB.value4 at 8");
KELO_STATIC_ASSERT(offsetof(ScannerInfoVB, identity) == 12, "ScannerInfoVB.identity at 12");
KELO_STATIC_ASSERT(offsetof(ScannerInfoVB, value8) == 20, "ScannerInfoVB.value8 at 20");
KELO_STATIC_ASSERT(offsetof(ScannerInfoVB, block) == 24, "ScannerInfoVB.block at 24");

/** Finds every scanner: broadcasts one discovery request from every local
 * IPv4 address and stores one record per distinct scanner that answers, in
 * arrival order, until 500 ms pass without any datagram, the array is full,
 * or 10 s have passed since collecting began however busy the network is.
 * @param records array of at least @p capacity records.
 * @param capacity records the array holds.
 * @return the number of records stored, 0 when no scanner answered; -1 on
 *         failure, with the reason in lpGetLastSocketError():
 *         ::KELO_SOCKET_ERROR_INVALID_ARGUMENT for null records or capacity 0
 *         (nothing sent), else the socket error of the call that failed. */
KELO_API int32_t KELO_CALL lpFindAllScanners(ScannerInfo* records, uint32_t capacity);
/** Finds the scanners that carry a cable id, as lpFindAllScanners() does;
 * the scanners decide whether the request selects them, the library does
 * not filter the replies.
 * @param cableId the cable id asked for.
 * @param records array of at least @p capacity records.
 * @param capacity records the array holds.
 * @return the results of lpFindAllScanners(). */
KELO_API int32_t KELO_CALL lpFindScannerByCableId(uint32_t cableId, ScannerInfo* records,
                                                  uint32_t capacity);
/** Finds the scanner with a serial number, as lpFindScannerByCableId() does.
 * @param serialNumber the serial number asked for.
 * @param records array of at least @p capacity records.
 * @param capacity records the array holds.
 * @return the results of lpFindAllScanners(). */
KELO_API int32_t KELO_CALL lpFindScannerBySerialNumber(uint32_t serialNumber,
                                                       ScannerInfo* records, uint32_t capacity);

/** lpFindAllScanners() into a COM safe array, for Visual Basic and other
 * COM hosts. Replies are collected for up to ::KELO_VB_SCRATCH_CAPACITY
 * scanners whatever the array's size, and the first ones that fit are
 * written.
 * @param array the caller's one-dimensional safe array of ScannerInfoVB
 *        (element size 536, at least one element).
 * @return the number of elements written; -1 on failure, with the reason in
 *         lpGetLastSocketError(): ::KELO_SOCKET_ERROR_INVALID_ARGUMENT for an
 *         array that is missing or malformed (checked first, nothing sent),
 *         or that cannot be locked (found after the broadcast; nothing
 *         written) or unlocked (after the elements were written); else the
 *         socket error of the call that failed. */
KELO_API int32_t KELO_CALL lpFindAllScannersVB(KeloSafeArray** array);
/** lpFindScannerByCableId() into a COM safe array, as lpFindAllScannersVB().
 * @param cableId the cable id asked for.
 * @param array the caller's safe array of ScannerInfoVB.
 * @return the results of lpFindAllScannersVB(). */
KELO_API int32_t KELO_CALL lpFindScannerByCableIdVB(uint32_t cableId, KeloSafeArray** array);
/** lpFindScannerBySerialNumber() into a COM safe array, as
 * lpFindAllScannersVB().
 * @param serialNumber the serial number asked for.
 * @param array the caller's safe array of ScannerInfoVB.
 * @return the results of lpFindAllScannersVB(). */
KELO_API int32_t KELO_CALL lpFindScannerBySerialNumberVB(uint32_t serialNumber,
                                                         KeloSafeArray** array);

KELO_END_DECLS

#endif
