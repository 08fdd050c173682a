/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * The library's version: the one place it is written. The build, the
 * packages, the DLL's version resource and the Python package read it from
 * here. */
#ifndef KELO_DLL_VERSION_H
#define KELO_DLL_VERSION_H

/** Major version: the number of the shared library's SONAME, changed when
 * the binary interface changes. lpGetKeloDllMajorVersionNumber() returns
 * the one the loaded library was built with. */
#define KELO_DLL_MAJOR_VERSION 3865u
/** Minor version: releases that keep the binary interface.
 * lpGetKeloDllMinorVersionNumber() returns the loaded library's. */
#define KELO_DLL_MINOR_VERSION 0u

#endif
