// What the display says about the program's frames, for brimvalk-pacing: its refresh rate, and
// when each frame's buffer swap was presented, from whichever source the window's platform has.
// One interface; a source per platform (display_timing_wayland.cpp, display_timing_x11.cpp,
// display_timing_sdl.cpp), picked by SDL's video driver.
#ifndef BRIMVALK_TOOLS_PACING_DISPLAY_TIMING_H
#define BRIMVALK_TOOLS_PACING_DISPLAY_TIMING_H

#include <SDL.h>
#include <stdint.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/pacing/pacing_stats.h"

class DisplayTiming {
public:
    // Picks the source for `window`'s platform. Never null: where nothing is known, a source that
    // says why.
    static std::unique_ptr<DisplayTiming> Open(SDL_Window* window);
    virtual ~DisplayTiming() = default;

    // Around each frame's buffer swap, frames counted from 0 and swapped in order. Before: ask for
    // the coming swap's presentation. After: note the swap's return on the presentation clock where
    // it can be read, then take whatever presentations have arrived, without waiting.
    virtual void BeforeSwap(long frame) { (void)frame; }
    virtual void AfterSwap(long frame) { (void)frame; }
    // After the last swap: waits, at most `seconds`, for the presentations still to come.
    virtual void Finish(double seconds) { (void)seconds; }

    // The refresh rate in Hz, 0 when unknown; then `refreshWhyUnknown` says why. Read after Finish:
    // some sources learn it from the presentations.
    virtual double RefreshHz() const = 0;
    std::string refreshSource;      // e.g. "XRandR", "wl_output", "SDL display mode"
    std::string refreshWhyUnknown;

    // Where presentation times come from, or why there are none.
    std::string presentSource;  // e.g. "wp_presentation"; empty when not offered
    std::string presentWhyNot;
    // The presentation clock, named (e.g. "CLOCK_MONOTONIC") where a swap's return can be read on it,
    // so that swap and presentation compare exactly; else empty, and `clockWhyNot` says why.
    std::string presentClock;
    std::string clockWhyNot;
    // Presentations by frame; frames never presented (or not yet told) stay unknown.
    const std::vector<Presentation>& presentations() const { return presentations_; }

protected:
    Presentation& At(long frame) {
        if (presentations_.size() <= static_cast<size_t>(frame)) presentations_.resize(static_cast<size_t>(frame) + 1);
        return presentations_[static_cast<size_t>(frame)];
    }

    // The swap of `frame` returned now, on `clock`.
    void NoteSwapReturn(long frame, clockid_t clock) {
        timespec now;
        clock_gettime(clock, &now);
        At(frame).swapSeconds = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }

private:
    std::vector<Presentation> presentations_;
};

// The sources, each in its own file; each returns null when its platform is not the window's.
std::unique_ptr<DisplayTiming> OpenWaylandTiming(SDL_Window* window);
std::unique_ptr<DisplayTiming> OpenX11Timing(SDL_Window* window);
// SDL's display mode for the refresh, no presentation times; `why` says why no better source.
std::unique_ptr<DisplayTiming> OpenSdlTiming(SDL_Window* window, const std::string& why);

#endif
