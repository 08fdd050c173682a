/* SPDX-License-Identifier: Apache-2.0 */
/* The sizes of the records as C sees them, "Name=bytes" separated by
 * spaces, for the .NET test to compare with Marshal.SizeOf. */
#include <stdio.h>

#include "kelo_dll.h"

#define SIZE(type) printf("%s=%u ", #type, (unsigned)sizeof(type))

int main(void) {
    SIZE(ProfileRecord);
    SIZE(LargeProfileRecord);
    SIZE(ScanRecord);
    SIZE(ImageRecord);
    SIZE(ScannerInfo);
    SIZE(ScannerInfoVB);
    SIZE(OldPositionCalibration);
    printf("\n");
    return 0;
}
