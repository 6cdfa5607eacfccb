// The input half of a brimvalk-pacing run: the key events from their source, the input line each
// frame shows, --press's schedule, and at the end the `input:` line and a latency by frame. All of
// it runs in the swap hook around the program's own frame loop.
#ifndef BRIMVALK_TOOLS_PACING_INPUT_WATCH_H
#define BRIMVALK_TOOLS_PACING_INPUT_WATCH_H

#include <SDL.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "harness/key_script.h"
#include "tools/pacing/input_latency.h"
#include "tools/pacing/key_events.h"
#include "tools/pacing/pacing_stats.h"

// --press EVERY: before the swap of frames EVERY-1, 2*EVERY-1, ... (from 0) an arrow key goes down,
// right and left in turn, and before the swap EVERY/2 frames later it comes up.
const long kLeastPressEvery = 4, kMostPressEvery = 1000;
bool IsPressFrame(long frame, long every);

class InputWatch {
public:
    // The keys --hold sets when `holds` has any, else the display server's for `window`. With
    // `pressEvery` above 0, false when the keys cannot be pressed here, `why` saying why.
    bool Open(SDL_Window* window, const std::vector<KeyHold>& holds, long pressEvery, std::string* why);
    // The clock the display's presentation times are on, by the name DisplayTiming gives it (empty:
    // none the tool can read). Wayland's keys are put on it as they come.
    void SetPresentationClock(const std::string& name);

    // Before the loop; then around each frame's swap. AfterSwap is false once --press, told that the
    // time is up, has its last key released and shown; without --press, always.
    void Start();
    void BeforeSwap(long frame);
    bool AfterSwap(long frame, bool timeUp);

    struct Report {
        std::string line;
        std::vector<double> frameMs;  // by frame: the latency of the key change first shown there; -1 none
        double costUs = 0;            // a frame's share of the tool's work around the swaps for this
    };
    // From the swap returns (the tool's clock) and what the display said of each frame: the latency
    // runs to the presentation where its clock is the keys', else to the swap's return.
    Report Finish(const std::vector<double>& swapReturns, const std::vector<Presentation>& shown);

private:
    std::unique_ptr<KeyEvents> keys_;
    std::vector<InputValues> lines_;
    bool presentClockKnown_ = false;
    clockid_t presentClock_ = CLOCK_MONOTONIC;
    long pressEvery_ = 0;
    long pressesMade_ = 0;
    int pressedKey_ = 0;    // in kProgramKeys
    long pressedAt_ = -1;
    long releaseAt_ = -1;   // the frame before whose swap the key down comes up; -1 none down
    long settledAt_ = -1;   // with the time up: the frame after which the last release has been shown
    bool timeUp_ = false;
    double seconds_ = 0;    // spent in the hooks
};

#endif
