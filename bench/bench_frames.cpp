// brimvalk-bench-frames: frames per second of the real program with the swap interval at 0, side
// by side with a bare loop that makes the same OpenGL calls with nothing around them; headless
// (SDL's offscreen driver, the default) or on a real X window (--video x11, on $DISPLAY).
//
// The bare loop draws on the program's own window and context, right after it: the same render
// state, clear, grid lines, 2 x 1023 + 1 GLU disks with the same transforms and colours, the title's
// display lists, glFinish and SDL_GL_SwapWindow, called directly (no simulation, no printing, no
// message pump, no platform layer). It replays the program's own frames: the bodies of every
// frame to come are worked out beforehand with the program's step and the program is set back,
// so bare frame n draws exactly the transforms of program frame n. (A still copy of the bodies
// is not the same work: the moving scene cost the driver some 7% more here.) Before timing, one
// frame of each is read back and compared: the bare loop must draw exactly the program's pixels.
//
// Program and bare frames run in alternating blocks, so a change in machine load (other jobs on
// the same cores) falls on both alike. The ratio is program fps / bare fps; beside it the same
// ratio in CPU time a frame (all threads, the rasteriser's included), which other jobs on a busy
// machine do not distort the way they distort wall time.
//
// The split of a frame into the program's own code and layer versus the driver comes from
// brimvalk-bench-null-frames (the same program with the driver's calls made empty; see there),
// run from here after the timing; its CPU time per frame is divided by the program's frame time,
// and by the program's CPU time a frame.
//
// Also reported: the start-up (from main to the first frame's swap: window and device, then the
// first frame) and, after the timing, what the input sampler's six key reads cost a frame when
// made right after a frame's swap, as the program makes them, and what the title's glyph lists
// cost drawn alone.
#include <windows.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <SDL.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/body_field.h"
#include "app/frame_loop.h"
#include "app/program.h"
#include "app/scene.h"
#include "device/render_device.h"
#include "harness/arguments.h"
#include "harness/clocks.h"
#include "harness/key_script.h"
#include "harness/program_session.h"
#include "harness/statistics.h"

