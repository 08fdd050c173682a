// SPDX-License-Identifier: Apache-2.0
#include "profile_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace kelo::cli {
namespace {

constexpr double kWidth = 800, kHeight = 520;
constexpr double kLeft = 90, kRight = 30, kTop = 50, kBottom = 60;
constexpr int kTargetTicks = 6;

struct Range {
    double low = 0, high = 1;
};

// A tick step of 1, 2 or 5 times a power of ten giving about kTargetTicks ticks.
double tickStep(const Range& r) {
    const double span = r.high - r.low;
    const double rough = span / kTargetTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * magnitude >= rough) return factor * magnitude;
    }
    return 10.0 * magnitude;
}

// The data range widened to whole ticks; a flat or empty range still gets
// a span so that the scale is defined.
Range axisRange(double low, double high) {
    if (!(high > low)) {
        low -= 1;
        high += 1;
    }
    Range r{low, high};
    const double step = tickStep(r);
    r.low = std::floor(low / step) * step;
    r.high = std::ceil(high / step) * step;
    return r;
}

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c, d);
    return buffer;
}

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", std::fabs(value) < 1e-9 ? 0.0 : value);
    return buffer;
}

}  // namespace

std::string profileSvg(const ProfileView& profile, const PlotOptions& options) {
    const int xi = std::clamp(options.xValue, 0, 2);
    const int yi = std::clamp(options.yValue, 0, 2);
    double xLow = 0, xHigh = 0, yLow = 0, yHigh = 0;
    for (std::int32_t i = 0; i < profile.pointCount; ++i) {
        const double x = profile.points[i][xi], y = profile.points[i][yi];
        if (i == 0 || x < xLow) xLow = x;
        if (i == 0 || x > xHigh) xHigh = x;
        if (i == 0 || y < yLow) yLow = y;
        if (i == 0 || y > yHigh) yHigh = y;
    }
    const Range xr = axisRange(xLow, xHigh);
    const Range yr = axisRange(yLow, yHigh);
    const double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    auto px = [&](double x) { return kLeft + (x - xr.low) / (xr.high - xr.low) * plotW; };
    auto py = [&](double y) { return kTop + plotH - (y - yr.low) / (yr.high - yr.low) * plotH; };

    std::string svg;
    svg += format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%g\" height=\"%g\" "
                  "viewBox=\"0 0 %g %g\" font-family=\"sans-serif\" font-size=\"13\">\n",
                  kWidth, kHeight, kWidth, kHeight);
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + number(kWidth / 2) + "\" y=\"28\" text-anchor=\"middle\" "
           "font-size=\"16\">" + escape(options.title) + "</text>\n";

    // Grid, ticks and their labels.
    svg += "<g stroke=\"#dddddd\" stroke-width=\"1\">\n";
    const double xStep = tickStep(xr), yStep = tickStep(yr);
    std::string labels;
    for (double x = xr.low; x <= xr.high + xStep / 2; x += xStep) {
        svg += format("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", px(x), kTop,
                      px(x), kTop + plotH);
        labels += format("<text x=\"%.2f\" y=\"%.2f\" text-anchor=\"middle\">", px(x),
                         kTop + plotH + 20) + number(x) + "</text>\n";
    }
    for (double y = yr.low; y <= yr.high + yStep / 2; y += yStep) {
        svg += format("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", kLeft, py(y),
                      kLeft + plotW, py(y));
        labels += format("<text x=\"%.2f\" y=\"%.2f\" text-anchor=\"end\">", kLeft - 8,
                         py(y) + 4) + number(y) + "</text>\n";
    }
    svg += "</g>\n" + labels;
    svg += format("<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"none\" "
                  "stroke=\"black\"/>\n", kLeft, kTop, plotW, plotH);
    svg += format("<text x=\"%.2f\" y=\"%.2f\" text-anchor=\"middle\">point value %g</text>\n",
                  kLeft + plotW / 2, kHeight - 15, xi);
    svg += format("<text transform=\"translate(20 %.2f) rotate(-90)\" text-anchor=\"middle\">"
                  "point value %g</text>\n", kTop + plotH / 2, yi);

    // The profile: a faint line through the points in their order, and the points.
    if (profile.pointCount > 1) {
        svg += "<polyline fill=\"none\" stroke=\"#9ab8e0\" stroke-width=\"1\" points=\"";
        for (std::int32_t i = 0; i < profile.pointCount; ++i) {
            svg += format("%.2f,%.2f ", px(profile.points[i][xi]), py(profile.points[i][yi]));
        }
        svg += "\"/>\n";
    }
    svg += "<g fill=\"#1f4e9c\">\n";
    for (std::int32_t i = 0; i < profile.pointCount; ++i) {
        svg += format("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"2\"/>\n", px(profile.points[i][xi]),
                      py(profile.points[i][yi]));
    }
    svg += "</g>\n";
    if (profile.pointCount == 0) {
        svg += format("<text x=\"%.2f\" y=\"%.2f\" text-anchor=\"middle\" fill=\"#a00\">"
                      "no points</text>\n", kLeft + plotW / 2, kTop + plotH / 2);
    }
    svg += "</svg>\n";
    return svg;
}

bool writeProfileSvg(const std::string& path, const ProfileView& profile,
                     const PlotOptions& options) {
    const std::string svg = profileSvg(profile, options);
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    const bool written = std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace kelo::cli
