// The source of last resort: SDL's mode of the display the window is on, and no presentation
// times. Also picks the source for a window (DisplayTiming::Open).
#include "tools/pacing/display_timing.h"

#include <string.h>

namespace {

class SdlTiming : public DisplayTiming {
public:
    SdlTiming(SDL_Window* window, const std::string& why) {
        const char* driver = SDL_GetCurrentVideoDriver();
        presentWhyNot = why;
        clockWhyNot = "no presentation times: " + why;
        const int index = SDL_GetWindowDisplayIndex(window);
        SDL_DisplayMode mode;
        if (index < 0 || SDL_GetCurrentDisplayMode(index, &mode) != 0) {
            refreshWhyUnknown = std::string("SDL has no display mode: ") + SDL_GetError();
        } else if (mode.refresh_rate <= 0) {
            refreshWhyUnknown = std::string("SDL's ") + (driver != nullptr ? driver : "") +
                                " display mode has no refresh rate";
        } else {
            hz_ = mode.refresh_rate;
            refreshSource = "SDL display mode";
        }
    }
    double RefreshHz() const override { return hz_; }

private:
    double hz_ = 0;
};

}  // namespace

std::unique_ptr<DisplayTiming> OpenSdlTiming(SDL_Window* window, const std::string& why) {
    return std::make_unique<SdlTiming>(window, why);
}

std::unique_ptr<DisplayTiming> DisplayTiming::Open(SDL_Window* window) {
    const char* driver = SDL_GetCurrentVideoDriver();
    const std::string name = driver != nullptr ? driver : "no";
    std::unique_ptr<DisplayTiming> timing;
    if (window != nullptr && name == "wayland") timing = OpenWaylandTiming(window);
    if (window != nullptr && name == "x11") timing = OpenX11Timing(window);
    if (timing == nullptr) timing = OpenSdlTiming(window, "the " + name + " video driver shows nothing on a display");
    return timing;
}