namespace {

const char kTool[] = "brimvalk-bench-frames";

const char kUsage[] =
    "usage: brimvalk-bench-frames [--video offscreen|x11] [--frames N] [--block N] [--no-split]\n"
    "                             [--startup-only]\n"
    "  --video D       SDL's video driver: offscreen (default) or x11 (a real window on $DISPLAY)\n"
    "  --frames N      frames of each loop, program and bare (default 600; 32 KiB of replay a frame)\n"
    "  --block N       frames per alternating block (default 20)\n"
    "  --no-split      skip the own-code/layer share (brimvalk-bench-null-frames)\n"
    "  --startup-only  report the start-up to the first frame and end\n";

// What the bare loop draws: the bodies and the scene clock at one moment.
struct BareScene {
    Body bodies[kBodyCount];
    double clock;
};

struct BareLoop {
    SDL_Window* window;
    GLUquadric* quadric;
    float bodyColour[4];
    float gridColour[4];
    float titleColour[4];
    GLuint titleBase;
};
BareLoop bare;

void GridLines(float spacing, float offset, float limit, float across, bool vertical) {
    float p = static_cast<float>(fmod(offset, spacing));
    while (p < limit) {
        if (vertical) {
            glVertex2f(p, 0.0f);
            glVertex2f(p, across);
        } else {
            glVertex2f(0.0f, p);
            glVertex2f(across, p);
        }
        const float next = p + spacing;
        if (!(next > p)) break;
        p = next;
    }
}

void Disk(float x, float y, float radiusX, float radiusY, float angle, GLenum style) {
    glPushMatrix();
    glTranslatef(x, y, 0.0f);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
    glScalef(radiusX, radiusY, 0.0f);
    gluQuadricDrawStyle(bare.quadric, style);
    glColor4fv(bare.bodyColour);
    gluDisk(bare.quadric, 0.0, 1.0, 16, 1);
    glPopMatrix();
}

void ReadBack(std::vector<unsigned char>* pixels) {
    pixels->assign(static_cast<size_t>(kProgramWidth) * kProgramHeight * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kProgramWidth, kProgramHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels->data());
}

// One bare frame of `sceneBodies` at scene time `clock`; `capture`, when given, gets the back
// buffer before the swap.
void BareFrame(const Body* sceneBodies, double clock, std::vector<unsigned char>* capture) {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_NORMALIZE);
    glEnable(GL_BLEND);
    glEnable(GL_POLYGON_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glViewport(0, 0, kProgramWidth, kProgramHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, kProgramWidth, 0.0, kProgramHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);

    glPushMatrix();
    glColor4fv(bare.gridColour);
    glLineWidth(0.5f);
    glBegin(GL_LINES);
    GridLines(32.0f, static_cast<float>(clock * 30.0), kProgramWidth, kProgramHeight, true);
    GridLines(32.0f, static_cast<float>(clock * 50.0), kProgramHeight, kProgramWidth, false);
    glEnd();
    glLineWidth(1.0f);
    glPopMatrix();

    for (int i = 1; i < kBodyCount; ++i) {
        const Body& body = sceneBodies[i];
        Disk(body.x, body.y, 4.0f, 8.0f, body.angle, GLU_FILL);
        Disk(body.x, body.y, 8.0f, 4.0f, body.angle, GLU_SILHOUETTE);
    }
    const Body& player = sceneBodies[0];
    Disk(player.x, player.y, 32.0f, 32.0f, player.angle, GLU_SILHOUETTE);

    glPushMatrix();
    glColor4fv(bare.titleColour);
    glListBase(bare.titleBase);
    glTranslatef(0.0f, 0.0f, 0.0f);
    glRotatef(0.0f, 0.0f, 0.0f, 1.0f);
    glScalef(24.0f, 24.0f, 0.0f);
    glCallLists(kProgramTitleLength, GL_UNSIGNED_BYTE, kProgramTitle);
    glPopMatrix();

    if (capture != nullptr) ReadBack(capture);
    glFinish();
    SDL_GL_SwapWindow(bare.window);
}

// The program's frame as it was drawn, and its pixels, for the comparison with the bare loop.
BareScene programScene;
std::vector<unsigned char> programPixels;

void DrawSceneAndCapture(RenderDevice* renderDevice) {
    memcpy(programScene.bodies, bodies, sizeof programScene.bodies);
    programScene.clock = sceneClock;
    DrawScene(renderDevice);
    ReadBack(&programPixels);
}

// Returns how many pixels differ between a program frame and a bare frame of the same scene.
long CompareOneFrame() {
    if (PumpMessages() != 1) return -1;
    UpdateScene();
    device.RenderFrame(DrawSceneAndCapture);
    Sleep(0);
    std::vector<unsigned char> barePixels;
    BareFrame(programScene.bodies, programScene.clock, &barePixels);
    long differing = 0;
    for (size_t i = 0; i < barePixels.size(); i += 4) {
        if (memcmp(&barePixels[i], &programPixels[i], 4) != 0) ++differing;
    }
    return differing;
}

std::string SiblingPath(const char* name) {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return name;
    std::string path(self, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1) + name;
}

// Runs brimvalk-bench-null-frames, passes its report on and returns its CPU microseconds per
// frame, or a negative value when it could not be had.
double OwnCodeMicroseconds(long frames) {
    const std::string command = "'" + SiblingPath("brimvalk-bench-null-frames") + "' --frames " +
                                std::to_string(std::max(frames, 1000L));
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) return -1.0;
    double cpuMicroseconds = -1.0;
    char line[512];
    while (fgets(line, sizeof line, child) != nullptr) {
        fputs(line, report);
        double cpu = 0.0;
        double wall = 0.0;
        if (sscanf(line, "own code + layer per frame: cpu_us=%lf wall_us=%lf", &cpu, &wall) == 2) {
            cpuMicroseconds = cpu;
        }
    }
    if (pclose(child) != 0) return -1.0;
    return cpuMicroseconds;
}

