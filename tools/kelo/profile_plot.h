/* SPDX-License-Identifier: Apache-2.0 */
// A picture of one profile: its points on two of their three values, as a
// self-contained SVG file with axes, ticks and a title.
#pragma once

#include <string>

#include "profile_view.h"

namespace kelo::cli {

struct PlotOptions {
    int xValue = 0;  // which of the three point values goes across
    int yValue = 1;  // and which goes up
    std::string title;
};

// The SVG text of the plot.
std::string profileSvg(const ProfileView& profile, const PlotOptions& options);
// Writes it to path; false when the file cannot be written.
bool writeProfileSvg(const std::string& path, const ProfileView& profile,
                     const PlotOptions& options);

}  // namespace kelo::cli
