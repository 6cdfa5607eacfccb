// brimvalk-pacing: runs the program for a number of seconds and reports its frame pacing: the time
// of every frame, taken when its SwapBuffers returns, with percentiles, stutters, a plot and a CSV;
// and, from the display (display_timing.h), its refresh rate, when each frame was presented, whether
// swaps wait for the refresh and which frames missed one; and how long a key takes from the display
// server to the screen (input_watch.h).
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
#include "tools/pacing/input_watch.h"
#include "tools/pacing/pacing_csv.h"
#include "tools/pacing/pacing_plot.h"
#include "tools/pacing/pacing_stats.h"

namespace {

const char kTool[] = "brimvalk-pacing";
const double kMostSeconds = 3600;

const char kUsage[] =
    "usage: brimvalk-pacing [--seconds S] [--hold KEY:RANGE]... [--png FILE [--size WxH]] [--csv FILE]\n"
    "                       [--stall EVERY:MS] [--press EVERY] [--program-output FILE]\n"
    "\n"
    "Runs Brimvalk Test on the current display (or offscreen with SDL_VIDEODRIVER=offscreen) for\n"
    "S seconds, asking for the swap interval as the program does, then ends it as a quit would.\n"
    "Prints on standard output:\n"
    "  first frame F ms (start-up), then: frames N, mean X fps, p50 A ms, p95 B ms, p99 C ms, max D ms, stutters K\n"
    "  renderer: GL_RENDERER; OpenGL GL_VERSION; GL_VENDOR; SDL video driver DRIVER\n"
    "  swap interval: asked 1 (WGL_EXT_swap_control offered), driver reports I\n"
    "  display: R Hz (SOURCE); presentation times: SOURCE (vsync, hardware clock)\n"
    "  vsync: held, M of J frames missed a refresh (P%); 1% low A fps, 0.1% low B fps (of K presentation intervals)\n"
    "  latency: swap to present p50 A ms, p99 B ms (CLOCK)\n"
    "  input: K key changes, event to presented p50 A ms, p95 B ms, max C ms (SOURCE)\n"
    "  stalls: S planted, K seen as missed refreshes          (with --stall)\n"
    "Where something cannot be known, its line says so and why.\n"
    "\n"
    "Frames. A frame's time runs from the previous frame's SwapBuffers return to its own. The first\n"
    "frame's runs from the start of the frame loop and carries the driver's first-draw work: it is\n"
    "reported apart and enters no statistic, no verdict and no low. N counts the frames after it;\n"
    "the mean is N over the time from its swap to the last. Percentiles are nearest-rank: pP is the\n"
    "smallest frame time with at least P% of the N at or below it. A stutter is a frame longer than\n"
    "1.5 times p50. \"driver reports\" is SDL_GL_GetSwapInterval: on X11 the drawable's interval as\n"
    "GLX reports it, with EGL the interval the driver last accepted.\n"
    "\n"
    "The display. The refresh rate comes from XRandR (X11: the CRTC under the window's centre),\n"
    "wl_output (Wayland: an output's current mode; of several, the one nearest the presentations'\n"
    "refresh period) or SDL's display mode; presentation times from wp_presentation (Wayland) or\n"
    "GLX_OML_sync_control (X11). Each frame after the first is judged:\n"
    "  - on a refresh: the display's word where it gives one, the VSYNC flag (set: yes, clear: no),\n"
    "    else a refresh counter (MSC: yes). Only where it says neither is a presentation interval\n"
    "    within a quarter period of a whole, non-zero number of refresh periods taken as on a\n"
    "    refresh, and the vsync line says \"(judged from presentation intervals)\".\n"
    "  - refreshes since the frame before: the counter's step where both frames have one, else the\n"
    "    presentation interval in refresh periods, rounded to nearest, halves up (1.4 -> 1, 1.5 -> 2).\n"
    "  - it missed a refresh when that is more than the swap interval (at least 1), or when the\n"
    "    display discarded it (never shown). J counts the frames for which this is known.\n"
    "  - with no presentation reported after the first frame, each frame's time is judged the same\n"
    "    way against the refresh rate, and the line says \"(judged from swap times)\".\n"
    "vsync is \"not held\" when a frame after the first was discarded, shown off a refresh, or shown\n"
    "in the refresh of the frame before (0 refreshes); else \"held\" when J is at least 1; else\n"
    "\"unknown\": fewer than 2 frames, no presentation times and no refresh rate, or presentations\n"
    "with neither a refresh counter nor a refresh rate.\n"
    "The lows are over the K presentation intervals of the frames after the first where any is\n"
    "known, else over their K frame times: the 1% low is 1000 over the mean, in ms, of the slowest\n"
    "ceil(K/100) of them, the 0.1% low of the slowest ceil(K/1000), never fewer than one.\n"
    "Swap to present runs from a frame's swap return to its presentation, read on the presentation\n"
    "clock (wp_presentation's clock_id, where it is a clock that cannot be set; on X11 the UST where\n"
    "it is CLOCK_MONOTONIC); p50 and p99 are nearest-rank over the frames after the first.\n"
    "\n"
    "  --seconds S          how long to run, above 0 and at most 3600 (default 10)\n"
    "  --hold KEY:RANGE     hold KEY down during frames RANGE, as brimvalk-snapshot does: FIRST-END\n"
    "                       (FIRST up to, not including, END) or COUNT (0-COUNT). KEY: up, down,\n"
    "                       left, right, z, x. Without --hold the real keyboard steers.\n"
    "  --png FILE           the plot: the frames after the first, frame and presentation times against\n"
    "                       frame number, lines at one and two refresh periods (16.7 and 33.3 ms when\n"
    "                       the refresh is unknown), stutters circled, missed refreshes marked,\n"
    "                       percentiles in the legend\n"
    "Input. A key change is a press or release of an arrow key, Z or X that changes the program's\n"
    "input line. Its latency runs from the moment the display server stamped the key event to the\n"
    "presentation of the first frame whose input line shows the change (\"event to swap return\" where\n"
    "no presentation time is on the key's clock); p50 and p95 are nearest-rank over the changes shown.\n"
    "SOURCE: \"X server time, offset +-D ms\" (XInput 2 raw key events, put on the tool's clock by an\n"
    "offset measured to +-D), the compositor's time on Wayland (zwp_input_timestamps_v1, else\n"
    "wl_keyboard's ms, put on the presentation clock), or with --hold the moment the tool set the key\n"
    "(the program's and driver's part only). A change another replaced before any frame showed it is\n"
    "counted as never shown; a change the run ended on, not at all.\n"
    "\n"
    "  --size WxH           the plot's size in pixels (default 1200x600)\n"
    "  --csv FILE           frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,\n"
    "                       swap_to_present_ms,stalled,input_ms: a header line, then one line a frame\n"
    "                       from frame 0, the start-up frame (startup 1); swap_ms is the time inside\n"
    "                       SwapBuffers; present_ms and refreshes are since the previous frame's\n"
    "                       presentation; on_refresh, missed and stalled (a planted stall) are 1 or 0;\n"
    "                       input_ms is the latency of the key change first shown in the frame (of\n"
    "                       several, the longest); a value not known, or none, is empty\n"
    "  --stall EVERY:MS     frames EVERY-1, 2*EVERY-1, ... (from 0) wait MS ms before their swap: a\n"
    "                       self-check that the tool sees them (EVERY at least 2, MS from 1 to 1000)\n"
    "  --press EVERY        before the swap of frames EVERY-1, 2*EVERY-1, ... the tool presses an arrow\n"
    "                       key through the display server (XTEST on X11), right and left in turn, and\n"
    "                       releases it EVERY/2 frames later: a self-check of the whole chain, nobody at\n"
    "                       the keyboard (EVERY from 4 to 1000; not with --hold; X11 only: a Wayland\n"
    "                       client cannot send keys). The input line adds \"presses: P made, S seen\"\n"
    "  --program-output FILE  where the program's own per-frame lines go, the file emptied first\n"
    "                       (default /dev/null)\n"
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
    int programLines = -1;  // programOutput, opened once before the run
    long stallEvery = 0, stallMs = 0;
    long pressEvery = 0;
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

// Returns 0 when the options are usable, 2 after printing why not, -1 after printing the help or the version.
int ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return -1;
        }
        if (arg == "--version") {
            printf("%s %s\n", kTool, BRIMVALK_VERSION);
            return -1;
        }
        if (value == nullptr || (arg != "--seconds" && arg != "--hold" && arg != "--png" && arg != "--size" &&
                                 arg != "--csv" && arg != "--program-output" && arg != "--stall" &&
                                 arg != "--press")) {
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
        } else if (arg == "--press" && !ParseNumber(value, kLeastPressEvery, &options->pressEvery, kMostPressEvery)) {
            fprintf(stderr, "%s: --press wants EVERY from %ld to %ld, not \"%s\"\n", kTool, kLeastPressEvery,
                    kMostPressEvery, value);
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
    if (options->pressEvery > 0 && !options->holds.empty()) {
        fprintf(stderr, "%s: --press and --hold both set the keys: use one\n", kTool);
        return 2;
    }
    return 0;
}

