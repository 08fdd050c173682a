/* SPDX-License-Identifier: Apache-2.0 */
// Heap allocations counted by the benchmark program's own operator new,
// which replaces the standard one: every thread's, or the calling thread's
// alone (a program whose emulator threads allocate as they like).
#pragma once

namespace kelo::bench {

unsigned long allocationCount();
unsigned long threadAllocationCount();

}  // namespace kelo::bench
