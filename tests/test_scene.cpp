// The scene and the frame-rate meter. The meter runs on a clock the test sets; the scene is drawn
// by the real device into Mesa, its grid read back through feedback and its colours through the
// pixels of the frame before the swap.
#include <math.h>
#include <string.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/body_field.h"
#include "app/frame_rate_meter.h"
#include "app/scene.h"
#include "device/render_device.h"
#include "tests/test_support.h"

namespace {

// --- Frame-rate meter ------------------------------------------------------------------------

DWORD fakeNow;
DWORD FakeNow() {
    return fakeNow;
}

class FrameRateMeterTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformResetForTests();
        meter = {};
        memset(fpsText, 0, sizeof fpsText);
        PlatformSetTimeSourceForTests(FakeNow);
    }
    void TearDown() override { PlatformResetForTests(); }
};

// One tick of the meter at `now`, and what it printed.
std::string TickAt(DWORD now) {
    fakeNow = now;
    testing::internal::CaptureStdout();
    UpdateFrameRate();
    return testing::internal::GetCapturedStdout();
}

TEST_F(FrameRateMeterTest, ReportsOncePerSecondAtASteady60) {
    // Frames every 1000/60 ms rounded to the millisecond, from 5000 ms.
    std::ostringstream wrong;
    for (int k = 0; k <= 180; ++k) {
        const DWORD now = 5000 + static_cast<DWORD>(lround(k * 1000.0 / 60.0));
        const std::string printed = TickAt(now);
        // The frame that opens the first interval is counted too: 61 frames in its second.
        std::string expected;
        if (k == 60) expected = "61.00 fps            \n";
        if (k == 120 || k == 180) expected = "60.00 fps            \n";
        if (printed != expected) {
            wrong << "frame " << k << " at " << now << " ms printed \"" << printed << "\", expected \"" << expected
                  << "\"\n";
        }
    }
    EXPECT_EQ(wrong.str(), "");
    EXPECT_STREQ(fpsText, "60.00 fps            ") << "the last text, without the line break";
}

TEST_F(FrameRateMeterTest, TheFirstFrameAtOrPast1000MsReportsCountingItself) {
    const DWORD start = 7000;
    EXPECT_EQ(TickAt(start), "");
    EXPECT_EQ(TickAt(start + 500), "");
    EXPECT_EQ(TickAt(start + 999), "") << "999 ms after the interval's start";
    EXPECT_EQ(meter.frames, 3u);
    EXPECT_EQ(meter.startMs, start);

    EXPECT_EQ(TickAt(start + 1000), "4.00 fps            \n") << "4 frames in 1000 ms";
    EXPECT_EQ(meter.frames, 0u);
    EXPECT_EQ(meter.startMs, start + 1000) << "the next interval starts where this one was measured";
    EXPECT_STREQ(fpsText, "4.00 fps            ");

    // The next interval closes late: 2 frames in 1250 ms.
    EXPECT_EQ(TickAt(start + 1999), "");
    EXPECT_EQ(TickAt(start + 2250), "1.60 fps            \n");
    EXPECT_STREQ(fpsText, "1.60 fps            ");

    // A long stall: 1 frame in 4 s.
    EXPECT_EQ(TickAt(start + 6250), "0.25 fps            \n");
}

TEST_F(FrameRateMeterTest, AnIntervalAcrossTheTimersWrapIsMeasuredFromItsStart) {
    const DWORD start = 0xFFFFFE00u;  // 512 ms before the 32-bit millisecond count wraps
    EXPECT_EQ(TickAt(start), "");
    EXPECT_EQ(TickAt(0xFFFFFFFFu), "") << "511 ms";
    EXPECT_EQ(TickAt(0x000000FFu), "") << "767 ms, past the wrap";
    EXPECT_EQ(TickAt(0x000001E7u), "") << "999 ms, past the wrap";
    EXPECT_EQ(TickAt(0x000001E8u), "5.00 fps            \n") << "1000 ms, past the wrap";
    EXPECT_EQ(meter.startMs, 0x000001E8u);
    EXPECT_EQ(meter.frames, 0u);
}

