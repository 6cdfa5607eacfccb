// Wayland: a wp_presentation feedback for every frame's commit on the program's own surface, each
// swap's return read on the presentation clock (wp_presentation.clock_id) where it is one that
// cannot be set, and the refresh the outputs' current modes give (output_refresh.h). All of it on
// an event queue of our own, so that SDL's dispatch of its own queue is undisturbed; events are
// read with the prepare/read protocol that lets SDL read the same socket.
#include <poll.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include <algorithm>
#include <list>

#include "presentation-time-client-protocol.h"
#include "platform/native_window.h"
#include "tools/pacing/display_timing.h"
#include "tools/pacing/output_refresh.h"

namespace {

// The clocks a compositor may name that only ever run forward: a swap's return read on one compares
// exactly with the presentations. Returns the name, or empty with `why` saying why not.
std::string SteadyClockName(uint32_t clock, std::string* why) {
    switch (clock) {
        case CLOCK_MONOTONIC: return "CLOCK_MONOTONIC";
        case CLOCK_MONOTONIC_RAW: return "CLOCK_MONOTONIC_RAW";
        case CLOCK_MONOTONIC_COARSE: return "CLOCK_MONOTONIC_COARSE";
        case CLOCK_BOOTTIME: return "CLOCK_BOOTTIME";
        case CLOCK_REALTIME:
        case CLOCK_REALTIME_COARSE:
        case CLOCK_TAI:
            *why = "the presentation clock (" + std::to_string(clock) + ") is wall time, which can be set during the run";
            return "";
        default:
            *why = "the presentation clock " + std::to_string(clock) + " is not one this tool can read";
            return "";
    }
}

double Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class WaylandTiming : public DisplayTiming {
public:
    WaylandTiming(wl_display* display, wl_surface* surface) : display_(display), surface_(surface) {
        queue_ = wl_display_create_queue(display_);
        wrapper_ = static_cast<wl_display*>(wl_proxy_create_wrapper(display_));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper_), queue_);
        registry_ = wl_display_get_registry(wrapper_);
        wl_registry_add_listener(registry_, &kRegistry, this);
        // The globals, then what the bound outputs say of their modes. The outputs are released at
        // once: while bound, the compositor would name them in the surface's enter and leave events,
        // which SDL dispatches.
        wl_display_roundtrip_queue(display_, queue_);
        wl_display_roundtrip_queue(display_, queue_);
        for (Output& output : outputs_) wl_output_release(output.proxy);
        for (Output& output : outputs_) output.proxy = nullptr;
        LearnRefresh();
        if (presentation_ != nullptr) {
            presentSource = "wp_presentation";
            if (!clockTold_) clockWhyNot = "the compositor named no presentation clock";
            else presentClock = SteadyClockName(clock_, &clockWhyNot);
        } else {
            presentWhyNot = "the compositor offers no wp_presentation";
            clockWhyNot = "no presentation times: " + presentWhyNot;
        }
    }

    ~WaylandTiming() override {
        for (Pending& pending : pending_) wp_presentation_feedback_destroy(pending.feedback);
        if (presentation_ != nullptr) wp_presentation_destroy(presentation_);
        wl_registry_destroy(registry_);
        wl_proxy_wrapper_destroy(wrapper_);
        wl_event_queue_destroy(queue_);
    }

    void BeforeSwap(long frame) override {
        if (presentation_ == nullptr) return;
        // Applies to the surface's next commit: the one the swap makes.
        pending_.push_back({this, frame, wp_presentation_feedback(presentation_, surface_)});
        wp_presentation_feedback_add_listener(pending_.back().feedback, &kFeedback, &pending_.back());
    }

    void AfterSwap(long frame) override {
        if (!presentClock.empty()) NoteSwapReturn(frame, static_cast<clockid_t>(clock_));
        Read(0);
    }

    void Finish(double seconds) override {
        const double end = Now() + seconds;
        while (!pending_.empty()) {
            const double left = end - Now();
            if (left <= 0 || !Read(static_cast<int>(left * 1000) + 1)) break;
        }
    }

    double RefreshHz() const override { return hz_; }