// The program asks for a swap interval of 1 when the context offers WGL_EXT_swap_control.
bool SwapControlOffered() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions != nullptr && strstr(extensions, "WGL_EXT_swap_control") != nullptr;
}

std::string GlString(GLenum name) {
    const char* text = reinterpret_cast<const char*>(glGetString(name));
    return text != nullptr ? text : "unknown";
}

// "renderer: GL_RENDERER; OpenGL GL_VERSION; GL_VENDOR; SDL video driver DRIVER"
std::string RendererLine() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return "renderer: " + GlString(GL_RENDERER) + "; OpenGL " + GlString(GL_VERSION) + "; " + GlString(GL_VENDOR) +
           "; SDL video driver " + (driver != nullptr ? driver : "unknown");
}

std::string SwapIntervalLine() {
    const bool offered = SwapControlOffered();
    char line[128];
    snprintf(line, sizeof line, "swap interval: %s, driver reports %d",
             offered ? "asked 1 (WGL_EXT_swap_control offered)" : "not asked (no WGL_EXT_swap_control)",
             SDL_GL_GetSwapInterval());
    return line;
}

// Each file is written once: two of them naming one file would leave only the last. Then each is
// checked writable before the run. Returns false after saying why.
bool PrepareFiles(const Options& options, OutputFile* png, OutputFile* csv) {
    const std::string programOutput = options.programOutput == "/dev/null" ? "" : options.programOutput;
    const std::pair<const char*, const std::string*> files[] = {
        {"--png", &options.png}, {"--csv", &options.csv}, {"--program-output", &programOutput}};
    for (size_t i = 0; i < 3; ++i) {
        for (size_t j = i + 1; j < 3; ++j) {
            const std::string &first = *files[i].second, &second = *files[j].second;
            if (!first.empty() && !second.empty() && SameFile(first, second)) {
                fprintf(stderr, "%s: %s and %s name one file, %s\n", kTool, files[i].first, files[j].first,
                        files[j].second->c_str());
                return false;
            }
        }
    }
    return (options.png.empty() || png->Prepare(kTool, options.png)) &&
           (options.csv.empty() || csv->Prepare(kTool, options.csv));
}

