// The render device on a real window and Mesa context: what Create builds (pixel format, palette,
// glyph sets, swap synchronisation), the render state RenderFrame sets around the callback, and
// what Release gives back.
#include "device/render_device.h"

#include <SDL.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

const uint32_t kWidth = 1024;
const uint32_t kHeight = 768;

int destroyMessages;  // WM_DESTROY received by the device's window

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) ++destroyMessages;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND OpenWindow(const char* className) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    if (!RegisterClassExA(&windowClass)) return nullptr;
    return CreateWindowExA(0, className, className, WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

// The offset of the first non-zero byte of the record, or -1 when every byte is zero.
long FirstNonZeroByte(const RenderDevice& record) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (size_t i = 0; i < sizeof record; ++i) {
        if (bytes[i] != 0) return static_cast<long>(i);
    }
    return -1;
}

std::string Extensions() {
    const char* text = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return text != nullptr ? text : "";
}

class RenderDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformResetForTests();
        destroyMessages = 0;
        window = OpenWindow("Render Device Test");
        ASSERT_NE(window, nullptr) << "a 1024x768 window through the layer";
    }

    void TearDown() override {
        device.Release();
        PlatformResetForTests();
    }

    HWND window = nullptr;
};

// --- Create ----------------------------------------------------------------------------------

TEST_F(RenderDeviceTest, CreateBindsAContextWithTheRequestedFormat) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);

    EXPECT_EQ(device.window, window);
    EXPECT_EQ(device.width, kWidth);
    EXPECT_EQ(device.height, kHeight);
    EXPECT_EQ(device.dc, GetDC(window)) << "the window's own device context";
    EXPECT_NE(device.pixelFormat, 0);
    EXPECT_NE(device.context, nullptr);
    EXPECT_NE(device.quadric, nullptr);
    EXPECT_NE(SDL_GL_GetCurrentContext(), nullptr) << "the context is current after Create";

    const PIXELFORMATDESCRIPTOR& request = device.pixelFormatRequest;
    EXPECT_EQ(request.nSize, 40);
    EXPECT_EQ(request.nVersion, 1);
    EXPECT_EQ(request.dwFlags, 0x25u) << "draw to window, OpenGL, double buffer";
    EXPECT_EQ(request.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(request.cColorBits, 24);
    EXPECT_EQ(request.cDepthBits, 16);
    EXPECT_EQ(request.cAlphaBits, 0);
    EXPECT_EQ(request.cStencilBits, 0);
    EXPECT_EQ(request.cAccumBits, 0);
    EXPECT_EQ(request.cAuxBuffers, 0);

    // What the driver gave for that request. (Double buffering is not checked: the offscreen
    // driver renders into a single-buffered pbuffer whatever is asked.)
    GLint red = 0, green = 0, blue = 0, depth = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    EXPECT_EQ(red + green + blue, 24);
    EXPECT_GE(depth, 16);
}

TEST_F(RenderDeviceTest, PaletteRunsFromGreenToMagentaAtHalfAlpha) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);

    struct Entry {
        int index;
        float r, g, b, a;
    };
    // The entries the scene uses, and both ends.
    const Entry named[] = {
        {0, 0.0f, 1.0f, 0.0f, 0.5f},
        {64, 0.25f, 0.75f, 0.25f, 0.5f},
        {128, 0.5f, 0.5f, 0.5f, 0.5f},
        {240, 0.9375f, 0.0625f, 0.9375f, 0.5f},
        {255, 255.0f / 256.0f, 1.0f / 256.0f, 255.0f / 256.0f, 0.5f},
    };
    for (const Entry& entry : named) {
        const float* colour = device.palette[entry.index];
        EXPECT_EQ(colour[0], entry.r) << "red of entry " << entry.index;
        EXPECT_EQ(colour[1], entry.g) << "green of entry " << entry.index;
        EXPECT_EQ(colour[2], entry.b) << "blue of entry " << entry.index;
        EXPECT_EQ(colour[3], entry.a) << "alpha of entry " << entry.index;
    }
    // Every step is exactly 1/256: no rounding creeps in along the ramp.
    for (int i = 0; i < 256; ++i) {
        const float* colour = device.palette[i];
        const float ramp = static_cast<float>(i) / 256.0f;
        EXPECT_EQ(colour[0], ramp) << "red of entry " << i;
        EXPECT_EQ(colour[1], 1.0f - ramp) << "green of entry " << i;
        EXPECT_EQ(colour[2], ramp) << "blue of entry " << i;
        EXPECT_EQ(colour[3], 0.5f) << "alpha of entry " << i;
    }
}