// The title alone, as DrawScene draws it, finished: blocks of draws against blocks of glFinish
// alone, taking turns. Sets the microseconds a draw adds, wall and CPU of all threads (medians of
// the blocks: a block that another job on the machine slowed does not count). Runs after a
// program frame, in the render state it leaves.
void TitleCost(long draws, double* wallUs, double* cpuUs) {
    const long kBlock = 20;
    std::vector<double> wall;
    std::vector<double> cpu;
    for (long done = 0; done < draws; done += kBlock) {
        double blockWall[2];
        double blockCpu[2];
        for (int withTitle = 0; withTitle < 2; ++withTitle) {
            const double start = WallSeconds();
            const double cpuStart = ProcessCpuSeconds();
            for (long i = 0; i < kBlock; ++i) {
                if (withTitle) {
                    glPushMatrix();
                    glColor4fv(bare.titleColour);
                    glListBase(bare.titleBase);
                    glScalef(24.0f, 24.0f, 0.0f);
                    glCallLists(kProgramTitleLength, GL_UNSIGNED_BYTE, kProgramTitle);
                    glPopMatrix();
                }
                glFinish();
            }
            blockWall[withTitle] = WallSeconds() - start;
            blockCpu[withTitle] = ProcessCpuSeconds() - cpuStart;
        }
        wall.push_back((blockWall[1] - blockWall[0]) / kBlock);
        cpu.push_back((blockCpu[1] - blockCpu[0]) / kBlock);
    }
    *wallUs = Median(wall) * 1e6;
    *cpuUs = Median(cpu) * 1e6;
}

// The bare loop's place in the replayed frames.
struct BareRun {
    long frame;
    double clock;  // advanced as DrawScene advances the program's
};

void BareFrames(BareRun* run, const std::vector<Body>& trajectory, long count) {
    for (long i = 0; i < count; ++i, ++run->frame) {
        BareFrame(&trajectory[static_cast<size_t>(run->frame) * kBodyCount], run->clock, nullptr);
        run->clock += 1.0 / 60.0;
    }
}

// The six key reads of the input sampler, timed right after each of `frames` program frames.
// Returns the median microseconds, or a negative value when the program quit.
double KeyReadMicroseconds(long frames) {
    std::vector<double> reads;
    for (long i = 0; i < frames; ++i) {
        if (!ProgramFrame()) return -1.0;
        const double start = WallSeconds();
        for (const ProgramKey& key : kProgramKeys) GetAsyncKeyState(key.virtualKey);
        reads.push_back(WallSeconds() - start);
    }
    return Median(reads) * 1e6;
}

struct Options {
    long frames = 600;
    long block = 20;
    bool split = true;
    bool startupOnly = false;
    SessionOptions session;
};

// Returns -1 to go on, else the exit status (0 after --help).
int ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string next = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--frames" && ParseNumber(next.c_str(), 1, &options->frames)) {
            ++i;
        } else if (arg == "--block" && ParseNumber(next.c_str(), 1, &options->block)) {
            ++i;
        } else if (arg == "--video" && (next == "offscreen" || next == "x11")) {
            options->session.offscreen = next == "offscreen";
            if (!options->session.offscreen) setenv("SDL_VIDEODRIVER", "x11", 1);
            ++i;
        } else if (arg == "--no-split") {
            options->split = false;
        } else if (arg == "--startup-only") {
            options->startupOnly = true;
        } else {
            fputs(kUsage, arg == "--help" ? stdout : stderr);
            return arg == "--help" ? 0 : 1;
        }
    }
    options->block = std::min(options->block, options->frames);
    return -1;
}

int Fail(const char* why) {
    fprintf(stderr, "%s: %s\n", kTool, why);
    return 1;
}

const char* VideoDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr ? driver : "?";
}

