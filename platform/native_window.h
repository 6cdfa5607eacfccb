// The window system under an SDL window, for the layer's own files and the tools beside the program
// (which read presentation times from it). The program never includes this.
#ifndef BRIMVALK_PLATFORM_NATIVE_WINDOW_H
#define BRIMVALK_PLATFORM_NATIVE_WINDOW_H

#include <SDL.h>
#include <SDL_syswm.h>

// Fills `info` when `window` lives on `subsystem` (SDL_SYSWM_X11, SDL_SYSWM_WAYLAND); false for
// another window system, no window, or an SDL that cannot say.
bool NativeWindowInfo(SDL_Window* window, SDL_SYSWM_TYPE subsystem, SDL_SysWMinfo* info);

#endif
