// The program, opened and run frame by frame the way app/main.cpp and RunFrameLoop do it, for the
// headless frame benchmarks: offscreen, no swap synchronisation, the per-frame lines silenced.
#ifndef BRIMVALK_BENCH_PROGRAM_SESSION_H
#define BRIMVALK_BENCH_PROGRAM_SESSION_H

#include <stdio.h>

#include <vector>

// Where the benchmark's own report goes: the original standard output, kept aside before the
// program's stdout is pointed at /dev/null.
extern FILE* report;

// Sets SDL_VIDEODRIVER=offscreen unless set, silences the program's stdout, then runs the
// program's entry sequence (CreateAppWindow, RenderDevice::Create, InitBodies) with the swap
// interval at 0. Returns false after printing why on stderr.
bool OpenProgram(const char* tool);

// One pass of the program's frame loop: PumpMessages, UpdateScene, RenderFrame(DrawScene), Sleep(0).
// Returns false if the pump met a quit message.
bool ProgramFrame();

// RenderDevice::Release, as the program's entry does at the end.
void CloseProgram();

// Monotonic wall-clock seconds, the calling thread's CPU seconds, and the CPU seconds of all the
// process's threads (the driver's rasteriser threads too).
double WallSeconds();
double ThreadCpuSeconds();
double ProcessCpuSeconds();

// The middle value of a set of timings (the upper middle for an even count); 0 for none.
double Median(std::vector<double> values);

#endif