// Opens the program and draws its first frame; false after saying why.
bool StartProgram(const Options& options, double mainStart) {
    if (!OpenProgram(kTool, options.session)) return false;
    const double opened = WallSeconds();
    if (!ProgramFrame()) {
        Fail("the program quit before its first frame");
        return false;
    }
    const double firstFrame = WallSeconds();
    fprintf(report, "start-up, video driver %s: %.1f ms from main to the first frame's swap "
            "(window and device %.1f ms, first frame %.1f ms)\n", VideoDriver(), (firstFrame - mainStart) * 1e3,
            (opened - mainStart) * 1e3, (firstFrame - opened) * 1e3);
    return true;
}

// Points the bare loop at the program's window, colours and title, and checks that one frame of it
// draws the program's pixels; false after saying why.
bool PrepareBareLoop() {
    bare.window = SDL_GL_GetCurrentWindow();  // the device made its context current on its window
    bare.quadric = gluNewQuadric();
    memcpy(bare.bodyColour, device.palette[64], sizeof bare.bodyColour);
    memcpy(bare.gridColour, device.palette[128], sizeof bare.gridColour);
    memcpy(bare.titleColour, device.palette[240], sizeof bare.titleColour);
    bare.titleBase = device.polygonFontBase;
    if (bare.window == nullptr || bare.quadric == nullptr) {
        Fail("no current window or no quadric for the bare loop");
        return false;
    }
    const long differing = CompareOneFrame();
    if (differing < 0) {
        Fail("the program quit before its first frame");
        return false;
    }
    if (differing != 0) {
        fprintf(stderr, "%s: the bare loop does not draw what the program draws (%ld pixels differ)\n", kTool,
                differing);
        return false;
    }
    return true;
}

// The bodies of every frame the program is about to draw, from its own step; the program is then set
// back to where it was, to draw the same frames again for real.
std::vector<Body> RecordTrajectory(long total) {
    std::vector<Body> trajectory(static_cast<size_t>(total) * kBodyCount);
    Body startBodies[kBodyCount];
    memcpy(startBodies, bodies, sizeof startBodies);
    for (long f = 0; f < total; ++f) {
        UpdateScene();
        memcpy(&trajectory[static_cast<size_t>(f) * kBodyCount], bodies, sizeof startBodies);
    }
    memcpy(bodies, startBodies, sizeof startBodies);
    return trajectory;
}

// Loop 0 is the program, 1 the bare loop.
struct Timing {
    double seconds[2] = {0.0, 0.0};
    double cpu[2] = {0.0, 0.0};
    std::vector<double> blockRatios;
};

// Both loops in alternating blocks. Wall time gives frames per second; CPU time of all threads (ours
// and the rasteriser's) gives the work per frame, which other jobs on the machine do not inflate.
// False when the program quit during the run.
bool TimeAlternating(const Options& options, const std::vector<Body>& trajectory, BareRun* bareRun, Timing* timing) {
    long done = 0;
    for (long b = 0; done < options.frames; ++b) {
        const long count = std::min(options.block, options.frames - done);
        double blockSeconds[2] = {0.0, 0.0};
        for (int turn = 0; turn < 2; ++turn) {
            // Alternate which loop goes first, so neither always follows the other.
            const int loop = static_cast<int>((b + turn) % 2);
            const double start = WallSeconds();
            const double cpuStart = ProcessCpuSeconds();
            if (loop == 0) {
                for (long i = 0; i < count; ++i) {
                    if (!ProgramFrame()) return false;
                }
            } else {
                BareFrames(bareRun, trajectory, count);
            }
            blockSeconds[loop] = WallSeconds() - start;
            timing->seconds[loop] += blockSeconds[loop];
            timing->cpu[loop] += ProcessCpuSeconds() - cpuStart;
        }
        timing->blockRatios.push_back(blockSeconds[1] / blockSeconds[0]);
        done += count;
    }
    return true;
}

struct ExtraCosts {
    double keyReadUs = 0.0;
    double titleWallUs = 0.0;
    double titleCpuUs = 0.0;
};

