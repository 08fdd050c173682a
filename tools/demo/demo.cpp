// kelo-demo: connects to a scanner and shows what it reports.
// usage: kelo-demo [HOST]   (default 127.0.0.1)
#include <cstdio>

#include "kelo_dll.h"

int main(int argc, char** argv) {
    const char* host = argc > 1 ? argv[1] : "127.0.0.1";
    std::printf("kelo_dll %u.%u\n", lpGetKeloDllMajorVersionNumber(),
                lpGetKeloDllMinorVersionNumber());
    ScannerConnection* scanner = lpOpenConnection(host);
    if (scanner == nullptr) {
        std::fprintf(stderr, "kelo-demo: no scanner answers at %s:%d\n", host, KELO_SCANNER_TCP_PORT);
        return 1;
    }
    std::printf("connected to %s (socket %d)\n", host, lpGetSocket(scanner));
    int32_t closed = lpCloseConnection(scanner);
    std::printf("closed: %d\n", closed);
    return closed == KELO_OK ? 0 : 1;
}
