// The device's drawing primitives, DrawGrid and DrawEllipse, on a real device: geometry through
// GL feedback mode in window coordinates, line widths through the pixels they light.
#include <math.h>
#include <stdio.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/render_device.h"
#include "tests/test_support.h"

namespace {

const float kPi = 3.14159265358979f;

// A bare 1024x768 window: the device sets its pixel format and makes its context, as in the program.
HWND OpenWindow(const char* className) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = PassThroughWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    if (!RegisterClassExA(&windowClass)) return nullptr;
    return CreateWindowExA(0, className, className, WS_POPUP, 0, 0, 1024, 768, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

class DrawPrimitivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformResetForTests();
        HWND window = OpenWindow("Draw Primitives Test");
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(device.Create(window, 1024, 768, 1), 0);
        // The frame envelope leaves the pixel projection in place for the draws that follow.
        device.RenderFrame([](RenderDevice*) {});
    }

    void TearDown() override {
        device.Release();
        PlatformResetForTests();
    }
};

// --- Geometry helpers ------------------------------------------------------------------------

struct Segment {
    FeedbackVertex a, b;
};

std::string Describe(const FeedbackVertex& v) {
    std::ostringstream text;
    text << "(" << v.x << ", " << v.y << ")";
    return text.str();
}

// The lines of a capture, and how many primitives were not lines.
struct LineCapture {
    std::vector<Segment> lines;
    int polygons = 0;
    int others = 0;
};

LineCapture SortPrimitives(const std::vector<FeedbackPrimitive>& primitives) {
    LineCapture capture;
    for (const FeedbackPrimitive& primitive : primitives) {
        if (primitive.token == GL_LINE_TOKEN || primitive.token == GL_LINE_RESET_TOKEN) {
            capture.lines.push_back({primitive.vertices[0], primitive.vertices[1]});
        } else if (primitive.token == GL_POLYGON_TOKEN) {
            ++capture.polygons;
        } else {
            ++capture.others;
        }
    }
    return capture;
}

// Grid lines in device pixels. Feedback reports window coordinates and clips whatever lies
// outside the window, so tests that need to see off-screen lines shrink and move the grid with
// the model-view matrix first: window = origin + scale * device.
struct GridView {
    float origin = 0.0f;
    float scale = 1.0f;
    float ToDevice(float window) const { return (window - origin) / scale; }
};

struct GridLines {
    std::vector<float> vertical;    // x of each vertical line, in drawing order
    std::vector<float> horizontal;  // y of each horizontal line, in drawing order
    std::vector<std::string> stray; // anything that is not a full-length grid line
    int nonLines = 0;
};

GridLines CaptureGrid(const std::function<void()>& draw, const GridView& view = GridView()) {
    const std::vector<FeedbackPrimitive> primitives = CaptureFeedback([&] {
        glPushMatrix();
        glTranslatef(view.origin, view.origin, 0.0f);
        glScalef(view.scale, view.scale, 1.0f);
        draw();
        glPopMatrix();
    });
    const LineCapture capture = SortPrimitives(primitives);
    GridLines grid;
    grid.nonLines = capture.polygons + capture.others;
    for (const Segment& line : capture.lines) {
        const float ax = view.ToDevice(line.a.x), ay = view.ToDevice(line.a.y);
        const float bx = view.ToDevice(line.b.x), by = view.ToDevice(line.b.y);
        const bool vertical = fabsf(ax - bx) < 1e-3f && fabsf(fminf(ay, by)) < 1e-3f &&
                              fabsf(fmaxf(ay, by) - 768.0f) < 1e-3f;
        const bool horizontal = fabsf(ay - by) < 1e-3f && fabsf(fminf(ax, bx)) < 1e-3f &&
                                fabsf(fmaxf(ax, bx) - 1024.0f) < 1e-3f;
        if (vertical) {
            grid.vertical.push_back(ax);
        } else if (horizontal) {
            grid.horizontal.push_back(ay);
        } else {
            grid.stray.push_back(Describe({ax, ay}) + "-" + Describe({bx, by}));
        }
    }
    return grid;
}

