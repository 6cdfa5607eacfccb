// brimvalk-pacing: runs the program for a number of seconds and reports its frame pacing: the time
// of every frame, taken when its SwapBuffers returns, with percentiles, stutters, a plot and a CSV.
// Not the program: it runs the program's own entry sequence and frame loop (program_session.h) and
// watches the buffer swaps through the platform layer's swap hook.
#include <windows.h>
#include <GL/gl.h>

#include <SDL.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/output_file.h"
#include "tools/pacing_plot.h"
#include "tools/pacing_stats.h"
#include "tools/program_session.h"

namespace {

const char kTool[] = "brimvalk-pacing";
const double kMostSeconds = 3600;

const char kUsage[] =
    "usage: brimvalk-pacing [--seconds S] [--hold KEY:RANGE]... [--png FILE [--size WxH]] [--csv FILE]\n"
    "                       [--program-output FILE]\n"
    "\n"
    "Runs Brimvalk Test on the current display (or offscreen with SDL_VIDEODRIVER=offscreen) for\n"
    "S seconds, asking for the swap interval as the program does, then ends it as a quit would.\n"
    "Prints on standard output:\n"
    "  frames N, mean X fps, p50 A ms, p95 B ms, p99 C ms, max D ms, stutters K\n"
    "  swap interval: asked 1 (WGL_EXT_swap_control offered), driver reports I\n"
    "\n"
    "A frame's time runs from the previous frame's SwapBuffers return to its own (the first frame's\n"
    "from the start of the frame loop, so it includes the driver's first-draw work). The mean is\n"
    "N over the time from the loop's start to the last swap. Percentiles are nearest-rank: pP is\n"
    "the smallest frame time with at least P% of the frames at or below it. A stutter is a frame\n"
    "longer than 1.5 times p50. \"driver reports\" is SDL_GL_GetSwapInterval: on X11 the drawable's\n"
    "interval as GLX reports it, with EGL the interval the driver last accepted; whether swaps wait\n"
    "for it shows in the frame times.\n"
    "\n"
    "  --seconds S          how long to run, above 0 and at most 3600 (default 10)\n"
    "  --hold KEY:RANGE     hold KEY down during frames RANGE, as brimvalk-snapshot does: FIRST-END\n"
    "                       (FIRST up to, not including, END) or COUNT (0-COUNT). KEY: up, down,\n"
    "                       left, right, z, x. Without --hold the real keyboard steers.\n"
    "  --png FILE           the plot: frame time against frame number, 16.7 and 33.3 ms lines,\n"
    "                       stutters circled, percentiles in the legend\n"
    "  --size WxH           the plot's size in pixels (default 1200x600)\n"
    "  --csv FILE           frame,frame_ms: a header line, then one line a frame\n"
    "  --program-output FILE  where the program's own per-frame lines go (default /dev/null)\n"
    "\n"
    "Bad arguments exit with status 2 before anything runs. A file is written whole or not at all,\n"
    "renamed over the old one at the end (through a link, the file it leads to); a device, a FIFO\n"
    "or /dev/stdout is written in place.\n"
    "\n"
    "example: brimvalk-pacing --seconds 10 --png pacing.png --csv pacing.csv\n";

struct Options {
    double seconds = 10;
    std::vector<KeyHold> holds;
    std::string png, csv;
    int width = 1200, height = 600;
    std::string programOutput = "/dev/null";
};

std::string Format(const char* format, double value) {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

// Decimal digits with an optional fraction, nothing else: strtod alone would also take spaces,
// hex, exponents and "inf".
bool ParseSeconds(const char* text, double* seconds) {
    const size_t whole = strspn(text, "0123456789");
    const size_t fraction = text[whole] == '.' ? strspn(text + whole + 1, "0123456789") : 0;
    const size_t length = whole + (text[whole] == '.' ? 1 + fraction : 0);
    if (whole + fraction == 0 || length != strlen(text)) return false;
    const double parsed = strtod(text, nullptr);
    if (parsed <= 0 || parsed > kMostSeconds) return false;
    *seconds = parsed;
    return true;
}

bool ParseSize(const char* text, int* width, int* height) {
    long w = 0, h = 0;
    const char* x = strchr(text, 'x');
    if (x == nullptr) return false;
    if (!ParseNumber(std::string(text, x).c_str(), 480, &w, 8192) || !ParseNumber(x + 1, 320, &h, 8192)) return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

// Returns 0 when the options are usable, 2 after printing why not, -1 after printing the help.
int ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return -1;
        }
        if (value == nullptr || (arg != "--seconds" && arg != "--hold" && arg != "--png" && arg != "--size" &&
                                 arg != "--csv" && arg != "--program-output")) {
            fprintf(stderr, "%s: unknown or incomplete option \"%s\" (--help for the options)\n", kTool, arg.c_str());
            return 2;
        }
        ++i;
        KeyHold hold;
        if (arg == "--seconds" && !ParseSeconds(value, &options->seconds)) {
            fprintf(stderr, "%s: --seconds wants a number above 0 and at most %.0f, not \"%s\"\n", kTool, kMostSeconds,
                    value);
            return 2;
        } else if (arg == "--hold") {
            if (!ParseKeyHold(value, &hold)) {
                fprintf(stderr, "%s: cannot read --hold \"%s\" (want KEY:COUNT or KEY:FIRST-END)\n", kTool, value);
                return 2;
            }
            options->holds.push_back(hold);
        } else if (arg == "--size" && !ParseSize(value, &options->width, &options->height)) {
            fprintf(stderr, "%s: --size wants WIDTHxHEIGHT from 480x320 to 8192x8192, not \"%s\"\n", kTool, value);
            return 2;
        } else if (arg == "--png" || arg == "--csv" || arg == "--program-output") {
            if (*value == '\0') {
                fprintf(stderr, "%s: %s wants a file name\n", kTool, arg.c_str());
                return 2;
            }
            (arg == "--png" ? options->png : arg == "--csv" ? options->csv : options->programOutput) = value;
        }
    }
    return 0;
}

