// SPDX-License-Identifier: Apache-2.0
#include "support/allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The counting operator new pairs malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<unsigned long> gAllocations{0};
thread_local unsigned long tAllocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++gAllocations;
    ++tAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace kelo::bench {

unsigned long allocationCount() { return gAllocations; }
unsigned long threadAllocationCount() { return tAllocations; }

}  // namespace kelo::bench
