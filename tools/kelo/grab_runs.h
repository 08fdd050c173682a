/* SPDX-License-Identifier: Apache-2.0 */
// kelo grab's runs: on one scanner, batch by batch, and on several as a
// group. Each enters sync mode, collects, writes the files, reports, and
// leaves sync mode; each gives the exit status.
#pragma once

#include <memory>
#include <vector>

#include "grab_files.h"
#include "grab_options.h"
#include "session.h"

namespace kelo::cli {

int grabOne(const Scanner& scanner, const GrabOptions& options, GrabFiles& files);
int grabGroup(const std::vector<std::unique_ptr<Scanner>>& scanners, const GrabOptions& options,
              std::vector<std::unique_ptr<GrabFiles>>& files);

// Whether leaving sync mode is worth a try after the connection's last
// call: not once the scanner stopped answering or the connection is gone.
bool stillAnswering(ScannerConnection* connection);

// The end both share: what failed before (empty for none) and what
// leaving sync mode said; reported, and the exit status.
int grabEnd(const GrabOptions& options, const std::string& failure,
            const std::vector<std::string>& leftFailures);

}  // namespace kelo::cli
