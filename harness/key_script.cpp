#include "key_script.h"

#include <windows.h>

#include <string.h>

#include <string>

#include "harness/arguments.h"
#include "platform/testing.h"

const ProgramKey kProgramKeys[6] = {
    {"up", VK_UP}, {"down", VK_DOWN}, {"left", VK_LEFT}, {"right", VK_RIGHT}, {"z", 'Z'}, {"x", 'X'},
};

void ReleaseProgramKeys() {
    for (const ProgramKey& key : kProgramKeys) PlatformSetKeyForTests(key.virtualKey, false);
}

bool ParseKeyHold(const char* text, KeyHold* hold) {
    const char* colon = strchr(text, ':');
    if (colon == nullptr) return false;
    const std::string name(text, colon);
    hold->virtualKey = 0;
    for (const ProgramKey& key : kProgramKeys) {
        if (name == key.name) hold->virtualKey = key.virtualKey;
    }
    if (hold->virtualKey == 0) return false;

    const std::string range(colon + 1);
    const size_t dash = range.find('-');
    if (dash == std::string::npos) {
        hold->first = 0;
        return ParseNumber(range.c_str(), 1, &hold->end);
    }
    return ParseNumber(range.substr(0, dash).c_str(), 0, &hold->first) &&
           ParseNumber(range.substr(dash + 1).c_str(), hold->first + 1, &hold->end);
}

// A key is down in a frame when any of its holds covers that frame.
void SetKeysForFrame(const std::vector<KeyHold>& holds, long frame) {
    for (const ProgramKey& key : kProgramKeys) {
        bool down = false;
        for (const KeyHold& hold : holds) {
            if (hold.virtualKey == key.virtualKey && frame >= hold.first && frame < hold.end) down = true;
        }
        PlatformSetKeyForTests(key.virtualKey, down);
    }
}
