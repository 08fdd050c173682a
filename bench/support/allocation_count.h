/* SPDX-License-Identifier: Apache-2.0 */
// Heap allocations of the whole program, every thread counted: the
// benchmark program's operator new is replaced by a counting one.
#pragma once

namespace kelo::bench {

unsigned long allocationCount();

}  // namespace kelo::bench
