// brimvalk-pacing: runs the program for a number of seconds and reports its frame pacing: the time
// of every frame, taken when its SwapBuffers returns, with percentiles, stutters, a plot and a CSV;
// and, from the display (display_timing.h), its refresh rate, when each frame was presented, whether
// swaps wait for the refresh and which frames missed one.
// Not the program: it runs the program's own entry sequence and frame loop (program_session.h) and
// watches the buffer swaps through the platform layer's swap hook.
#include <windows.h>
#include <GL/gl.h>

#include <SDL.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "harness/arguments.h"
#include "harness/clocks.h"
#include "harness/key_script.h"
#include "harness/program_session.h"
#include "tools/output_file.h"
#include "tools/pacing/display_timing.h"
#include "tools/pacing/pacing_plot.h"
#include "tools/pacing/pacing_stats.h"

namespace {

const char kTool[] = "brimvalk-pacing";
const double kMostSeconds = 3600;

const char kUsage[] =
    "usage: brimvalk-pacing [--seconds S] [--hold KEY:RANGE]... [--png FILE [--size WxH]] [--csv FILE]\n"
    "                       [--stall EVERY:MS] [--program-output FILE]\n"
    "\n"
    "Runs Brimvalk Test on the current display (or offscreen with SDL_VIDEODRIVER=offscreen) for\n"
    "S seconds, asking for the swap interval as the program does, then ends it as a quit would.\n"
    "Prints on standard output:\n"
    "  frames N, mean X fps, p50 A ms, p95 B ms, p99 C ms, max D ms, stutters K\n"
    "  swap interval: asked 1 (WGL_EXT_swap_control offered), driver reports I\n"
    "  display: R Hz (SOURCE); presentation times: SOURCE (vsync, hardware clock)\n"
    "  vsync: held, M of J frames missed a refresh (P%); 1% low A fps, 0.1% low B fps\n"
    "  stalls: S planted, K seen as missed refreshes          (with --stall)\n"
    "\n"
    "A frame's time runs from the previous frame's SwapBuffers return to its own (the first frame's\n"
    "from the start of the frame loop, so it includes the driver's first-draw work). The mean is\n"
    "N over the time from the loop's start to the last swap. Percentiles are nearest-rank: pP is\n"
    "the smallest frame time with at least P% of the frames at or below it. A stutter is a frame\n"
    "longer than 1.5 times p50. \"driver reports\" is SDL_GL_GetSwapInterval: on X11 the drawable's\n"
    "interval as GLX reports it, with EGL the interval the driver last accepted; whether swaps wait\n"
    "for it shows in the frame times.\n"
    "\n"
    "The refresh rate comes from XRandR (X11: the CRTC under the window's centre), wl_output (Wayland:\n"
    "the output's current mode) or SDL's display mode; presentation times from wp_presentation\n"
    "(Wayland) or GLX_OML_sync_control (X11), or the line says why not. vsync is \"held\" when every\n"
    "frame was presented on a refresh (VSYNC flag, refresh counter, or a whole number of refresh\n"
    "periods after the one before) and never two in one refresh, \"not held\" otherwise, \"unknown\"\n"
    "with neither presentation times nor a refresh rate; with a refresh rate only, it is judged from\n"
    "the swap times and says so. A frame missed a refresh when it was presented more refreshes after\n"
    "the previous frame than the swap interval (at least 1). The 1% low is 1000 over the mean, in ms,\n"
    "of the slowest ceil(N/100) intervals (the 0.1% low: ceil(N/1000)), never fewer than one; the\n"
    "intervals are the presentation intervals where known, else the frame times.\n"
    "\n"
    "  --seconds S          how long to run, above 0 and at most 3600 (default 10)\n"
    "  --hold KEY:RANGE     hold KEY down during frames RANGE, as brimvalk-snapshot does: FIRST-END\n"
    "                       (FIRST up to, not including, END) or COUNT (0-COUNT). KEY: up, down,\n"
    "                       left, right, z, x. Without --hold the real keyboard steers.\n"
    "  --png FILE           the plot: frame and presentation times against frame number, lines at one\n"
    "                       and two refresh periods (16.7 and 33.3 ms when the refresh is unknown),\n"
    "                       stutters circled, missed refreshes marked, percentiles in the legend\n"
    "  --size WxH           the plot's size in pixels (default 1200x600)\n"
    "  --csv FILE           frame,frame_ms,present_ms,refreshes,stalled: a header line, then one line a\n"
    "                       frame; present_ms and refreshes are since the previous frame's presentation,\n"
    "                       empty where unknown; stalled is 1 for a planted stall\n"
    "  --stall EVERY:MS     frames EVERY-1, 2*EVERY-1, ... (from 0) wait MS ms before their swap: a\n"
    "                       self-check that the tool sees them (EVERY at least 2, MS from 1 to 1000)\n"
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
    long stallEvery = 0, stallMs = 0;
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

bool ParseStall(const char* text, long* every, long* ms) {
    const char* colon = strchr(text, ':');
    if (colon == nullptr) return false;
    long e = 0, m = 0;
    if (!ParseNumber(std::string(text, colon).c_str(), 2, &e) || !ParseNumber(colon + 1, 1, &m) || m > 1000) return false;
    *every = e;
    *ms = m;
    return true;
}

void SleepMs(long ms) {
    timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
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
                                 arg != "--csv" && arg != "--program-output" && arg != "--stall")) {
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
        } else if (arg == "--stall" && !ParseStall(value, &options->stallEvery, &options->stallMs)) {
            fprintf(stderr, "%s: --stall wants EVERY:MS, EVERY at least 2 and MS from 1 to 1000, not \"%s\"\n", kTool,
                    value);
            return 2;
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

// The program asks for a swap interval of 1 when the context offers WGL_EXT_swap_control.
bool SwapControlOffered() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions != nullptr && strstr(extensions, "WGL_EXT_swap_control") != nullptr;
}

