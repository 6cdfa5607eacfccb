// brimvalk-soak: runs the program's frame loop offscreen for many frames with random input and
// checks that it neither leaks nor drifts into nonsense.
//
// Input: the arrows, Z, X and Escape are pressed and released at random through the layer's key
// test control, which GetAsyncKeyState answers from; no key message is queued, so Escape must not
// end the run. An SDL virtual joystick (two axes, two buttons) is moved at random, unplugged at 40%
// of the run and plugged in again at 60%, which joyGetPos must follow.
//
// Checks, each frame: the pump never meets a quit message; the input record is what the keys and
// the joystick say (keyboard first, joystick filling in); the player moved by exactly 4 pixels
// per deflected axis; every body is finite and inside the field (give or take one frame's step).
// At the end: resident memory and heap in use, their lows over the last 100 frames of the warm-up
// and of the run, have not grown past their limits (see kMaxResidentGrowth and kMaxHeapGrowth);
// and the random input did reach every road (Escape held, the joystick deciding a value). Under
// the sanitizer build ASan and UBSan stop at the first fault. Exits 1 with a message on failure.
#include <windows.h>

#include <SDL.h>
#include <malloc.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <random>
#include <string>

#include "app/body_field.h"
#include "harness/clocks.h"
#include "harness/key_script.h"
#include "harness/program_session.h"
#include "input/input_state.h"
#include "platform/testing.h"

#if defined(__SANITIZE_ADDRESS__)
// From ASan's allocator (sanitizer/allocator_interface.h, which GCC does not install).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

const char kTool[] = "brimvalk-soak";

// Both memory figures are the smallest of 100 readings, one a frame, at the end of the warm-up
// and at the end of the run (see MemoryLow). Measured over 2,000 frames, those lows stay within a
// few KiB of heap and ~0.4 MiB of resident memory from start to end, while single readings jump by
// 64 KiB steps of heap (the rasteriser's scene blocks) and 1 MiB of resident memory.
//
// Resident memory, 4 MiB: the coarse net, for memory that is not the C heap's (the driver's
// mapped buffers, textures, thread stacks). It is ten times the drift seen; a leaked frame-sized
// colour buffer (3 MiB) trips it within two frames, a leaked and touched 4 KiB page a frame
// within ~1,000 frames (+7.4 MiB over the reduced run, tried).
const long kMaxResidentGrowth = 4L << 20;
// Heap in use (glibc's count, or ASan's under the sanitizer), 32 KiB: the fine net. One leaked
// allocation a frame crosses it over the reduced run's ~1,700 frames between the two windows. Tried
// with a leak injected after the program's frame: a GLU quadric a frame (a 32-byte chunk) gave
// +54 KiB, a one-command display list a frame +553 KiB; resident memory saw only 0.6 and 1.4 MiB.
const long kMaxHeapGrowth = 32L << 10;
#if defined(__SANITIZE_ADDRESS__)
// ASan's quarantine keeps freed memory resident for a while, so there only the heap count judges.
const bool kJudgeResident = false;
#else
const bool kJudgeResident = true;
#endif

struct Options {
    long frames = 20000;
    unsigned seed = 20250101;
    long trace = 0;  // print memory every this many frames; 0 never
};

const char kUsage[] =
    "usage: brimvalk-soak [--frames N] [--seed S] [--trace N]\n"
    "  --frames N  frames to run (default 20000, at least 2000)\n"
    "  --seed S    seed of the random input (default 20250101)\n"
    "  --trace N   print resident memory and heap in use every N frames\n";

[[noreturn]] void Fail(long frame, const std::string& what) {
    fflush(stdout);
    fprintf(stderr, "%s: FAILED at frame %ld: %s\n", kTool, frame, what.c_str());
    exit(1);
}

long ResidentBytes() {
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm == nullptr) return -1;
    long size = 0;
    long resident = 0;
    const int read = fscanf(statm, "%ld %ld", &size, &resident);
    fclose(statm);
    return read == 2 ? resident * sysconf(_SC_PAGESIZE) : -1;
}

long HeapBytesInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>(info.uordblks + info.hblkhd);
#endif
}

// The smallest resident size and heap in use seen over a run of readings.
struct MemoryLow {
    long resident = -1;
    long heap = -1;

    void Read(long frame) {
        const long residentNow = ResidentBytes();
        if (residentNow <= 0) Fail(frame, "cannot read /proc/self/statm");
        const long heapNow = HeapBytesInUse();
        if (resident < 0 || residentNow < resident) resident = residentNow;
        if (heap < 0 || heapNow < heap) heap = heapNow;
    }
};


