// The message pump and the frame loop of the program's entry sequence.
#ifndef BRIMVALK_FRAME_LOOP_H
#define BRIMVALK_FRAME_LOOP_H

// Drains the thread's message queue without blocking, dispatching every message.
// Returns 0 at the first quit message (later messages stay queued), 1 when the queue is empty.
int PumpMessages();

// Runs frames until the pump meets a quit message: update, render, yield.
void RunFrameLoop();

#endif
