// Key presses and releases with the X server's own time stamps, for the pacing tool, which times
// keys against the frames that show them. The program never includes this.
#ifndef BRIMVALK_PLATFORM_RAW_KEYS_H
#define BRIMVALK_PLATFORM_RAW_KEYS_H

// On X11 with XInput 2.1, `hook` hears each raw key event as GetAsyncKeyState takes it into the key
// state, in the thread that called GetAsyncKeyState: the X key code, press or release, and the
// server's time in milliseconds. Null removes it; so does the layer's reset.
void PlatformSetRawKeyHook(void (*hook)(unsigned int keycode, bool pressed, unsigned long serverMs));

#endif
