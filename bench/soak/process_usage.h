/* SPDX-License-Identifier: Apache-2.0 */
// What this process holds: resident memory, open descriptors, threads.
#pragma once

namespace soak {

struct Usage {
    long rssKiB = 0;
    long fds = 0;
    long threads = 0;
};

// Read from /proc/self; -1 where a figure cannot be read.
Usage currentUsage();

}  // namespace soak
