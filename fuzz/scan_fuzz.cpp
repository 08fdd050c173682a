// Scan answers (decodeScan through the exported scan requests).
#include <cstdint>
#include <memory>

#include "fed_connection.h"
#include "kelo_dll/scans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 2);
    kelo::fuzz::FedConnection fed(input.data, input.size);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    std::unique_ptr<ScanRecord> scan(new ScanRecord);
    if (input.choice == 0) {
        lpGetScan(c, scan.get());
    } else {
        lpGetDiagnosticScan(c, input.option, 2, 3, scan.get());
    }
    return 0;
}
