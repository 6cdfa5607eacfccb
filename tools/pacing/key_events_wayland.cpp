// Wayland: a wl_keyboard of the tool's own from the seat the program uses (the first, as SDL takes
// it), on an event queue of the tool's own. It hears what the program's keyboard hears, while the
// program's window has the focus. Each key's time is the compositor's: zwp_input_timestamps_v1's ns
// where offered, else wl_keyboard.key's ms. Which clock a compositor stamps keys on is its own
// choice (weston's X11 backend: CLOCK_REALTIME, while it presents on CLOCK_MONOTONIC_RAW), so each
// key's clock is found as the one it happened on most recently before it arrived, and the time put
// on the presentation clock (wp_presentation's clock_id), which the frames' presentation times are
// on, by reading both clocks side by side. The keys are found by their keysym in the compositor's
// keymap, as SDL finds them.
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>

#include "input-timestamps-unstable-v1-client-protocol.h"
#include "platform/native_window.h"
#include "tools/pacing/key_events.h"

namespace {

const xkb_keysym_t kKeySyms[6] = {XKB_KEY_Up, XKB_KEY_Down, XKB_KEY_Left, XKB_KEY_Right, XKB_KEY_z, XKB_KEY_x};
const uint32_t kNoKey = 0xFFFFFFFF;

// Where a key may have been stamped; the presentation clock is tried first.
const clockid_t kClocks[] = {CLOCK_MONOTONIC, CLOCK_REALTIME, CLOCK_BOOTTIME, CLOCK_MONOTONIC_RAW};
const double kLongestAge = 60;  // a key older than this on a clock when it arrives was not stamped on it

double Now(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

const char* ClockName(clockid_t clock) {
    switch (clock) {
        case CLOCK_MONOTONIC: return "CLOCK_MONOTONIC";
        case CLOCK_MONOTONIC_RAW: return "CLOCK_MONOTONIC_RAW";
        case CLOCK_REALTIME: return "CLOCK_REALTIME";
        case CLOCK_BOOTTIME: return "CLOCK_BOOTTIME";
        default: return "clock";
    }
}

class WaylandKeyEvents : public KeyEvents {
public:
    explicit WaylandKeyEvents(wl_display* display) : display_(display) {
        pressWhyNot = "a Wayland client cannot send key events (the compositor takes keys only from its own "
                      "devices): hold keys in the program's window instead";
        std::fill(codes_, codes_ + 6, kNoKey);
        queue_ = wl_display_create_queue(display_);
        wrapper_ = static_cast<wl_display*>(wl_proxy_create_wrapper(display_));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper_), queue_);
        registry_ = wl_display_get_registry(wrapper_);
        wl_registry_add_listener(registry_, &kRegistry, this);
        // The globals; the seat's capabilities, and with them our keyboard; its keymap and focus.
        for (int i = 0; i < 3; ++i) wl_display_roundtrip_queue(display_, queue_);
        events_.reserve(4096);
    }

    ~WaylandKeyEvents() override {
        if (timestamps_ != nullptr) zwp_input_timestamps_v1_destroy(timestamps_);
        if (keyboard_ != nullptr) wl_keyboard_release(keyboard_);
        if (seat_ != nullptr) wl_seat_release(seat_);
        if (manager_ != nullptr) zwp_input_timestamps_manager_v1_destroy(manager_);
        wl_registry_destroy(registry_);
        wl_proxy_wrapper_destroy(wrapper_);
        wl_event_queue_destroy(queue_);
    }

    void SetPresentationClock(clockid_t presentClock) override { clock = clock_ = presentClock; }

    // What has been read from the socket, without reading it: SDL reads it as the program samples its
    // keys, and so it has every key dispatched here, at the latest for the next frame. A key read
    // after the sampling (EGL's swap reads the socket too) is dated a frame early: the frame that
    // shows it can only be later.
    void BeforeSwap(long frame) override {
        frame_ = frame;
        wl_display_dispatch_queue_pending(display_, queue_);
    }

