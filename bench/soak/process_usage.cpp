// SPDX-License-Identifier: Apache-2.0
#include "process_usage.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>

namespace soak {
namespace {

// Entries of a /proc directory, less "." and ".." and, for fd/, the
// descriptor that reads it.
long entries(const char* directory, long own) {
    DIR* dir = opendir(directory);
    if (dir == nullptr) return -1;
    long count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count - own;
}

long residentKiB() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return -1;
    long size = 0;
    long resident = -1;
    if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2) resident = -1;
    std::fclose(statm);
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

Usage currentUsage() {
    Usage usage;
    usage.rssKiB = residentKiB();
    usage.fds = entries("/proc/self/fd", 1);
    usage.threads = entries("/proc/self/task", 0);
    return usage;
}

}  // namespace soak