// --- Scene -----------------------------------------------------------------------------------

const int kWidth = 1024;
const int kHeight = 768;

HWND OpenWindow(const char* className) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = PassThroughWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    if (!RegisterClassExA(&windowClass)) return nullptr;
    return CreateWindowExA(0, className, className, WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatformResetForTests();
        sceneClock = 0.0;
        meter = {};
        fakeNow = 1000;  // the meter's clock stands still: no report in these tests
        PlatformSetTimeSourceForTests(FakeNow);
        HWND window = OpenWindow("Scene Test");
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(device.Create(window, kWidth, kHeight, 1), 0);
        InitBodies();
    }
    void TearDown() override {
        device.Release();
        PlatformResetForTests();
    }
};

// The frame as DrawScene left it, read before RenderFrame swaps.
std::vector<unsigned char> framePixels;

void DrawAndReadBack(RenderDevice* target) {
    DrawScene(target);
    framePixels.assign(static_cast<size_t>(kWidth) * kHeight * 4, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, framePixels.data());
}

struct Colour {
    int r, g, b;
};

Colour PixelAt(int x, int y) {
    const unsigned char* p = &framePixels[(static_cast<size_t>(y) * kWidth + x) * 4];
    return {p[0], p[1], p[2]};
}

std::string Describe(const Colour& c) {
    std::ostringstream text;
    text << "(" << c.r << ", " << c.g << ", " << c.b << ")";
    return text.str();
}

bool Near(const Colour& got, const Colour& expected, int tolerance = 1) {
    return abs(got.r - expected.r) <= tolerance && abs(got.g - expected.g) <= tolerance &&
           abs(got.b - expected.b) <= tolerance;
}

// Palette colour i at alpha 0.5 added to black, in bytes.
Colour Blended(unsigned char index, int layers = 1) {
    const float* c = device.palette[index];
    auto byte = [&](float v) { return static_cast<int>(lroundf(fminf(1.0f, v * c[3] * layers) * 255.0f)); };
    return {byte(c[0]), byte(c[1]), byte(c[2])};
}

// Pixels something other than the grid may have drawn on: near a body, the player or the title.
std::vector<bool> CoveredByShapes() {
    std::vector<bool> covered(static_cast<size_t>(kWidth) * kHeight, false);
    auto cover = [&](float cx, float cy, int radius) {
        for (int y = static_cast<int>(cy) - radius; y <= static_cast<int>(cy) + radius; ++y) {
            for (int x = static_cast<int>(cx) - radius; x <= static_cast<int>(cx) + radius; ++x) {
                if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) covered[static_cast<size_t>(y) * kWidth + x] = true;
            }
        }
    };
    for (int i = 1; i < kBodyCount; ++i) cover(bodies[i].x, bodies[i].y, 10);
    cover(bodies[0].x, bodies[0].y, 34);
    for (int y = 0; y < 26; ++y) {
        for (int x = 0; x < 200; ++x) covered[static_cast<size_t>(y) * kWidth + x] = true;
    }
    return covered;
}

// The title's colour: palette 240 (red and blue alike, green a fifteenth of them).
bool IsTitleColour(const Colour& c) {
    return c.r >= 100 && abs(c.r - c.b) <= 2 && abs(c.g * 15 - c.r) <= 30;
}