private:
    struct Output {
        WaylandTiming* owner;
        wl_output* proxy;  // released once its modes are known
        std::vector<OutputMode> modes;
    };
    struct Pending {
        WaylandTiming* owner;
        long frame;
        struct wp_presentation_feedback* feedback;
    };

    // Dispatches what is queued for us, reading the socket for at most `timeoutMs`. False when the
    // connection is gone.
    bool Read(int timeoutMs) {
        while (wl_display_prepare_read_queue(display_, queue_) != 0) {
            if (wl_display_dispatch_queue_pending(display_, queue_) < 0) return false;
        }
        wl_display_flush(display_);
        pollfd fd = {wl_display_get_fd(display_), POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) > 0) {
            if (wl_display_read_events(display_) < 0) return false;
        } else {
            wl_display_cancel_read(display_);
        }
        return wl_display_dispatch_queue_pending(display_, queue_) >= 0;
    }

    void Done(Pending* pending) {
        wp_presentation_feedback_destroy(pending->feedback);
        pending_.remove_if([&](const Pending& p) { return &p == pending; });
    }

    void LearnRefresh() {
        std::vector<std::vector<OutputMode>> modes;
        for (const Output& output : outputs_) modes.push_back(output.modes);
        const RefreshChoice choice = ChooseRefresh(modes, periodNs_);
        hz_ = choice.hz;
        refreshSource = choice.source;
        refreshWhyUnknown = choice.whyUnknown;
    }

    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        auto* self = static_cast<WaylandTiming*>(data);
        if (strcmp(interface, wp_presentation_interface.name) == 0 && self->presentation_ == nullptr) {
            self->presentation_ = static_cast<wp_presentation*>(
                wl_registry_bind(registry, name, &wp_presentation_interface, 1));
            wp_presentation_add_listener(self->presentation_, &kPresentation, self);
        } else if (strcmp(interface, wl_output_interface.name) == 0 && version >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
            self->outputs_.push_back({self, static_cast<wl_output*>(wl_registry_bind(
                                                registry, name, &wl_output_interface, std::min(version, 4u))), {}});
            wl_output_add_listener(self->outputs_.back().proxy, &kOutput, &self->outputs_.back());
        }
    }
    static void GlobalRemove(void*, wl_registry*, uint32_t) {}

    static void Geometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                         int32_t) {}
    static void Mode(void* data, wl_output*, uint32_t flags, int32_t, int32_t, int32_t refresh) {
        static_cast<Output*>(data)->modes.push_back(
            {refresh, (flags & WL_OUTPUT_MODE_CURRENT) != 0, (flags & WL_OUTPUT_MODE_PREFERRED) != 0});
    }
    static void OutputDone(void*, wl_output*) {}
    static void Scale(void*, wl_output*, int32_t) {}
    static void Name(void*, wl_output*, const char*) {}
    static void Description(void*, wl_output*, const char*) {}

    static void ClockId(void* data, wp_presentation*, uint32_t clock) {
        auto* self = static_cast<WaylandTiming*>(data);
        self->clock_ = clock;
        self->clockTold_ = true;
    }

    static void SyncOutput(void*, struct wp_presentation_feedback*, wl_output*) {}
    static void Presented(void* data, struct wp_presentation_feedback*, uint32_t secondsHigh, uint32_t secondsLow,
                          uint32_t nanoseconds, uint32_t refreshNs, uint32_t seqHigh, uint32_t seqLow,
                          uint32_t flags) {
        auto* pending = static_cast<Pending*>(data);
        WaylandTiming* self = pending->owner;
        Presentation& shown = self->At(pending->frame);
        shown.known = true;
        shown.seconds = static_cast<double>((static_cast<uint64_t>(secondsHigh) << 32) | secondsLow) + nanoseconds * 1e-9;
        shown.counter = (static_cast<uint64_t>(seqHigh) << 32) | seqLow;
        shown.counterKnown = shown.counter != 0;  // zero: the output keeps no refresh counter
        shown.flagsKnown = true;
        shown.vsync = (flags & WP_PRESENTATION_FEEDBACK_KIND_VSYNC) != 0;
        shown.hardwareClock = (flags & WP_PRESENTATION_FEEDBACK_KIND_HW_CLOCK) != 0;
        if (refreshNs > 0 && self->periodNs_ != refreshNs) {
            self->periodNs_ = refreshNs;
            self->LearnRefresh();
        }
        self->Done(pending);
    }
    static void Discarded(void* data, struct wp_presentation_feedback*) {
        auto* pending = static_cast<Pending*>(data);
        pending->owner->At(pending->frame).discarded = true;
        pending->owner->Done(pending);
    }

    static const wl_registry_listener kRegistry;
    static const wp_presentation_listener kPresentation;
    static const wl_output_listener kOutput;
    static const wp_presentation_feedback_listener kFeedback;

    wl_display* display_;
    wl_surface* surface_;
    wl_event_queue* queue_ = nullptr;
    wl_display* wrapper_ = nullptr;
    wl_registry* registry_ = nullptr;
    wp_presentation* presentation_ = nullptr;
    std::list<Output> outputs_;    // lists: listeners hold their elements' addresses
    std::list<Pending> pending_;
    uint32_t periodNs_ = 0;
    uint32_t clock_ = 0;
    bool clockTold_ = false;
    double hz_ = 0;
};

const wl_registry_listener WaylandTiming::kRegistry = {Global, GlobalRemove};
const wp_presentation_listener WaylandTiming::kPresentation = {ClockId};
const wl_output_listener WaylandTiming::kOutput = {Geometry, Mode, OutputDone, Scale, Name, Description};
const wp_presentation_feedback_listener WaylandTiming::kFeedback = {SyncOutput, Presented, Discarded};

}  // namespace

std::unique_ptr<DisplayTiming> OpenWaylandTiming(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!NativeWindowInfo(window, SDL_SYSWM_WAYLAND, &info)) return nullptr;
    return std::make_unique<WaylandTiming>(info.info.wl.display, info.info.wl.surface);
}
