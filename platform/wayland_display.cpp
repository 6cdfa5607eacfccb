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
//  [X] WAYLAND_SOCKET (a connection handed down by the parent) can be taken only once, and it is
//      SDL's: it is not asked for a seat, but it must be a connected local stream socket, or
//      window creation fails with the reason naming WAYLAND_SOCKET. One that passes and still is no
//      compositor ends the process as a lost display when SDL crashes on it (termination.cpp).
//  [X] The connection under the window is watched for a hang-up (termination.cpp): SDL's driver
//      spins for ever on a dead connection while it shows a window.
//  [X] libdecor only when it has a plugin to draw decorations with; without one SDL asks the
//      compositor for its own decorations instead of libdecor saying on stderr that it found none.
//  [ ] The position the program asks for is not kept: a Wayland compositor places its windows.
#include <SDL.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
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

// The descriptor WAYLAND_SOCKET names, as libwayland reads it; -1 when it names none.
int HandedDownDescriptor(const char* value) {
    char* end = nullptr;
    errno = 0;
    const long number = strtol(value, &end, 10);
    if (errno != 0 || end == value || *end != '\0' || number < 0 || number > INT_MAX) return -1;
    return static_cast<int>(number);
}

// What an open descriptor is, for a reason: "/dev/null", "a pipe", "the file /tmp/x".
std::string DescriptorIs(int descriptor, const struct stat& status) {
    char path[PATH_MAX] = "";
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    if (length > 0) path[length] = '\0';
    if (S_ISFIFO(status.st_mode)) return "a pipe";
    if (S_ISREG(status.st_mode)) return std::string("the file ") + path;
    if (S_ISDIR(status.st_mode)) return std::string("the directory ") + path;
    return path[0] == '/' ? path : "a descriptor of another kind";
}

// Why WAYLAND_SOCKET cannot be a connection to a compositor, or empty when it may be one.
std::string HandedDownProblem() {
    const char* value = getenv("WAYLAND_SOCKET");
    const int descriptor = HandedDownDescriptor(value);
    if (descriptor < 0) return "it is not a descriptor number";
    struct stat status;
    if (fcntl(descriptor, F_GETFD) < 0 || fstat(descriptor, &status) != 0) {
        return "descriptor " + std::to_string(descriptor) + " is not open";
    }
    const std::string named = "descriptor " + std::to_string(descriptor) + " ";
    if (!S_ISSOCK(status.st_mode)) return named + "is " + DescriptorIs(descriptor, status) + ", not a socket";
    int domain = 0;
    int type = 0;
    socklen_t size = sizeof domain;
    getsockopt(descriptor, SOL_SOCKET, SO_DOMAIN, &domain, &size);
    size = sizeof type;
    getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &size);
    if (domain != AF_UNIX || type != SOCK_STREAM) return named + "is a socket, but not a local stream socket";
    sockaddr_un peer;
    size = sizeof peer;
    if (getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
        return named + "is a socket connected to nothing";
    }
    pollfd connection = {descriptor, 0, 0};
    if (poll(&connection, 1, 0) == 1) return named + "is a connection its other end has closed";
    return "";
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
std::string ProbeSeat(const char* call) {
    LayerDisplayCall displayCall(call, "asking the compositor for a keyboard seat");
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

bool LayerWaylandSeatReady(const char* call, std::string* reason) {
    LayerQuietWayland();
    *reason = RuntimeDirProblem();
    if (!reason->empty()) return false;
    // A connection handed down by the parent can be taken only once, and it is SDL's.
    *reason = getenv("WAYLAND_SOCKET") != nullptr ? HandedDownProblem() : ProbeSeat(call);
    return reason->empty();
}

std::string LayerNameWaylandDisplay() {
    if (const char* handedDown = getenv("WAYLAND_SOCKET")) {
        const std::string described = std::string("the Wayland connection in WAYLAND_SOCKET=") + handedDown;
        LayerNameDisplay(described, {}, HandedDownDescriptor(handedDown));
        return described;
    }
    const char* name = getenv("WAYLAND_DISPLAY");
    const std::string described = std::string("the Wayland display \"") + DisplayName() + "\" (WAYLAND_DISPLAY" +
                                  (name != nullptr ? ")" : " is unset)");
    LayerNameDisplay(described, {SocketPath()}, -1);
    return described;
}

void LayerWatchWaylandWindow(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (NativeWindowInfo(window, SDL_SYSWM_WAYLAND, &info)) LayerWatchDisplayFd(wl_display_get_fd(info.info.wl.display));
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