std::string Join(const std::vector<float>& values) {
    std::ostringstream text;
    for (float value : values) text << value << " ";
    return text.str();
}

// Expects `got` to be first, first + step, ... (`count` positions), within 1/1000 pixel.
void ExpectEvery(const std::vector<float>& got, float first, float step, size_t count, const char* what) {
    std::ostringstream expected;
    bool same = got.size() == count;
    for (size_t i = 0; i < count; ++i) {
        const float position = first + step * static_cast<float>(i);
        expected << position << " ";
        same = same && fabsf(got[i] - position) < 1e-3f;
    }
    EXPECT_TRUE(same) << what << ":\n  expected " << count << ": " << expected.str() << "\n  got " << got.size()
                      << ": " << Join(got);
}

void ExpectEvery32(const std::vector<float>& got, float first, size_t count, const char* what) {
    ExpectEvery(got, first, 32.0f, count, what);
}

// --- DrawGrid --------------------------------------------------------------------------------

TEST_F(DrawPrimitivesTest, GridAtPhaseZeroCoversTheWindowEvery32Pixels) {
    const GridLines grid = CaptureGrid([] { device.DrawGrid(32.0f, 0.0f, 0.0f, 128, 1.0f); });
    // x = 0 .. 992 and y = 0 .. 736: none on the far edges x = 1024, y = 768.
    ExpectEvery32(grid.vertical, 0.0f, 32, "vertical lines");
    ExpectEvery32(grid.horizontal, 0.0f, 24, "horizontal lines");
    EXPECT_TRUE(grid.stray.empty()) << "stray line " << grid.stray.front();
    EXPECT_EQ(grid.nonLines, 0);
}

TEST_F(DrawPrimitivesTest, GridPhaseFollowsTheOffsets) {
    // Half size, moved in by 64: every line of the grid shows, including off-screen ones.
    const GridView whole = {64.0f, 0.5f};

    // Positive and fractional offsets: the remainder modulo the spacing.
    GridLines grid = CaptureGrid([] { device.DrawGrid(32.0f, 45.5f, 100.25f, 128, 1.0f); }, whole);
    ExpectEvery32(grid.vertical, 13.5f, 32, "vertical lines, offset 45.5");
    ExpectEvery32(grid.horizontal, 4.25f, 24, "horizontal lines, offset 100.25");
    EXPECT_TRUE(grid.stray.empty()) << "stray line " << grid.stray.front();

    // Negative offsets: the first line lies between -32 and 0, off-screen, and is drawn too.
    grid = CaptureGrid([] { device.DrawGrid(32.0f, -40.0f, -70.0f, 128, 1.0f); }, whole);
    ExpectEvery32(grid.vertical, -8.0f, 33, "vertical lines, offset -40");
    ExpectEvery32(grid.horizontal, -6.0f, 25, "horizontal lines, offset -70");
    EXPECT_TRUE(grid.stray.empty()) << "stray line " << grid.stray.front();

    // A negative multiple of the spacing puts the first line on the window's edge.
    grid = CaptureGrid([] { device.DrawGrid(32.0f, -64.0f, -96.0f, 128, 1.0f); }, whole);
    ExpectEvery32(grid.vertical, 0.0f, 32, "vertical lines, offset -64");
    ExpectEvery32(grid.horizontal, 0.0f, 24, "horizontal lines, offset -96");

    // Large offsets, as after a long run: the phase is still exact.
    grid = CaptureGrid([] { device.DrawGrid(32.0f, 100000.75f, 250001.5f, 128, 1.0f); }, whole);
    ExpectEvery32(grid.vertical, 0.75f, 32, "vertical lines, offset 100000.75");
    ExpectEvery32(grid.horizontal, 17.5f, 24, "horizontal lines, offset 250001.5");

    // Any other spacing works the same way.
    grid = CaptureGrid([] { device.DrawGrid(100.0f, 30.0f, -20.0f, 128, 1.0f); }, whole);
    ExpectEvery(grid.vertical, 30.0f, 100.0f, 10, "vertical lines, spacing 100, offset 30");
    ExpectEvery(grid.horizontal, -20.0f, 100.0f, 8, "horizontal lines, spacing 100, offset -20");
}