TEST_F(SceneTest, FirstFrameDrawsGridBodiesAndTitleAndPrintsNothing) {
    testing::internal::CaptureStdout();
    device.RenderFrame(DrawAndReadBack);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "") << "the first frame opens the meter's interval and reports nothing";
    EXPECT_EQ(sceneClock, 1.0 / 60.0);
    ASSERT_EQ(framePixels.size(), static_cast<size_t>(kWidth) * kHeight * 4);

    // Away from the shapes, only the grid at phase (0, 0): lines on x and y = 0, 32, 64, ...
    // A line on a pixel boundary lights the pixel left of or below it, so columns and rows 31,
    // 63, ... show the grid colour, twice where two lines cross, and everything else is black.
    // Column 1023 and row 767 stay black: there is no line on x = 1024 or y = 768.
    const std::vector<bool> covered = CoveredByShapes();
    const Colour black = {0, 0, 0};
    const Colour line = Blended(128);
    const Colour crossing = Blended(128, 2);
    long checked = 0, wrong = 0;
    std::ostringstream firstWrong;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (covered[static_cast<size_t>(y) * kWidth + x]) continue;
            const bool onVertical = x % 32 == 31 && x != kWidth - 1;
            const bool onHorizontal = y % 32 == 31 && y != kHeight - 1;
            const Colour expected = onVertical && onHorizontal ? crossing : onVertical || onHorizontal ? line : black;
            const Colour got = PixelAt(x, y);
            ++checked;
            if (!Near(got, expected)) {
                if (wrong++ < 5) firstWrong << " (" << x << ", " << y << ") " << Describe(got) << " not " << Describe(expected);
            }
        }
    }
    EXPECT_GT(checked, kWidth * kHeight / 4) << "pixels clear of shapes";
    EXPECT_EQ(wrong, 0) << "of " << checked << " pixels clear of shapes;" << firstWrong.str();

    // Bodies: at angle 0 on the first frame, a filled ellipse 4 across and 8 up, crossed by an
    // outline 8 across and 4 up. A body sits on a pixel corner; (x, y) is the pixel up and right
    // of its centre. Each point is checked where nothing else can have drawn on it.
    const Colour body = Blended(64);
    struct Sample {
        int dx, dy;
        Colour expected;
        const char* where;
    };
    const Sample samples[] = {
        {0, 0, body, "centre"},
        {0, 6, body, "6 up, inside the fill only"},
        {0, -7, body, "6 down, inside the fill only"},
        {5, 0, black, "5 right, inside the outline only"},
        {-6, 0, black, "5 left, inside the outline only"},
        {12, 0, black, "12 right, outside"},
        {0, 11, black, "11 up, outside"},
        {-3, 10, black, "up and left, outside"},
    };
    auto clear = [&](int self, int x, int y) {
        if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) return false;
        if (x % 32 == 31 || y % 32 == 31 || (x < 200 && y < 26)) return false;
        for (int j = 0; j < kBodyCount; ++j) {
            const float reach = j == 0 ? 34.0f : 10.0f;
            if (j != self && fabsf(bodies[j].x - x) <= reach && fabsf(bodies[j].y - y) <= reach) return false;
        }
        return true;
    };
    int checkedSamples = 0, checkedRims = 0;
    for (int i = 1; i < kBodyCount; ++i) {
        const int x = static_cast<int>(bodies[i].x), y = static_cast<int>(bodies[i].y);
        for (const Sample& sample : samples) {
            if (!clear(i, x + sample.dx, y + sample.dy)) continue;
            ++checkedSamples;
            const Colour got = PixelAt(x + sample.dx, y + sample.dy);
            EXPECT_TRUE(Near(got, sample.expected)) << "body " << i << " at (" << x << ", " << y << "), "
                                                    << sample.where << ": " << Describe(got) << " not "
                                                    << Describe(sample.expected);
        }
        // The outline's rim, 8 to the right: one pixel wide, on one side of the pixel boundary.
        if (clear(i, x + 7, y) && clear(i, x + 8, y)) {
            ++checkedRims;
            const Colour rim7 = PixelAt(x + 7, y), rim8 = PixelAt(x + 8, y);
            EXPECT_TRUE((Near(rim7, body) && Near(rim8, black)) || (Near(rim7, black) && Near(rim8, body)))
                << "rim 8 right of body " << i << ": " << Describe(rim7) << " " << Describe(rim8);
        }
    }
    EXPECT_GE(checkedSamples, 1000) << "points checked around bodies";
    EXPECT_GE(checkedRims, 100) << "rims checked";

    // The title: in its own colour, from the bottom-left corner, about 17 pixels high (capitals
    // of a 24-pixel em) and 14 glyphs long; nowhere else.
    int left = kWidth, right = -1, bottom = kHeight, top = -1, titlePixels = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (!IsTitleColour(PixelAt(x, y))) continue;
            ++titlePixels;
            left = std::min(left, x);
            right = std::max(right, x);
            bottom = std::min(bottom, y);
            top = std::max(top, y);
        }
    }
    EXPECT_GT(titlePixels, 300);
    EXPECT_LE(left, 4) << "title's left edge";
    EXPECT_LE(bottom, 1) << "title's baseline";
    EXPECT_GE(top, 14) << "title's top";
    EXPECT_LE(top, 22) << "title's top";
    EXPECT_GE(right, 120) << "title's right edge";
    EXPECT_LT(right, 200) << "title's right edge";
}

