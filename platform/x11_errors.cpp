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
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

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

}  // namespace

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
