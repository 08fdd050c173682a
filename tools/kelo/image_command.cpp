// SPDX-License-Identifier: Apache-2.0
// kelo image HOST out.pgm: one camera image as a greyscale PGM file.
#include <cstdio>
#include <memory>
#include <new>

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
        "usage: kelo image HOST FILE.pgm [--laser N] [--rows N]\n"
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
}

}  // namespace

int runImage(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, {"laser", "rows"}, {})) return usageError(kName, args.error());
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    if (args.positional().size() != 2) return usageError(kName, "expected HOST FILE.pgm");
    std::int64_t laser = 0, rows = 0;
    if (!args.number("laser", 0, 0, 0xFFFFFFFF, &laser) ||
        !args.number("rows", 0, 1, KELO_IMAGE_MAX_PIXELS, &rows)) {
        return usageError(kName, args.error());
    }

    // Four megapixels: too large for the stack.
    std::unique_ptr<ImageRecord> image(new (std::nothrow) ImageRecord());
    if (!image) return report(kName, "out of memory");
    Scanner scanner(kName, args.positional()[0]);
    if (!scanner.open()) return kExitFailed;
    const int32_t result =
        args.has("laser")
            ? lpGetImageN(scanner.handle(), static_cast<std::uint32_t>(laser), image.get())
            : lpGetImage(scanner.handle(), image.get());
    if (result != KELO_OK) return reportResult(kName, "image request", result);

    std::uint32_t width = 0, height = 0;
    const std::string misfit = imageSize(*image, static_cast<std::uint32_t>(rows), &width, &height);
    if (!misfit.empty()) return report(kName, misfit + "; give --rows");
    const std::string& path = args.positional()[1];
    if (!writePgm(path, image->pixels, width, height)) {
        return report(kName, "cannot write '" + path + "'");
    }
    std::printf("%u x %u image from %s written to %s\n", width, height, scanner.host().c_str(),
                path.c_str());
    return kExitOk;
}

}  // namespace kelo::cli