    void Finish() override {
        wl_display_roundtrip_queue(display_, queue_);
        const std::string stamps = timestamps_ != nullptr ? "zwp_input_timestamps_v1" : "wl_keyboard time in ms";
        if (seat_ == nullptr) {
            source = "no key times: the compositor offers no wl_seat";
        } else if (keyboard_ == nullptr) {
            source = "no key times: the seat has no keyboard";
        } else if (keyClock_ == kNoClock || keyClock_ == clock_) {
            source = stamps + ", presentation clock " + ClockName(clock_);
        } else {
            source = stamps + " on " + (keyClock_ == kSeveralClocks ? "several clocks" : ClockName(keyClock_)) +
                     ", put on the presentation clock " + ClockName(clock_);
        }
        if (untimed_ > 0) source += "; " + std::to_string(untimed_) + " keys on no clock known, not timed";
    }

private:
    static constexpr clockid_t kNoClock = -100, kSeveralClocks = -101;

    // A key's time on the presentation clock: `stamp` in seconds (`ms`: only its low 32 bits in ms)
    // on the clock where it is youngest, not in the future, as it arrives; false when on none.
    bool OnPresentationClock(double stamp, bool ms, double* seconds) {
        clockid_t best = kNoClock;
        double bestAge = kLongestAge, bestSeconds = 0;
        std::vector<clockid_t> clocks = {clock_};
        for (clockid_t clock : kClocks) {
            if (clock != clock_) clocks.push_back(clock);
        }
        for (clockid_t clock : clocks) {
            const double now = Now(clock), present = Now(clock_);
            double at = stamp;
            if (ms) {  // the latest time with these low 32 bits, not after now
                const uint64_t nowMs = static_cast<uint64_t>(now * 1000);
                at = static_cast<double>(nowMs - static_cast<uint32_t>(static_cast<uint32_t>(nowMs) - static_cast<uint32_t>(stamp))) / 1000;
            }
            const double age = now - at;
            if (age < -0.001 || age >= bestAge) continue;
            best = clock;
            bestAge = age;
            bestSeconds = present - age;
        }
        if (best == kNoClock) {
            ++untimed_;
            return false;
        }
        keyClock_ = keyClock_ == kNoClock || keyClock_ == best ? best : kSeveralClocks;
        *seconds = bestSeconds;
        return true;
    }

    int KeyOf(uint32_t code) const {
        for (int key = 0; key < 6; ++key) {
            if (codes_[key] == code) return key;
        }
        return -1;
    }

