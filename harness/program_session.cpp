#include "program_session.h"

#include <windows.h>

#include <SDL.h>
#include <stdlib.h>
#include <unistd.h>

#include "app/body_field.h"
#include "app/frame_loop.h"
#include "app/program.h"
#include "app/scene.h"
#include "device/app_window.h"
#include "device/render_device.h"
#include "platform/termination.h"
#include "platform/testing.h"

FILE* report = stdout;

namespace {

struct Watch {
    std::function<bool(long, bool)> onSwap;
    long frames;
};
Watch watch;

void OnSwap(bool afterSwap) {
    const long frame = watch.frames;
    if (afterSwap) ++watch.frames;
    if (!watch.onSwap(frame, afterSwap) && afterSwap) PostQuitMessage(0);
}

}  // namespace

bool OpenProgram(const char* tool, const SessionOptions& options) {
    // A signal the run cannot honour in time ends the tool in its own words.
    TerminationForTool(tool);
    // Before any layer call: the layer's first window picks the video driver.
    if (options.offscreen) setenv("SDL_VIDEODRIVER", "offscreen", 0);

    if (options.quiet) {
        // The program prints a line every frame; beside a tool's report they are only noise. Fully
        // buffered into /dev/null they cost the formatting, as when its output goes to a file.
        fflush(stdout);
        const int kept = dup(STDOUT_FILENO);
        report = kept >= 0 ? fdopen(kept, "w") : nullptr;
        const bool redirected = options.quietDescriptor >= 0
                                    ? dup2(options.quietDescriptor, STDOUT_FILENO) == STDOUT_FILENO
                                    : freopen(options.quietOutput, "w", stdout) != nullptr;
        if (options.quietDescriptor >= 0) close(options.quietDescriptor);
        if (report == nullptr || !redirected) {
            fprintf(stderr, "%s: cannot set standard output aside\n", tool);
            return false;
        }
        setvbuf(report, nullptr, _IOLBF, 0);
    }

    // No swap synchronisation: the device then never asks for an interval of 1.
    if (!options.swapSync) PlatformSetSwapControlForTests(0);
    HWND window = CreateAppWindow(kProgramTitle, kProgramWidth, kProgramHeight, kProgramWindowed, AppWindowProc);
    if (window == nullptr) {
        fprintf(stderr, "%s: the program's window could not be created\n", tool);
        return false;
    }
    if (device.Create(window, kProgramWidth, kProgramHeight, kProgramWindowed) != 0) {
        fprintf(stderr, "%s: the program's render device could not be set up\n", tool);
        device.Release();
        return false;
    }
    // And whatever interval the driver starts with, 0 (a driver that cannot set one does not sync).
    if (!options.swapSync) SDL_GL_SetSwapInterval(0);
    InitBodies();
    return true;
}

long RunProgram(const std::function<bool(long frame, bool afterSwap)>& onSwap) {
    watch = {onSwap, 0};
    PlatformSetSwapHookForTests(OnSwap);
    RunFrameLoop();
    PlatformSetSwapHookForTests(nullptr);
    return watch.frames;
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