// What the run saw: every frame's swap return on the tool's clock, and the time spent asking the
// display for presentation times.
struct Watched {
    double loopStart = 0;
    std::vector<double> swapCalls, swapReturns;  // each SwapBuffers' call and return
    double timingSeconds = 0;
    bool ranOut = false;  // the loop ended because the time was up, not because the program quit
};

// Runs the program's frame loop until `options.seconds` have passed since its start (and --press's
// last key has come up), holding the planted stalls, with `display` and `input` told of every swap.
Watched RunWatched(const Options& options, DisplayTiming* display, InputWatch* input) {
    Watched watched;
    watched.swapCalls.reserve(static_cast<size_t>(options.seconds * 240) + 16);
    watched.swapReturns.reserve(watched.swapCalls.capacity());
    input->Start();
    watched.loopStart = WallSeconds();
    RunProgram([&](long frame, bool afterSwap) {
        if (!afterSwap) {
            if (IsPlantedStall(frame, options.stallEvery)) SleepMs(options.stallMs);
            const double before = WallSeconds();
            display->BeforeSwap(frame);
            watched.swapCalls.push_back(WallSeconds());
            watched.timingSeconds += watched.swapCalls.back() - before;
            input->BeforeSwap(frame);
            return true;
        }
        const double now = WallSeconds();
        watched.swapReturns.push_back(now);
        display->AfterSwap(frame);
        watched.timingSeconds += WallSeconds() - now;
        watched.ranOut = now - watched.loopStart >= options.seconds;
        return input->AfterSwap(frame, watched.ranOut) || !watched.ranOut;
    });
    display->Finish(1.0);
    return watched;
}

