// brimvalk-bench-null-frames: the program's frame with the OpenGL driver taken out, to see what
// the program's own code and the platform layer cost per frame.
//
// Method: this binary is the same program, linked with the linker's --wrap for every OpenGL and
// GLU call the program makes per frame and for SDL's buffer swap (see null_driver.cpp). After a
// warm-up drawn for real, those calls return at once, so a frame costs only what runs around them:
// PumpMessages (the layer's PeekMessageA and SDL's event pump), UpdateScene (the input sampler
// with the layer's GetAsyncKeyState and joyGetPos, the body loop, the input line into /dev/null),
// RenderFrame and DrawScene with the device's primitives (loops, matrices' arguments, palette
// look-ups, the frame-rate meter and its timeGetTime), SwapBuffers' own part in the layer, and
// Sleep(0). The calls into the empty wrappers are counted as the program's own cost, so the
// figure is if anything too high. CPU time of this thread is the main figure: it does not
// depend on what else the machine runs, unlike wall time (Sleep(0) gives the core away when
// another process wants it). brimvalk-bench-frames divides it by its measured real frame.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "app/body_field.h"
#include "app/frame_loop.h"
#include "app/scene.h"
#include "device/render_device.h"
#include "harness/clocks.h"
#include "harness/program_session.h"
#include "harness/statistics.h"
#include "null_driver.h"

namespace {

const char kTool[] = "brimvalk-bench-null-frames";
const int kDisksPerFrame = 2 * (kBodyCount - 1) + 1;

const long kBlock = 100;

// Wall seconds a frame of each of ProgramFrame's four steps, and of the whole frame, per block.
struct StepTimes {
    std::vector<double> pump, update, render, yield, whole;
    double cpu = 0.0;  // the thread's CPU seconds over all blocks
};

// ProgramFrame's four steps, timed one by one over `blocks` blocks; false when the program quit.
bool TimeSteps(long blocks, StepTimes* times) {
    for (long b = 0; b < blocks; ++b) {
        double t[4] = {0.0, 0.0, 0.0, 0.0};
        const double cpuStart = ThreadCpuSeconds();
        const double blockStart = WallSeconds();
        for (long i = 0; i < kBlock; ++i) {
            const double t0 = WallSeconds();
            if (PumpMessages() != 1) return false;
            const double t1 = WallSeconds();
            UpdateScene();
            const double t2 = WallSeconds();
            device.RenderFrame(DrawScene);
            const double t3 = WallSeconds();
            Sleep(0);
            const double t4 = WallSeconds();
            t[0] += t1 - t0;
            t[1] += t2 - t1;
            t[2] += t3 - t2;
            t[3] += t4 - t3;
        }
        times->whole.push_back((WallSeconds() - blockStart) / kBlock);
        times->cpu += ThreadCpuSeconds() - cpuStart;
        times->pump.push_back(t[0] / kBlock);
        times->update.push_back(t[1] / kBlock);
        times->render.push_back(t[2] / kBlock);
        times->yield.push_back(t[3] / kBlock);
    }
    return true;
}

// Without the right counts the wrapping did not take hold and the figures would include the driver.
bool DriverTakenOut(const NullDriverCounts& counts, long measured) {
    if (counts.disks == static_cast<uint64_t>(measured) * kDisksPerFrame && counts.swaps == static_cast<uint64_t>(measured)) {
        return true;
    }
    fprintf(stderr, "%s: the null driver saw %llu disks and %llu swaps in %ld frames (want %d and 1 a frame)\n",
            kTool, static_cast<unsigned long long>(counts.disks), static_cast<unsigned long long>(counts.swaps),
            measured, kDisksPerFrame);
    return false;
}
}  // namespace

int main(int argc, char** argv) {
    long frames = 2000;
    const long kWarmUp = 60;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--frames") == 0 && i + 1 < argc && atol(argv[i + 1]) >= kBlock) {
            frames = atol(argv[++i]);
        } else {
            fprintf(stderr, "usage: %s [--frames N]   (N >= %ld, default 2000)\n", kTool, kBlock);
            return 1;
        }
    }
    if (!OpenProgram(kTool)) return 1;
    for (long i = 0; i < kWarmUp; ++i) {
        if (!ProgramFrame()) return 1;
    }

    SetNullDriver(true);
    ResetNullDriverCounts();
    const long blocks = frames / kBlock;
    StepTimes times;
    const bool ran = TimeSteps(blocks, &times);
    const NullDriverCounts counts = NullDriverCallCounts();
    SetNullDriver(false);
    CloseProgram();
    if (!ran) {
        fprintf(stderr, "%s: the program quit during the run\n", kTool);
        return 1;
    }
    const long measured = blocks * kBlock;
    if (!DriverTakenOut(counts, measured)) return 1;

    const double us = 1e6;
    fprintf(report, "null driver: %ld frames, %.0f OpenGL/GLU/swap calls a frame taken out\n", measured,
            static_cast<double>(counts.calls) / static_cast<double>(measured));
    fprintf(report,
            "null driver: per frame (median of %ld blocks, wall): PumpMessages %.1f us, UpdateScene %.1f us, "
            "RenderFrame+DrawScene %.1f us, Sleep(0) %.1f us; whole frame %.1f us\n",
            blocks, Median(times.pump) * us, Median(times.update) * us, Median(times.render) * us,
            Median(times.yield) * us, Median(times.whole) * us);
    // The line brimvalk-bench-frames reads.
    fprintf(report, "own code + layer per frame: cpu_us=%.2f wall_us=%.2f\n",
            times.cpu / static_cast<double>(measured) * us, Median(times.whole) * us);
    return 0;
}
