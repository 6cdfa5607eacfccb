// The subset of WINMM that Brimvalk Test calls: joystick position and the millisecond timer.
#ifndef BRIMVALK_PLATFORM_MMSYSTEM_H
#define BRIMVALK_PLATFORM_MMSYSTEM_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef UINT MMRESULT;

typedef struct joyinfo_tag {
    UINT wXpos;
    UINT wYpos;
    UINT wZpos;
    UINT wButtons;
} JOYINFO, *LPJOYINFO;

#define JOYSTICKID1 0

#define JOYERR_NOERROR 0
#define JOYERR_BASE 160
#define JOYERR_PARMS (JOYERR_BASE + 5)
#define JOYERR_UNPLUGGED (JOYERR_BASE + 7)

#define JOY_BUTTON1 0x0001
#define JOY_BUTTON2 0x0002

MMRESULT WINAPI joyGetPos(UINT joystickId, LPJOYINFO info);
DWORD WINAPI timeGetTime(void);

#ifdef __cplusplus
}
#endif

#endif
