// Brimvalk Test: opens the window and its OpenGL device, seeds the body field and runs
// frames until Escape, a window close or a quit message.
#include <windows.h>

#include "app/body_field.h"
#include "app/frame_loop.h"
#include "device/app_window.h"
#include "device/render_device.h"

namespace {

const char kTitle[] = "Brimvalk Test.";
const int kWidth = 1024;
const int kHeight = 768;
const int kWindowed = 1;

}  // namespace

int main(int, char**, char**) {
    HWND window = CreateAppWindow(kTitle, kWidth, kHeight, kWindowed, AppWindowProc);
    if (window == nullptr) {
        // Already reported by CreateAppWindow; without a window nothing can be drawn.
        return 1;
    }

    int status = device.Create(window, kWidth, kHeight, kWindowed);
    if (status == 0) {
        InitBodies();
        RunFrameLoop();
    }
    device.Release();
    return status == 0 ? 0 : 1;
}
