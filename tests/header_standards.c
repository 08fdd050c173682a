/* SPDX-License-Identifier: Apache-2.0 */
/* Compiled as every C and C++ standard a caller may use (see
 * cmake/CheckHeaderStandards.cmake): the public header must build cleanly
 * under -Wall -Wextra -pedantic, check the record sizes at compile time,
 * and bring in none of the Windows headers' macros. */
#include "kelo_dll.h"

#if defined(min) || defined(max) || defined(_WINDOWS_) || defined(WINAPI) || \
    defined(_OLEAUTO_H_) || defined(ERROR) || defined(near) || defined(far)
#error "kelo_dll.h brings in Windows header macros"
#endif

#ifdef KELO_PROBE_FALSE_CHECK
/* Must stop the compilation in every standard. */
KELO_STATIC_ASSERT(sizeof(ProfileRecord) == 2955, "a false check");
#endif

int main(void) {
    KeloSafeArray* array = 0;
    return lpFindAllScannersVB(&array) == 0 && sizeof(ImageRecord) > 0 ? 1 : 0;
}
