/* SPDX-License-Identifier: Apache-2.0 */
// What kelo grab was asked to do, shared by its runs on one scanner and on
// a group.
#pragma once

#include <cstdint>
#include <string>

#include "point_cloud_writer.h"
#include "profile_output.h"
#include "profile_plot.h"
#include "sync_session.h"

namespace kelo::cli {

struct GrabOptions {
    std::uint64_t count = 0;
    SyncSettings sync;
    std::uint32_t batch = 100;
    std::int32_t timeoutMs = KELO_DEFAULT_TIMEOUT_MS;
    std::string output;  // empty: no CSV or binary output
    ProfileFormat format = ProfileFormat::Csv;
    bool large = false;
    std::string plot;
    PlotOptions plotOptions;
    std::string ply;
    AlongAxis along;
    std::string heightMap;
    bool quiet = false;
};

}  // namespace kelo::cli
