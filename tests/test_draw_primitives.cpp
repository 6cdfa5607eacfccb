// DrawGrid and DrawEllipse on a real device: geometry through GL feedback in window coordinates.
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

const float kPi = 3.14159265358979f;

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

bool Near(float a, float b) { return fabsf(a - b) < 1e-3f; }

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

TEST_F(DrawPrimitivesTest, EllipseIsA16GonTurnedAboutItsCentreInItsStyle) {
    struct Case { EllipseStyle style; float angle; int polygons, rimEdges, spokes; };
    const Case cases[] = {
        {0, 0, 16, 0, 0}, {0, 90, 16, 0, 0}, {0, 30, 16, 0, 0},         // filled; at 90: 16 wide, 8 tall
        {1, 0, 0, 16, 0}, {1, 30, 0, 16, 0},                             // the outline only
        {2, 30, 0, 16, 16}, {-1, 0, 0, 16, 16}, {1000, 0, 0, 16, 16},  // the segment lines
    };
    glTranslatef(200.0f, 150.0f, 0.0f);  // drawn at (100, 50): centred on (300, 200)
    const std::vector<float> modelView = Get(GL_MODELVIEW_MATRIX, 16);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << ", angle " << c.angle);
        // 4 across, 8 up, turned anticlockwise; GLU puts a corner on the x axis.
        std::vector<FeedbackVertex> corners;
        const float turn = c.angle * kPi / 180.0f;
        for (int k = 0; k < 16; ++k) {
            const float x = 4.0f * cosf(kPi * k / 8.0f), y = 8.0f * sinf(kPi * k / 8.0f);
            corners.push_back({300.0f + x * cosf(turn) - y * sinf(turn), 200.0f + x * sinf(turn) + y * cosf(turn)});
        }
        int polygons = 0, rimEdges = 0, spokes = 0, stray = 0;
        std::vector<bool> seen(16, false);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        for (const FeedbackPrimitive& p :
             CaptureFeedback([&] { device.DrawEllipse(100.0f, 50.0f, 4.0f, 8.0f, c.angle, 16, c.style, 200); })) {
            int onRim = 0, atCentre = 0;
            for (const FeedbackVertex& v : p.vertices) {
                int k = 0;
                while (k < 16 && !(Near(v.x, corners[k].x) && Near(v.y, corners[k].y))) ++k;
                if (k < 16) seen[k] = true;
                onRim += k < 16;
                atCentre += Near(v.x, 300.0f) && Near(v.y, 200.0f);
            }
            // GLU also outlines the zero inner radius: lines on the centre, which are neither.
            const bool line = p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN;
            polygons += p.token == GL_POLYGON_TOKEN && onRim == 2 && atCentre == 1;
            rimEdges += line && onRim == 2;
            spokes += line && onRim == 1 && atCentre == 1;
            stray += onRim + atCentre != static_cast<int>(p.vertices.size()) || !(line || p.token == GL_POLYGON_TOKEN);
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 16) << "corners drawn";
        const std::vector<int> expected = {c.polygons, c.rimEdges, c.spokes, 0};
        EXPECT_EQ(std::vector<int>({polygons, rimEdges, spokes, stray}), expected)
            << "polygons, rim edges, spokes, and primitives off the 16-gon";
        EXPECT_EQ(Get(GL_CURRENT_COLOR, 4), Palette(200));
        EXPECT_EQ(Get(GL_MODELVIEW_MATRIX, 16), modelView);
        EXPECT_EQ(Get(GL_MODELVIEW_STACK_DEPTH, 1), std::vector<float>{1.0f});
    }
}

}  // namespace
