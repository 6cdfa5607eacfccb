// The frame-rate meter on a set clock; the device and the scene drawn into Mesa, read back or through GL feedback.
#include <math.h>
#include <stdlib.h>

#include <SDL.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/body_field.h"
#include "app/frame_rate_meter.h"
#include "app/program.h"
#include "app/scene.h"
#include "device/render_device.h"
#include "tests/test_support.h"

namespace {

DWORD fakeNow;

class FrameRateMeterTest : public ::testing::Test {
protected:
    void SetUp() override {
        meter = {};
        PlatformSetTimeSourceForTests([] { return fakeNow; });
    }
    void TearDown() override { PlatformResetForTests(); }
};

// The first interval opens at 8000 and counts that frame too; each later one runs from the last report's frame.
TEST_F(FrameRateMeterTest, ReportsAtTheFirstFrame1000MsOnCountingItself) {
    const struct { DWORD now; const char* printed; } ticks[] = {
        {8000, ""}, {8500, ""}, {8999, ""}, {9000, "4.00 fps            \n"}, {9999, ""},
        {10250, "1.60 fps            \n"}, {14250, "0.25 fps            \n"}, {0xFFFFFE00u, "0.00 fps            \n"},
        {0xFFFFFFFFu, ""}, {0x1E7u, ""}, {0x1E8u, "3.00 fps            \n"}};  // across the 32-bit wrap
    for (const auto& tick : ticks) {
        fakeNow = tick.now;
        testing::internal::CaptureStdout();
        UpdateFrameRate();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), tick.printed) << "at " << tick.now << " ms";
    }
}

const int kWidth = 1024, kHeight = 768;

class SceneTest : public FrameRateMeterTest {
protected:
    void SetUp() override {
        ASSERT_EQ(OpenDevice(kWidth, kHeight), 0);
        FrameRateMeterTest::SetUp();
        sceneClock = 0.0;
        InitBodies();
    }
    void TearDown() override { device.Release(); FrameRateMeterTest::TearDown(); }
};

TEST_F(SceneTest, DeviceAsksForSwapSynchronisationWhereOfferedHidesTheCursorInFullScreenAndStopsUnbound) {
    for (const bool offered : {true, false}) {
        SCOPED_TRACE(offered ? "offered, windowed" : "never offered, full screen");
        if (!offered) { ASSERT_EQ(OpenDevice(kWidth, kHeight, 0, [] { PlatformSetSwapControlForTests(0); }), 0); }
        EXPECT_EQ(SDL_GL_GetSwapInterval(), offered ? 1 : 0) << "one refresh per swap when offered";
        const Uint32 flags = SDL_GetWindowFlags(SDL_GL_GetCurrentWindow());
        EXPECT_EQ((flags & SDL_WINDOW_FULLSCREEN) != 0, !offered) << "flags " << flags;
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), offered ? SDL_ENABLE : SDL_DISABLE) << "cursor shown (1) or hidden (0)";
    }
    // A driver that fails a step: the device says which and fails, rather than drawing into nothing.
    const struct {
        void (*refuse)();
        const char* line;
    } refusals[] = {{[] { PlatformRefuseContextForTests(true); }, "ERROR : Can't Create OpenGL Context\n"},
                    {[] { PlatformRefuseMakeCurrentForTests(true); }, "ERROR : Can't Activate OpenGL Context\n"}};
    for (const auto& refusal : refusals) {
        testing::internal::CaptureStdout();
        const int status = OpenDevice(kWidth, kHeight, 1, refusal.refuse);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), refusal.line);
        EXPECT_EQ(status, 1) << refusal.line;
    }
}

std::vector<unsigned char> frame(kWidth * kHeight * 4);  // RGBA, read back before the swap

// Where no shape reaches, the grid at phase (px, py) only: a line at p lights the pixel it crosses (left of or
// below it on a boundary). The title, palette 240 (red = blue, green a fifteenth), starts at the bottom-left.
void RenderAndExpect(const char* printed, const std::vector<int>& covered, double px, double py) {
    testing::internal::CaptureStdout();
    device.RenderFrame([](RenderDevice* target) {
        DrawScene(target);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
    });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), printed);
    long checked = 0, wrong = 0;
    std::string first;  // x, y, the RGB got and the grey wanted
    const float* grey = device.palette[128];  // drawn additively at its alpha, once per line
    // The title's polygon lists hold a front and a back face; flattened, both add up on each of its pixels.
    const float* magenta = device.palette[240];
    const int bright = static_cast<int>(2 * magenta[0] * magenta[3] * 255.0f) - 2;
    std::vector<int> lit(kWidth + kHeight, 0);  // the lines through each column, then each row
    for (double p = px > 0 ? px : px + 32; p < kWidth; p += 32) ++lit[static_cast<int>(ceil(p)) - 1];
    for (double p = py > 0 ? py : py + 32; p < kHeight; p += 32) ++lit[kWidth + static_cast<int>(ceil(p)) - 1];
    std::vector<int> t = {kWidth, kHeight, -1, -1, 0};  // the title's left, bottom, right, top and pixels
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const int x = i % kWidth, y = i / kWidth, r = frame[i * 4], g = frame[i * 4 + 1], b = frame[i * 4 + 2];
        const int want = static_cast<int>(lroundf(fminf(1.0f, grey[0] * grey[3] * (lit[x] + lit[kWidth + y])) * 255.0f));
        checked += covered[i] == 0;
        if (covered[i] == 0 && (abs(r - want) > 1 || abs(g - want) > 1 || abs(b - want) > 1) && wrong++ < 5)
            first += " " + testing::PrintToString(std::vector<int>{x, y, r, g, b, want});
        if (r < bright || abs(r - b) > 2 || abs(g * 15 - r) > 30) continue;
        t = {std::min(t[0], x), std::min(t[1], y), std::max(t[2], x), std::max(t[3], y), t[4] + 1};
    }
    EXPECT_GT(checked, kWidth * kHeight / 4);
    EXPECT_EQ(wrong, 0) << "grid at phase (" << px << ", " << py << "):" << first;
    // The title's ink at 24 pixels to the em.
    double pen = 0, left = 1e9, right = 0, top = 0;
    for (int i = 0; i < kProgramTitleLength; ++i) {
        const GLYPHMETRICSFLOAT& g = device.polygonGlyphs[static_cast<unsigned char>(kProgramTitle[i])];
        left = std::min(left, 24 * (pen + g.gmfptGlyphOrigin.x));
        right = std::max(right, 24 * (pen + g.gmfptGlyphOrigin.x + g.gmfBlackBoxX));
        top = std::max(top, 24.0 * g.gmfptGlyphOrigin.y);
        pen += g.gmfCellIncX;
    }
    EXPECT_TRUE(fabs(t[0] - left) < 1.5 && t[1] == 0 && fabs(t[2] - right) < 1.5 && fabs(t[3] - top) < 1.5 && t[4] > 300)
        << "title box and pixels of red " << bright << " and up " << testing::PrintToString(t) << ", ink from " << left
        << " to " << right << " up to " << top;
}