// The keys the program reads, in the order of `Keys::down`: the sampler's six, then Escape.
enum { kUp, kDown, kLeft, kRight, kZ, kX, kEscape, kKeyCount };
int VirtualKey(int k) {
    return k == kEscape ? VK_ESCAPE : kProgramKeys[k].virtualKey;
}
const char* KeyName(int k) {
    return k == kEscape ? "escape" : kProgramKeys[k].name;
}

struct Keys {
    bool down[kKeyCount];
};

// The soak's virtual joystick 1 and the values it was last given.
struct Joystick {
    SDL_Joystick* handle;  // ours; null while unplugged
    int deviceIndex;
    Sint16 axis[2];
    bool button[2];
};

void PlugIn(Joystick* joystick, long frame) {
    if (SDL_NumJoysticks() != 0) {
        Fail(frame, "a joystick is already connected; the soak needs its virtual joystick to be joystick 1");
    }
    joystick->deviceIndex = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 2, 0);
    if (joystick->deviceIndex < 0) Fail(frame, std::string("cannot attach a virtual joystick: ") + SDL_GetError());
    joystick->handle = SDL_JoystickOpen(joystick->deviceIndex);
    if (joystick->handle == nullptr) Fail(frame, std::string("cannot open the virtual joystick: ") + SDL_GetError());
    joystick->axis[0] = joystick->axis[1] = 0;
    joystick->button[0] = joystick->button[1] = false;
}

void Unplug(Joystick* joystick, long frame) {
    SDL_JoystickClose(joystick->handle);
    joystick->handle = nullptr;
    if (SDL_JoystickDetachVirtual(joystick->deviceIndex) != 0) {
        Fail(frame, std::string("cannot detach the virtual joystick: ") + SDL_GetError());
    }
}

// Random input for one frame: each key flips now and then, the stick moves to a corner, the
// centre or anywhere, and the buttons flip.
void ShakeInput(std::mt19937* random, Keys* keys, Joystick* joystick, long frame) {
    std::uniform_int_distribution<int> oneIn16(0, 15);
    for (int k = 0; k < kKeyCount; ++k) {
        if (oneIn16(*random) == 0) {
            keys->down[k] = !keys->down[k];
            PlatformSetKeyForTests(VirtualKey(k), keys->down[k]);
        }
    }
    if (joystick->handle == nullptr) return;
    for (int a = 0; a < 2; ++a) {
        if (oneIn16(*random) >= 2) continue;
        const Sint16 choices[] = {-32768, 0, 32767, static_cast<Sint16>(std::uniform_int_distribution<int>(-32768, 32767)(*random))};
        joystick->axis[a] = choices[std::uniform_int_distribution<int>(0, 3)(*random)];
        if (SDL_JoystickSetVirtualAxis(joystick->handle, a, joystick->axis[a]) != 0) {
            Fail(frame, std::string("cannot move the virtual joystick: ") + SDL_GetError());
        }
    }
    for (int b = 0; b < 2; ++b) {
        if (oneIn16(*random) != 0) continue;
        joystick->button[b] = !joystick->button[b];
        if (SDL_JoystickSetVirtualButton(joystick->handle, b, joystick->button[b] ? 1 : 0) != 0) {
            Fail(frame, std::string("cannot press the virtual joystick's button: ") + SDL_GetError());
        }
    }
}

// The stick's direction as the simulation step's thresholds read it (joyGetPos positions 0..65535).
int32_t Direction(Sint16 axis) {
    const long position = static_cast<long>(axis) + 32768;
    return (position > static_cast<long>(kJoystickAxisHigh) ? 1 : 0) - (position < static_cast<long>(kJoystickAxisLow) ? 1 : 0);
}

// What InputState::Sample must have read: the keyboard first, the joystick filling in zeros.
InputState ExpectedInput(const Keys& keys, const Joystick& joystick) {
    InputState expected;
    expected.vertical = keys.down[kUp] ? -1 : (keys.down[kDown] ? 1 : 0);
    expected.horizontal = keys.down[kLeft] ? -1 : (keys.down[kRight] ? 1 : 0);
    expected.button1 = keys.down[kZ] ? 32768 : 0;
    expected.button2 = keys.down[kX] ? 32768 : 0;
    if (joystick.handle != nullptr) {
        if (expected.horizontal == 0) expected.horizontal = Direction(joystick.axis[0]);
        if (expected.vertical == 0) expected.vertical = Direction(joystick.axis[1]);
        if (expected.button1 == 0) expected.button1 = joystick.button[0] ? 1 : 0;
        if (expected.button2 == 0) expected.button2 = joystick.button[1] ? 1 : 0;
    }
    return expected;
}