TEST_F(RenderDeviceTest, GlyphSetsHoldCodes0To254) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);
    ASSERT_NE(device.lineFontBase, 0u);
    ASSERT_NE(device.polygonFontBase, 0u);
    EXPECT_NE(device.lineFontBase, device.polygonFontBase);

    // Metrics in em units, of a proportional font.
    const GLYPHMETRICSFLOAT* polygon = device.polygonGlyphs;
    const GLYPHMETRICSFLOAT* line = device.lineGlyphs;
    EXPECT_GT(polygon['W'].gmfCellIncX, polygon['i'].gmfCellIncX);
    EXPECT_GT(polygon['i'].gmfCellIncX, 0.0f);
    EXPECT_LT(polygon['W'].gmfCellIncX, 2.0f);
    EXPECT_EQ(line['W'].gmfCellIncX, polygon['W'].gmfCellIncX) << "both sets come from the same font";
    EXPECT_EQ(line['i'].gmfCellIncX, polygon['i'].gmfCellIncX) << "both sets come from the same font";

    // 'B' from the polygon set is filled; from the line set it is outlines only.
    auto countTokens = [](const std::vector<FeedbackPrimitive>& primitives, int* polygons, int* lines) {
        *polygons = *lines = 0;
        for (const FeedbackPrimitive& primitive : primitives) {
            if (primitive.token == GL_POLYGON_TOKEN) ++*polygons;
            if (primitive.token == GL_LINE_TOKEN || primitive.token == GL_LINE_RESET_TOKEN) ++*lines;
        }
    };
    device.RenderFrame([](RenderDevice*) {});  // the pixel projection
    const char letter = 'B';
    int polygons = 0, lines = 0;
    countTokens(CaptureFeedback([&] {
                    glPushMatrix();
                    glTranslatef(100.0f, 100.0f, 0.0f);
                    glScalef(24.0f, 24.0f, 0.0f);
                    glListBase(device.polygonFontBase);
                    glCallLists(1, GL_UNSIGNED_BYTE, &letter);
                    glPopMatrix();
                }),
                &polygons, &lines);
    EXPECT_GT(polygons, 0) << "polygons of 'B' from the polygon set";
    EXPECT_EQ(lines, 0) << "lines of 'B' from the polygon set";
    countTokens(CaptureFeedback([&] {
                    glPushMatrix();
                    glTranslatef(100.0f, 100.0f, 0.0f);
                    glScalef(24.0f, 24.0f, 0.0f);
                    glListBase(device.lineFontBase);
                    glCallLists(1, GL_UNSIGNED_BYTE, &letter);
                    glPopMatrix();
                }),
                &polygons, &lines);
    EXPECT_EQ(polygons, 0) << "polygons of 'B' from the line set";
    EXPECT_GT(lines, 0) << "lines of 'B' from the line set";

    // Code 255 is the 256th list of each block, left empty: no shape and no advance.
    for (GLuint base : {device.polygonFontBase, device.lineFontBase}) {
        const unsigned char last = 255;
        const std::vector<FeedbackPrimitive> drawn = CaptureFeedback([&] {
            glPushMatrix();
            glTranslatef(100.0f, 100.0f, 0.0f);
            glScalef(24.0f, 24.0f, 0.0f);
            glListBase(base);
            glCallLists(1, GL_UNSIGNED_BYTE, &last);
            glBegin(GL_POINTS);
            glVertex2f(0.0f, 0.0f);  // where the next glyph would start
            glEnd();
            glPopMatrix();
        });
        ASSERT_EQ(drawn.size(), 1u) << "only the marker point after code 255 (list base " << base << ")";
        EXPECT_EQ(drawn[0].token, static_cast<GLenum>(GL_POINT_TOKEN));
        EXPECT_NEAR(drawn[0].vertices[0].x, 100.0f, 1e-3) << "code 255 moved the pen (list base " << base << ")";
        EXPECT_NEAR(drawn[0].vertices[0].y, 100.0f, 1e-3) << "code 255 moved the pen (list base " << base << ")";
    }
}

