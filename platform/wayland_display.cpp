// The Wayland connection on Linux: what SDL's Wayland driver leaves to the layer.
//  [X] Before SDL starts its Wayland video, the compositor is asked for a seat with a keyboard:
//      SDL's driver crashes on a compositor without a seat, and the program's keys come through
//      one. No seat, no compositor, or an XDG_RUNTIME_DIR that cannot hold its socket: window
//      creation fails and the reason says which.
//  [X] A lost compositor (the connection closed or broken) ends the process from the message
//      pump, since nothing can be drawn or read any more: "ERROR : Lost the display" on stdout
//      after what was printed, the reason naming the display on stderr, status 1.
//  [X] XDG_RUNTIME_DIR is checked before libwayland reads it, which would say so on stderr at
//      each of SDL's attempts to connect; the reason names it once.
//  [X] libdecor only when it has a plugin to draw decorations with; without one SDL asks the
//      compositor for its own decorations instead of libdecor saying on stderr that it found none.
//  [ ] The position the program asks for is not kept: a Wayland compositor places its windows.
#include <SDL.h>
#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-client.h>

#include <string>
#include <vector>

#include "layer.h"
#include "native_window.h"

namespace {

struct WaylandState {
    bool hintsSet;
};
WaylandState wayland;

// WAYLAND_DISPLAY as libwayland reads it: unset means "wayland-0".
const char* DisplayName() {
    const char* name = getenv("WAYLAND_DISPLAY");
    return name != nullptr ? name : "wayland-0";
}

// Where libwayland looks for the compositor's socket, e.g. "/run/user/1000/wayland-0".
std::string SocketPath() {
    const char* name = DisplayName();
    if (name[0] == '/') return name;
    const char* directory = getenv("XDG_RUNTIME_DIR");
    return std::string(directory != nullptr ? directory : "") + "/" + name;
}

// Why XDG_RUNTIME_DIR cannot hold the socket, or empty when it can (or is not needed).
std::string RuntimeDirProblem() {
    if (DisplayName()[0] == '/' || getenv("WAYLAND_SOCKET") != nullptr) return "";
    const char* directory = getenv("XDG_RUNTIME_DIR");
    if (directory == nullptr || directory[0] == '\0') {
        return "XDG_RUNTIME_DIR is unset, and the compositor's socket is looked for in that directory";
    }
    std::string problem;
    struct stat status;
    if (directory[0] != '/') {
        problem = "is not an absolute path";
    } else if (stat(directory, &status) != 0) {
        problem = strerror(errno);
    } else if (!S_ISDIR(status.st_mode)) {
        problem = "is not a directory";
    } else if (access(directory, X_OK) != 0) {
        problem = std::string("cannot be searched: ") + strerror(errno);
    } else if (SocketPath().size() >= sizeof(sockaddr_un::sun_path)) {
        problem = "is too long: the socket's path " + SocketPath() + " exceeds the " +
                  std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes a socket address holds";
    }
    if (problem.empty()) return "";
    return std::string("XDG_RUNTIME_DIR \"") + directory + "\", where the compositor's socket is looked for, " +
           (problem[0] >= 'a' && problem[0] <= 'z' ? problem : "is unusable: " + problem);
}

struct SeatProbe {
    std::vector<wl_seat*> seats;
    bool keyboard;
};

void OnSeatCapabilities(void* data, wl_seat*, uint32_t capabilities) {
    if (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) static_cast<SeatProbe*>(data)->keyboard = true;
}

void OnSeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {OnSeatCapabilities, OnSeatName};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (strcmp(interface, wl_seat_interface.name) != 0) return;
    auto* seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    static_cast<SeatProbe*>(data)->seats.push_back(seat);
    wl_seat_add_listener(seat, &kSeatListener, data);
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

// Connects, lists the globals and hears each seat's capabilities; empty when a keyboard seat is there.
std::string ProbeSeat() {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return "cannot connect to its socket " + SocketPath() + ": " + strerror(errno);
    }
    SeatProbe probe = {{}, false};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &probe);
    // The first round trip brings the globals and binds the seats, the second their capabilities.
    const bool answered = wl_display_roundtrip(display) >= 0 && wl_display_roundtrip(display) >= 0;
    const int error = wl_display_get_error(display);
    for (wl_seat* seat : probe.seats) wl_seat_destroy(seat);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered) return std::string("the compositor broke the connection: ") + (error != 0 ? strerror(error) : "?");
    if (probe.seats.empty()) return "the compositor offers no keyboard seat (no wl_seat)";
    if (!probe.keyboard) return "the compositor offers no keyboard seat (no wl_seat with a keyboard)";
    return "";
}

bool LibdecorHasPlugin() {
    const char* directory = getenv("LIBDECOR_PLUGIN_DIR");
    DIR* plugins = opendir(directory != nullptr ? directory : BRIMVALK_LIBDECOR_PLUGIN_DIR);
    if (plugins == nullptr) return false;
    bool found = false;
    while (const dirent* entry = readdir(plugins)) {
        const size_t length = strlen(entry->d_name);
        if (length > 3 && strcmp(entry->d_name + length - 3, ".so") == 0) found = true;
    }
    closedir(plugins);
    return found;
}

}  // namespace

void LayerQuietWayland() {
    if (wayland.hintsSet) return;
    wayland.hintsSet = true;
    // An environment setting still wins over this hint.
    if (!LibdecorHasPlugin()) SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0");
}

bool LayerWaylandSeatReady(std::string* reason) {
    LayerQuietWayland();
    *reason = RuntimeDirProblem();
    if (!reason->empty()) return false;
    // A connection handed down by the parent can be taken only once, and it is SDL's.
    if (getenv("WAYLAND_SOCKET") != nullptr) return true;
    *reason = ProbeSeat();
    return reason->empty();
}

void LayerCheckWaylandDisplay() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    const char* driver = SDL_GetCurrentVideoDriver();
    WindowObject* window = LayerNewestWindow();
    if (driver == nullptr || strcmp(driver, "wayland") != 0 || window == nullptr) return;
    SDL_SysWMinfo info;
    if (!NativeWindowInfo(window->sdl, SDL_SYSWM_WAYLAND, &info)) return;
    wl_display* display = info.info.wl.display;
    int error = wl_display_get_error(display);
    if (error == 0) {
        // libwayland learns of a hang-up only when SDL next reads or writes the socket, which a
        // frame may not do: the socket itself says at once.
        pollfd socket = {wl_display_get_fd(display), POLLIN, 0};
        if (poll(&socket, 1, 0) == 1 && (socket.revents & (POLLHUP | POLLERR)) != 0) error = EPIPE;
    }
    if (error == 0) return;
    std::string cause = strerror(error);
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        const uint32_t code = wl_display_get_protocol_error(display, &interface, nullptr);
        cause = "protocol error " + std::to_string(code) + " on " + (interface != nullptr ? interface->name : "?");
    }
    LayerLostDisplay(std::string("PeekMessageA: lost the Wayland display \"") + DisplayName() +
                     "\" (WAYLAND_DISPLAY, socket " + SocketPath() + "): " + cause);
}