TEST_F(DrawPrimitivesTest, GridWithoutAPositiveSpacingDrawsNothing) {
    GLint depthBefore = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    const float colour[4] = {0.125f, 0.25f, 0.375f, 0.625f};

    for (float spacing : {0.0f, -0.0f, -32.0f, -INFINITY}) {
        glColor4fv(colour);
        glLineWidth(3.0f);
        const GridLines grid = CaptureGrid([=] { device.DrawGrid(spacing, 0.0f, 0.0f, 128, 0.5f); });
        EXPECT_TRUE(grid.vertical.empty() && grid.horizontal.empty() && grid.stray.empty())
            << "spacing " << spacing << " drew " << grid.vertical.size() << " vertical, "
            << grid.horizontal.size() << " horizontal and " << grid.stray.size() << " other lines";

        // No state changes either.
        GLfloat current[4] = {};
        GLfloat width = 0.0f;
        glGetFloatv(GL_CURRENT_COLOR, current);
        glGetFloatv(GL_LINE_WIDTH, &width);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(current[i], colour[i]) << "colour component " << i << ", spacing " << spacing;
        EXPECT_EQ(width, 3.0f) << "line width, spacing " << spacing;
    }

    // NaN gets past the test but positions nothing: no line.
    const GridLines grid = CaptureGrid([] { device.DrawGrid(NAN, 0.0f, 0.0f, 128, 0.5f); });
    EXPECT_TRUE(grid.vertical.empty() && grid.horizontal.empty() && grid.stray.empty())
        << "NaN spacing drew " << grid.vertical.size() + grid.horizontal.size() + grid.stray.size() << " lines";
    GLfloat width = 0.0f;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f) << "line width after a NaN spacing";

    GLint depthAfter = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    EXPECT_EQ(depthAfter, depthBefore) << "model-view stack depth";
}

// A spacing too small to move a single-precision position past 512 pixels: adding it leaves the
// position where it is. The grid must still return. A watchdog ends the test if it does not,
// since a draw that never returns cannot be waited for any other way.
TEST_F(DrawPrimitivesTest, GridReturnsWhenTheSpacingStopsAdvancing) {
    const float spacing = 1.0f / 32768.0f;  // 512 + spacing rounds back to 512
    ASSERT_EQ(512.0f + spacing, 512.0f);
    ASSERT_GT(256.0f + spacing, 256.0f);

    std::mutex mutex;
    std::condition_variable finished;
    bool returned = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!finished.wait_for(lock, std::chrono::seconds(60), [&] { return returned; })) {
            ADD_FAILURE() << "DrawGrid(1/32768, 0, 0, ...) has not returned after 60 s: the loop does not stop "
                             "where the spacing no longer advances the position";
            fflush(stdout);
            std::_Exit(1);
        }
    });

    // Millions of lines: the rasteriser is switched off, the vertices still go through.
    glEnable(GL_RASTERIZER_DISCARD);
    device.DrawGrid(spacing, 0.0f, 0.0f, 128, 1.0f);
    glFinish();
    glDisable(GL_RASTERIZER_DISCARD);
    {
        std::lock_guard<std::mutex> lock(mutex);
        returned = true;
    }
    finished.notify_one();
    watchdog.join();

    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1) << "model-view stack depth after the cut-short grid";
}

// Pixels lit along row 100 around the vertical line at x = 32, columns 28 to 35.
std::string LitColumnsAround32() {
    std::string lit;
    for (int x = 28; x <= 35; ++x) {
        const Rgba pixel = ReadPixel(x, 100);
        if (pixel.r != 0) lit += std::to_string(x) + " ";
    }
    return lit;
}

