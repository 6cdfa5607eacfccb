// Clocks for the tools and benchmarks: monotonic wall-clock seconds, the calling thread's CPU
// seconds, and the CPU seconds of all the process's threads (the driver's rasteriser threads too).
#ifndef BRIMVALK_HARNESS_CLOCKS_H
#define BRIMVALK_HARNESS_CLOCKS_H

double WallSeconds();
double ThreadCpuSeconds();
double ProcessCpuSeconds();

#endif
