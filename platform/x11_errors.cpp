// X protocol errors on Linux. Xlib's own handler ends the process at the first error, which left
// a failed OpenGL driver load or a window destroyed by another client as an "X Error of failed
// request" dump and nothing else. The layer's handler records the errors instead, so the call that
// caused one fails and says why, and the program reports it the way it reports any failure.
//  [X] Installed before SDL opens the display and kept for the layer's lifetime; SDL passes on the
//      errors it does not catch itself (it catches those of GL context creation and binding).
//  [X] A described error names itself, the request and the resource, as Xlib's dump does.
//  [X] Errors about a window another client destroyed are expected and dropped: the window's
//      procedure hears of it as WM_DESTROY instead (see user32_messages.cpp).
//  [X] A lost connection (the X server gone, or the program's connection killed) ends the program
//      the way its other failures do: what it printed so far flushed whole, then one line
//      "ERROR : Lost the display" on stdout, the display named on stderr, exit status 1. Xlib would
//      end the process after any handler anyway; its own dump named no cause the user can act on.
//  [X] Before SDL opens the display, one connection is tried here: a server that refuses it (a
//      wrong or missing MIT-MAGIC-COOKIE-1) is told once as the reason, in the server's words,
//      where libxcb would write them on stderr at each of SDL's attempts.
#include <X11/Xlib.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <functional>
#include <string>
#include <vector>

#include "layer.h"

namespace {

struct RecordedError {
    Display* display;
    unsigned char errorCode;
    unsigned char requestCode;
    unsigned char minorCode;
    unsigned long resource;
};

struct XErrorState {
    bool installed;
    RecordedError first;     // the first error since the last look; the cause of what follows
    unsigned long count;     // errors since the last look
    std::vector<unsigned long> goneResources;  // windows destroyed by other clients
    // The connection that found the server, kept until SDL has its own: an X server with no
    // client left resets, and refuses connections meanwhile (Xvfb, at each start).
    xcb_connection_t* probe;
};
XErrorState xErrors;

int RecordError(Display* display, XErrorEvent* error) {
    for (unsigned long gone : xErrors.goneResources) {
        if (error->resourceid == gone) return 0;
    }
    if (xErrors.count++ == 0) {
        xErrors.first = {display, error->error_code, error->request_code, error->minor_code, error->resourceid};
    }
    return 0;
}

// Xlib calls this when the connection fails and ends the process if it returns. Nothing here
// touches the display again, and no exit handler runs: those of the libraries would.
int OnLostDisplay(Display* display) {
    const char* name = display != nullptr ? DisplayString(display) : nullptr;
    LayerLostDisplay(std::string("X connection to ") + (name != nullptr && name[0] != '\0' ? name : "the display") +
                     " broken: the server closed it or went away");
}

// The request's name from Xlib's error database, e.g. "X_GLXCreateContext"; extensions are found
// by their major opcode, which takes a round trip, so this is never called from the handler.
std::string RequestName(Display* display, int major, int minor) {
    char key[128];
    char name[128] = "";
    if (major < 128) {
        snprintf(key, sizeof key, "%d", major);
        XGetErrorDatabaseText(display, "XRequest", key, "", name, sizeof name);
        return name;
    }
    int extensionCount = 0;
    char** extensions = XListExtensions(display, &extensionCount);
    for (int i = 0; i < extensionCount && name[0] == '\0'; ++i) {
        int opcode = 0;
        int firstEvent = 0;
        int firstError = 0;
        if (XQueryExtension(display, extensions[i], &opcode, &firstEvent, &firstError) && opcode == major) {
            snprintf(key, sizeof key, "%s.%d", extensions[i], minor);
            XGetErrorDatabaseText(display, "XRequest", key, extensions[i], name, sizeof name);
        }
    }
    if (extensions != nullptr) XFreeExtensionList(extensions);
    return name;
}

// The sockets of a local display (":3", "unix:3.0", a socket's path, or a path before the colon),
// abstract first as libxcb tries them; none for a display over the network.
std::vector<std::string> LocalSockets(const std::string& name) {
    const size_t colon = name.rfind(':');
    if (colon == std::string::npos) return name[0] == '/' ? std::vector<std::string>{name} : std::vector<std::string>{};
    const std::string host = name.substr(0, colon);
    const std::string number = name.substr(colon + 1, name.find('.', colon) - colon - 1);
    if (!host.empty() && host[0] == '/') return {host};
    if ((!host.empty() && host != "unix") || number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return {};
    }
    const std::string path = "/tmp/.X11-unix/X" + number;
    return {"@" + path, path};
}

// What libxcb writes on descriptor 2 while `connect` runs: the server's words when it refuses.
std::string CaughtOnStderr(const std::function<void()>& connect) {
    const int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int caught = saved >= 0 ? memfd_create("x11-refusal", MFD_CLOEXEC) : -1;
    if (caught < 0 || dup2(caught, STDERR_FILENO) < 0) {
        if (saved >= 0) close(saved);
        if (caught >= 0) close(caught);
        connect();
        return "";
    }
    LayerStderrMovedTo(saved);
    connect();
    dup2(saved, STDERR_FILENO);
    LayerStderrMovedTo(STDERR_FILENO);
    close(saved);
    char text[512];
    const ssize_t length = pread(caught, text, sizeof text - 1, 0);
    close(caught);
    std::string said(text, length > 0 ? static_cast<size_t>(length) : 0);
    // One line: the server's text may end in line breaks or carry several.
    for (char& c : said) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    while (!said.empty() && said.back() == ' ') said.pop_back();
    return said;
}

}  // namespace