TEST_F(RenderDeviceTest, FullScreenSwitchesTheWindowToFullScreen) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 0), 0);
    SDL_Window* sdl = SDL_GL_GetCurrentWindow();
    ASSERT_NE(sdl, nullptr);
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN, 0u) << "flags " << SDL_GetWindowFlags(sdl);
}

TEST_F(RenderDeviceTest, WindowedLeavesTheDisplayModeAlone) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);
    SDL_Window* sdl = SDL_GL_GetCurrentWindow();
    ASSERT_NE(sdl, nullptr);
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN, 0u) << "flags " << SDL_GetWindowFlags(sdl);
}

// --- Swap synchronisation --------------------------------------------------------------------

// The offscreen driver can set a swap interval, so the extension is offered and taken.
TEST_F(RenderDeviceTest, AsksForOneRefreshPerSwapWhenTheDriverOffersIt) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);
    ASSERT_NE(Extensions().find("WGL_EXT_swap_control"), std::string::npos)
        << "this driver should offer swap control; extensions: " << Extensions();
    EXPECT_EQ(SDL_GL_GetSwapInterval(), 1);
}

// A driver without WGL_EXT_swap_control: no interval is asked for and the default stays.
TEST_F(RenderDeviceTest, LeavesTheDefaultIntervalWithoutSwapControl) {
    PlatformSetSwapControlForTests(0);
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);
    EXPECT_EQ(Extensions().find("WGL_EXT_swap_control"), std::string::npos) << Extensions();
    EXPECT_EQ(wglGetProcAddress("wglSwapIntervalEXT"), nullptr);
    EXPECT_EQ(SDL_GL_GetSwapInterval(), 0) << "the driver's default";
}

// --- RenderFrame -----------------------------------------------------------------------------

// What the callback saw, for the test to check after RenderFrame returns.
struct FrameObservation {
    int calls;
    RenderDevice* device;
    GLboolean blend, polygonSmooth, depthTest, cullFace, normalize, lineSmooth;
    GLint blendSource, blendDestination;
    GLint lineSmoothHint, polygonSmoothHint;
    GLint viewport[4];
    GLint matrixMode;
    GLfloat modelview[16];
    GLfloat colour[4];
    std::vector<FeedbackPrimitive> points;
    Rgba pixel;              // at (10, 20), where the point is drawn
    Rgba neighbours[4];      // left, right, below, above
};
FrameObservation seen;

void ObserveFrame(RenderDevice* device) {
    ++seen.calls;
    seen.device = device;
    seen.blend = glIsEnabled(GL_BLEND);
    seen.polygonSmooth = glIsEnabled(GL_POLYGON_SMOOTH);
    seen.depthTest = glIsEnabled(GL_DEPTH_TEST);
    seen.cullFace = glIsEnabled(GL_CULL_FACE);
    seen.normalize = glIsEnabled(GL_NORMALIZE);
    seen.lineSmooth = glIsEnabled(GL_LINE_SMOOTH);
    glGetIntegerv(GL_BLEND_SRC, &seen.blendSource);
    glGetIntegerv(GL_BLEND_DST, &seen.blendDestination);
    glGetIntegerv(GL_LINE_SMOOTH_HINT, &seen.lineSmoothHint);
    glGetIntegerv(GL_POLYGON_SMOOTH_HINT, &seen.polygonSmoothHint);
    glGetIntegerv(GL_VIEWPORT, seen.viewport);
    glGetIntegerv(GL_MATRIX_MODE, &seen.matrixMode);
    glGetFloatv(GL_MODELVIEW_MATRIX, seen.modelview);
    glGetFloatv(GL_CURRENT_COLOR, seen.colour);

    // Pixel centres of the two corners of the window, through the projection and viewport.
    seen.points = CaptureFeedback([] {
        glBegin(GL_POINTS);
        glVertex2f(0.5f, 0.5f);
        glVertex2f(10.5f, 20.5f);
        glVertex2f(1023.5f, 767.5f);
        glEnd();
    });

    glClear(GL_COLOR_BUFFER_BIT);
    glPointSize(1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_POINTS);
    glVertex2f(10.5f, 20.5f);
    glEnd();
    seen.pixel = ReadPixel(10, 20);
    seen.neighbours[0] = ReadPixel(9, 20);
    seen.neighbours[1] = ReadPixel(11, 20);
    seen.neighbours[2] = ReadPixel(10, 19);
    seen.neighbours[3] = ReadPixel(10, 21);
}

