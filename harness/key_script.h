// The keys the program reads, and keys held on a script for the tools, tests and benchmarks.
#ifndef BRIMVALK_HARNESS_KEY_SCRIPT_H
#define BRIMVALK_HARNESS_KEY_SCRIPT_H

#include <vector>

// The six keys the input sampler reads, with the names --hold takes for them.
struct ProgramKey {
    const char* name;
    int virtualKey;
};
extern const ProgramKey kProgramKeys[6];

// Puts all six up, through the layer.
void ReleaseProgramKeys();

// Keys held during frames FIRST up to, not including, END, as --hold KEY:FIRST-END (or KEY:COUNT,
// the same as KEY:0-COUNT); KEY is up, down, left, right, z or x.
struct KeyHold {
    int virtualKey;
    long first;
    long end;
};
bool ParseKeyHold(const char* text, KeyHold* hold);
// Puts each of the six keys up or down, through the layer, as the holds say for this frame.
void SetKeysForFrame(const std::vector<KeyHold>& holds, long frame);

#endif
