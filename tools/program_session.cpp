#include "program_session.h"

#include <windows.h>

#include <SDL.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "app/body_field.h"
#include "app/frame_loop.h"
#include "app/program.h"
#include "app/scene.h"
#include "device/app_window.h"
#include "device/render_device.h"
#include "platform/testing.h"

FILE* report = stdout;

namespace {

double Seconds(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct KeyName {
    const char* name;
    int virtualKey;
};
const KeyName kKeys[] = {
    {"up", VK_UP}, {"down", VK_DOWN}, {"left", VK_LEFT}, {"right", VK_RIGHT}, {"z", 'Z'}, {"x", 'X'},
};

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
    // Before any layer call: the layer's first window picks the video driver.
    if (options.offscreen) setenv("SDL_VIDEODRIVER", "offscreen", 0);

    if (options.quiet) {
        // The program prints a line every frame; beside a tool's report they are only noise. Fully
        // buffered into /dev/null they cost the formatting, as when its output goes to a file.
        fflush(stdout);
        const int kept = dup(STDOUT_FILENO);
        report = kept >= 0 ? fdopen(kept, "w") : nullptr;
        if (report == nullptr || freopen(options.quietOutput, "w", stdout) == nullptr) {
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

bool ParseNumber(const char* text, long least, long* value, long most) {
    // Digits only: strtol alone would also take leading spaces, a sign, and clamp what overflows.
    if (text[0] == '\0' || strspn(text, "0123456789") != strlen(text)) return false;
    errno = 0;
    const long parsed = strtol(text, nullptr, 10);
    if (errno != 0 || parsed < least || parsed > most) return false;
    *value = parsed;
    return true;
}

bool ParseKeyHold(const char* text, KeyHold* hold) {
    const char* colon = strchr(text, ':');
    if (colon == nullptr) return false;
    const std::string name(text, colon);
    hold->virtualKey = 0;
    for (const KeyName& key : kKeys) {
        if (name == key.name) hold->virtualKey = key.virtualKey;
    }
    if (hold->virtualKey == 0) return false;

    const std::string range(colon + 1);
    const size_t dash = range.find('-');
    if (dash == std::string::npos) {
        hold->first = 0;
        return ParseNumber(range.c_str(), 1, &hold->end);
    }
    return ParseNumber(range.substr(0, dash).c_str(), 0, &hold->first) &&
           ParseNumber(range.substr(dash + 1).c_str(), hold->first + 1, &hold->end);
}

// A key is down in a frame when any of its holds covers that frame.
void SetKeysForFrame(const std::vector<KeyHold>& holds, long frame) {
    for (const KeyName& key : kKeys) {
        bool down = false;
        for (const KeyHold& hold : holds) {
            if (hold.virtualKey == key.virtualKey && frame >= hold.first && frame < hold.end) down = true;
        }
        PlatformSetKeyForTests(key.virtualKey, down);
    }
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