// Everything the report, the CSV and the plot say, gathered once the program is closed.
struct Findings {
    std::vector<FrameRecord> frames;
    PacingSummary summary;
    DisplayPacing pacing;
    double refreshHz = 0;
    bool quitEarly = false;
    double ranSeconds = 0;
    std::string rendererLine, swapLine, displayLine, latencyLine, inputLine, caption;
    bool refused = false;  // an option this display cannot honour (--press on Wayland)
};

// The program opened as for users, with the interval the swaps are asked to wait, in refreshes
// (none asked counts as one), and the lines and caption that say what it runs on.
bool Open(const Options& options, Findings* found, int* interval) {
    SessionOptions session;
    session.offscreen = false;  // the current display, unless SDL_VIDEODRIVER says otherwise
    session.swapSync = true;    // the program asks for its swap interval, as it does for users
    session.quietDescriptor = options.programLines;
    if (!OpenProgram(kTool, session)) return false;
    found->rendererLine = RendererLine();
    found->swapLine = SwapIntervalLine();
    found->caption = std::string(SDL_GetCurrentVideoDriver()) + " video, " + GlString(GL_RENDERER) + "; " +
                     found->swapLine + Format("; %g s", options.seconds);
    *interval = SwapControlOffered() ? std::max(1, SDL_GL_GetSwapInterval()) : 1;
    return true;
}

// The frames as the swaps and the display saw them, judged.
void Judge(const Options& options, const Watched& watched, const std::vector<Presentation>& shown, int interval,
           Findings* found) {
    found->frames = FramesFromSwaps(watched.loopStart, watched.swapReturns);
    for (size_t i = 0; i < found->frames.size(); ++i) {
        found->frames[i].stalled = IsPlantedStall(static_cast<long>(i), options.stallEvery);
        found->frames[i].swapMs = (watched.swapReturns[i] - watched.swapCalls[i]) * 1000.0;
    }
    SetSwapToPresent(&found->frames, shown);
    found->summary = Summarise(found->frames);
    found->pacing = JudgePacing(&found->frames, shown, found->refreshHz, interval);
    found->quitEarly = !watched.ranOut;
    found->ranSeconds = watched.swapReturns.empty() ? 0 : watched.swapReturns.back() - watched.loopStart;
}

// The keys' latencies into the line, the frames and the caption.
void AddInput(const InputWatch::Report& keys, Findings* found) {
    found->inputLine = keys.line;
    for (size_t i = 0; i < found->frames.size() && i < keys.frameMs.size(); ++i) {
        if (keys.frameMs[i] >= 0) found->frames[i].inputMs = keys.frameMs[i];
    }
    found->caption += Format("; input measure cost %.0f us a frame", keys.costUs);
}

