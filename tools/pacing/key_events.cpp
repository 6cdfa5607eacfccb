#include "key_events.h"

#include <windows.h>

#include "harness/clocks.h"

namespace {

// Keys held on a script (--hold), through the layer, each timed as the tool sets it: the time from
// there to the screen is the program's and the driver's part alone.
class HeldKeys : public KeyEvents {
public:
    explicit HeldKeys(const std::vector<KeyHold>& holds) : holds_(holds) {
        source = "set by the tool with --hold: the program's and driver's part only";
        pressWhyNot = "--hold sets the keys already";
    }

    void Start() override { Set(0); }
    void AfterSwap(long frame) override { Set(frame + 1); }

private:
    // The keys for `frame`, and an event for each key that changed, read back as the program reads it.
    void Set(long frame) {
        SetKeysForFrame(holds_, frame);
        const double now = WallSeconds();
        for (int key = 0; key < 6; ++key) {
            const bool down = (GetAsyncKeyState(kProgramKeys[key].virtualKey) & 0x8000) != 0;
            if (down != ((down_ >> key) & 1u)) events_.push_back({now, frame, key, down, true});
            down_ = down ? (down_ | 1u << key) : (down_ & ~(1u << key));
        }
    }

    std::vector<KeyHold> holds_;
    unsigned down_ = 0;
};

// Offscreen: nothing stamps keys, and nobody can press one.
class NoKeyEvents : public KeyEvents {
public:
    NoKeyEvents() { source = "no display server: keys only with --hold"; }
};

}  // namespace

std::unique_ptr<KeyEvents> KeyEvents::Open(SDL_Window* window) {
    if (std::unique_ptr<KeyEvents> x11 = OpenX11KeyEvents(window)) return x11;
    if (std::unique_ptr<KeyEvents> wayland = OpenWaylandKeyEvents(window)) return wayland;
    return std::make_unique<NoKeyEvents>();
}

std::unique_ptr<KeyEvents> KeyEvents::Held(const std::vector<KeyHold>& holds) {
    return std::make_unique<HeldKeys>(holds);
}
