// DrawGrid on a real device: lines through GL feedback in window coordinates. (DrawEllipse is seen
// through the scene: test_scene.cpp.)
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/app_window.h"
#include "device/render_device.h"
#include "tests/test_support.h"

namespace {

class DrawPrimitivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformResetForTests();
        HWND window = CreateAppWindow("Draw Primitives Test", 1024, 768, 1, PassThroughWindowProc);
        ASSERT_EQ(device.Create(window, 1024, 768, 1), 0);
        device.RenderFrame([](RenderDevice*) {});  // leaves the pixel projection in place
    }
    void TearDown() override {
        device.Release();
        PlatformResetForTests();
    }
};

std::vector<float> Get(GLenum what, int count) {
    std::vector<float> values(count);
    glGetFloatv(what, values.data());
    return values;
}

std::vector<float> Palette(int index) { return std::vector<float>(device.palette[index], device.palette[index] + 4); }

// A line as "x0,y0 x1,y1" to the thousandth of a pixel.
std::string Line(float x0, float y0, float x1, float y1) {
    auto r = [](float v) { return roundf(v * 1000.0f) / 1000.0f + 0.0f; };
    char text[96];
    snprintf(text, sizeof text, "%g,%g %g,%g", r(x0), r(y0), r(x1), r(y1));
    return text;
}

// DrawGrid's primitives in device pixels, in drawing order. Drawn at half size moved in by 64, so
// that lines off the window's edges reach feedback too.
std::vector<std::string> GridLines(float spacing, float offsetX, float offsetY) {
    const std::vector<FeedbackPrimitive> drawn = CaptureFeedback([&] {
        glPushMatrix();
        glTranslatef(64.0f, 64.0f, 0.0f);
        glScalef(0.5f, 0.5f, 1.0f);
        device.DrawGrid(spacing, offsetX, offsetY, 128, 0.5f);
        glPopMatrix();
    });
    std::vector<std::string> lines;
    for (const FeedbackPrimitive& p : drawn) {
        const std::vector<FeedbackVertex>& v = p.vertices;
        const bool line = p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN;
        lines.push_back(line ? Line((v[0].x - 64) * 2, (v[0].y - 64) * 2, (v[1].x - 64) * 2, (v[1].y - 64) * 2)
                             : "token " + std::to_string(p.token));
    }
    return lines;
}

TEST_F(DrawPrimitivesTest, GridLinesFollowTheSpacingAndThePhaseOfTheOffsets) {
    struct Case { float spacing, offsetX, offsetY, firstX; int countX; float firstY; int countY; };
    const Case cases[] = {
        {32, 0, 0, 0, 32, 0, 24},  // x = 0..992, y = 0..736: none on 1024 or 768
        {32, 45.5f, 100.25f, 13.5f, 32, 4.25f, 24},
        {32, -40, -70, -8, 33, -6, 25},  // negative offsets: the first line in (-32, 0]
        {32, -64, -96, 0, 32, 0, 24},  // a negative multiple: the first line on the edge
        {32, 100000.75f, 250001.5f, 0.75f, 32, 17.5f, 24},
        {100, 30, -20, 30, 10, -20, 8},
        {0, 0, 0, 0, 0, 0, 0},  // no positive spacing: no line and no state changed
        {-32, 0, 0, 0, 0, 0, 0},
        {NAN, 0, 0, 0, 0, 0, 0},  // gets past the test of the spacing but positions no line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "DrawGrid(" << c.spacing << ", " << c.offsetX << ", " << c.offsetY << ")");
        std::vector<std::string> expected;
        for (int i = 0; i < c.countX + c.countY; ++i) {  // the vertical lines, then the horizontal ones
            const float p = i < c.countX ? c.firstX + c.spacing * i : c.firstY + c.spacing * (i - c.countX);
            expected.push_back(i < c.countX ? Line(p, 0, p, 768) : Line(0, p, 1024, p));
        }
        glColor4f(0.125f, 0.25f, 0.375f, 0.625f);
        glLineWidth(3.0f);
        EXPECT_EQ(GridLines(c.spacing, c.offsetX, c.offsetY), expected);
        const bool drew = !(c.spacing <= 0.0f);
        EXPECT_EQ(Get(GL_LINE_WIDTH, 1), std::vector<float>{drew ? 1.0f : 3.0f});
        EXPECT_EQ(Get(GL_CURRENT_COLOR, 4), drew ? Palette(128) : std::vector<float>({0.125f, 0.25f, 0.375f, 0.625f}));
        EXPECT_EQ(Get(GL_MODELVIEW_STACK_DEPTH, 1), std::vector<float>{1.0f});
    }
}

// Past 512 adding 1/32768 no longer moves a float: the grid must stop there, not spin until CTest's
// time-out ends the run.
TEST_F(DrawPrimitivesTest, GridReturnsWhenTheSpacingStopsAdvancing) {
    ASSERT_EQ(512.0f + 1.0f / 32768.0f, 512.0f);
    device.height = 1;  // the horizontal lines end at once; the vertical ones reach the stall
    glEnable(GL_RASTERIZER_DISCARD);  // millions of lines: only their vertices go through
    device.DrawGrid(1.0f / 32768.0f, 0.0f, 0.0f, 128, 3.0f);
    glDisable(GL_RASTERIZER_DISCARD);
    EXPECT_EQ(Get(GL_LINE_WIDTH, 1), std::vector<float>{1.0f}) << "back to width 1 at the end";
}

}  // namespace
