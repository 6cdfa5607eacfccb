// Where brimvalk-pacing learns when the six keys the program reads went down and up: the display
// server's own time stamps where it gives them (key_events_x11.cpp, key_events_wayland.cpp), else
// the moment the tool set a key itself (--hold). One interface, picked by the window's platform.
#ifndef BRIMVALK_TOOLS_PACING_KEY_EVENTS_H
#define BRIMVALK_TOOLS_PACING_KEY_EVENTS_H

#include <SDL.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "harness/key_script.h"
#include "tools/pacing/input_latency.h"

class KeyEvents {
public:
    // The display server's key events for `window`'s platform; where it has none to give, a source
    // that says why. Never null.
    static std::unique_ptr<KeyEvents> Open(SDL_Window* window);
    // The tool's own: the keys --hold sets, timed as it sets them.
    static std::unique_ptr<KeyEvents> Held(const std::vector<KeyHold>& holds);
    virtual ~KeyEvents() = default;

    // Around each frame's buffer swap (frames from 0, in order); the frame's input line has been
    // sampled before BeforeSwap. Before the loop, Start() for frame 0.
    virtual void Start() {}
    virtual void BeforeSwap(long frame) { (void)frame; }
    virtual void AfterSwap(long frame) { (void)frame; }
    // After the last swap.
    virtual void Finish() {}

    // Presses or releases kProgramKeys[key] through the display server, for --press; false when
    // it cannot, with `whyNot` saying why (set from the start).
    virtual bool Press(int key, bool down) { (void)key; (void)down; return false; }
    std::string pressWhyNot = "there is no display server to send keys through (offscreen): use --hold";

    // The clock of the events' times: the tool's (CLOCK_MONOTONIC), or the presentation clock where a
    // source is told of it and can put its times there as they come.
    clockid_t clock = CLOCK_MONOTONIC;
    virtual void SetPresentationClock(clockid_t presentClock) { (void)presentClock; }

    // Where the times come from, for the report's line; read after Finish.
    std::string source;
    const std::vector<KeyEvent>& events() const { return events_; }

protected:
    std::vector<KeyEvent> events_;
};

// The sources, each in its own file; each returns null when its platform is not the window's.
std::unique_ptr<KeyEvents> OpenX11KeyEvents(SDL_Window* window);
std::unique_ptr<KeyEvents> OpenWaylandKeyEvents(SDL_Window* window);

#endif
