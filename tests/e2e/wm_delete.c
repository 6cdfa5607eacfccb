// Sends the close box's WM_DELETE_WINDOW (ICCCM 4.2.8.1): nothing in xdotool or x11-utils does.
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    Display* display = argc == 2 ? XOpenDisplay(NULL) : NULL;
    if (display == NULL) {
        fprintf(stderr, argc == 2 ? "wm-delete: cannot open display\n" : "usage: wm-delete WINDOW\n");
        return argc == 2 ? 1 : 2;
    }
    XEvent event = {0};
    event.xclient.type = ClientMessage;
    event.xclient.window = (Window)strtoul(argv[1], NULL, 0);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
