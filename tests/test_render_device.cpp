// The render device on a real window and Mesa context: Create, the RenderFrame envelope, Release.
#include "device/render_device.h"

#include <SDL.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

const RenderDevice kClear = {};

RenderDevice* frameDevice;
void CheckFrameState(RenderDevice* seen) {
    frameDevice = seen;
    const std::pair<GLenum, std::vector<GLint>> states[] = {
        {GL_BLEND, {1}}, {GL_POLYGON_SMOOTH, {1}}, {GL_DEPTH_TEST, {0}}, {GL_CULL_FACE, {0}},
        {GL_BLEND_SRC, {GL_SRC_ALPHA}}, {GL_BLEND_DST, {GL_ONE}}, {GL_LINE_SMOOTH_HINT, {GL_NICEST}},
        {GL_POLYGON_SMOOTH_HINT, {GL_NICEST}}, {GL_MATRIX_MODE, {GL_MODELVIEW}}, {GL_VIEWPORT, {0, 0, 1024, 768}}};
    for (const auto& state : states) {
        GLint got[4] = {};
        glGetIntegerv(state.first, got);
        EXPECT_EQ(std::vector<GLint>(got, got + state.second.size()), state.second) << "0x" << std::hex << state.first;
    }
}

class RenderDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformResetForTests();
        const WNDCLASSEXA windowClass = {sizeof(WNDCLASSEXA), CS_OWNDC, PassThroughWindowProc, 0, 0,
                                         GetModuleHandleA(nullptr), nullptr, nullptr, nullptr, nullptr,
                                         "Render Device Test", nullptr};
        ASSERT_TRUE(RegisterClassExA(&windowClass));
        OpenWindow();
    }
    void TearDown() override {
        device.Release();
        PlatformResetForTests();
    }
    void OpenWindow() {
        window = CreateWindowExA(0, "Render Device Test", "", WS_POPUP, 0, 0, 1024, 768, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
    }
    HWND window = nullptr;
};

// Windowed where the driver offers swap control, full screen where it never does.
TEST_F(RenderDeviceTest, CreateBuildsTheDeviceAndRenderFrameSetsItsState) {
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

        // State left behind that the envelope must put right.
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glBlendFunc(GL_ONE, GL_ZERO);
        glViewport(5, 6, 100, 200);
        glTranslatef(40.0f, 50.0f, 0.0f);
        glMatrixMode(GL_PROJECTION);
        glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
        glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
        frameDevice = nullptr;
        device.RenderFrame(CheckFrameState);
        EXPECT_EQ(frameDevice, &device) << "the callback gets the device";

        device.Release();
    }
}

// With the context and window out of the record, the context can be asked about the glyph lists.
TEST_F(RenderDeviceTest, ReleaseDeletesOnlyWhatIsHeldAndASecondReleaseOnlyClears) {
    ASSERT_EQ(device.Create(window, 1024, 768, 1), 0);
    const GLuint bases[] = {device.lineFontBase, device.polygonFontBase};
    const HGLRC context = device.context;
    ASSERT_TRUE(glIsList(bases[0] + 255) && glIsList(bases[1] + 66)) << "lists before Release";
    device.context = nullptr;
    device.window = nullptr;
    device.Release();
    EXPECT_EQ(memcmp(&device, &kClear, sizeof device), 0);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr) << "no context is current after Release";
    ASSERT_TRUE(wglMakeCurrent(GetDC(window), context)) << "the window and context not held are still there";
    for (GLuint base : bases)
        for (GLuint offset : {0u, 66u, 255u}) EXPECT_FALSE(glIsList(base + offset)) << base << " + " << offset;
    device.width = 640;  // values with no handle behind them
    device.palette[3][1] = 0.25f;
    device.Release();
    EXPECT_EQ(memcmp(&device, &kClear, sizeof device), 0) << "after the second Release";
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
}

}  // namespace
