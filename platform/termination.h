// How the process ends when it is asked to or can go no further, for the layer and the tools
// beside the program (which end the same way, in their own words). The program never includes this.
#ifndef BRIMVALK_PLATFORM_TERMINATION_H
#define BRIMVALK_PLATFORM_TERMINATION_H

// How long a polite signal (SIGINT, SIGTERM, SIGHUP) leaves the clean path, WM_CLOSE and then
// teardown, before the process is ended for it.
const int kTerminationGraceMs = 1500;

// The polite signal that asked the process to end, or 0. Stays set once asked.
int TerminationRequested();

// From now on the process is `tool`'s: when a polite signal cannot be honoured in time it writes
// "TOOL: ..." on stderr instead of the program's ERROR line on stdout. `tool` is kept, not copied.
void TerminationForTool(const char* tool);

// While set, a file that would be left half-written if the process ended now: an end the process
// did not choose removes it. `path` is read at that moment, so it may be filled in later (a
// mkstemp template); null forgets it.
void TerminationRemoveOnEnd(const char* path);

// What the process is doing while it may wait long, named in the reason if it must be ended then:
// `activity` (e.g. "writing pacing.png"; copied) in `call` (a function's name, or null). Nested
// marks restore the one around them.
class TerminationMark {
public:
    TerminationMark(const char* call, const char* activity) : TerminationMark(call, activity, false) {}
    ~TerminationMark();
    TerminationMark(const TerminationMark&) = delete;
    TerminationMark& operator=(const TerminationMark&) = delete;

protected:
    // `onDisplay`: a call into the display's libraries (LayerDisplayCall), which names the display too.
    TerminationMark(const char* call, const char* activity, bool onDisplay);

private:
    int previous_;
    bool guarded_;  // the crash guard armed for this call alone (start-up)
};

#endif
