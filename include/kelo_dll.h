/* SPDX-License-Identifier: Apache-2.0 */
/** @file
 * kelo_dll: client library for network-attached laser profile scanners.
 * The one header applications include; it brings in every part.
 *
 * Every exported function is named lp..., uses the ::KELO_CALL calling
 * convention (__stdcall in the 32-bit Windows DLL) and returns the result
 * codes of kelo_dll/api.h unless its own documentation says otherwise.
 */
#ifndef KELO_DLL_H
#define KELO_DLL_H

#include "kelo_dll/api.h"
#include "kelo_dll/connection.h"
#include "kelo_dll/profiles.h"
#include "kelo_dll/sync.h"
#include "kelo_dll/scans.h"
#include "kelo_dll/images.h"
#include "kelo_dll/overrides.h"
#include "kelo_dll/parameters.h"
#include "kelo_dll/calibration.h"
#include "kelo_dll/status.h"
#include "kelo_dll/firmware.h"
#include "kelo_dll/discovery.h"
#include "kelo_dll/network_config.h"
#include "kelo_dll/group.h"
#include "kelo_dll/extensions.h"

#endif
