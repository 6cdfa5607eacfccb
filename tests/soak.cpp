// brimvalk-soak: the program's frame loop offscreen for many frames with random keys (through the
// layer's key control: no key message, so Escape must not end the run) and an SDL virtual joystick,
// unplugged at 40% of the run and plugged in again at 60%. Each frame: the input record is what keys
// and joystick say, the player moved exactly 4 pixels per deflected axis, every body finite and in
// the field. At the end: resident memory and heap in use within their growth limits, and the input
// took every road. Exits 1 with a message on failure.
#include <windows.h>

#include <SDL.h>
#include <limits.h>
#include <malloc.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>

#include "app/body_field.h"
#include "harness/arguments.h"
#include "harness/clocks.h"
#include "harness/key_script.h"
#include "harness/program_session.h"
#include "input/input_state.h"
#include "platform/testing.h"

#if defined(__SANITIZE_ADDRESS__)
// From ASan's allocator (sanitizer/allocator_interface.h, which GCC does not install). Its quarantine
// keeps freed memory resident for a while, so there only the heap count judges.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
static long HeapBytesInUse() { return static_cast<long>(__sanitizer_get_current_allocated_bytes()); }
static const bool kJudgeResident = false;
#else
static long HeapBytesInUse() { return static_cast<long>(mallinfo2().uordblks + mallinfo2().hblkhd); }
static const bool kJudgeResident = true;
#endif

namespace {

const char kTool[] = "brimvalk-soak";

// Memory is judged on the smallest of 100 readings, one a frame, closing the warm-up and the run:
// single readings jump by 64 KiB of heap and 1 MiB resident, while a leak raises even the smallest.
// Resident, 4 MiB: the coarse net for the driver's buffers, textures and stacks (a leaked 4 KiB page
// a frame trips it within ~1,000 frames). Heap in use, 32 KiB: the fine net (a GLU quadric leaked a
// frame gave +54 KiB where resident memory saw only 0.6 MiB).
const long kMaxResidentGrowth = 4L << 20, kMaxHeapGrowth = 32L << 10, kReadings = 100;

const char kUsage[] =
    "usage: brimvalk-soak [--frames N] [--seed S]\n"
    "  --frames N  frames to run (default 20000, at least 2000)\n"
    "  --seed S    seed of the random input (default 20250101)\n";

[[noreturn]] __attribute__((format(printf, 2, 3))) void Fail(long frame, const char* format, ...) {
    fflush(stdout);
    fprintf(stderr, "%s: FAILED at frame %ld: ", kTool, frame);
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    fputc('\n', stderr);
    exit(1);
}
void CheckSdl(bool ok, long frame, const char* what) {
    if (!ok) Fail(frame, "cannot %s: %s", what, SDL_GetError());
}

long ResidentBytes() {
    long size = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    const bool read = statm != nullptr && fscanf(statm, "%ld %ld", &size, &resident) == 2;
    if (statm != nullptr) fclose(statm);
    return read ? resident * sysconf(_SC_PAGESIZE) : -1;
}

// The smallest resident size and heap in use seen over a run of readings.
struct MemoryLow {
    long resident = -1, heap = -1;
    void Read(long frame) {
        const long residentNow = ResidentBytes(), heapNow = HeapBytesInUse();
        if (residentNow <= 0) Fail(frame, "cannot read /proc/self/statm");
        resident = resident < 0 ? residentNow : std::min(resident, residentNow);
        heap = heap < 0 ? heapNow : std::min(heap, heapNow);
    }
};

// The keys the program reads: the sampler's six in kProgramKeys' order, then Escape.
enum { kUp, kDown, kLeft, kRight, kZ, kX, kEscape, kKeyCount };
const ProgramKey& KeyAt(int k) {
    static const ProgramKey escape = {"escape", VK_ESCAPE};
    return k == kEscape ? escape : kProgramKeys[k];
}

// What the soak holds: the keys down, and its virtual joystick 1 with the values last given.
struct Held {
    bool down[kKeyCount];
    SDL_Joystick* joystick;  // null while unplugged
    int deviceIndex;
    Sint16 axis[2];
    bool button[2];

