// SPDX-License-Identifier: Apache-2.0
#include "grab_files.h"

#include <algorithm>
#include <cstdio>

#include "interrupts.h"

namespace kelo::cli {

std::string pathForScanner(const std::string& path, std::size_t index, std::size_t scanners) {
    if (scanners < 2 || path.empty()) return path;
    const std::size_t name = path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(index + 1) + path.substr(dot);
}

GrabFiles::GrabFiles(const GrabOptions& options, std::size_t index, std::size_t scanners)
    : options_(options),
      output_(pathForScanner(options.output, index, scanners)),
      ply_(pathForScanner(options.ply, index, scanners)),
      heightMapPath_(pathForScanner(options.heightMap, index, scanners)),
      plot_(pathForScanner(options.plot, index, scanners)) {}

std::string GrabFiles::open() {
    if (!output_.empty() && !profiles_.open(output_, options_.format)) return output_;
    if (!ply_.empty() && !cloud_.open(ply_, options_.along)) return ply_;
    if (!heightMapPath_.empty() && !heightMap_.open(heightMapPath_)) return heightMapPath_;
    return {};
}

std::string GrabFiles::write(const ProfileView& profile) {
    const std::uint64_t index = written_++;
    if (!output_.empty() && !profiles_.write(index, profile)) return output_;
    if (!ply_.empty() && !cloud_.write(index, profile)) return ply_;
    if (!heightMapPath_.empty() && !heightMap_.write(profile)) return heightMapPath_;
    if (plot_.empty()) return {};
    std::copy(profile.header, profile.header + lastHeader_.size(), lastHeader_.begin());
    lastPoints_.resize(static_cast<std::size_t>(profile.pointCount));
    for (std::int32_t i = 0; i < profile.pointCount; ++i) {
        std::copy(profile.points[i], profile.points[i] + 3, lastPoints_[static_cast<std::size_t>(i)].begin());
    }
    return {};
}

std::string GrabFiles::flush() {
    return output_.empty() || profiles_.flush() ? std::string() : output_;
}

std::string GrabFiles::close(const std::string& scannerName) {
    std::string failed;
    if (!output_.empty() && !profiles_.close()) failed += "cannot write to " + output_ + "; ";
    if (!ply_.empty() && !cloud_.close()) failed += "cannot write to " + ply_ + "; ";
    if (!heightMapPath_.empty() && !heightMap_.close()) failed += "cannot write to " + heightMapPath_ + "; ";
    if (!plot_.empty()) {
        if (written_ == 0) {
            failed += "no profile to plot; ";
        } else {
            ProfileView last;
            last.header = lastHeader_.data();
            last.points = reinterpret_cast<const std::int32_t(*)[3]>(lastPoints_.data());
            last.pointCount = static_cast<std::int32_t>(lastPoints_.size());
            PlotOptions plot = options_.plotOptions;
            plot.title = "kelo grab " + scannerName + ": profile " + std::to_string(written_ - 1) + ", " +
                         std::to_string(last.pointCount) + " points";
            if (!writeProfileSvg(plot_, last, plot)) failed += "cannot write the plot to " + plot_ + "; ";
        }
    }
    if (!failed.empty()) failed.resize(failed.size() - 2);
    return failed;
}

void GrabFiles::printSummary(const std::string& scannerName, double seconds, const char* mode) const {
    if (options_.quiet) return;
    std::fprintf(stderr, "kelo grab: %llu profile(s) from %s in %.2f s (%s sync)%s%s%s\n",
                 static_cast<unsigned long long>(written_), scannerName.c_str(), seconds, mode,
                 output_.empty() || output_ == "-" ? "" : " to ", output_ == "-" ? "" : output_.c_str(),
                 interrupted() ? ", interrupted" : "");
    if (!ply_.empty()) {
        std::fprintf(stderr, "kelo grab: %llu point(s) in %s\n",
                     static_cast<unsigned long long>(cloud_.points()), ply_.c_str());
    }
    if (!heightMapPath_.empty()) {
        std::fprintf(stderr, "kelo grab: %u x %llu height map in %s, heights %d to %d\n", heightMap_.width(),
                     static_cast<unsigned long long>(heightMap_.rows()), heightMapPath_.c_str(),
                     heightMap_.lowest(), heightMap_.highest());
    }
}

}  // namespace kelo::cli