TEST_F(SceneTest, FramesShowTheGridAndTitleAndTickTheClockAndTheMeter) {
    std::vector<int> covered(kWidth * kHeight, 0);  // how many shapes may reach each pixel
    for (int i = -1; i < kBodyCount; ++i) {         // -1: the title, 0: the player
        const int x = i < 0 ? 100 : int(bodies[i].x), y = i < 0 ? 13 : int(bodies[i].y);
        const int rx = i < 0 ? 100 : i ? 12 : 34, ry = i < 0 ? 13 : rx;
        for (int v = std::max(0, y - ry); v <= std::min(kHeight - 1, y + ry); ++v)
            for (int u = std::max(0, x - rx); u <= std::min(kWidth - 1, x + rx); ++u) ++covered[v * kWidth + u];
    }
    RenderAndExpect("", covered, 0, 0);  // the first frame opens the meter's interval
    EXPECT_EQ(sceneClock, 1.0 / 60.0);

    sceneClock = 3333.35;  // 55 minutes on, 100000.5 and 166667.5 pixels: half a pixel and 11.5 into a cell
    fakeNow += 1000;
    RenderAndExpect("2.00 fps            \n", covered, 0.5, 11.5);  // one meter tick per frame drawn
}

std::vector<FeedbackPrimitive> drawnScene;

// Edges between neighbouring corners of a 16-sided ellipse turned by `angle` about (cx, cy), by the corner they
// start from clockwise (as GLU draws), drawn in palette colour 64 by primitives of `token`.
std::vector<int> Edges(double cx, double cy, double rx, double ry, double angle, GLenum token) {
    auto corner = [&](const FeedbackVertex& v) {
        const double turn = angle * M_PI / 180.0;
        for (int k = 0; k < 16; ++k) {
            const double x = rx * cos(k * M_PI / 8), y = ry * sin(k * M_PI / 8);  // then turned and moved
            if (hypot(v.x - cx - x * cos(turn) + y * sin(turn), v.y - cy - x * sin(turn) - y * cos(turn)) < 1e-3) return k;
        }
        return -100;
    };
    std::vector<int> edges(16, 0);
    for (const FeedbackPrimitive& p : drawnScene) {
        const FeedbackVertex& c = p.vertices[0];
        if ((p.token == GL_LINE_RESET_TOKEN ? GL_LINE_TOKEN : p.token) != token ||
            fabs(c.r - 0.25) + fabs(c.g - 0.75) + fabs(c.b - 0.25) + fabs(c.a - 0.5) > 1e-3)
            continue;
        const size_t n = p.vertices.size();
        for (size_t i = 0; i < (n == 2 ? 1 : n); ++i) {
            const int from = corner(p.vertices[i]), to = corner(p.vertices[(i + 1) % n]), turn = (to - from + 16) % 16;
            if (from >= 0 && to >= 0 && (turn == 1 || turn == 15)) ++edges[turn == 1 ? to : from];
        }
    }
    return edges;
}

// The player is an outline of radius 32, not also a body; body 1 is filled 4 by 8 and outlined 8 by 4.
TEST_F(SceneTest, PlayerAndBodiesAreSixteenSidedEllipsesTurnedAboutTheirCentres) {
    bodies[0].x = 500.0f, bodies[0].y = 400.0f, bodies[0].angle = 30.0f;
    bodies[1].x = 300.0f, bodies[1].y = 200.0f, bodies[1].angle = 30.0f;
    testing::internal::CaptureStdout();
    device.RenderFrame([](RenderDevice* target) { drawnScene = CaptureFeedback([&] { DrawScene(target); }); });
    testing::internal::GetCapturedStdout();
    const std::vector<int> once(16, 1), never(16, 0);
    EXPECT_EQ(Edges(500, 400, 32, 32, 30, GL_LINE_TOKEN), once) << "the player's outline";
    EXPECT_EQ(Edges(500, 400, 4, 8, 30, GL_POLYGON_TOKEN), never) << "a body's filled ellipse on the player";
    EXPECT_EQ(Edges(300, 200, 4, 8, 30, GL_POLYGON_TOKEN), once) << "body 1 filled";
    EXPECT_EQ(Edges(300, 200, 8, 4, 30, GL_LINE_TOKEN), once) << "body 1 outlined";
    EXPECT_EQ(Edges(300, 200, 8, 4, 30, GL_POLYGON_TOKEN), never) << "body 1's outline filled";
}

}  // namespace
