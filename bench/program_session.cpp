#include "program_session.h"

#include <windows.h>

#include <SDL.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "app/body_field.h"
#include "app/frame_loop.h"
#include "app/scene.h"
#include "device/app_window.h"
#include "device/render_device.h"
#include "platform/testing.h"

FILE* report = stdout;

namespace {

const char kTitle[] = "Brimvalk Test.";
const int kWidth = 1024;
const int kHeight = 768;

double Seconds(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

bool OpenProgram(const char* tool) {
    // Before any layer call: the layer's first window picks the video driver.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);

    // The program prints a line every frame; in a benchmark they would only be noise. Fully
    // buffered into /dev/null they cost the formatting, as when its output goes to a file.
    fflush(stdout);
    const int kept = dup(STDOUT_FILENO);
    report = kept >= 0 ? fdopen(kept, "w") : nullptr;
    if (report == nullptr || freopen("/dev/null", "w", stdout) == nullptr) {
        fprintf(stderr, "%s: cannot set standard output aside\n", tool);
        return false;
    }
    setvbuf(report, nullptr, _IOLBF, 0);

    // No swap synchronisation: the device then never asks for an interval of 1.
    PlatformSetSwapControlForTests(0);
    HWND window = CreateAppWindow(kTitle, kWidth, kHeight, 1, AppWindowProc);
    if (window == nullptr) {
        fprintf(stderr, "%s: the program's window could not be created\n", tool);
        return false;
    }
    if (device.Create(window, kWidth, kHeight, 1) != 0) {
        fprintf(stderr, "%s: the program's render device could not be set up\n", tool);
        device.Release();
        return false;
    }
    // And whatever interval the driver starts with, 0 (a driver that cannot set one does not sync).
    SDL_GL_SetSwapInterval(0);
    InitBodies();
    return true;
}

bool ProgramFrame() {
    // RunFrameLoop's body, one pass at a time.
    if (PumpMessages() != 1) return false;
    UpdateScene();
    device.RenderFrame(DrawScene);
    Sleep(0);
    return true;
}

void CloseProgram() {
    device.Release();
    fflush(stdout);
}

double WallSeconds() {
    return Seconds(CLOCK_MONOTONIC);
}

double ThreadCpuSeconds() {
    return Seconds(CLOCK_THREAD_CPUTIME_ID);
}

double ProcessCpuSeconds() {
    return Seconds(CLOCK_PROCESS_CPUTIME_ID);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}