TEST_F(RenderDeviceTest, RenderFrameSetsTheStateEnvelopeAroundTheCallback) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);

    // Leave state behind that the envelope must put right.
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_NORMALIZE);
    glDisable(GL_BLEND);
    glDisable(GL_POLYGON_SMOOTH);
    glBlendFunc(GL_ONE, GL_ZERO);
    glHint(GL_LINE_SMOOTH_HINT, GL_FASTEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
    glViewport(5, 6, 100, 200);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(40.0f, 50.0f, 0.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glColor4f(0.2f, 0.3f, 0.4f, 0.5f);

    seen = FrameObservation();
    device.RenderFrame(ObserveFrame);

    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.device, &device) << "the callback gets the device it was handed by";
    EXPECT_EQ(seen.blend, GL_TRUE) << "GL_BLEND";
    EXPECT_EQ(seen.polygonSmooth, GL_TRUE) << "GL_POLYGON_SMOOTH";
    EXPECT_EQ(seen.depthTest, GL_FALSE) << "GL_DEPTH_TEST";
    EXPECT_EQ(seen.cullFace, GL_FALSE) << "GL_CULL_FACE";
    EXPECT_EQ(seen.normalize, GL_FALSE) << "GL_NORMALIZE";
    EXPECT_EQ(seen.lineSmooth, GL_FALSE) << "GL_LINE_SMOOTH is hinted, not enabled";
    EXPECT_EQ(seen.blendSource, GL_SRC_ALPHA);
    EXPECT_EQ(seen.blendDestination, GL_ONE);
    EXPECT_EQ(seen.lineSmoothHint, GL_NICEST);
    EXPECT_EQ(seen.polygonSmoothHint, GL_NICEST);
    EXPECT_EQ(seen.viewport[0], 0);
    EXPECT_EQ(seen.viewport[1], 0);
    EXPECT_EQ(seen.viewport[2], 1024);
    EXPECT_EQ(seen.viewport[3], 768);
    EXPECT_EQ(seen.matrixMode, GL_MODELVIEW);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(seen.modelview[i], i % 5 == 0 ? 1.0f : 0.0f) << "model-view element " << i;
    }
    EXPECT_EQ(seen.colour[0], 1.0f);
    EXPECT_EQ(seen.colour[1], 1.0f);
    EXPECT_EQ(seen.colour[2], 1.0f);
    EXPECT_EQ(seen.colour[3], 1.0f);

    // One unit per pixel, origin at the bottom-left corner.
    ASSERT_EQ(seen.points.size(), 3u);
    const FeedbackVertex expected[] = {{0.5f, 0.5f}, {10.5f, 20.5f}, {1023.5f, 767.5f}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(seen.points[i].token, static_cast<GLenum>(GL_POINT_TOKEN));
        EXPECT_NEAR(seen.points[i].vertices[0].x, expected[i].x, 1e-3) << "point " << i;
        EXPECT_NEAR(seen.points[i].vertices[0].y, expected[i].y, 1e-3) << "point " << i;
    }
    // The point at (10.5, 20.5) lights pixel (10, 20) and nothing around it; white at full alpha
    // adds fully.
    EXPECT_EQ(seen.pixel.r, 255);
    EXPECT_EQ(seen.pixel.g, 255);
    EXPECT_EQ(seen.pixel.b, 255);
    for (int i = 0; i < 4; ++i) {
        const Rgba& n = seen.neighbours[i];
        EXPECT_EQ(n.r + n.g + n.b, 0) << "neighbour " << i << " of (10, 20) is (" << int(n.r) << ", "
                                      << int(n.g) << ", " << int(n.b) << ")";
    }
}

