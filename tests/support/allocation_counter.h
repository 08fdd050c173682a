/* SPDX-License-Identifier: Apache-2.0 */
// Counts the heap allocations the calling thread makes while a counter is
// alive; other threads (the in-process emulator) are not counted.
#pragma once

#include <cstddef>

namespace kelo::test {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    unsigned long count() const;
    std::size_t largest() const;
};

}  // namespace kelo::test
