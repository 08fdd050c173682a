// Profile answers, batches and the clean-up of owed answers, as every
// profile read of the library receives them. Record arrays are exactly as
// large as the capacity passed, so a write past them is caught.
#include <cstdint>
#include <memory>

#include "fed_connection.h"
#include "kelo_dll/profiles.h"

namespace {
constexpr unsigned kMaxCapacity = 8;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 5);
    kelo::fuzz::FedConnection fed(input.data, input.size);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    const std::uint32_t capacity = input.option % (kMaxCapacity + 1);
    std::unique_ptr<ProfileRecord[]> records(new ProfileRecord[capacity ? capacity : 1]);
    switch (input.choice) {
        case 0:
            lpReadProfile(c, records.get());
            break;
        case 1:
            c->syncFlag = 1;
            c->outstandingRequests = 1;
            lpReadMultipleProfilesTimeout(c, records.get(), capacity, 100);
            break;
        case 2: {
            std::unique_ptr<LargeProfileRecord[]> large(
                new LargeProfileRecord[capacity ? capacity : 1]);
            c->syncFlag = 1;
            c->outstandingRequests = 1;
            lpReadMultipleLargeProfiles(c, large.get(), capacity, 100);
            break;
        }
        case 3:
            lpGetProfileFromAllLasers(c, records.get(), capacity);
            break;
        case 4:
            c->outstandingRequests = 1 + input.option % 4;
            lpCleanUpOutstandingRequests(c);
            break;
    }
    return 0;
}