// --- Release ---------------------------------------------------------------------------------

TEST_F(RenderDeviceTest, ReleaseDestroysTheWindowAndASecondReleaseOnlyClears) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);

    device.Release();
    EXPECT_EQ(FirstNonZeroByte(device), -1) << "first non-zero byte of the released record";
    EXPECT_EQ(destroyMessages, 1);
    EXPECT_EQ(GetDC(window), nullptr) << "the window is gone";
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr) << "no context is current after Release";

    // Values with no handle behind them: the second call must clear them and touch nothing else.
    device.width = 640;
    device.palette[3][1] = 0.25f;
    device.polygonGlyphs[65].gmfCellIncX = 1.0f;
    device.Release();
    EXPECT_EQ(FirstNonZeroByte(device), -1) << "first non-zero byte after the second Release";
    EXPECT_EQ(destroyMessages, 1) << "the second Release destroyed a window";
}

// Release deletes the glyph lists while their context is still current, and gives back only
// what the record holds: with the context and window taken out of the record, both survive and
// the context can be asked whether the lists still exist. (The quadric cannot be asked about; in
// the sanitizer build LeakSanitizer reports it if Release keeps it.)
TEST_F(RenderDeviceTest, ReleaseDeletesTheGlyphListsAndReleasesOnlyWhatIsHeld) {
    ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);
    const GLuint lineBase = device.lineFontBase;
    const GLuint polygonBase = device.polygonFontBase;
    const GLuint offsets[] = {0, 'B', 255};
    for (GLuint offset : offsets) {
        ASSERT_TRUE(glIsList(lineBase + offset)) << "line list " << offset << " before Release";
        ASSERT_TRUE(glIsList(polygonBase + offset)) << "polygon list " << offset << " before Release";
    }

    const HGLRC context = device.context;
    const HWND keptWindow = device.window;
    device.context = nullptr;
    device.window = nullptr;
    device.Release();
    EXPECT_EQ(FirstNonZeroByte(device), -1) << "first non-zero byte of the released record";
    EXPECT_EQ(destroyMessages, 0) << "Release destroyed a window it did not hold";

    HDC dc = GetDC(keptWindow);
    ASSERT_NE(dc, nullptr) << "the window not held by the record is still there";
    ASSERT_TRUE(wglMakeCurrent(dc, context)) << "the context not held by the record is still there";
    for (GLuint offset : offsets) {
        EXPECT_FALSE(glIsList(lineBase + offset)) << "line list " << offset << " after Release";
        EXPECT_FALSE(glIsList(polygonBase + offset)) << "polygon list " << offset << " after Release";
    }
}

// --- Failure ---------------------------------------------------------------------------------

// On a machine without OpenGL, Create says so and Release still gives the window back.
TEST_F(RenderDeviceTest, FailedContextIsReportedAndReleaseStillCleansUp) {
    PlatformFailContextsForTests(true);
    testing::internal::CaptureStdout();
    const int result = device.Create(window, kWidth, kHeight, 1);
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_NE(result, 0);
    EXPECT_EQ(printed.rfind("ERROR : ", 0), 0u) << "printed: \"" << printed << "\"";
    EXPECT_EQ(printed.find('\n'), printed.size() - 1) << "one line; printed: \"" << printed << "\"";
    EXPECT_EQ(device.context, nullptr);
    EXPECT_EQ(device.window, window) << "the window is the device's from Create on";

    device.Release();
    EXPECT_EQ(destroyMessages, 1);
    EXPECT_EQ(GetDC(window), nullptr) << "the window is gone";
    EXPECT_EQ(FirstNonZeroByte(device), -1) << "first non-zero byte of the released record";
}

}  // namespace
