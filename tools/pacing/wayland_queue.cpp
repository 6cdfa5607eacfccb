#include "wayland_queue.h"

#include <poll.h>

bool ReadWaylandQueue(wl_display* display, wl_event_queue* queue, int timeoutMs) {
    while (wl_display_prepare_read_queue(display, queue) != 0) {
        if (wl_display_dispatch_queue_pending(display, queue) < 0) return false;
    }
    wl_display_flush(display);
    pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) > 0) {
        if (wl_display_read_events(display) < 0) return false;
    } else {
        wl_display_cancel_read(display);
    }
    return wl_display_dispatch_queue_pending(display, queue) >= 0;
}
