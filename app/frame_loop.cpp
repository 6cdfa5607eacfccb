#include "frame_loop.h"

#include <windows.h>

#include "app/body_field.h"
#include "app/scene.h"
#include "device/render_device.h"

int PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return 0;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 1;
}

void RunFrameLoop() {
    while (PumpMessages() == 1) {
        UpdateScene();
        device.RenderFrame(DrawScene);
        Sleep(0);  // the rest of the time slice; the buffer swap paces the loop
    }
}
