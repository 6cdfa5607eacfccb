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
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

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
    "Bad arguments exit with status 2 before anything runs; files are written whole or not at all.\n"
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

bool ParseSeconds(const char* text, double* seconds) {
    char* end = nullptr;
    errno = 0;
    const double parsed = strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(parsed)) return false;
    if (parsed <= 0 || parsed > kMostSeconds) return false;
    *seconds = parsed;
    return true;
}

bool ParseSize(const char* text, int* width, int* height) {
    long w = 0, h = 0;
    const char* x = strchr(text, 'x');
    if (x == nullptr) return false;
    if (!ParseNumber(std::string(text, x).c_str(), 480, &w) || !ParseNumber(x + 1, 320, &h)) return false;
    if (w > 8192 || h > 8192) return false;
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

// A file written whole or not at all: the data goes to a temporary file beside it, opened before
// the run (so an unwritable place is known at once), and is renamed over it when complete.
class OutputFile {
public:
    ~OutputFile() { Discard(); }

    bool Open(const std::string& path) {
        path_ = path;
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            fprintf(stderr, "%s: cannot write %s: it is a directory\n", kTool, path.c_str());
            return false;
        }
        std::vector<char> name(path.begin(), path.end());
        const char suffix[] = ".partial-XXXXXX";
        name.insert(name.end(), suffix, suffix + sizeof suffix);
        const int fd = mkstemp(name.data());
        if (fd < 0 || (file_ = fdopen(fd, "w")) == nullptr) {
            fprintf(stderr, "%s: cannot write %s: %s\n", kTool, path.c_str(), strerror(errno));
            if (fd >= 0) {
                close(fd);
                unlink(name.data());
            }
            return false;
        }
        temporary_ = name.data();
        // mkstemp makes it private; give it the permissions a newly created file gets.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        return true;
    }

    FILE* file() const { return file_; }

    // Closes and renames the file into place; false after saying why (the partial file is gone).
    bool Commit() {
        const bool written = !ferror(file_);
        const bool closed = fclose(file_) == 0;
        file_ = nullptr;
        if (!written || !closed || rename(temporary_.c_str(), path_.c_str()) != 0) {
            fprintf(stderr, "%s: cannot write %s: %s\n", kTool, path_.c_str(), strerror(errno));
            Discard();
            return false;
        }
        temporary_.clear();
        return true;
    }

    void Discard() {
        if (file_ != nullptr) fclose(file_);
        file_ = nullptr;
        if (!temporary_.empty()) unlink(temporary_.c_str());
        temporary_.clear();
    }

private:
    std::string path_, temporary_;
    FILE* file_ = nullptr;
};

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
    OutputFile png, csv;
    if ((!options.png.empty() && !png.Open(options.png)) || (!options.csv.empty() && !csv.Open(options.csv)) ||
        !CheckProgramOutput(options.programOutput)) {
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
        fputs("frame,frame_ms\n", csv.file());
        for (size_t i = 0; i < frameMs.size(); ++i) fprintf(csv.file(), "%zu,%.3f\n", i, frameMs[i]);
        written = csv.Commit() && written;
    }
    if (!options.png.empty()) {
        std::string error;
        if (!WritePacingPlot(frameMs, summary, caption, options.width, options.height, png.file(), &error)) {
            fprintf(stderr, "%s: cannot draw %s: %s\n", kTool, options.png.c_str(), error.c_str());
            png.Discard();
            written = false;
        } else {
            written = png.Commit() && written;
        }
    }
    return written ? 0 : 1;
}