TEST_F(DrawPrimitivesTest, GridDrawsAtItsLineWidthAndPutsTheWidthBackToOne) {
    glClear(GL_COLOR_BUFFER_BIT);
    device.DrawGrid(32.0f, 0.0f, 0.0f, 128, 3.0f);
    EXPECT_EQ(LitColumnsAround32(), "30 31 32 ") << "a line 3 pixels wide on x = 32";
    GLfloat width = 0.0f;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f) << "line width after DrawGrid(..., 3.0)";

    // The scene's half-pixel lines light one column; the width before the call does not matter.
    glLineWidth(5.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    device.DrawGrid(32.0f, 0.0f, 0.0f, 128, 0.5f);
    EXPECT_EQ(LitColumnsAround32(), "31 ") << "a line 0.5 pixels wide on x = 32";
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f) << "line width after DrawGrid(..., 0.5)";
}

// --- DrawEllipse -----------------------------------------------------------------------------

const float kCentreX = 300.0f;
const float kCentreY = 200.0f;

// The distinct vertices of what was drawn, apart from the centre.
std::vector<FeedbackVertex> RimVertices(const std::vector<FeedbackPrimitive>& primitives) {
    std::vector<FeedbackVertex> rim;
    for (const FeedbackPrimitive& primitive : primitives) {
        for (const FeedbackVertex& v : primitive.vertices) {
            if (fabsf(v.x - kCentreX) < 1e-3f && fabsf(v.y - kCentreY) < 1e-3f) continue;
            bool known = false;
            for (const FeedbackVertex& r : rim) known = known || (fabsf(r.x - v.x) < 1e-3f && fabsf(r.y - v.y) < 1e-3f);
            if (!known) rim.push_back(v);
        }
    }
    return rim;
}

// The corners of a 16-gon with these radii turned by `angle` degrees about the centre: GLU puts
// the disk's vertices every 22.5 degrees starting on an axis.
std::vector<FeedbackVertex> ExpectedRim(float radiusX, float radiusY, float angle) {
    std::vector<FeedbackVertex> rim;
    const float turn = angle * kPi / 180.0f;
    for (int k = 0; k < 16; ++k) {
        const float a = 2.0f * kPi * static_cast<float>(k) / 16.0f;
        const float x = radiusX * cosf(a);
        const float y = radiusY * sinf(a);
        rim.push_back({kCentreX + x * cosf(turn) - y * sinf(turn), kCentreY + x * sinf(turn) + y * cosf(turn)});
    }
    return rim;
}

// Every expected corner was drawn, and nothing else, within 1/1000 pixel.
void ExpectSameCorners(const std::vector<FeedbackVertex>& got, const std::vector<FeedbackVertex>& expected,
                       const char* what) {
    EXPECT_EQ(got.size(), expected.size()) << what << ": corners drawn";
    for (const FeedbackVertex& e : expected) {
        bool found = false;
        for (const FeedbackVertex& g : got) found = found || (fabsf(g.x - e.x) < 1e-3f && fabsf(g.y - e.y) < 1e-3f);
        if (!found) {
            std::string drawn;
            for (const FeedbackVertex& g : got) drawn += Describe(g) + " ";
            ADD_FAILURE() << what << ": expected a corner at " << Describe(e) << "; drawn: " << drawn;
            return;
        }
    }
}

struct Box {
    float left, right, bottom, top;
};
Box BoundsOf(const std::vector<FeedbackVertex>& vertices) {
    Box box = {INFINITY, -INFINITY, INFINITY, -INFINITY};
    for (const FeedbackVertex& v : vertices) {
        box.left = fminf(box.left, v.x);
        box.right = fmaxf(box.right, v.x);
        box.bottom = fminf(box.bottom, v.y);
        box.top = fmaxf(box.top, v.y);
    }
    return box;
}

float TriangleArea(const FeedbackPrimitive& p) {
    return 0.5f * fabsf((p.vertices[1].x - p.vertices[0].x) * (p.vertices[2].y - p.vertices[0].y) -
                        (p.vertices[2].x - p.vertices[0].x) * (p.vertices[1].y - p.vertices[0].y));
}

