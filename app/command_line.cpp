// --version, --help and the refusal of other arguments; the help text lists the keys,
// the configuration file's keys and the environment the program reads.
#include "app/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/startup.h"
#include "program_version.h"

namespace {

constexpr int kBadArgumentStatus = 2;

// The spellings of --help that people type out of habit, from Unix and from Windows.
constexpr const char* kHelpArguments[] = {"--help", "-h", "/?"};

constexpr const char* kHelpBody = R"(Usage: ORVEXVario [--help | -h | /? | --version]

Without an argument the gauge opens. It reads ORVEXVari.INI, plane2.ico and the
five gauge images (vario.txr, ago_mask.txr, ago.txr, setpos.txr, setsize.txr)
from the working directory, and writes the window's place back to ORVEXVari.INI.

Keys:
  Escape             end the program
  F12                frame and caption on or off
  F11                position mode on or off: the arrow keys move the window
  F9                 size mode on or off: the arrow keys resize the window
  Left Right Up Down one pixel per press in the mode that is on; saved at once

Configuration file ORVEXVari.INI, [SECTION] KEY=value (a value runs to the end of
its line; only an upper-case Y counts as yes):
  [LAN] USELAN=Y           take the vertical speed from the cockpit data server
                           below; otherwise from the simulator link (SIMLINK)
  [LAN] ORVEXSERVER=host   the data server's address
  [LAN] ORVEXPORT=port     the data server's port
  [WINDOW] X=n  Y=n        the window's top-left corner, frame included (0, 0)
  [WINSIZE] WIDTH=n  HEIGHT=n
                           the window's size, frame included (400 by 400)
  [WINBORDER] ACTIVE=Y     a window with frame and caption (the default); any
                           other value gives a frameless window
  [WINDOW] TOPMOST=Y       keep the gauge above other windows
  [WINDOW] FULLSCREEN=Y    a borderless window over the whole monitor that holds
                           the middle of the saved window (else the primary one);
                           F12, F11, F9 and the arrows do nothing then
  [WINDOW] ROTATE=n        the picture turned n degrees clockwise (0, 90, 180 or
                           270), for a screen mounted on its side
  [GAUGE] MAXFPS=n         draw at most n frames per second, waiting in between;
                           0 or none: as many as the machine draws
  [GAUGE] DAMPING=s        the needle follows the value with a lag of s seconds,
                           at most 60 (decimal with a point, e.g. 0.5); 0 or none:
                           no lag
  [GAUGE] OFFFLAG=N        no red OFF flag over the dial while no value comes
  [GAUGE] DIAL=face        FPM6000 (+-6000 ft/min, the default), FPM2000
                           (+-2000 ft/min), MS5 (+-5 m/s) or KT10 (+-10 knots)
  [GAUGE] SCALE=v:d,...    a scale of one's own: value:degrees pairs from 0:0,
                           both increasing, at most 32, the last at most 165
                           degrees; overrides DIAL's scale
  [GAUGE] UNITS=unit       the unit of SCALE: FPM (the default), MS or KT
  [GAUGE] DIALIMAGE=file   a dial image of one's own in the working directory
A number that is not one (X=abc, DAMPING=0,5) or is out of its range (MAXFPS=-1,
DAMPING=90, ROTATE=45), an unknown DIAL or UNITS, or a SCALE that breaks a rule
ends the program with an "Application Error" quoting it.

Exit status: 0 after Escape, the close button or an end signal; 1 after an
"Application Error", a window that could not be made (no display, no GL), gauge
images that could not be read ("initialization failed.") or an answer to
--help or --version that could not be written; 2 for a bad argument.

Environment:
  ORVEX_DIALOGS=stderr     message boxes go to standard error instead of the screen
  ORVEX_TRACE=FILE         one line per frame put on the screen: the monotonic
                           time in milliseconds and the value shown (metres per
                           minute as read, or OFF)
  SIMLINK_RUNTIME_DIR      (Linux) directory where the simulator link meets the
                           simulator; else XDG_RUNTIME_DIR, else /tmp/simlink-<uid>
  XDG_RUNTIME_DIR          (Linux) see SIMLINK_RUNTIME_DIR
  SDL_VIDEODRIVER          (Linux) the SDL video driver; without it a machine with
                           no display gives "Window creation error."
)";

}  // namespace

std::string VersionText() { return std::string("ORVEXVario ") + kProgramVersion + "\n"; }

std::string HelpText() {
    return "ORVEXVario " + std::string(kProgramVersion) + ", the ZEVRA variometer.\n\n" + kHelpBody;
}

std::optional<CommandLineAnswer> AnswerCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return std::nullopt;
    auto is_help = [](const std::string& argument) {
        return std::find(std::begin(kHelpArguments), std::end(kHelpArguments), argument) != std::end(kHelpArguments);
    };
    auto known = [&](const std::string& argument) { return argument == "--version" || is_help(argument); };
    if (arguments.size() == 1 && known(arguments[0]))
        return CommandLineAnswer{0, is_help(arguments[0]) ? HelpText() : VersionText(), ""};
    auto unknown = std::find_if_not(arguments.begin(), arguments.end(), known);
    std::string problem = unknown != arguments.end() ? "unknown argument \"" + *unknown + "\"" : "one argument at most";
    return CommandLineAnswer{kBadArgumentStatus, "",
                             "ORVEXVario: " + problem + "; it takes --help, --version or no argument.\n"};
}

int WriteCommandLineAnswer(const CommandLineAnswer& answer, std::FILE* out, std::FILE* err) {
    errno = 0;
    bool written = std::fputs(answer.out.c_str(), out) >= 0 && std::fflush(out) == 0 && !std::ferror(out);
    int reason = errno;
    std::fputs(answer.err.c_str(), err);
    if (!written) {
        std::string line = "ORVEXVario: the answer could not be written to standard output";
        if (reason != 0) line += std::string(": ") + std::strerror(reason);
        std::fputs((line + ".\n").c_str(), err);
    }
    std::fflush(err);
    return written ? answer.exit_status : kFailureStatus;
}
