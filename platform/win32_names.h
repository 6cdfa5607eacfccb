// Win32's names for values the layer answers with but the program never passes. They stay out of
// include/windows.h, the program's contract, so that a new use there still fails to compile; the
// values are Win32's own (WinUser.h, WinGDI.h).
#ifndef BRIMVALK_PLATFORM_WIN32_NAMES_H
#define BRIMVALK_PLATFORM_WIN32_NAMES_H

// Stock objects.
#define WHITE_BRUSH 0
#define NULL_BRUSH 5
#define SYSTEM_FONT 13

// Virtual keys the layer turns native keys into.
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_F1 0x70
#define VK_F12 0x7B

// GetAsyncKeyState: bit 15, the key is down now.
#define KEY_STATE_DOWN 0x8000

// A style bit the program never sets: without it the layer asks for no maximise button.
#define WS_MAXIMIZEBOX 0x00010000L

// WM_SYSCOMMAND: the low four bits of wParam are the system's own; the command is the rest.
#define SC_COMMAND_MASK 0xFFF0

// The first atom of a registered class (atoms below it are integer atoms).
#define MAXINTATOM 0xC000

#endif
