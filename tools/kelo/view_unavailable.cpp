// SPDX-License-Identifier: Apache-2.0
// kelo view where the tool was built without an HTTP library (Windows, or
// no cpp-httplib found).
#include "commands.h"
#include "session.h"

namespace kelo::cli {

int runView(int, char**) {
    return report("view", "this kelo was built without the viewer; it needs cpp-httplib "
                          "(Debian: libcpp-httplib-dev) and a Linux build");
}

}  // namespace kelo::cli
