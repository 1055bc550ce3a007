// vario-make-dial: draws the dial image of a built-in face or of a scale of one's own
// into a file, for [GAUGE] DIALIMAGE. The file is written beside its place and then
// renamed, so that it is either the whole new picture or untouched.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "common/error.h"
#include "config/dial_scale.h"
#include "tools/bitmap_file.h"
#include "tools/common/tool_options.h"
#include "tools/dial_face.h"

namespace {

constexpr const char* kTool = "vario-make-dial";

constexpr const char* kHelp =
    "Usage: vario-make-dial (--dial NAME | --scale TEXT [--units UNITS]) --output FILE\n"
    "Draws a dial image for the gauge ([GAUGE] DIALIMAGE=FILE), its marks, numbers and\n"
    "legend placed by the same scale the needle follows.\n"
    "\n"
    "  --dial NAME     a built-in face: FPM6000, FPM2000, MS5 or KT10\n"
    "  --scale TEXT    a scale of one's own: value:degrees pairs, e.g.\n"
    "                  0:0,500:40,1000:75,2000:120,4000:165\n"
    "  --units UNITS   the scale's unit: FPM (the default), MS or KT\n"
    "  --output FILE   the image file to write (a 24-bit bitmap, as vario.txr)\n"
    "  --help          this text\n"
    "  --version       the version\n"
    "\n"
    "Exit status: 0 when the file is written, 1 when it cannot be, 2 for bad options.\n";

struct Options {
    std::optional<std::string> dial, scale, units, output;
};

void TakeOnce(OptionReader& reader, std::optional<std::string>& slot) {
    if (slot) throw EVarioError(reader.Name() + " given twice");
    slot = reader.Value();
}

bool TakeOption(OptionReader& reader, Options& options) {
    const std::string& name = reader.Name();
    if (name == "--version") {
        std::printf("%s %s\n", kTool, VARIO_VERSION);
        std::exit(std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1);
    }
    if (name == "--dial") TakeOnce(reader, options.dial);
    else if (name == "--scale") TakeOnce(reader, options.scale);
    else if (name == "--units") TakeOnce(reader, options.units);
    else if (name == "--output") TakeOnce(reader, options.output);
    else return false;
    return true;
}

// The face the options name; raises the reason for options that name none.
DialScale ChosenDial(const Options& options) {
    if (!options.output || options.output->empty()) throw EVarioError("--output FILE is needed");
    if (options.dial && options.scale) throw EVarioError("--dial and --scale exclude each other");
    if (options.units && !options.scale) throw EVarioError("--units goes with --scale");
    if (options.dial) return BuiltInDial(*options.dial);
    if (options.scale) return ParseDialScale(*options.scale, DialUnitsNamed(options.units.value_or("")));
    throw EVarioError("--dial NAME or --scale TEXT is needed");
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    DialScale dial;
    if (int status = ReadToolOptions(
            kTool, argc, argv, [] { std::fputs(kHelp, stdout); },
            [&](OptionReader& reader) { return TakeOption(reader, options); }, [&] { dial = ChosenDial(options); });
        status != 0)
        return status;
    std::string message;
    try {
        message = WriteFileWhole(*options.output, DialImageBytes(dial));
    } catch (const EVarioError& error) {  // the platform cannot draw
        message = error.what();
    }
    if (message.empty()) return 0;
    std::fprintf(stderr, "%s: %s\n", kTool, message.c_str());
    return 1;
}
