// Reading a Wayland event queue of the tool's own beside SDL, which reads the same socket for its
// own queue: the prepare/read protocol, so that neither takes the other's events.
#ifndef BRIMVALK_TOOLS_PACING_WAYLAND_QUEUE_H
#define BRIMVALK_TOOLS_PACING_WAYLAND_QUEUE_H

#include <wayland-client.h>

// Dispatches what is queued on `queue`, reading the socket for at most `timeoutMs` (0: only what
// has arrived). False when the connection is gone.
bool ReadWaylandQueue(wl_display* display, wl_event_queue* queue, int timeoutMs);

#endif
