// The render device on a real window and Mesa context: Create, and Release after a failed Create.
// What RenderFrame sets up shows in the frames test_scene.cpp reads back.
#include "device/render_device.h"

#include <SDL.h>
#include <string.h>

#include <string>
#include <vector>

#include "device/app_window.h"
#include "tests/test_support.h"

namespace {

const RenderDevice kClear = {};

class RenderDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { OpenWindow(); }
    void TearDown() override {
        device.Release();
        PlatformResetForTests();
    }
    void OpenWindow() {
        PlatformResetForTests();
        window = CreateAppWindow("Render Device Test", 1024, 768, 1, PassThroughWindowProc);
        ASSERT_NE(window, nullptr);
    }
    HWND window = nullptr;
};

// Windowed where the driver offers swap control, full screen where it never does.
TEST_F(RenderDeviceTest, CreateAsksForSwapSynchronisationAndFillsThePalette) {
    for (const int swapMode : {-1, 0}) {
        SCOPED_TRACE(testing::Message() << "swap control mode " << swapMode);
        const bool offered = swapMode != 0;
        if (!offered) OpenWindow();  // the first Release destroyed the window
        PlatformSetSwapControlForTests(swapMode);
        ASSERT_EQ(device.Create(window, 1024, 768, offered), 0);
        const std::string extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        EXPECT_EQ(extensions.find("WGL_EXT_swap_control") != std::string::npos, offered) << extensions;
        EXPECT_EQ(wglGetProcAddress("wglSwapIntervalEXT") != nullptr, offered);
        EXPECT_EQ(SDL_GL_GetSwapInterval(), offered ? 1 : 0) << "one refresh per swap when offered";
        const Uint32 flags = SDL_GetWindowFlags(SDL_GL_GetCurrentWindow());
        EXPECT_EQ((flags & SDL_WINDOW_FULLSCREEN) != 0, !offered) << "flags " << flags;

        auto entry = [](int i) { return std::vector<float>(device.palette[i], device.palette[i] + 4); };
        const float named[][3] = {{0, 0.0f, 1.0f}, {64, 0.25f, 0.75f}, {128, 0.5f, 0.5f}, {240, 0.9375f, 0.0625f}};
        for (const float* e : named)  // index, red and blue, green
            EXPECT_EQ(entry(static_cast<int>(e[0])), (std::vector<float>{e[1], e[2], e[1], 0.5f})) << e[0];

        device.Release();
    }
}

TEST_F(RenderDeviceTest, FailedContextIsReportedAndReleaseStillDestroysTheWindow) {
    PlatformFailContextsForTests(true);
    testing::internal::CaptureStdout();
    EXPECT_NE(device.Create(window, 1024, 768, 1), 0);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("ERROR : ", 0), 0u) << printed;
    EXPECT_EQ(printed.find('\n'), printed.size() - 1) << "one line: " << printed;
    device.Release();
    EXPECT_EQ(GetDC(window), nullptr) << "the window is gone";
    EXPECT_EQ(memcmp(&device, &kClear, sizeof device), 0);
    device.width = 640;  // values with no handle behind them
    device.Release();
    EXPECT_EQ(memcmp(&device, &kClear, sizeof device), 0) << "after a second Release";
}

}  // namespace