std::string Describe(const Keys& keys, const Joystick& joystick) {
    std::string text = "keys down:";
    for (int k = 0; k < kKeyCount; ++k) {
        if (keys.down[k]) text += std::string(" ") + KeyName(k);
    }
    char stick[128];
    if (joystick.handle != nullptr) {
        snprintf(stick, sizeof stick, "; joystick axes %d %d, buttons %d %d", joystick.axis[0], joystick.axis[1],
                 joystick.button[0], joystick.button[1]);
    } else {
        snprintf(stick, sizeof stick, "; joystick unplugged");
    }
    return text + stick;
}

// How often the random input took each road, so that a soak that never tried one cannot pass.
struct Coverage {
    long escapeHeld;        // frames with Escape down
    long joystickDecided;   // frames where the joystick gave a value the keyboard left at zero
    long unplugged;         // frames without the joystick
};

void CheckFrame(long frame, const Keys& keys, const Joystick& joystick, const Body& playerBefore,
                Coverage* coverage) {
    const InputState expected = ExpectedInput(keys, joystick);
    const InputState keyboardOnly = ExpectedInput(keys, Joystick());
    if (keys.down[kEscape]) ++coverage->escapeHeld;
    if (memcmp(&expected, &keyboardOnly, sizeof expected) != 0) ++coverage->joystickDecided;
    if (joystick.handle == nullptr) ++coverage->unplugged;
    if (memcmp(&expected, &input, sizeof expected) != 0) {
        char text[256];
        snprintf(text, sizeof text, "input read as %d %d %d %d, want %d %d %d %d (", input.vertical, input.horizontal,
                 input.button1, input.button2, expected.vertical, expected.horizontal, expected.button1,
                 expected.button2);
        Fail(frame, text + Describe(keys, joystick) + ")");
    }

    // 4 pixels a frame per deflected axis, plus the drift it was seeded with on the first frame
    // only (the step clears the player's velocity).
    const Body& player = bodies[0];
    const float wantX = playerBefore.x + (static_cast<float>(4 * expected.horizontal) + playerBefore.vx);
    const float wantY = playerBefore.y + (playerBefore.vy - static_cast<float>(4 * expected.vertical));
    if (!isfinite(player.x) || !isfinite(player.y) || player.x != wantX || player.y != wantY || player.vx != 0.0f ||
        player.vy != 0.0f) {
        char text[160];
        snprintf(text, sizeof text, "player at (%g, %g), want (%g, %g)", static_cast<double>(player.x),
                 static_cast<double>(player.y), static_cast<double>(wantX), static_cast<double>(wantY));
        Fail(frame, text);
    }

    // A body bounces when it is past an edge, so it is never more than one step (|v| <= 1) outside.
    for (int i = 1; i < kBodyCount; ++i) {
        const Body& body = bodies[i];
        const bool finite = isfinite(body.x) && isfinite(body.y) && isfinite(body.angle) && isfinite(body.vx) &&
                            isfinite(body.vy);
        if (!finite || body.x < -2.0f || body.x > kFieldWidth + 2.0f || body.y < -2.0f ||
            body.y > kFieldHeight + 2.0f) {
            char text[160];
            snprintf(text, sizeof text, "body %d at (%g, %g) moving (%g, %g), angle %g", i,
                     static_cast<double>(body.x), static_cast<double>(body.y), static_cast<double>(body.vx),
                     static_cast<double>(body.vy), static_cast<double>(body.angle));
            Fail(frame, text);
        }
    }
}

// Returns -1 to go on, else the exit status (0 after --help).
int ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc && atol(argv[i + 1]) >= 2000) {
            options->frames = atol(argv[++i]);
        } else if (arg == "--trace" && i + 1 < argc && atol(argv[i + 1]) > 0) {
            options->trace = atol(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            options->seed = static_cast<unsigned>(strtoul(argv[++i], nullptr, 10));
        } else {
            fputs(kUsage, arg == "--help" ? stdout : stderr);
            return arg == "--help" ? 0 : 1;
        }
    }
    return -1;
}

// What a soak of options.frames frames did: its schedule, timing, memory and the roads it took.
struct Soak {
    // Warm-up: the driver builds its state (shaders, buffers) in the first frames, and under ASan
    // the allocator's quarantine of freed memory fills (to some 470 MiB resident) within 200.
    long warmUp, unplugAt, plugInAt;
    double start = 0, measuredStart = 0, end = 0;
    // Memory is read every frame of two windows, one closing the warm-up and one closing the run,
    // and the smallest reading of each is kept: the driver takes and returns buffers of up to a
    // MiB from frame to frame, which would make any single reading noisy, while a leak raises
    // even the smallest one.
    MemoryLow before, after;
    Coverage coverage = {};

    explicit Soak(const Options& options)
        : warmUp(options.frames / 10 < 500 ? options.frames / 10 : 500),
          unplugAt(options.frames * 4 / 10),
          plugInAt(options.frames * 6 / 10) {}
};
const long kReadings = 100;  // the warm-up is at least 200 frames