// Where the program's own lines go: a stream, not renamed into place, so only checked here.
bool CheckProgramOutput(const std::string& path) {
    FILE* file = fopen(path.c_str(), "a");
    if (file == nullptr) {
        fprintf(stderr, "%s: cannot write %s: %s\n", kTool, path.c_str(), strerror(errno));
        return false;
    }
    fclose(file);
    return true;
}

// The swap interval as the program asks for it: 1 when the context offers WGL_EXT_swap_control.
std::string SwapIntervalLine() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const bool offered = extensions != nullptr && strstr(extensions, "WGL_EXT_swap_control") != nullptr;
    char line[128];
    snprintf(line, sizeof line, "swap interval: %s, driver reports %d",
             offered ? "asked 1 (WGL_EXT_swap_control offered)" : "not asked (no WGL_EXT_swap_control)",
             SDL_GL_GetSwapInterval());
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed != 0) return parsed < 0 ? 0 : 2;
    const std::string programOutput = options.programOutput == "/dev/null" ? "" : options.programOutput;
    // Each file is written once: two of them naming one file would leave only the last.
    const std::pair<const char*, const std::string*> files[] = {
        {"--png", &options.png}, {"--csv", &options.csv}, {"--program-output", &programOutput}};
    for (size_t i = 0; i < 3; ++i) {
        for (size_t j = i + 1; j < 3; ++j) {
            const std::string &first = *files[i].second, &second = *files[j].second;
            if (!first.empty() && !second.empty() && SameFile(first, second)) {
                fprintf(stderr, "%s: %s and %s name one file, %s\n", kTool, files[i].first, files[j].first,
                        files[j].second->c_str());
                return 2;
            }
        }
    }
    OutputFile png, csv;
    if ((!options.png.empty() && !png.Prepare(kTool, options.png)) ||
        (!options.csv.empty() && !csv.Prepare(kTool, options.csv)) || !CheckProgramOutput(options.programOutput)) {
        return 2;
    }

    SessionOptions session;
    session.offscreen = false;  // the current display, unless SDL_VIDEODRIVER says otherwise
    session.swapSync = true;    // the program asks for its swap interval, as it does for users
    session.quietOutput = options.programOutput.c_str();
    if (!OpenProgram(kTool, session)) return 1;
    const std::string swapLine = SwapIntervalLine();
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string caption = std::string(SDL_GetCurrentVideoDriver()) + " video, " +
                                (renderer != nullptr ? renderer : "unknown renderer") + "; " + swapLine +
                                Format("; %g s", options.seconds);

    std::vector<double> swapReturns;
    swapReturns.reserve(static_cast<size_t>(options.seconds * 240) + 16);
    if (!options.holds.empty()) SetKeysForFrame(options.holds, 0);
    const double loopStart = WallSeconds();
    RunProgram([&](long frame, bool afterSwap) {
        if (!afterSwap) return true;
        const double now = WallSeconds();
        swapReturns.push_back(now);
        if (!options.holds.empty()) SetKeysForFrame(options.holds, frame + 1);
        return now - loopStart < options.seconds;
    });
    CloseProgram();

    const std::vector<double> frameMs = FrameTimesMs(loopStart, swapReturns);
    const PacingSummary summary = Summarise(frameMs);
    if (summary.elapsedMs < options.seconds * 1000) {
        fprintf(stderr, "%s: the program quit after %.2f of %g s\n", kTool, summary.elapsedMs / 1000, options.seconds);
    }
    fprintf(report, "%s\n%s\n", SummaryLine(summary).c_str(), swapLine.c_str());
    fflush(report);

    bool written = true;
    if (!options.csv.empty()) {
        FILE* out = csv.Begin();
        if (out != nullptr) {
            fputs("frame,frame_ms\n", out);
            for (size_t i = 0; i < frameMs.size(); ++i) fprintf(out, "%zu,%.3f\n", i, frameMs[i]);
        }
        written = out != nullptr && csv.Commit() && written;
    }
    if (!options.png.empty()) {
        std::string error;
        FILE* out = png.Begin();
        if (out != nullptr && !WritePacingPlot(frameMs, summary, caption, options.width, options.height, out, &error)) {
            fprintf(stderr, "%s: cannot draw %s: %s\n", kTool, options.png.c_str(), error.c_str());
            out = nullptr;
        }
        written = out != nullptr && png.Commit() && written;
    }
    return written ? 0 : 1;
}