void ReportRun(const Options& options, const Timing& timing, const ExtraCosts& extra) {
    const double n = static_cast<double>(options.frames);
    const double us = 1e6 / n;  // seconds of the run to microseconds a frame
    fprintf(report, "%ld frames of each, 1024x768, swap interval 0, video driver %s, blocks of %ld alternating\n",
            options.frames, VideoDriver(), options.block);
    fprintf(report, "bare frame matches program frame: 0 of %d pixels differ\n", kProgramWidth * kProgramHeight);
    const char* names[2] = {"program:", "bare:"};
    for (int loop = 0; loop < 2; ++loop) {
        fprintf(report, "%-8s %8.1f frames/s (%6.0f us a frame, %6.0f us CPU of all threads)\n", names[loop],
                n / timing.seconds[loop], timing.seconds[loop] * us, timing.cpu[loop] * us);
    }
    fprintf(report, "ratio program/bare (%s): %.3f in frames/s (%.3f median of blocks), %.3f in CPU work a frame "
            "(target >= 0.97)\n", VideoDriver(), timing.seconds[1] / timing.seconds[0],
            Median(timing.blockRatios), timing.cpu[1] / timing.cpu[0]);
    fprintf(report, "title's glyph lists: %.0f us a frame = %.1f%% of the program's frame, "
            "%.0f us CPU of all threads (medians of blocks)\n", extra.titleWallUs,
            extra.titleWallUs / (timing.seconds[0] * us) * 100.0, extra.titleCpuUs);
    fprintf(report, "key reads: %.1f us a frame for the sampler's %zu GetAsyncKeyState calls (median of %ld frames)\n",
            extra.keyReadUs, sizeof kProgramKeys / sizeof kProgramKeys[0], std::min(options.frames, 200L));
}

// The own-code share from brimvalk-bench-null-frames; false after saying why.
bool ReportSplit(const Options& options, const Timing& timing) {
    const double ownMicroseconds = OwnCodeMicroseconds(options.frames);
    if (ownMicroseconds < 0.0) return Fail("brimvalk-bench-null-frames gave no result") == 0;
    const double us = 1e6 / static_cast<double>(options.frames);
    fprintf(report,
            "own code + layer: %.1f us CPU a frame = %.2f%% of the frame's time, %.2f%% of its CPU work "
            "(target < 1%%); the driver the rest\n",
            ownMicroseconds, ownMicroseconds / (timing.seconds[0] * us) * 100.0,
            ownMicroseconds / (timing.cpu[0] * us) * 100.0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const double mainStart = WallSeconds();
    Options options;
    const int parsed = ParseArguments(argc, argv, &options);
    if (parsed >= 0) return parsed;
    if (!StartProgram(options, mainStart)) return 1;
    if (options.startupOnly) {
        CloseProgram();
        return 0;
    }
    if (!PrepareBareLoop()) return 1;

    const long kWarmUp = 30;
    const long total = kWarmUp + options.frames;
    const std::vector<Body> trajectory = RecordTrajectory(total);
    BareRun bareRun = {0, sceneClock};
    // Warm-up: the driver's first frames build state (shaders, buffers) that later frames reuse.
    for (long i = 0; i < kWarmUp; ++i) {
        if (!ProgramFrame()) return 1;
        BareFrames(&bareRun, trajectory, 1);
    }
    Timing timing;
    if (!TimeAlternating(options, trajectory, &bareRun, &timing)) return Fail("the program quit during the run");

    // Both loops must have walked the same frames.
    const bool sameFrames = memcmp(bodies, &trajectory[static_cast<size_t>(total - 1) * kBodyCount],
                                   sizeof(Body) * kBodyCount) == 0 && bareRun.clock == sceneClock;
    ExtraCosts extra;
    extra.keyReadUs = KeyReadMicroseconds(std::min(options.frames, 200L));
    TitleCost(std::max(options.frames, 400L), &extra.titleWallUs, &extra.titleCpuUs);
    gluDeleteQuadric(bare.quadric);
    CloseProgram();
    if (!sameFrames) return Fail("the program did not draw the frames the bare loop replayed");
    if (extra.keyReadUs < 0.0) return Fail("the program quit during the key reads");

    ReportRun(options, timing, extra);
    if (options.split && !ReportSplit(options, timing)) return 1;
    return 0;
}