// Runs the program's own frame loop with random input; each frame is judged once it has been swapped.
void RunSoak(const Options& options, Soak* soak) {
    // The program's entry sequence; its input line, every frame, is not what the soak looks at.
    if (!OpenProgram(kTool)) Fail(0, "the program could not be started");
    // After the window: the layer has set its SDL hints by now.
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) Fail(0, std::string("no SDL joysticks: ") + SDL_GetError());
    Joystick joystick = {};
    PlugIn(&joystick, 0);
    std::mt19937 random(options.seed);
    Keys keys = {};
    for (int k = 0; k < kKeyCount; ++k) PlatformSetKeyForTests(VirtualKey(k), false);

    Body playerBefore = {};
    // The input of frame `frame` (from 1), set before the pass of the program's loop that reads it.
    auto prepare = [&](long frame) {
        if (frame == soak->unplugAt) Unplug(&joystick, frame);
        if (frame == soak->plugInAt) PlugIn(&joystick, frame);
        ShakeInput(&random, &keys, &joystick, frame);
        playerBefore = bodies[0];
    };
    soak->start = soak->measuredStart = WallSeconds();
    prepare(1);
    const long drawn = RunProgram([&](long index, bool afterSwap) {
        if (!afterSwap) return true;
        const long frame = index + 1;
        CheckFrame(frame, keys, joystick, playerBefore, &soak->coverage);
        if (frame > soak->warmUp - kReadings && frame <= soak->warmUp) soak->before.Read(frame);
        if (frame > options.frames - kReadings) soak->after.Read(frame);
        if (frame == soak->warmUp) soak->measuredStart = WallSeconds();
        if (options.trace > 0 && frame % options.trace == 0) {
            fprintf(stderr, "%s: frame %ld: resident %ld bytes, heap in use %ld bytes\n", kTool, frame, ResidentBytes(),
                    HeapBytesInUse());
        }
        if (frame == options.frames) return false;
        prepare(frame + 1);
        return true;
    });
    if (drawn < options.frames) {
        Fail(drawn + 1, "the program met a quit message (" + Describe(keys, joystick) + ")");
    }
    soak->end = WallSeconds();
    Unplug(&joystick, options.frames);
    CloseProgram();
}

// Reports the run and fails it on memory growth or on a road the random input never took.
void JudgeSoak(const Options& options, const Soak& soak) {
    const long measured = options.frames - soak.warmUp;
    const long residentGrowth = soak.after.resident - soak.before.resident;
    const long heapGrowth = soak.after.heap - soak.before.heap;
    fprintf(stderr,
            "%s: %ld frames (seed %u) in %.1f s, %.2f ms a frame; joystick unplugged at %ld, plugged in at %ld\n",
            kTool, options.frames, options.seed, soak.end - soak.start,
            (soak.end - soak.measuredStart) / static_cast<double>(measured) * 1e3, soak.unplugAt, soak.plugInAt);
    fprintf(stderr, "%s: resident %.2f MiB after %ld warm-up frames, %.2f MiB at the end: %+ld bytes (limit %ld)\n",
            kTool, static_cast<double>(soak.before.resident) / (1 << 20), soak.warmUp,
            static_cast<double>(soak.after.resident) / (1 << 20), residentGrowth, kMaxResidentGrowth);
    fprintf(stderr, "%s: heap in use %ld bytes after warm-up, %ld at the end: %+ld bytes (limit %ld)\n", kTool,
            soak.before.heap, soak.after.heap, heapGrowth, kMaxHeapGrowth);
    const Coverage& coverage = soak.coverage;
    fprintf(stderr, "%s: Escape held in %ld frames, the joystick decided the input in %ld, unplugged for %ld\n", kTool,
            coverage.escapeHeld, coverage.joystickDecided, coverage.unplugged);
    if (coverage.escapeHeld == 0 || coverage.joystickDecided == 0 || coverage.unplugged == 0) {
        Fail(options.frames, "the random input missed a road it is there to try");
    }
    if (kJudgeResident && residentGrowth > kMaxResidentGrowth) {
        Fail(options.frames, "resident memory grew by " + std::to_string(residentGrowth) + " bytes over " +
                                 std::to_string(measured) + " frames");
    }
    if (heapGrowth > kMaxHeapGrowth) {
        Fail(options.frames, "heap in use grew by " + std::to_string(heapGrowth) + " bytes over " +
                                 std::to_string(measured) + " frames");
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseArguments(argc, argv, &options);
    if (parsed >= 0) return parsed;
    Soak soak(options);
    RunSoak(options, &soak);
    JudgeSoak(options, soak);
    fprintf(stderr, "%s: passed\n", kTool);
    return 0;
}
