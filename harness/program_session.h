// The program, opened and run the way app/main.cpp does it, for the tools and benchmarks beside
// it: the same entry sequence (CreateAppWindow, RenderDevice::Create, InitBodies), the program's
// own RunFrameLoop watched through the layer's buffer-swap hook, and keys held on a script.
#ifndef BRIMVALK_HARNESS_PROGRAM_SESSION_H
#define BRIMVALK_HARNESS_PROGRAM_SESSION_H

#include <stdio.h>

#include <functional>

// Where a tool's own report goes: the original standard output, kept aside when the program's
// stdout is pointed at /dev/null.
extern FILE* report;

struct SessionOptions {
    bool offscreen = true;   // SDL_VIDEODRIVER=offscreen unless already set
    bool quiet = true;       // the program's per-frame lines go to /dev/null
    const char* quietOutput = "/dev/null";  // or, when quiet, to this file
    int quietDescriptor = -1;  // or, when quiet, to this open descriptor, which the session takes
    bool swapSync = false;   // false: swap interval 0; true: what the program asks of the driver
};

// Runs the program's entry sequence. Returns false after printing why on stderr.
bool OpenProgram(const char* tool, const SessionOptions& options = SessionOptions());

// Runs the program's RunFrameLoop. `onSwap(frame, afterSwap)` is called around each frame's
// SwapBuffers (frames count from 0); returning false after the swap ends the loop as a quit
// message would. Returns the number of frames drawn.
long RunProgram(const std::function<bool(long frame, bool afterSwap)>& onSwap);

// One pass of RunFrameLoop, for benchmarks that time passes one by one: PumpMessages,
// UpdateScene, RenderFrame(DrawScene), Sleep(0). Returns false if the pump met a quit message.
bool ProgramFrame();

// RenderDevice::Release, as the program's entry does at the end.
void CloseProgram();

#endif