    // Keys the compositor restates (held when the focus came; all up when it went): not changes.
    void Restate(unsigned down) {
        for (int key = 0; key < 6; ++key) {
            const bool now = (down >> key) & 1u;
            if (now != ((down_ >> key) & 1u)) events_.push_back({0, frame_, key, now, false});
        }
        down_ = down;
    }

    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        auto* self = static_cast<WaylandKeyEvents*>(data);
        if (strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr &&
            version >= WL_SEAT_RELEASE_SINCE_VERSION) {
            self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
            wl_seat_add_listener(self->seat_, &kSeat, self);
        } else if (strcmp(interface, zwp_input_timestamps_manager_v1_interface.name) == 0 && self->manager_ == nullptr) {
            self->manager_ = static_cast<zwp_input_timestamps_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_input_timestamps_manager_v1_interface, 1));
        }
    }
    static void GlobalRemove(void*, wl_registry*, uint32_t) {}

    static void Capabilities(void* data, wl_seat*, uint32_t capabilities) {
        auto* self = static_cast<WaylandKeyEvents*>(data);
        if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) == 0 || self->keyboard_ != nullptr) return;
        self->keyboard_ = wl_seat_get_keyboard(self->seat_);
        wl_keyboard_add_listener(self->keyboard_, &kKeyboard, self);
        if (self->manager_ != nullptr) {
            self->timestamps_ = zwp_input_timestamps_manager_v1_get_keyboard_timestamps(self->manager_, self->keyboard_);
            zwp_input_timestamps_v1_add_listener(self->timestamps_, &kTimestamps, self);
        }
    }
    static void SeatName(void*, wl_seat*, const char*) {}

    static void Keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        auto* self = static_cast<WaylandKeyEvents*>(data);
        void* text = format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0)
                                                                : MAP_FAILED;
        close(fd);
        if (text == MAP_FAILED) return;
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
        xkb_keymap* keymap = context == nullptr ? nullptr
                                                : xkb_keymap_new_from_buffer(context, static_cast<const char*>(text),
                                                                             strnlen(static_cast<const char*>(text), size),
                                                                             XKB_KEYMAP_FORMAT_TEXT_V1,
                                                                             XKB_KEYMAP_COMPILE_NO_FLAGS);
        munmap(text, size);
        if (context != nullptr) xkb_context_unref(context);
        if (keymap == nullptr) return;
        // Each key by its first layout's first level, as SDL names keys; evdev codes are xkb's less 8.
        std::fill(self->codes_, self->codes_ + 6, kNoKey);
        for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code) {
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms);
            for (int i = 0; i < count; ++i) {
                for (int key = 0; key < 6; ++key) {
                    if (syms[i] == kKeySyms[key] && self->codes_[key] == kNoKey) self->codes_[key] = code - 8;
                }
            }
        }
        xkb_keymap_unref(keymap);
    }
    static void Enter(void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys) {
        auto* self = static_cast<WaylandKeyEvents*>(data);
        unsigned down = 0;
        const uint32_t* codes = static_cast<const uint32_t*>(keys->data);
        for (size_t i = 0; i < keys->size / sizeof(uint32_t); ++i) {
            const int key = self->KeyOf(codes[i]);
            if (key >= 0) down |= 1u << key;
        }
        self->Restate(down);
    }
    static void Leave(void* data, wl_keyboard*, uint32_t, wl_surface*) { static_cast<WaylandKeyEvents*>(data)->Restate(0); }
    static void Key(void* data, wl_keyboard*, uint32_t, uint32_t ms, uint32_t code, uint32_t state) {
        auto* self = static_cast<WaylandKeyEvents*>(data);
        const bool stamped = self->stamped_;
        self->stamped_ = false;
        const int key = self->KeyOf(code);
        if (key < 0) return;
        double seconds = 0;
        const bool timed = self->OnPresentationClock(stamped ? self->stampSeconds_ : ms, !stamped, &seconds);
        const bool down = state == WL_KEYBOARD_KEY_STATE_PRESSED;
        self->events_.push_back({seconds, self->frame_, key, down, timed});
        self->down_ = down ? (self->down_ | 1u << key) : (self->down_ & ~(1u << key));
    }
    static void Modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
    static void RepeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}

    // Comes just before the key event it times.
    static void Timestamp(void* data, zwp_input_timestamps_v1*, uint32_t secondsHigh, uint32_t secondsLow,
                          uint32_t nanoseconds) {
        auto* self = static_cast<WaylandKeyEvents*>(data);
        self->stamped_ = true;
        self->stampSeconds_ =
            static_cast<double>((static_cast<uint64_t>(secondsHigh) << 32) | secondsLow) + nanoseconds * 1e-9;
    }

    static const wl_registry_listener kRegistry;
    static const wl_seat_listener kSeat;
    static const wl_keyboard_listener kKeyboard;
    static const zwp_input_timestamps_v1_listener kTimestamps;

    wl_display* display_;
    wl_event_queue* queue_ = nullptr;
    wl_display* wrapper_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    zwp_input_timestamps_manager_v1* manager_ = nullptr;
    zwp_input_timestamps_v1* timestamps_ = nullptr;
    uint32_t codes_[6];  // evdev key codes of kProgramKeys, kNoKey until the keymap names them
    unsigned down_ = 0;
    long frame_ = 0;
    clockid_t clock_ = CLOCK_MONOTONIC;       // the presentation clock
    clockid_t keyClock_ = kNoClock;           // where the keys were found stamped
    long untimed_ = 0;                        // keys found on no clock
    bool stamped_ = false;
    double stampSeconds_ = 0;
};

const wl_registry_listener WaylandKeyEvents::kRegistry = {Global, GlobalRemove};
const wl_seat_listener WaylandKeyEvents::kSeat = {Capabilities, SeatName};
const wl_keyboard_listener WaylandKeyEvents::kKeyboard = {Keymap, Enter, Leave, Key, Modifiers, RepeatInfo};
const zwp_input_timestamps_v1_listener WaylandKeyEvents::kTimestamps = {Timestamp};

}  // namespace

std::unique_ptr<KeyEvents> OpenWaylandKeyEvents(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!NativeWindowInfo(window, SDL_SYSWM_WAYLAND, &info)) return nullptr;
    return std::make_unique<WaylandKeyEvents>(info.info.wl.display);
}
