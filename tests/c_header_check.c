/* SPDX-License-Identifier: Apache-2.0 */
/* Compiled as C: the public header must be plain C, and the library must
 * link and answer without a scanner. */
#include <stdio.h>

#include "kelo_dll.h"

int main(void) {
    int failures = 0;
    if (lpGetKeloDllMajorVersionNumber() != KELO_DLL_MAJOR_VERSION) failures++;
    if (lpGetKeloDllMinorVersionNumber() != KELO_DLL_MINOR_VERSION) failures++;
    if (lpOpenConnection(NULL) != NULL) failures++;
    if (lpCloseConnection(NULL) != 0) failures++;
    if (lpGetNumberOfErrorMessages(NULL) != 0) failures++;
    if (lpGetErrorMessage(NULL, 0) != NULL) failures++;
    printf("c header check: %d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