std::string SwapIntervalLine() {
    const bool offered = SwapControlOffered();
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
        (!options.csv.empty() && !csv.Prepare(kTool, options.csv))) {
        return 2;
    }
    // Where the program's own lines go: a stream written in place, opened once (a FIFO's reader would see an end).
    bool interrupted = false;
    const int programLines = OpenOutputStream(kTool, options.programOutput, &interrupted);
    if (programLines < 0) return interrupted ? 1 : 2;

    SessionOptions session;
    session.offscreen = false;  // the current display, unless SDL_VIDEODRIVER says otherwise
    session.swapSync = true;    // the program asks for its swap interval, as it does for users
    session.quietDescriptor = programLines;
    if (!OpenProgram(kTool, session)) return 1;
    const std::string swapLine = SwapIntervalLine();
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string caption = std::string(SDL_GetCurrentVideoDriver()) + " video, " +
                                (renderer != nullptr ? renderer : "unknown renderer") + "; " + swapLine +
                                Format("; %g s", options.seconds);

    // The interval the swaps are asked to wait, in refreshes: none asked counts as one.
    const int interval = SwapControlOffered() ? std::max(1, SDL_GL_GetSwapInterval()) : 1;

    std::unique_ptr<DisplayTiming> display = DisplayTiming::Open(SDL_GL_GetCurrentWindow());
    std::vector<double> swapReturns;
    swapReturns.reserve(static_cast<size_t>(options.seconds * 240) + 16);
    double timingSeconds = 0;  // spent asking for presentation times and taking them
    if (!options.holds.empty()) SetKeysForFrame(options.holds, 0);
    const double loopStart = WallSeconds();
    RunProgram([&](long frame, bool afterSwap) {
        if (!afterSwap) {
            if (IsPlantedStall(frame, options.stallEvery)) SleepMs(options.stallMs);
            const double before = WallSeconds();
            display->BeforeSwap(frame);
            timingSeconds += WallSeconds() - before;
            return true;
        }
        const double now = WallSeconds();
        swapReturns.push_back(now);
        display->AfterSwap(frame);
        timingSeconds += WallSeconds() - now;
        if (!options.holds.empty()) SetKeysForFrame(options.holds, frame + 1);
        return now - loopStart < options.seconds;
    });
    display->Finish(1.0);
    const double refreshHz = display->RefreshHz();
    const std::vector<Presentation> shown = display->presentations();
    const bool feedback = !display->presentSource.empty();
    const std::string displayLine = DisplayLine(refreshHz, display->refreshSource, display->refreshWhyUnknown,
                                                display->presentSource, display->presentWhyNot, shown);
    display.reset();
    CloseProgram();

    const std::vector<double> frameMs = FrameTimesMs(loopStart, swapReturns);
    const PacingSummary summary = Summarise(frameMs);
    const DisplayPacing pacing = JudgePacing(frameMs, shown, refreshHz, interval);
    if (summary.elapsedMs < options.seconds * 1000) {
        fprintf(stderr, "%s: the program quit after %.2f of %g s\n", kTool, summary.elapsedMs / 1000, options.seconds);
    }
    fprintf(report, "%s\n%s\n%s\n%s\n", SummaryLine(summary).c_str(), swapLine.c_str(), displayLine.c_str(),
            VsyncLine(pacing).c_str());
    if (options.stallEvery > 0) fprintf(report, "%s\n", StallLine(pacing, options.stallEvery).c_str());
    fflush(report);
    const double timingUs = frameMs.empty() ? 0 : timingSeconds * 1e6 / static_cast<double>(frameMs.size());
    const std::string plotCaption = caption + (feedback ? Format("; presentation feedback cost %.0f us a frame", timingUs) : "");

    bool written = true;
    if (!options.csv.empty()) {
        FILE* out = csv.Begin();
        if (out != nullptr) {
            fputs("frame,frame_ms,present_ms,refreshes,stalled\n", out);
            for (size_t i = 0; i < frameMs.size(); ++i) {
                fprintf(out, "%zu,%.3f,", i, frameMs[i]);
                if (pacing.presentMs[i] >= 0) fprintf(out, "%.3f", pacing.presentMs[i]);
                fputc(',', out);
                if (pacing.presentMs[i] >= 0 && pacing.refreshes[i] >= 0) fprintf(out, "%ld", pacing.refreshes[i]);
                fprintf(out, ",%d\n", IsPlantedStall(static_cast<long>(i), options.stallEvery) ? 1 : 0);
            }
        }
        written = out != nullptr && csv.Commit() && written;
    }
    if (!options.png.empty()) {
        std::string error;
        FILE* out = png.Begin();
        if (out != nullptr && !WritePacingPlot(frameMs, summary, pacing, refreshHz, plotCaption, options.width,
                                               options.height, out, &error)) {
            fprintf(stderr, "%s: cannot draw %s: %s\n", kTool, options.png.c_str(), error.c_str());
            out = nullptr;
        }
        written = out != nullptr && png.Commit() && written;
    }
    return written ? 0 : 1;
}
