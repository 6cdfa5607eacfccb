// X11: the refresh of the CRTC showing the window's centre, from its XRandR mode (dot clock over
// the whole raster), and presentation times from GLX_OML_sync_control where both the GLX client
// and server offer it: each swap's UST (the driver's microsecond clock) and MSC (its refresh
// counter), read once the swap has completed. A frame waits only for the one before it. The UST is
// taken as CLOCK_MONOTONIC in microseconds (as Mesa's drivers keep it) only when the last refresh's
// UST lies within the second before that clock's reading.
// [ ] Untried on a real driver: Xvfb offers no GLX_OML_sync_control.
#include <GL/glx.h>
#include <X11/extensions/Xrandr.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "platform/native_window.h"
#include "tools/pacing/display_timing.h"

namespace {

typedef Bool (*GetSyncValues)(Display*, GLXDrawable, int64_t*, int64_t*, int64_t*);
typedef Bool (*WaitForSbc)(Display*, GLXDrawable, int64_t, int64_t*, int64_t*, int64_t*);

bool Names(const char* list, const char* name) {
    const size_t length = strlen(name);
    for (const char* at = list; at != nullptr && (at = strstr(at, name)) != nullptr; at += length) {
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    }
    return false;
}

class X11Timing : public DisplayTiming {
public:
    X11Timing(Display* display, Window window) : display_(display) {
        FindRefresh(window);
        const int screen = DefaultScreen(display);
        const char* server = glXQueryServerString(display, screen, GLX_EXTENSIONS);
        const char* client = glXGetClientString(display, GLX_EXTENSIONS);
        const char kOml[] = "GLX_OML_sync_control";
        getSync_ = reinterpret_cast<GetSyncValues>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXGetSyncValuesOML")));
        waitSbc_ = reinterpret_cast<WaitForSbc>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXWaitForSbcOML")));
        drawable_ = glXGetCurrentDrawable();
        int64_t ust = 0, msc = 0;
        if (!Names(server, kOml)) {
            presentWhyNot = "the GLX server offers no GLX_OML_sync_control";
        } else if (!Names(client, kOml) || getSync_ == nullptr || waitSbc_ == nullptr) {
            presentWhyNot = "the GLX client offers no GLX_OML_sync_control";
        } else if (drawable_ == 0 || !getSync_(display_, drawable_, &ust, &msc, &sbcBase_)) {
            presentWhyNot = "GLX_OML_sync_control gives no swap count for the window";
        } else {
            presentSource = "GLX_OML_sync_control";
            CheckUst(ust);
        }
        if (presentSource.empty()) clockWhyNot = "no presentation times: " + presentWhyNot;
    }

    void AfterSwap(long frame) override {
        if (!presentClock.empty()) NoteSwapReturn(frame, CLOCK_MONOTONIC);
        // The previous frame's swap, which has normally completed by the time this one returns.
        if (!presentSource.empty() && frame > 0) Take(frame - 1);
        last_ = frame;
    }
    void Finish(double) override {
        if (!presentSource.empty() && last_ >= 0) Take(last_);
    }
    double RefreshHz() const override { return hz_; }

private:
    void Take(long frame) {
        int64_t ust = 0, msc = 0, sbc = 0;
        if (!waitSbc_(display_, drawable_, sbcBase_ + frame + 1, &ust, &msc, &sbc)) return;
        Presentation& shown = At(frame);
        shown.known = true;
        shown.seconds = static_cast<double>(ust) * 1e-6;
        shown.counter = static_cast<uint64_t>(msc);
        shown.counterKnown = true;  // a completed swap's MSC: the refresh it was shown on
    }

    void CheckUst(int64_t lastRefreshUst) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t nowUs = static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
        if (lastRefreshUst <= nowUs && nowUs - lastRefreshUst < 1000000) {
            presentClock = "CLOCK_MONOTONIC, as GLX_OML_sync_control's UST";
            return;
        }
        char why[160];
        snprintf(why, sizeof why, "GLX_OML_sync_control's UST (%lld us at the last refresh) is not CLOCK_MONOTONIC (%lld us)",
                 static_cast<long long>(lastRefreshUst), static_cast<long long>(nowUs));
        clockWhyNot = why;
    }

    void FindRefresh(Window window) {
        int event = 0, error = 0;
        if (!XRRQueryExtension(display_, &event, &error)) {
            refreshWhyUnknown = "the X server has no XRandR";
            return;
        }
        XWindowAttributes attributes;
        Window child = 0;
        int x = 0, y = 0;
        if (!XGetWindowAttributes(display_, window, &attributes) ||
            !XTranslateCoordinates(display_, window, attributes.root, attributes.width / 2, attributes.height / 2,
                                   &x, &y, &child)) {
            refreshWhyUnknown = "the window's place on the screen is unknown";
            return;
        }
        XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display_, attributes.root);
        refreshWhyUnknown = "no XRandR CRTC shows the window's centre";
        for (int c = 0; resources != nullptr && c < resources->ncrtc && hz_ == 0; ++c) {
            XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, resources, resources->crtcs[c]);
            if (crtc != nullptr && crtc->mode != None && x >= crtc->x && y >= crtc->y &&
                x < crtc->x + static_cast<int>(crtc->width) && y < crtc->y + static_cast<int>(crtc->height)) {
                for (int m = 0; m < resources->nmode; ++m) {
                    const XRRModeInfo& mode = resources->modes[m];
                    if (mode.id == crtc->mode) Use(mode);
                }
            }
            if (crtc != nullptr) XRRFreeCrtcInfo(crtc);
        }
        if (resources != nullptr) XRRFreeScreenResources(resources);
    }

    void Use(const XRRModeInfo& mode) {
        double lines = mode.vTotal;
        if ((mode.modeFlags & RR_DoubleScan) != 0) lines *= 2;
        if ((mode.modeFlags & RR_Interlace) != 0) lines /= 2;
        if (mode.dotClock == 0 || mode.hTotal == 0 || lines == 0) {
            char why[96];
            snprintf(why, sizeof why, "XRandR's mode %ux%u has no dot clock", mode.width, mode.height);
            refreshWhyUnknown = why;
            return;
        }
        hz_ = static_cast<double>(mode.dotClock) / (mode.hTotal * lines);
        refreshSource = "XRandR";
        refreshWhyUnknown.clear();
    }

    Display* display_;
    GLXDrawable drawable_ = 0;
    GetSyncValues getSync_ = nullptr;
    WaitForSbc waitSbc_ = nullptr;
    int64_t sbcBase_ = 0;
    long last_ = -1;
    double hz_ = 0;
};

}  // namespace

std::unique_ptr<DisplayTiming> OpenX11Timing(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!NativeWindowInfo(window, SDL_SYSWM_X11, &info)) return nullptr;
    return std::make_unique<X11Timing>(info.info.x11.display, info.info.x11.window);
}