// --- The grid through feedback ---------------------------------------------------------------

struct GridPhase {
    std::vector<float> vertical, horizontal;  // positions of the full-length lines, in order
};

// The scene drawn once in feedback mode; the grid is what spans the whole window.
GridPhase DrawSceneForGrid() {
    GridPhase grid;
    const std::vector<FeedbackPrimitive> drawn = CaptureFeedback([] { DrawScene(&device); }, 1 << 24);
    for (const FeedbackPrimitive& p : drawn) {
        if (p.token != GL_LINE_TOKEN && p.token != GL_LINE_RESET_TOKEN) continue;
        const FeedbackVertex& a = p.vertices[0];
        const FeedbackVertex& b = p.vertices[1];
        if (fabsf(a.x - b.x) < 1e-3f && fabsf(fabsf(a.y - b.y) - kHeight) < 1e-3f) grid.vertical.push_back(a.x);
        if (fabsf(a.y - b.y) < 1e-3f && fabsf(fabsf(a.x - b.x) - kWidth) < 1e-3f) grid.horizontal.push_back(a.y);
    }
    return grid;
}

std::string Positions(const std::vector<float>& values) {
    std::ostringstream text;
    for (float v : values) text << v << " ";
    return text.str();
}

// The first of `got` is `first`, and they follow every 32 pixels, `count` of them.
void ExpectGridFrom(const std::vector<float>& got, float first, size_t count, const char* what) {
    bool same = got.size() == count;
    for (size_t i = 0; same && i < count; ++i) same = fabsf(got[i] - (first + 32.0f * static_cast<float>(i))) < 1e-3f;
    EXPECT_TRUE(same) << what << ": expected " << count << " lines from " << first << " every 32; got " << got.size()
                      << ": " << Positions(got);
}

TEST_F(SceneTest, GridScrollsRightAt30AndUpAt50PixelsPerSceneSecond) {
    device.RenderFrame([](RenderDevice*) {});  // the pixel projection

    GridPhase grid = DrawSceneForGrid();
    ExpectGridFrom(grid.vertical, 0.0f, 32, "vertical, first frame");
    ExpectGridFrom(grid.horizontal, 0.0f, 24, "horizontal, first frame");
    EXPECT_EQ(sceneClock, 1.0 / 60.0);

    // One frame on: half a pixel right and 5/6 of a pixel up.
    grid = DrawSceneForGrid();
    ExpectGridFrom(grid.vertical, 0.5f, 32, "vertical, second frame");
    ExpectGridFrom(grid.horizontal, 50.0f / 60.0f, 24, "horizontal, second frame");
    EXPECT_EQ(sceneClock, 2.0 / 60.0);

    // Ten scene seconds: 300 and 500 pixels, that is 12 and 20 into a cell.
    sceneClock = 10.0;
    grid = DrawSceneForGrid();
    ExpectGridFrom(grid.vertical, 12.0f, 32, "vertical at 10 s");
    ExpectGridFrom(grid.horizontal, 20.0f, 24, "horizontal at 10 s");
}

TEST_F(SceneTest, SceneClockGainsOneSixtiethPerFrameWhateverTheRealTime) {
    // Five frames with the clock standing still, then one a second later.
    double expected = 0.0;
    testing::internal::CaptureStdout();
    for (int frame = 1; frame <= 6; ++frame) {
        if (frame == 6) fakeNow += 1000;
        device.RenderFrame(DrawScene);
        expected = expected + 1.0 / 60.0;
    }
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(sceneClock, expected) << "after six frames";
    EXPECT_EQ(printed, "6.00 fps            \n") << "the meter ticks once per drawn frame: 6 frames in 1 s";
}

}  // namespace
