/* SPDX-License-Identifier: Apache-2.0 */
/* Finding scanners on the local network by UDP broadcast (port 30127). */
#ifndef KELO_DLL_DISCOVERY_H
#define KELO_DLL_DISCOVERY_H

#include <stddef.h>

#include "api.h"

/* Most scanners one VB call can report. */
#define KELO_VB_SCRATCH_CAPACITY 1024
/* lpGetLastSocketError after a find call refused its arguments. */
#define KELO_SOCKET_ERROR_INVALID_ARGUMENT 22

/* The COM safe-array descriptor the VB find functions fill. Windows uses
 * the real SAFEARRAY of <oleauto.h>, named here by its tag so that this
 * header does not bring in the Windows headers and their macros; elsewhere
 * a descriptor of the same shape stands in, locked and unlocked by the
 * library through its cLocks counter. */
#if defined(_WIN32)
typedef struct tagSAFEARRAY KeloSafeArray;
#else
typedef struct KeloSafeArrayBound {
    uint32_t cElements;
    int32_t lLbound;
} KeloSafeArrayBound;

typedef struct KeloSafeArray {
    uint16_t cDims;
    uint16_t fFeatures;
    uint32_t cbElements;
    uint32_t cLocks;
    void* pvData;
    KeloSafeArrayBound rgsabound[1];
} KeloSafeArray;
#endif

KELO_BEGIN_DECLS

#pragma pack(push, 1)

/* One scanner's discovery reply, exactly as the scanner sent it
 * (little-endian). Only identity has a meaning to the library: two records
 * with equal identity are the same scanner. */
typedef struct ScannerInfo {
    uint32_t value1;
    uint16_t value2;
    uint8_t value3;
    uint32_t value4;
    uint32_t identity;
    uint8_t value6;
    uint8_t value7;
    uint32_t value8;
    uint8_t block[512];
} ScannerInfo;

#pragma pack(pop)

/* The same fields naturally aligned: the element type of the VB safe
 * arrays. The library never writes the padding bytes. */
typedef struct ScannerInfoVB {
    uint32_t value1;
    uint16_t value2;
    uint8_t value3;
    uint32_t value4;
    uint32_t identity;
    uint8_t value6;
    uint8_t value7;
    uint32_t value8;
    uint8_t block[512];
} ScannerInfoVB;

KELO_STATIC_ASSERT(sizeof(ScannerInfo) == 533, "ScannerInfo must be 533 bytes");
KELO_STATIC_ASSERT(offsetof(ScannerInfo, identity) == 11, "ScannerInfo.identity at 11");
KELO_STATIC_ASSERT(offsetof(ScannerInfo, block) == 21, "ScannerInfo.block at 21");
KELO_STATIC_ASSERT(sizeof(ScannerInfoVB) == 536, "ScannerInfoVB must be 536 bytes");
KELO_STATIC_ASSERT(offsetof(ScannerInfoVB, value4) == 8, "ScannerInfoVB.value4 at 8");
KELO_STATIC_ASSERT(offsetof(ScannerInfoVB, identity) == 12, "ScannerInfoVB.identity at 12");
KELO_STATIC_ASSERT(offsetof(ScannerInfoVB, value8) == 20, "ScannerInfoVB.value8 at 20");
KELO_STATIC_ASSERT(offsetof(ScannerInfoVB, block) == 24, "ScannerInfoVB.block at 24");

/* Broadcast one discovery request from every local IPv4 address and store
 * one record per distinct scanner that answers, in arrival order, until
 * 500 ms pass without any datagram, the array is full, or 10 s have passed
 * since collecting began however busy the network is. The scanners decide
 * whether a request selects them; the library does not filter.
 * Returns the number of records, or -1 with the reason in
 * lpGetLastSocketError (22: null records or capacity 0, nothing sent). */
KELO_API int32_t KELO_CALL lpFindAllScanners(ScannerInfo* records, uint32_t capacity);
KELO_API int32_t KELO_CALL lpFindScannerByCableId(uint32_t cableId, ScannerInfo* records,
                                                  uint32_t capacity);
KELO_API int32_t KELO_CALL lpFindScannerBySerialNumber(uint32_t serialNumber,
                                                       ScannerInfo* records, uint32_t capacity);

/* As above, into a one-dimensional safe array of ScannerInfoVB (element
 * size 536, at least one element). Replies are collected for up to
 * KELO_VB_SCRATCH_CAPACITY scanners whatever the array's size, and the
 * first ones that fit are written. Returns the number of elements written,
 * or -1 with the reason in lpGetLastSocketError. Error 22: an array that
 * is missing or malformed (checked first, nothing sent), or one that
 * cannot be locked, which is found only after the broadcast and the quiet
 * period (nothing written), or cannot be unlocked after the elements were
 * written. */
KELO_API int32_t KELO_CALL lpFindAllScannersVB(KeloSafeArray** array);
KELO_API int32_t KELO_CALL lpFindScannerByCableIdVB(uint32_t cableId, KeloSafeArray** array);
KELO_API int32_t KELO_CALL lpFindScannerBySerialNumberVB(uint32_t serialNumber,
                                                         KeloSafeArray** array);

KELO_END_DECLS

#endif
