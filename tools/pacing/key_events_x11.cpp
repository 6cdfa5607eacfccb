// X11: the XInput 2 raw key events the layer takes in for GetAsyncKeyState (platform/raw_keys.h),
// with the server's own time in ms, put on the tool's clock by a measured offset: a property change
// on a window of the tool's own makes an event whose server time is read between two readings of
// CLOCK_MONOTONIC, a few times before the run and after it. --press sends keys through XTEST.
// The tool's requests go through a connection of its own, so SDL's and the layer's are undisturbed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>

#include "harness/clocks.h"
#include "platform/native_window.h"
#include "platform/raw_keys.h"
#include "tools/pacing/key_events.h"

namespace {

const KeySym kKeySyms[6] = {XK_Up, XK_Down, XK_Left, XK_Right, XK_z, XK_x};  // kProgramKeys' order
const int kOffsetRounds = 8;

// Where a server time (ms, 32 bits) sits on the tool's clock: local = Seconds(ms) + offset, the
// offset somewhere in [low, high].
struct ServerClock {
    bool referenced = false;
    unsigned long reference = 0;  // a server time near the run's, so that 32-bit wrap-around cancels
    double low = -1e300, high = 1e300;        // what every round allows
    double widestLow = 1e300, widestHigh = -1e300;  // what some round allows, should they disagree

    double Seconds(unsigned long serverMs) const {
        return static_cast<int32_t>(static_cast<uint32_t>(serverMs - reference)) / 1000.0;
    }
    bool Agree() const { return low <= high; }
    double Offset() const { return Agree() ? (low + high) / 2 : (widestLow + widestHigh) / 2; }
    double Uncertainty() const { return Agree() ? (high - low) / 2 : (widestHigh - widestLow) / 2; }
};

class X11KeyEvents;
X11KeyEvents* listening = nullptr;  // the layer's hook is a plain function

class X11KeyEvents : public KeyEvents {
public:
    X11KeyEvents(const char* displayName) {
        display_ = XOpenDisplay(displayName);
        if (display_ == nullptr) {
            source = "no key times: the tool could not open a connection of its own to the X server";
            pressWhyNot = "the tool could not open a connection of its own to the X server";
            return;
        }
        for (int key = 0; key < 6; ++key) codes_[key] = XKeysymToKeycode(display_, kKeySyms[key]);
        int event = 0, error = 0, major = 0, minor = 0, opcode = 0;
        pressWhyNot = XTestQueryExtension(display_, &event, &error, &major, &minor)
                          ? ""
                          : "the X server offers no XTEST to send keys through";
        int xiMajor = 2, xiMinor = 1;
        if (!XQueryExtension(display_, "XInputExtension", &opcode, &event, &error) ||
            XIQueryVersion(display_, &xiMajor, &xiMinor) != Success || xiMajor < 2 || (xiMajor == 2 && xiMinor < 1)) {
            source = "no key times: the X server has no XInput 2.1 raw key events";
            return;
        }
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSelectInput(display_, window_, PropertyChangeMask);
        clockAtom_ = XInternAtom(display_, "BRIMVALK_PACING_CLOCK", False);
        MeasureOffset();
        events_.reserve(4096);  // the hook runs in the program's frame: no allocation there as a rule
        serverMs_.reserve(4096);
        // Keys already down are where the run starts from, not changes.
        char keys[32];
        XQueryKeymap(display_, keys);
        for (int key = 0; key < 6; ++key) {
            if (codes_[key] == 0 || (keys[codes_[key] / 8] & (1 << (codes_[key] % 8))) == 0) continue;
            events_.push_back({0, 0, key, true, false});
            serverMs_.push_back(clock_.reference);
        }
        listening = this;
        PlatformSetRawKeyHook(OnRawKey);
    }

    ~X11KeyEvents() override {
        if (listening == this) {
            PlatformSetRawKeyHook(nullptr);
            listening = nullptr;
        }
        if (display_ == nullptr) return;
        // Never leave a key of ours down on the server.
        for (int key = 0; key < 6; ++key) {
            if ((pressed_ >> key) & 1u) XTestFakeKeyEvent(display_, codes_[key], False, CurrentTime);
        }
        if (window_ != 0) XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

    void AfterSwap(long frame) override { frame_ = frame + 1; }

    void Finish() override {
        if (listening != this) return;
        PlatformSetRawKeyHook(nullptr);
        listening = nullptr;
        MeasureOffset();
        for (size_t i = 0; i < events_.size(); ++i) events_[i].seconds = clock_.Seconds(serverMs_[i]) + clock_.Offset();
        char text[96];
        snprintf(text, sizeof text, "X server time, offset \xC2\xB1%.2f ms", clock_.Uncertainty() * 1000);
        source = text;
    }

    bool Press(int key, bool down) override {
        if (!pressWhyNot.empty()) return false;
        XTestFakeKeyEvent(display_, codes_[key], down ? True : False, CurrentTime);
        XFlush(display_);
        pressed_ = down ? (pressed_ | 1u << key) : (pressed_ & ~(1u << key));
        return true;
    }

private:
    static void OnRawKey(unsigned int keycode, bool pressed, unsigned long serverMs) {
        X11KeyEvents* self = listening;
        for (int key = 0; self != nullptr && key < 6; ++key) {
            if (self->codes_[key] == 0 || self->codes_[key] != keycode) continue;
            self->events_.push_back({0, self->frame_, key, pressed, true});
            self->serverMs_.push_back(serverMs);
        }
    }

    // Each round: a property change between two clock readings. The server stamps its event at some
    // moment between them, reading its clock in whole ms (an X server on this machine may read the
    // kernel's coarse clock, a tick behind, when it ticks every ms or finer).
    void MeasureOffset() {
        timespec tick = {0, 0};
        const double coarse = clock_getres(CLOCK_MONOTONIC_COARSE, &tick) == 0 && tick.tv_sec == 0 &&
                                      tick.tv_nsec <= 1000000 ? tick.tv_nsec * 1e-9 : 0;
        for (int round = 0; round < kOffsetRounds; ++round) {
            const unsigned char data = 0;
            const double before = WallSeconds();
            XChangeProperty(display_, window_, clockAtom_, XA_CARDINAL, 8, PropModeReplace, &data, 1);
            XEvent event;
            XWindowEvent(display_, window_, PropertyChangeMask, &event);
            const double after = WallSeconds();
            if (!clock_.referenced) clock_.reference = event.xproperty.time;
            clock_.referenced = true;
            const double server = clock_.Seconds(event.xproperty.time);
            const double low = before - server - 0.001 - coarse, high = after - server;
            clock_.low = std::max(clock_.low, low);
            clock_.high = std::min(clock_.high, high);
            clock_.widestLow = std::min(clock_.widestLow, low);
            clock_.widestHigh = std::max(clock_.widestHigh, high);
        }
    }

    Display* display_ = nullptr;
    Window window_ = 0;
    Atom clockAtom_ = 0;
    KeyCode codes_[6] = {};
    unsigned pressed_ = 0;
    long frame_ = 0;  // the frame whose input the program samples next
    ServerClock clock_;
    std::vector<unsigned long> serverMs_;  // by event
};

}  // namespace

std::unique_ptr<KeyEvents> OpenX11KeyEvents(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!NativeWindowInfo(window, SDL_SYSWM_X11, &info)) return nullptr;
    return std::make_unique<X11KeyEvents>(DisplayString(info.info.x11.display));
}