// The run itself: the program opened, watched while it runs, and closed.
bool Run(const Options& options, Findings* found) {
    int interval = 1;
    if (!Open(options, found, &interval)) return false;
    InputWatch input;
    std::string why;
    if (!input.Open(SDL_GL_GetCurrentWindow(), options.holds, options.pressEvery, &why)) {
        fprintf(stderr, "%s: --press cannot be used here: %s\n", kTool, why.c_str());
        CloseProgram();
        found->refused = true;
        return false;
    }
    std::unique_ptr<DisplayTiming> display = DisplayTiming::Open(SDL_GL_GetCurrentWindow());
    input.SetPresentationClock(display->presentClock);
    const Watched watched = RunWatched(options, display.get(), &input);
    found->refreshHz = display->RefreshHz();
    const std::vector<Presentation> shown = display->presentations();
    found->displayLine = DisplayLine(found->refreshHz, display->refreshSource, display->refreshWhyUnknown,
                                     display->presentSource, display->presentWhyNot, shown);
    const bool feedback = !display->presentSource.empty();
    const std::string clock = display->presentClock, clockWhyNot = display->clockWhyNot;
    display.reset();
    CloseProgram();

    Judge(options, watched, shown, interval, found);
    found->latencyLine = LatencyLine(found->frames, clock, clockWhyNot);
    AddInput(input.Finish(watched.swapReturns, shown), found);
    const double frames = static_cast<double>(std::max<size_t>(1, found->frames.size()));
    if (feedback) found->caption += Format("; presentation feedback cost %.0f us a frame", watched.timingSeconds * 1e6 / frames);
    return true;
}

void PrintReport(const Options& options, const Findings& found) {
    if (found.quitEarly) {
        fprintf(stderr, "%s: the program quit after %.2f of %g s\n", kTool, found.ranSeconds, options.seconds);
    }
    fprintf(report, "%s\n%s\n%s\n%s\n%s\n%s\n%s\n", SummaryLine(found.summary).c_str(), found.rendererLine.c_str(),
            found.swapLine.c_str(), found.displayLine.c_str(), VsyncLine(found.pacing).c_str(), found.latencyLine.c_str(),
            found.inputLine.c_str());
    if (options.stallEvery > 0) fprintf(report, "%s\n", StallLine(found.frames, found.pacing).c_str());
    fflush(report);
}

// The CSV and the plot, each put in place whole; false when either could not be.
bool WriteFiles(const Options& options, const Findings& found, OutputFile* png, OutputFile* csv) {
    bool written = true;
    if (!options.csv.empty()) {
        FILE* out = csv->Begin();
        if (out != nullptr) WritePacingCsv(found.frames, out);
        written = out != nullptr && csv->Commit() && written;
    }
    if (!options.png.empty()) {
        std::string error;
        FILE* out = png->Begin();
        if (out != nullptr && !WritePacingPlot(found.frames, found.summary, found.pacing, found.refreshHz, found.caption,
                                               options.width, options.height, out, &error)) {
            fprintf(stderr, "%s: cannot draw %s: %s\n", kTool, options.png.c_str(), error.c_str());
            out = nullptr;
        }
        written = out != nullptr && png->Commit() && written;
    }
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed != 0) return parsed < 0 ? 0 : 2;
    OutputFile png, csv;
    if (!PrepareFiles(options, &png, &csv)) return 2;
    // Where the program's own lines go: a stream written in place, opened once (a FIFO's reader would see an end).
    bool interrupted = false;
    options.programLines = OpenOutputStream(kTool, options.programOutput, &interrupted);
    if (options.programLines < 0) return interrupted ? 1 : 2;
    Findings found;
    if (!Run(options, &found)) return found.refused ? 2 : 1;
    PrintReport(options, found);
    return WriteFiles(options, found, &png, &csv) ? 0 : 1;
}