TEST_F(DrawPrimitivesTest, FilledEllipseIsA16GonOfTheGivenRadii) {
    const std::vector<FeedbackPrimitive> drawn =
        CaptureFeedback([] { device.DrawEllipse(kCentreX, kCentreY, 4.0f, 8.0f, 0.0f, 16, 0, 64); });
    const LineCapture sorted = SortPrimitives(drawn);
    EXPECT_EQ(sorted.polygons, 16) << "one triangle per slice";
    EXPECT_EQ(sorted.lines.size(), 0u);
    EXPECT_EQ(sorted.others, 0);

    // 8 pixels wide and 16 tall, centred on (300, 200).
    const std::vector<FeedbackVertex> rim = RimVertices(drawn);
    const Box box = BoundsOf(rim);
    EXPECT_NEAR(box.left, 296.0f, 1e-3);
    EXPECT_NEAR(box.right, 304.0f, 1e-3);
    EXPECT_NEAR(box.bottom, 192.0f, 1e-3);
    EXPECT_NEAR(box.top, 208.0f, 1e-3);
    ExpectSameCorners(rim, ExpectedRim(4.0f, 8.0f, 0.0f), "filled ellipse 4 x 8");

    // The triangles tile the 16-gon without overlap: 16 * (1/2) * 4 * 8 * sin(22.5 degrees).
    float area = 0.0f;
    for (const FeedbackPrimitive& p : drawn) {
        if (p.token == GL_POLYGON_TOKEN && p.vertices.size() == 3) area += TriangleArea(p);
    }
    EXPECT_NEAR(area, 256.0f * sinf(kPi / 8.0f), 1e-2);
}

TEST_F(DrawPrimitivesTest, AngleTurnsTheEllipseAboutItsCentre) {
    // A quarter turn: 16 wide and 8 tall.
    std::vector<FeedbackVertex> rim =
        RimVertices(CaptureFeedback([] { device.DrawEllipse(kCentreX, kCentreY, 4.0f, 8.0f, 90.0f, 16, 0, 64); }));
    const Box box = BoundsOf(rim);
    EXPECT_NEAR(box.left, 292.0f, 1e-3);
    EXPECT_NEAR(box.right, 308.0f, 1e-3);
    EXPECT_NEAR(box.bottom, 196.0f, 1e-3);
    EXPECT_NEAR(box.top, 204.0f, 1e-3);

    // 30 degrees anticlockwise, scaled before it is turned: the corners of the turned ellipse, not
    // of a sheared one or of one turned the other way.
    rim = RimVertices(CaptureFeedback([] { device.DrawEllipse(kCentreX, kCentreY, 4.0f, 8.0f, 30.0f, 16, 0, 64); }));
    ExpectSameCorners(rim, ExpectedRim(4.0f, 8.0f, 30.0f), "ellipse 4 x 8 turned by 30 degrees");
}

// Lines of non-zero length. GLU also outlines the disk's inner edge, which at radius 0 is 16
// lines of zero length on the centre; they light nothing.
std::vector<Segment> VisibleLines(const LineCapture& capture) {
    std::vector<Segment> visible;
    for (const Segment& line : capture.lines) {
        if (fabsf(line.a.x - line.b.x) > 1e-3f || fabsf(line.a.y - line.b.y) > 1e-3f) visible.push_back(line);
    }
    return visible;
}

bool OnRim(const FeedbackVertex& v, float radiusX, float radiusY) {
    const float dx = (v.x - kCentreX) / radiusX;
    const float dy = (v.y - kCentreY) / radiusY;
    return fabsf(dx * dx + dy * dy - 1.0f) < 1e-3f;
}

bool AtCentre(const FeedbackVertex& v) {
    return fabsf(v.x - kCentreX) < 1e-3f && fabsf(v.y - kCentreY) < 1e-3f;
}

