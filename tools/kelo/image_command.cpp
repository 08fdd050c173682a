// SPDX-License-Identifier: Apache-2.0
// kelo image HOST out.pgm: one camera image as a greyscale PGM file.
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "image_size.h"
#include "pgm_writer.h"
#include "session.h"

namespace kelo::cli {
namespace {

const char* const kName = "image";

void printHelp() {
    std::printf(
        "usage: kelo image HOST|--serial N|--cable N FILE.pgm [--laser N] [--rows N]\n"
        "\n"
        "Takes one camera image (the connection must be idle) and writes it as a\n"
        "binary greyscale PGM. The row length comes from the image header; the\n"
        "number of rows from header word %d unless --rows gives it. At most %u\n"
        "pixels are held.\n"
        "\n"
        "options:\n"
        "  --laser N  the image of laser N (command for one laser)\n"
        "  --rows N   number of rows to write\n"
        "  --help     this text\n",
        kImageRowCountWord, KELO_IMAGE_MAX_PIXELS);
    printTargetHelp();
}

}  // namespace

int runImage(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, withTargetOptions({"laser", "rows"}), {})) return usageError(kName, args.error());
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    std::vector<std::string> words = args.positional();
    Targets targets;
    std::string error;
    if (!parseTargets(args, &words, 0, false, &targets, &error)) return usageError(kName, error);
    if (words.size() != 1) return usageError(kName, "expected HOST FILE.pgm");
    std::int64_t laser = 0, rows = 0;
    if (!args.number("laser", 0, 0, 0xFFFFFFFF, &laser) ||
        !args.number("rows", 0, 1, KELO_IMAGE_MAX_PIXELS, &rows)) {
        return usageError(kName, args.error());
    }

    // Four megapixels: too large for the stack.
    std::unique_ptr<ImageRecord> image(new (std::nothrow) ImageRecord());
    if (!image) return report(kName, "out of memory");
    Scanner scanner(kName, targets.scanners[0], targets.connectTimeoutMs);
    if (!scanner.open()) return kExitFailed;
    const int32_t result =
        args.has("laser")
            ? lpGetImageN(scanner.handle(), static_cast<std::uint32_t>(laser), image.get())
            : lpGetImage(scanner.handle(), image.get());
    if (result != KELO_OK) return reportFailure(kName, "image request", scanner.handle(), result, {"an image"});

    std::uint32_t width = 0, height = 0;
    const std::string misfit = imageSize(*image, static_cast<std::uint32_t>(rows), &width, &height);
    if (!misfit.empty()) return report(kName, misfit + "; give --rows");
    const std::string& path = words[0];
    if (!writePgm(path, image->pixels, width, height)) {
        return report(kName, "cannot write '" + path + "'");
    }
    std::printf("%u x %u image from %s written to %s\n", width, height, scanner.name().c_str(),
                path.c_str());
    return kExitOk;
}

}  // namespace kelo::cli
