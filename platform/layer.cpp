// What the service areas share: SDL's one-time start-up, the cause behind a failure under a
// resource limit, and the test reset that spans them all.
#include <SDL.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "layer.h"
#include "native_window.h"
#include "testing.h"
#include "wgl_font_outlines.h"

namespace {

struct SdlState {
    bool hintsSet;
};
SdlState sdl;

}  // namespace

bool LayerInitSdl(unsigned int subsystems) {
    if (!sdl.hintsSet) {
        sdl.hintsSet = true;
        // Ctrl+C and SIGTERM are the message queue's to turn into WM_CLOSE, not SDL's.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // joyGetPos reads the joystick whether or not the window has the focus.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        // Leave the desktop's compositor alone, as a Win32 window does.
        SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    }
    if ((SDL_WasInit(subsystems) & subsystems) == subsystems) return true;
    return SDL_InitSubSystem(subsystems) == 0;
}

std::string LayerResourceShortage() {
    // A library that meets a limit often reports only its own failure ("x11 not available"), or
    // the wrong one: so the limit is tried again here, as the next library would meet it.
    // A few descriptors at once, as one step takes them: SDL's X11 start opens two connections.
    int descriptors[4];
    int opened = 0;
    int error = 0;
    while (opened < 4 && (descriptors[opened] = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0) ++opened;
    if (opened < 4) error = errno;
    while (opened > 0) close(descriptors[--opened]);
    if (error == EMFILE || error == ENFILE) return strerror(error);
    // The OpenGL driver and its compiler map some hundred MiB when they start.
    const size_t size = 256u << 20;
    void* reserved = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) return strerror(ENOMEM);
    munmap(reserved, size);
    return "";
}

std::string LayerWithShortage(const std::string& reason) {
    const std::string shortage = LayerResourceShortage();
    return shortage.empty() || reason.find(shortage) != std::string::npos ? reason : shortage + " (" + reason + ")";
}

void PlatformResetForTests() {
    LayerResetContexts();
    LayerResetWindows();
    LayerResetMessages();
    LayerResetKeyboard();
    LayerResetJoystick();
    LayerResetTime();
    LayerResetGdi();
    LayerResetFontOutlines();
    LayerResetTermination();
}

bool NativeWindowInfo(SDL_Window* window, SDL_SYSWM_TYPE subsystem, SDL_SysWMinfo* info) {
    if (window == nullptr) return false;
    SDL_VERSION(&info->version);
    return SDL_GetWindowWMInfo(window, info) == SDL_TRUE && info->subsystem == subsystem;
}
