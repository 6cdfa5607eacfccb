// Input to display, for brimvalk-pacing: key events turned into changes of the program's input
// line, each change matched to the first frame whose line shows it, and the time from the event to
// that frame's presentation (or its swap's return). Arithmetic only: the events come from
// key_events.h, the frames from the run.
#ifndef BRIMVALK_TOOLS_PACING_INPUT_LATENCY_H
#define BRIMVALK_TOOLS_PACING_INPUT_LATENCY_H

#include <stdint.h>

#include <string>
#include <vector>

// The four values of the program's input line (vertical, horizontal, button 1, button 2).
struct InputValues {
    int32_t values[4] = {0, 0, 0, 0};
    bool operator==(const InputValues& other) const;
};

// The line the program's sampler makes of the keyboard alone: `down` has bit i set while
// kProgramKeys[i] (up, down, left, right, z, x) is down. Up wins over down, left over right; Z and
// X are the buttons, 32768 when down.
InputValues KeyboardValues(unsigned down);

// A press or release of one of the six keys, as a source reports it.
struct KeyEvent {
    double seconds;  // when the display server stamped it, or the tool set it, on the source's clock
    long frame;      // the earliest frame that can show it: the one being sampled, or about to be, when
                     // the tool learned of it; by the frame after, the program has taken it in
    int key;         // index into kProgramKeys
    bool down;
    bool counted;    // false for state the display server restates (keys held when the focus came)
};

// A key event that changed the input line: one of its values (`field`, 0..3) became `value`.
struct KeyChange {
    double seconds;
    long frame;
    int key;
    bool press;
    int field;
    int32_t value;
};

// The key events that change the line the keyboard makes, in order; `down` starts as `downAtStart`.
std::vector<KeyChange> KeyChangesOf(const std::vector<KeyEvent>& events, unsigned downAtStart = 0);

// What became of a key change: the frame that first showed it, or one of these.
const long kNeverShown = -1;  // another change of its value came first, or the run moved past it
const long kPending = -2;     // the run ended before it could be shown; counted nowhere

// Matches the changes (in order) to `frames`, the input line each frame showed, from frame 0;
// `before` is the line before frame 0. For each value of the line apart: a frame whose value differs
// from the frame before shows the latest change to that value that it can (its `frame` at most this
// one); changes of that value before it were never shown. A change the frame after its `frame` did
// not show was never shown either: by then the program has it, so something replaced it unseen (a
// press and release within one frame). A change in a frame the matching cannot tell apart from the
// run's end is pending.
std::vector<long> MatchKeyChanges(const std::vector<KeyChange>& changes, const std::vector<InputValues>& frames,
                                  const InputValues& before);

struct InputLatency {
    long shown = 0;        // changes matched to a frame that has an end time
    long neverShown = 0;
    long pressesMade = 0;  // with --press: presses the tool made, and the shown press changes of their keys
    long pressesSeen = 0;
    double p50Ms = 0, p95Ms = 0, maxMs = 0;
    std::vector<double> frameMs;  // by frame: the longest latency of a change first shown there; -1 none
};

// Latencies from each change's time to its frame's end: `frameEnds` by frame, on the changes' clock,
// negative where unknown (a frame never presented), when the next frame known is taken. `pressKeys`
// has bit i set for the keys --press used.
InputLatency MeasureInputLatency(const std::vector<KeyChange>& changes, const std::vector<long>& shownAt,
                                 const std::vector<double>& frameEnds, unsigned pressKeys, long pressesMade);

// "input: K key changes, event to presented p50 A ms, p95 B ms, max C ms (SOURCE)", with
// "; U never shown" and "; presses: P made, S seen" where they apply; "event to swap return" when
// `presented` is false; or the line saying there were none.
std::string InputLatencyLine(const InputLatency& latency, bool presented, const std::string& source,
                             bool pressing);

#endif
