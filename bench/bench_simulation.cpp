// brimvalk-bench-simulation: Google Benchmark of the seeding (InitBodies) and the simulation step
// (UpdateScene), with the window and device set up first as the program does, so that the input
// sampler reads the keyboard and joystick through the same layer paths as in the program.
//
// UpdateScene is three things: the input sample, the body loop (with the player's move) and the
// printed input line. Where the line goes decides its cost, so UpdateScene is measured with
// stdout fully buffered into /dev/null (as when the output goes to a file or a pipe: formatting
// only) and line-buffered into /dev/null (one write(2) per line, as on a console, without the
// console's own drawing). On SDL's offscreen driver the sampler is the largest part: each of its
// six GetAsyncKeyState calls pumps SDL's events. The body loop alone is found by making the
// keyboard cheap with the layer's key test control and subtracting the sampler and the line, all
// in CPU time; those benchmarks run last, because the control stays on for the rest of the run.
//
// The report goes to the original standard output; the program's stdout points at /dev/null
// (the session's start-up, as every tool beside the program).
#include <windows.h>

#include <benchmark/benchmark.h>
#include <ext/stdio_filebuf.h>
#include <stdio.h>
#include <stdlib.h>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "app/body_field.h"
#include "input/input_state.h"
#include "platform/testing.h"
#include "harness/key_script.h"
#include "harness/program_session.h"

namespace {

const char kTool[] = "brimvalk-bench-simulation";

// Set once a benchmark has put the keyboard under the test control (there is no way back).
bool keysOverridden = false;

void OverrideKeys() {
    ReleaseProgramKeys();
    keysOverridden = true;
}

// False, with the benchmark skipped, when the keyboard no longer takes the program's path.
bool ProgramKeyboardPath(benchmark::State& state) {
    if (keysOverridden) state.SkipWithError("runs only before the *_KeysOverridden benchmarks");
    return !keysOverridden;
}

// Points the program's stdout at /dev/null with the given buffering.
void RedirectProgramOutput(int mode) {
    fflush(stdout);
    if (freopen("/dev/null", "w", stdout) == nullptr) {
        fprintf(stderr, "%s: cannot reopen stdout on /dev/null\n", kTool);
        exit(1);
    }
    setvbuf(stdout, nullptr, mode, BUFSIZ);
}

void BM_InitBodies(benchmark::State& state) {
    for (auto _ : state) {
        InitBodies();
        benchmark::DoNotOptimize(bodies);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBodyCount);
}
BENCHMARK(BM_InitBodies);

void UpdateSceneWithOutput(benchmark::State& state, int mode) {
    RedirectProgramOutput(mode);
    InitBodies();
    for (auto _ : state) {
        UpdateScene();
        benchmark::ClobberMemory();
    }
    fflush(stdout);
    state.SetItemsProcessed(state.iterations() * (kBodyCount - 1));  // bodies moved
}

void BM_UpdateScene_StdoutBuffered(benchmark::State& state) {
    if (!ProgramKeyboardPath(state)) return;
    UpdateSceneWithOutput(state, _IOFBF);
}
BENCHMARK(BM_UpdateScene_StdoutBuffered);

void BM_UpdateScene_StdoutLineBuffered(benchmark::State& state) {
    if (!ProgramKeyboardPath(state)) return;
    UpdateSceneWithOutput(state, _IOLBF);
}
BENCHMARK(BM_UpdateScene_StdoutLineBuffered);

// The parts of UpdateScene that are not the body loop.
void BM_InputSample(benchmark::State& state) {
    if (!ProgramKeyboardPath(state)) return;
    for (auto _ : state) {
        benchmark::DoNotOptimize(input.Sample(kJoystickAxisHigh, kJoystickAxisLow));
    }
}
BENCHMARK(BM_InputSample);

void BM_InputLine_StdoutBuffered(benchmark::State& state) {
    RedirectProgramOutput(_IOFBF);
    for (auto _ : state) {
        printf("%d %d %d %d\n", input.vertical, input.horizontal, input.button1, input.button2);
    }
    fflush(stdout);
}
BENCHMARK(BM_InputLine_StdoutBuffered);

// From here on GetAsyncKeyState answers from the test control: the sampler is then little more
// than joyGetPos, and UpdateScene's body loop stands out from it.
void BM_InputSample_KeysOverridden(benchmark::State& state) {
    OverrideKeys();
    for (auto _ : state) {
        benchmark::DoNotOptimize(input.Sample(kJoystickAxisHigh, kJoystickAxisLow));
    }
}
BENCHMARK(BM_InputSample_KeysOverridden);

void BM_UpdateScene_KeysOverridden(benchmark::State& state) {
    OverrideKeys();
    UpdateSceneWithOutput(state, _IOFBF);
}
BENCHMARK(BM_UpdateScene_KeysOverridden);

// The console report, keeping each benchmark's CPU time per iteration for the summary.
class SummingReporter : public benchmark::ConsoleReporter {
public:
    SummingReporter() : benchmark::ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) nanoseconds[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> nanoseconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    // The program's entry sequence up to the frame loop, offscreen; the program's stdout goes to
    // /dev/null and the report (Google Benchmark writes to std::cout) to the original stdout.
    if (!OpenProgram(kTool)) return 1;
    __gnu_cxx::stdio_filebuf<char> reportBuffer(fileno(report), std::ios::out);
    std::streambuf* const originalBuffer = std::cout.rdbuf(&reportBuffer);

    SummingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    CloseProgram();

    // Derived figures, in CPU time (wall time carries whatever else the machine is running).
    auto& ns = reporter.nanoseconds;
    const std::string update = "BM_UpdateScene_StdoutBuffered";
    const std::string sample = "BM_InputSample";
    const std::string line = "BM_InputLine_StdoutBuffered";
    const std::string cheapSample = "BM_InputSample_KeysOverridden";
    const std::string cheapUpdate = "BM_UpdateScene_KeysOverridden";
    if (ns.count(update) && ns.count(sample) && ns.count(line)) {
        std::cout << "\nUpdateScene as in the program (stdout buffered): " << ns[update] << " ns CPU, of which input sample "
                  << ns[sample] << " ns, input line " << ns[line] << " ns\n";
    }
    if (ns.count(cheapUpdate) && ns.count(cheapSample) && ns.count(line)) {
        const double loop = ns[cheapUpdate] - ns[cheapSample] - ns[line];
        std::cout << "UpdateScene's body loop and player move: " << loop << " ns CPU (" << loop / (kBodyCount - 1)
                  << " ns a body)\n";
    }
    std::cout.flush();
    std::cout.rdbuf(originalBuffer);
    return 0;
}
