// Brings up Wine's desktop before a Windows program under test starts, and holds it while the program runs.
// A process's first window makes Wine start its desktop process (explorer /desktop) and wait 10 s for it at most;
// past that, the process goes on without a display driver and CreateWindowExA fails ("The explorer process failed
// to start"). A busy machine, or the i386 emulator, can take longer. wine-launch.sh runs this first, starts Wine's
// session again when it fails, and starts the program once it has printed "ready"; it then sleeps until Wine's
// session is ended (wineserver -k), so that the desktop stays up between the program's start and its first window.
#include <windows.h>
#include <stdio.h>

int main(void) {
    // Never shown: a window that only a desktop with its display driver can create.
    HWND probe = CreateWindowExA(0, "STATIC", "desktop probe", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    if (probe == NULL) {
        fprintf(stderr, "wine-desktop: no desktop with a display driver (CreateWindowExA failed, error %lu)\n",
                GetLastError());
        return 1;
    }
    DestroyWindow(probe);
    printf("ready\n");
    fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
