// SPDX-License-Identifier: Apache-2.0
// Replaces the global operator new of the test program so that a thread
// can count its own allocations.
#include "support/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {

struct ThreadCount {
    bool counting = false;
    unsigned long count = 0;
    std::size_t largest = 0;
};
thread_local ThreadCount tCount;

void* allocate(std::size_t size) noexcept {
    if (tCount.counting) {
        ++tCount.count;
        if (size > tCount.largest) tCount.largest = size;
    }
    return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace kelo::test {

AllocationCounter::AllocationCounter() { tCount = ThreadCount{true, 0, 0}; }
AllocationCounter::~AllocationCounter() { tCount.counting = false; }
unsigned long AllocationCounter::count() const { return tCount.count; }
std::size_t AllocationCounter::largest() const { return tCount.largest; }

}  // namespace kelo::test
