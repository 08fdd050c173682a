// SPDX-License-Identifier: Apache-2.0
// Compiled, not run (cmake/CheckCppHeader.cmake): every template of the C++
// API is instantiated, so the whole header meets the compiler's warnings.
#ifdef KELO_PROBE_WINDOWS_H
#include <windows.h>
#endif
#include "kelo_dll/kelo.hpp"

int main() {
    kelo::Scanner scanner("127.0.0.1");
    kelo::Stream queued(scanner);
    kelo::LargeStream called(
        scanner, kelo::StreamOptions(), [](const kelo::Batch<LargeProfileRecord>&) {},
        [](const kelo::Error&) {});
    LargeProfileRecord large[2];
    scanner.readProfiles(large, 2, std::chrono::milliseconds(10));
    kelo::Group group;
    group.add(scanner);
    kelo::GroupStream groupStream(group, kelo::GroupStreamOptions(), [](const kelo::GroupBatch&) {},
                                  [](const kelo::Error&) {});
    const kelo::Batch<ProfileRecord> batch = queued.pop(std::chrono::milliseconds(1));
    const std::vector<kelo::FoundScanner> found = kelo::discover();
    return static_cast<int>(batch.size() + found.size());
}