std::string LayerNameX11Display() {
    const char* name = getenv("DISPLAY");
    const std::string described =
        std::string("the X display \"") + (name != nullptr ? name : "") + "\" (DISPLAY" + (name != nullptr ? ")" : " is unset)");
    LayerNameDisplay(described, name != nullptr ? LocalSockets(name) : std::vector<std::string>(), -1);
    return described;
}

bool LayerX11Ready(const char* call, std::string* reason) {
    const char* name = getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        *reason = "no X display is named";
        return false;
    }
    int error = 0;
    int connectError = 0;
    LayerX11ProbeDone();
    const std::string refusal = CaughtOnStderr([&] {
        LayerDisplayCall displayCall(call, "connecting to the X server");
        errno = 0;
        xErrors.probe = xcb_connect(name, nullptr);
        connectError = errno;
        error = xcb_connection_has_error(xErrors.probe);
    });
    if (error == 0) return true;
    LayerX11ProbeDone();
    if (!refusal.empty()) {
        *reason = std::string("X server ") + name + " refused the connection: " + refusal;
    } else if (error == XCB_CONN_CLOSED_PARSE_ERR) {
        *reason = "DISPLAY is not a display name libxcb can read";
    } else if (error == XCB_CONN_CLOSED_INVALID_SCREEN) {
        *reason = std::string("X server ") + name + " has no such screen";
    } else if (error == XCB_CONN_CLOSED_MEM_INSUFFICIENT) {
        *reason = strerror(ENOMEM);
    } else {
        *reason = std::string("no X server answers at ") + name +
                  (connectError != 0 ? std::string(" (") + strerror(connectError) + ")" : "");
    }
    *reason = LayerWithShortage(*reason);
    return false;
}

void LayerX11ProbeDone() {
    if (xErrors.probe != nullptr) xcb_disconnect(xErrors.probe);
    xErrors.probe = nullptr;
}

void LayerInstallXErrorHandler() {
    if (xErrors.installed) return;
    xErrors.installed = true;
    XSetErrorHandler(RecordError);
    XSetIOErrorHandler(OnLostDisplay);
}

bool LayerTakeXError(std::string* description) {
    if (xErrors.count == 0) return false;
    const RecordedError& error = xErrors.first;
    char text[256] = "";
    XGetErrorText(error.display, error.errorCode, text, sizeof text);
    const std::string request = RequestName(error.display, error.requestCode, error.minorCode);
    char line[512];
    snprintf(line, sizeof line, "X error %s in request %d.%d%s%s%s, resource 0x%lx", text, error.requestCode,
             error.minorCode, request.empty() ? "" : " (", request.c_str(), request.empty() ? "" : ")",
             error.resource);
    *description = line;
    if (xErrors.count > 1) *description += " (and " + std::to_string(xErrors.count - 1) + " more)";
    xErrors.count = 0;
    return true;
}

void LayerDropXErrors() {
    xErrors.count = 0;
}

void LayerIgnoreXErrorsAbout(unsigned long resource) {
    xErrors.goneResources.push_back(resource);
    if (xErrors.count > 0 && xErrors.first.resource == resource) xErrors.count = 0;
}