    void PlugIn(long frame) {
        if (SDL_NumJoysticks() != 0) Fail(frame, "a joystick is already connected; the soak needs its virtual "
                                                 "joystick to be joystick 1");
        deviceIndex = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 2, 0);
        CheckSdl(deviceIndex >= 0, frame, "attach a virtual joystick");
        CheckSdl((joystick = SDL_JoystickOpen(deviceIndex)) != nullptr, frame, "open the virtual joystick");
        axis[0] = axis[1] = 0;
        button[0] = button[1] = false;
    }
    void Unplug(long frame) {
        SDL_JoystickClose(joystick);
        joystick = nullptr;
        CheckSdl(SDL_JoystickDetachVirtual(deviceIndex) == 0, frame, "detach the virtual joystick");
    }
    // Random input for one frame: each key flips now and then, the stick moves to a corner, the
    // centre or anywhere, and the buttons flip.
    void Shake(std::mt19937& random, long frame) {
        std::uniform_int_distribution<int> oneIn16(0, 15), anyOf4(0, 3), anyAxis(-32768, 32767);
        for (int k = 0; k < kKeyCount; ++k) {
            if (oneIn16(random) == 0) PlatformSetKeyForTests(KeyAt(k).virtualKey, down[k] = !down[k]);
        }
        for (int a = 0; joystick != nullptr && a < 2; ++a) {
            if (oneIn16(random) >= 2) continue;
            const Sint16 choices[] = {-32768, 0, 32767, static_cast<Sint16>(anyAxis(random))};
            axis[a] = choices[anyOf4(random)];
            CheckSdl(SDL_JoystickSetVirtualAxis(joystick, a, axis[a]) == 0, frame, "move the virtual joystick");
        }
        for (int b = 0; joystick != nullptr && b < 2; ++b) {
            if (oneIn16(random) != 0) continue;
            button[b] = !button[b];
            CheckSdl(SDL_JoystickSetVirtualButton(joystick, b, button[b]) == 0, frame, "press the joystick's button");
        }
    }
    // What InputState::Sample must have read: the keyboard first, the joystick (if `stick`) filling
    // in zeros, its axes read against the simulation step's thresholds (joyGetPos's 0..65535).
    InputState Expected(bool stick) const {
        InputState want = {down[kUp] ? -1 : down[kDown], down[kLeft] ? -1 : down[kRight], down[kZ] * 32768,
                           down[kX] * 32768};
        if (!stick || joystick == nullptr) return want;
        auto direction = [](Sint16 a) {
            return int(long(a) + 32768 > long(kJoystickAxisHigh)) - int(long(a) + 32768 < long(kJoystickAxisLow));
        };
        if (want.horizontal == 0) want.horizontal = direction(axis[0]);
        if (want.vertical == 0) want.vertical = direction(axis[1]);
        if (want.button1 == 0) want.button1 = button[0];
        if (want.button2 == 0) want.button2 = button[1];
        return want;
    }
    std::string Describe() const {
        std::string text = "keys down:";
        for (int k = 0; k < kKeyCount; ++k) text += down[k] ? std::string(" ") + KeyAt(k).name : "";
        char stick[128] = "; joystick unplugged";
        if (joystick != nullptr) {
            snprintf(stick, sizeof stick, "; joystick axes %d %d, buttons %d %d", axis[0], axis[1], button[0],
                     button[1]);
        }
        return text + stick;
    }
};

// What a soak did: its options, schedule, timing, memory and the roads it took.
struct Soak {
    long frames = 20000, seed = 20250101;
    // Warm-up: the driver builds its state (shaders, buffers) in the first frames, and under ASan
    // the allocator's quarantine of freed memory fills (to some 470 MiB resident) within 200.
    long warmUp = 0, unplugAt = 0, plugInAt = 0;
    double start = 0, measuredStart = 0, end = 0;
    MemoryLow before, after;  // over the last kReadings frames of the warm-up and of the run
    // How often the random input took each road, so that a soak that never tried one cannot pass:
    // frames with Escape down, with the joystick giving a value the keyboard left at zero, unplugged.
    long escapeHeld = 0, joystickDecided = 0, unplugged = 0;
};

void CheckFrame(long frame, const Held& held, const Body& playerBefore, Soak* soak) {
    const InputState want = held.Expected(true), keyboardOnly = held.Expected(false);
    soak->escapeHeld += held.down[kEscape];
    soak->joystickDecided += memcmp(&want, &keyboardOnly, sizeof want) != 0;
    soak->unplugged += held.joystick == nullptr;
    if (memcmp(&want, &input, sizeof want) != 0) {
        Fail(frame, "input read as %d %d %d %d, want %d %d %d %d (%s)", input.vertical, input.horizontal, input.button1,
             input.button2, want.vertical, want.horizontal, want.button1, want.button2, held.Describe().c_str());
    }
    // 4 pixels a frame per deflected axis, plus the drift it was seeded with on the first frame
    // only (the step clears the player's velocity).
    const Body& p = bodies[0];
    const float wantX = playerBefore.x + (static_cast<float>(4 * want.horizontal) + playerBefore.vx);
    const float wantY = playerBefore.y + (playerBefore.vy - static_cast<float>(4 * want.vertical));
    if (!isfinite(p.x) || !isfinite(p.y) || p.x != wantX || p.y != wantY || p.vx != 0.0f || p.vy != 0.0f) {
        Fail(frame, "player at (%g, %g), want (%g, %g)", double(p.x), double(p.y), double(wantX), double(wantY));
    }
    // A body bounces when it is past an edge, so it is never more than one step (|v| <= 1) outside.
    for (int i = 1; i < kBodyCount; ++i) {
        const Body& b = bodies[i];
        const bool finite = isfinite(b.x) && isfinite(b.y) && isfinite(b.angle) && isfinite(b.vx) && isfinite(b.vy);
        if (!finite || b.x < -2.0f || b.x > kFieldWidth + 2.0f || b.y < -2.0f || b.y > kFieldHeight + 2.0f) {
            Fail(frame, "body %d at (%g, %g) moving (%g, %g), angle %g", i, double(b.x), double(b.y), double(b.vx),
                 double(b.vy), double(b.angle));
        }
    }
}

