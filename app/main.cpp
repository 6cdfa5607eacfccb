// Brimvalk Test: opens the window and its OpenGL device, seeds the body field and runs
// frames until Escape, a window close or a quit message.
#include <windows.h>

#include "app/body_field.h"
#include "app/frame_loop.h"
#include "app/program.h"
#include "device/app_window.h"
#include "device/render_device.h"

int main(int, char**, char**) {
    HWND window = CreateAppWindow(kProgramTitle, kProgramWidth, kProgramHeight, kProgramWindowed, AppWindowProc);
    if (window == nullptr) {
        // Already reported by CreateAppWindow; without a window nothing can be drawn.
        return 1;
    }

    int status = device.Create(window, kProgramWidth, kProgramHeight, kProgramWindowed);
    if (status == 0) {
        InitBodies();
        RunFrameLoop();
    }
    device.Release();
    return status == 0 ? 0 : 1;
}
