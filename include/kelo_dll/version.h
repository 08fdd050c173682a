/* SPDX-License-Identifier: Apache-2.0 */
/* The library's version: the one place it is written. The build, the
 * packages, the DLL's version resource and the Python package read it from
 * here. */
#ifndef KELO_DLL_VERSION_H
#define KELO_DLL_VERSION_H

#define KELO_DLL_MAJOR_VERSION 3865u
#define KELO_DLL_MINOR_VERSION 0u

#endif