TEST_F(DrawPrimitivesTest, OutlineStyleDrawsTheRimOnly) {
    const std::vector<FeedbackPrimitive> drawn =
        CaptureFeedback([] { device.DrawEllipse(kCentreX, kCentreY, 8.0f, 4.0f, 0.0f, 16, 1, 64); });
    const LineCapture sorted = SortPrimitives(drawn);
    EXPECT_EQ(sorted.polygons, 0) << "an outline is not filled";
    const std::vector<Segment> lines = VisibleLines(sorted);
    EXPECT_EQ(lines.size(), 16u) << "one rim edge per slice";
    for (const Segment& line : lines) {
        EXPECT_TRUE(OnRim(line.a, 8.0f, 4.0f) && OnRim(line.b, 8.0f, 4.0f))
            << "edge " << Describe(line.a) << "-" << Describe(line.b) << " is not on the 8 x 4 rim";
    }
    ExpectSameCorners(RimVertices(drawn), ExpectedRim(8.0f, 4.0f, 0.0f), "outline 8 x 4");
}

TEST_F(DrawPrimitivesTest, AnyOtherStyleDrawsTheSegmentLines) {
    for (EllipseStyle style : {2, 3, -1, 1000}) {
        const LineCapture sorted = SortPrimitives(
            CaptureFeedback([=] { device.DrawEllipse(kCentreX, kCentreY, 4.0f, 8.0f, 0.0f, 16, style, 64); }));
        EXPECT_EQ(sorted.polygons, 0) << "style " << style;
        int rim = 0, spokes = 0;
        for (const Segment& line : VisibleLines(sorted)) {
            if (OnRim(line.a, 4.0f, 8.0f) && OnRim(line.b, 4.0f, 8.0f)) {
                ++rim;
            } else if ((AtCentre(line.a) && OnRim(line.b, 4.0f, 8.0f)) || (AtCentre(line.b) && OnRim(line.a, 4.0f, 8.0f))) {
                ++spokes;
            } else {
                ADD_FAILURE() << "style " << style << ": line " << Describe(line.a) << "-" << Describe(line.b)
                              << " is neither a rim edge nor a spoke";
            }
        }
        EXPECT_EQ(rim, 16) << "rim edges, style " << style;
        EXPECT_EQ(spokes, 16) << "spokes from the centre, style " << style;
    }
}

// --- Both ------------------------------------------------------------------------------------

TEST_F(DrawPrimitivesTest, BothLeaveTheModelViewAsFoundAndThePaletteColourCurrent) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(3.0f, 5.0f, 0.0f);
    glRotatef(10.0f, 0.0f, 0.0f, 1.0f);
    GLfloat before[16], after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    GLint depthBefore = 0, depthAfter = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);

    struct Call {
        const char* name;
        unsigned char colour;
        std::function<void()> draw;
    };
    const Call calls[] = {
        {"filled ellipse", 200, [] { device.DrawEllipse(100.0f, 100.0f, 4.0f, 8.0f, 33.0f, 16, 0, 200); }},
        {"outlined ellipse", 17, [] { device.DrawEllipse(100.0f, 100.0f, 8.0f, 4.0f, 33.0f, 16, 1, 17); }},
        {"ellipse segments", 255, [] { device.DrawEllipse(100.0f, 100.0f, 8.0f, 4.0f, 33.0f, 16, 2, 255); }},
        {"grid", 128, [] { device.DrawGrid(32.0f, 10.0f, 20.0f, 128, 0.5f); }},
    };
    for (const Call& call : calls) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        call.draw();
        glGetFloatv(GL_MODELVIEW_MATRIX, after);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], before[i]) << call.name << ": model-view element " << i;
        EXPECT_EQ(depthAfter, depthBefore) << call.name << ": model-view stack depth";

        GLfloat colour[4] = {};
        glGetFloatv(GL_CURRENT_COLOR, colour);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(colour[i], device.palette[call.colour][i])
                << call.name << ": colour component " << i << " of palette entry " << int(call.colour);
        }
    }
}

}  // namespace