// Returns -1 to go on, else the exit status (0 after --help).
int ParseArguments(int argc, char** argv, Soak* soak) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[++i] : "";
        if (!((arg == "--frames" && ParseNumber(value, 2000, &soak->frames)) ||
              (arg == "--seed" && ParseNumber(value, 0, &soak->seed, UINT_MAX)))) {
            fputs(kUsage, arg == "--help" ? stdout : stderr);
            return arg == "--help" ? 0 : 1;
        }
    }
    soak->warmUp = std::min(soak->frames / 10, 500L);
    soak->unplugAt = soak->frames * 4 / 10;
    soak->plugInAt = soak->frames * 6 / 10;
    return -1;
}

// Runs the program's own frame loop with random input; each frame is judged once it has been swapped.
void RunSoak(Soak* soak) {
    // The program's entry sequence; its input line, every frame, is not what the soak looks at.
    if (!OpenProgram(kTool)) Fail(0, "the program could not be started");
    // After the window: the layer has set its SDL hints by now.
    CheckSdl(SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0, 0, "start SDL's joysticks");
    Held held = {};
    held.PlugIn(0);
    std::mt19937 random(static_cast<unsigned>(soak->seed));
    for (int k = 0; k < kKeyCount; ++k) PlatformSetKeyForTests(KeyAt(k).virtualKey, false);
    Body playerBefore = {};
    // The input of frame `frame` (from 1), set before the pass of the program's loop that reads it.
    auto prepare = [&](long frame) {
        if (frame == soak->unplugAt) held.Unplug(frame);
        if (frame == soak->plugInAt) held.PlugIn(frame);
        held.Shake(random, frame);
        playerBefore = bodies[0];
    };
    soak->start = soak->measuredStart = WallSeconds();
    prepare(1);
    const long drawn = RunProgram([&](long index, bool afterSwap) {
        const long frame = index + 1;
        if (!afterSwap) return true;
        CheckFrame(frame, held, playerBefore, soak);
        if (frame > soak->warmUp - kReadings && frame <= soak->warmUp) soak->before.Read(frame);
        if (frame > soak->frames - kReadings) soak->after.Read(frame);
        if (frame == soak->warmUp) soak->measuredStart = WallSeconds();
        if (frame == soak->frames) return false;
        prepare(frame + 1);
        return true;
    });
    if (drawn < soak->frames) Fail(drawn + 1, "the program met a quit message (%s)", held.Describe().c_str());
    soak->end = WallSeconds();
    held.Unplug(soak->frames);
    CloseProgram();
}

// Reports the run and fails it on memory growth or on a road the random input never took.
void JudgeSoak(const Soak& soak) {
    const long measured = soak.frames - soak.warmUp;
    const long residentGrowth = soak.after.resident - soak.before.resident;
    const long heapGrowth = soak.after.heap - soak.before.heap;
    fprintf(stderr, "%s: %ld frames (seed %ld) in %.1f s, %.2f ms a frame; joystick unplugged at %ld, plugged in at "
            "%ld\n", kTool, soak.frames, soak.seed, soak.end - soak.start,
            (soak.end - soak.measuredStart) / double(measured) * 1e3, soak.unplugAt, soak.plugInAt);
    fprintf(stderr, "%s: resident %.2f MiB after %ld warm-up frames, %.2f MiB at the end: %+ld bytes (limit %ld)\n",
            kTool, double(soak.before.resident) / (1 << 20), soak.warmUp, double(soak.after.resident) / (1 << 20),
            residentGrowth, kMaxResidentGrowth);
    fprintf(stderr, "%s: heap in use %ld bytes after warm-up, %ld at the end: %+ld bytes (limit %ld)\n", kTool,
            soak.before.heap, soak.after.heap, heapGrowth, kMaxHeapGrowth);
    fprintf(stderr, "%s: Escape held in %ld frames, the joystick decided the input in %ld, unplugged for %ld\n", kTool,
            soak.escapeHeld, soak.joystickDecided, soak.unplugged);
    if (soak.escapeHeld == 0 || soak.joystickDecided == 0 || soak.unplugged == 0) {
        Fail(soak.frames, "the random input missed a road it is there to try");
    }
    if (kJudgeResident && residentGrowth > kMaxResidentGrowth) {
        Fail(soak.frames, "resident memory grew by %ld bytes over %ld frames", residentGrowth, measured);
    }
    if (heapGrowth > kMaxHeapGrowth) {
        Fail(soak.frames, "heap in use grew by %ld bytes over %ld frames", heapGrowth, measured);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Soak soak;
    const int parsed = ParseArguments(argc, argv, &soak);
    if (parsed >= 0) return parsed;
    RunSoak(&soak);
    JudgeSoak(soak);
    fprintf(stderr, "%s: passed\n", kTool);
    return 0;
}
