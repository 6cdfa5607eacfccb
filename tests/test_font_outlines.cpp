// wglUseFontOutlinesA through the real layer: a window, its DC with the stock GUI font selected, a
// current Mesa context, and the glyph lists read back through GL feedback and glReadPixels.
#include <windows.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "tests/test_support.h"

namespace {

const int kSize = 256;          // client area, pixels
const DWORD kProgramCount = 255;  // what the program builds: codes 0..254

// Feedback in GL_3D_COLOR: the shared capture gives x and y only, these tests need depth and the
// lit colour too.
struct Vertex {
    GLfloat x, y, z;     // window coordinates
    GLfloat r, g, b, a;  // colour after lighting
};

struct Primitive {
    GLfloat token;  // GL_POINT_TOKEN, GL_LINE_TOKEN, GL_LINE_RESET_TOKEN or GL_POLYGON_TOKEN
    std::vector<Vertex> vertices;
};

// Everything `draw` sends down the pipeline, from GL feedback in GL_3D_COLOR, in a buffer of
// `capacity` floats.
std::vector<Primitive> Feedback(const std::function<void()>& draw, size_t capacity = 1 << 20) {
    std::vector<GLfloat> buffer(capacity);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflowed";

    std::vector<Primitive> primitives;
    auto vertexAt = [&](GLint& i) {
        Vertex v = {buffer[i], buffer[i + 1], buffer[i + 2], buffer[i + 3], buffer[i + 4], buffer[i + 5],
                    buffer[i + 6]};
        i += 7;
        return v;
    };
    for (GLint i = 0; i < used;) {
        const GLfloat token = buffer[i++];
        Primitive p = {token, {}};
        int count = 0;
        if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN || token == GL_DRAW_PIXEL_TOKEN ||
            token == GL_COPY_PIXEL_TOKEN) {
            count = 1;
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            count = 2;
        } else if (token == GL_POLYGON_TOKEN) {
            count = static_cast<int>(buffer[i++]);
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            ++i;
            continue;
        } else {
            ADD_FAILURE() << "unknown feedback token " << token << " at " << i - 1;
            break;
        }
        for (int k = 0; k < count; ++k) p.vertices.push_back(vertexAt(i));
        primitives.push_back(p);
    }
    return primitives;
}

struct Box {
    double minX = 1e30, minY = 1e30, maxX = -1e30, maxY = -1e30;
    void Add(double x, double y) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
};

// Twice the signed area of a polygon in window x and y: positive when anticlockwise.
double SignedArea2(const std::vector<Vertex>& v) {
    double area = 0.0;
    for (size_t i = 0; i < v.size(); ++i) {
        const Vertex& a = v[i];
        const Vertex& b = v[(i + 1) % v.size()];
        area += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
    }
    return area;
}

struct Vec3 {
    double x, y, z;
};

Vec3 Normalised(Vec3 v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

// The face normal its winding gives a polygon (anticlockwise seen from the front), by Newell's method.
Vec3 WindingNormal(const std::vector<Vec3>& p) {
    Vec3 n = {0, 0, 0};
    for (size_t i = 0; i < p.size(); ++i) {
        const Vec3& a = p[i];
        const Vec3& b = p[(i + 1) % p.size()];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

// Distance from (x, y) to the segment from a to b.
double SegmentDistance(double x, double y, const Vertex& a, const Vertex& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / lengthSquared : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (a.x + t * dx), y - (a.y + t * dy));
}

bool SameMetrics(const GLYPHMETRICSFLOAT& a, const GLYPHMETRICSFLOAT& b) {
    return a.gmfBlackBoxX == b.gmfBlackBoxX && a.gmfBlackBoxY == b.gmfBlackBoxY &&
           a.gmfptGlyphOrigin.x == b.gmfptGlyphOrigin.x && a.gmfptGlyphOrigin.y == b.gmfptGlyphOrigin.y &&
           a.gmfCellIncX == b.gmfCellIncX && a.gmfCellIncY == b.gmfCellIncY;
}

// A window with a current context and, once a test selects it, the stock GUI font in its DC.
class FontOutlinesTest : public ::testing::Test {
protected:
    GlWindow gl;
    HDC dc = nullptr;
    HGLRC context = nullptr;

    void SetUp() override { OpenWindow(); }

    // Also after PlatformResetForTests, which closes the window and forgets the layer's fonts.
    void OpenWindow() {
        gl = GlWindow();
        ASSERT_TRUE(gl.Open(kSize, kSize, "Font Outlines Test")) << gl.error;
        dc = gl.dc;
        context = gl.context;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0.0, kSize, 0.0, kSize, -kSize, kSize);  // one unit per pixel, z = 0 at depth 0.5
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    void TearDown() override { PlatformResetForTests(); }

    void SelectGuiFont() { SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT)); }

    // The program's build: 256 list names, codes 0..254 compiled into the first 255.
    GLuint Build(int format, FLOAT deviation, FLOAT extrusion, GLYPHMETRICSFLOAT* metrics) {
        const GLuint base = glGenLists(256);
        EXPECT_NE(base, 0u);
        EXPECT_TRUE(wglUseFontOutlinesA(dc, 0, kProgramCount, base, deviation, extrusion, format, metrics));
        return base;
    }

    // `list` called at (x, y), `scale` pixels to the em, then a point at the origin it leaves:
    // everything the list drew, and where that point landed.
    std::vector<Primitive> DrawGlyph(GLuint list, double x, double y, double scale, Vertex* after,
                                     size_t capacity = 1 << 20) {
        std::vector<Primitive> drawn = Feedback(
            [&] {
                glPushMatrix();
                glTranslated(x, y, 0.0);
                glScaled(scale, scale, scale);
                glCallList(list);
                glBegin(GL_POINTS);
                glVertex3f(0.0f, 0.0f, 0.0f);
                glEnd();
                glPopMatrix();
            },
            capacity);
        EXPECT_FALSE(drawn.empty());
        if (drawn.empty()) return drawn;
        EXPECT_EQ(drawn.back().token, GL_POINT_TOKEN);
        if (after != nullptr) *after = drawn.back().vertices[0];
        drawn.pop_back();
        return drawn;
    }
};

// ---- metrics -------------------------------------------------------------------------------

TEST_F(FontOutlinesTest, MetricsAreInEmUnitsAndFitTheLetters) {
    SelectGuiFont();
    GLYPHMETRICSFLOAT m[256];
    Build(WGL_FONT_POLYGONS, 0.0f, 0.1f, m);

    EXPECT_GT(m['W'].gmfCellIncX, m['i'].gmfCellIncX) << "W advances further than i";
    EXPECT_GT(m['W'].gmfBlackBoxX, 2 * m['i'].gmfBlackBoxX) << "W is much wider than i";
    EXPECT_GT(m['W'].gmfCellIncX, 0.5f);
    EXPECT_LT(m['W'].gmfCellIncX, 1.5f);

    // A capital stands on the baseline and is about 0.6 to 0.8 em tall.
    EXPECT_GT(m['A'].gmfBlackBoxY, 0.6f);
    EXPECT_LT(m['A'].gmfBlackBoxY, 0.8f);
    EXPECT_NEAR(m['A'].gmfptGlyphOrigin.y, m['A'].gmfBlackBoxY, 0.01f) << "bottom of A on the baseline";
    // g descends below the baseline; the top of its black box is above it.
    EXPECT_GT(m['g'].gmfptGlyphOrigin.y, 0.3f);
    EXPECT_LT(m['g'].gmfptGlyphOrigin.y - m['g'].gmfBlackBoxY, -0.1f) << "g has a descender";
    // The black box of the stem of I starts a little right of the origin, and ends before the advance.
    EXPECT_GT(m['I'].gmfptGlyphOrigin.x, 0.0f);
    EXPECT_LT(m['I'].gmfptGlyphOrigin.x + m['I'].gmfBlackBoxX, m['I'].gmfCellIncX);

    // A space advances but has no ink.
    EXPECT_GT(m[' '].gmfCellIncX, 0.1f);
    EXPECT_EQ(m[' '].gmfBlackBoxX, 0.0f);
    EXPECT_EQ(m[' '].gmfBlackBoxY, 0.0f);

    for (int code = 0; code < static_cast<int>(kProgramCount); ++code) {
        SCOPED_TRACE("code " + std::to_string(code));
        EXPECT_EQ(m[code].gmfCellIncY, 0.0f);
        EXPECT_GE(m[code].gmfCellIncX, 0.0f);
        EXPECT_LT(m[code].gmfCellIncX, 2.0f);
        EXPECT_LT(m[code].gmfBlackBoxX, 2.0f);
        EXPECT_LT(m[code].gmfBlackBoxY, 2.0f);
    }

    // The line set reads the same glyphs.
    GLYPHMETRICSFLOAT lines[256];
    Build(WGL_FONT_LINES, 0.0f, 0.1f, lines);
    for (int code = 0; code < static_cast<int>(kProgramCount); ++code) {
        EXPECT_TRUE(SameMetrics(m[code], lines[code])) << "code " << code;
    }
}

// Codes are Windows-1252 bytes: 0x80..0x9F are typographic characters, not C1 controls.
TEST_F(FontOutlinesTest, CodesAreWindowsAnsi) {
    SelectGuiFont();
    GLYPHMETRICSFLOAT m[256];
    Build(WGL_FONT_LINES, 0.0f, 0.0f, m);

    for (int code : {0x80 /* euro */, 0x93 /* left double quote */, 0x99 /* trade mark */, 0x9F /* Y diaeresis */}) {
        EXPECT_GT(m[code].gmfBlackBoxX, 0.0f) << "code 0x" << std::hex << code;
        EXPECT_GT(m[code].gmfCellIncX, 0.0f) << "code 0x" << std::hex << code;
    }
    // Accented Latin-1 letters share the advance of their base letter.
    EXPECT_EQ(m[0xE9].gmfCellIncX, m['e'].gmfCellIncX) << "e acute";
    EXPECT_EQ(m[0xC5].gmfCellIncX, m['A'].gmfCellIncX) << "A ring";
    EXPECT_GT(m[0xC5].gmfBlackBoxY, m['A'].gmfBlackBoxY) << "the ring stands above the A";
    // Y diaeresis is 0x9F here, not U+009F.
    EXPECT_EQ(m[0x9F].gmfCellIncX, m['Y'].gmfCellIncX);
}

// ---- empty lists ---------------------------------------------------------------------------

// Control codes and codes the code page leaves undefined have no glyph: their lists draw nothing,
// not even the advance. The list after the last code stays as it was.
TEST_F(FontOutlinesTest, CodesWithoutGlyphsDrawNothingAndDoNotAdvance) {
    SelectGuiFont();
    for (int format : {WGL_FONT_LINES, WGL_FONT_POLYGONS}) {
        SCOPED_TRACE(format == WGL_FONT_LINES ? "lines" : "polygons");
        const GLuint base = glGenLists(256);
        glNewList(base + kProgramCount, GL_COMPILE);  // a marker in the list past the last code
        glBegin(GL_POINTS);
        glVertex3f(0.5f, 0.5f, 0.0f);
        glEnd();
        glEndList();
        GLYPHMETRICSFLOAT m[256];
        ASSERT_TRUE(wglUseFontOutlinesA(dc, 0, kProgramCount, base, 0.0f, 0.2f, format, m));

        for (int code : {0x00, 0x01, 0x0A, 0x1F, 0x7F, 0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
            SCOPED_TRACE("code " + std::to_string(code));
            Vertex after;
            EXPECT_TRUE(DrawGlyph(base + code, 10.0, 20.0, 100.0, &after).empty());
            EXPECT_FLOAT_EQ(after.x, 10.0f) << "no advance";
            EXPECT_FLOAT_EQ(after.y, 20.0f);
            EXPECT_TRUE(SameMetrics(m[code], GLYPHMETRICSFLOAT{})) << "zero metrics";
        }
        // A glyph with no contours still advances.
        Vertex after;
        EXPECT_TRUE(DrawGlyph(base + ' ', 10.0, 20.0, 100.0, &after).empty());
        EXPECT_NEAR(after.x, 10.0f + 100.0f * m[' '].gmfCellIncX, 1e-3f);

        const std::vector<Primitive> marker = DrawGlyph(base + kProgramCount, 0.0, 0.0, 100.0, nullptr);
        ASSERT_EQ(marker.size(), 1u) << "the list past the last code is untouched";
        EXPECT_EQ(marker[0].token, GL_POINT_TOKEN);
        EXPECT_FLOAT_EQ(marker[0].vertices[0].x, 50.0f);
    }
}

// ---- geometry ------------------------------------------------------------------------------

// Each list draws inside the glyph's black box, reaching all four of its sides, and leaves the
// origin moved on by gmfCellIncX.
TEST_F(FontOutlinesTest, GlyphsFillTheirBlackBoxAndAdvance) {
    SelectGuiFont();
    GLYPHMETRICSFLOAT lineMetrics[256], polygonMetrics[256];
    const GLuint lines = Build(WGL_FONT_LINES, 0.0f, 0.0f, lineMetrics);
    const GLuint polygons = Build(WGL_FONT_POLYGONS, 0.0f, 0.25f, polygonMetrics);
    const double x0 = 20.0, y0 = 60.0, scale = 150.0;
    const double tolerance = 0.002 * scale;  // a few design units; curves are flattened finely

    for (GLuint base : {lines, polygons}) {
        const GLYPHMETRICSFLOAT* m = base == lines ? lineMetrics : polygonMetrics;
        for (unsigned char code : std::string("AOWgiQ@&%8\x80\xC5")) {
            SCOPED_TRACE(std::string(base == lines ? "lines, " : "polygons, ") + "code " + std::to_string(code));
            Vertex after;
            const std::vector<Primitive> drawn = DrawGlyph(base + code, x0, y0, scale, &after);
            ASSERT_FALSE(drawn.empty());
            Box box;
            for (const Primitive& p : drawn) {
                if (base == lines) {
                    EXPECT_TRUE(p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN) << p.token;
                } else {
                    EXPECT_EQ(p.token, GL_POLYGON_TOKEN);
                }
                for (const Vertex& v : p.vertices) box.Add(v.x, v.y);
            }
            const GLYPHMETRICSFLOAT& g = m[code];
            EXPECT_NEAR(box.minX, x0 + scale * g.gmfptGlyphOrigin.x, tolerance);
            EXPECT_NEAR(box.maxX, x0 + scale * (g.gmfptGlyphOrigin.x + g.gmfBlackBoxX), tolerance);
            EXPECT_NEAR(box.maxY, y0 + scale * g.gmfptGlyphOrigin.y, tolerance);
            EXPECT_NEAR(box.minY, y0 + scale * (g.gmfptGlyphOrigin.y - g.gmfBlackBoxY), tolerance);
            EXPECT_NEAR(after.x, x0 + scale * g.gmfCellIncX, 1e-3);
            EXPECT_NEAR(after.y, y0, 1e-3);
        }
    }
}

// The program draws its title with glCallLists over a string: each glyph starts where the
// previous one's advance left off.
TEST_F(FontOutlinesTest, GlyphsOfAStringFollowOneAnother) {
    SelectGuiFont();
    GLYPHMETRICSFLOAT m[256];
    const GLuint base = Build(WGL_FONT_LINES, 0.0f, 0.0f, m);
    const char text[] = "WiW";
    const double scale = 60.0;
    std::vector<Primitive> drawn = Feedback([&] {
        glPushMatrix();
        glScaled(scale, scale, scale);
        glListBase(base);
        glCallLists(3, GL_UNSIGNED_BYTE, text);
        glPopMatrix();
    });
    glListBase(0);
    double minX = 1e30;
    double maxX = -1e30;
    for (const Primitive& p : drawn) {
        for (const Vertex& v : p.vertices) {
            minX = std::min<double>(minX, v.x);
            maxX = std::max<double>(maxX, v.x);
        }
    }
    const double lastOrigin = scale * (m['W'].gmfCellIncX + m['i'].gmfCellIncX);
    EXPECT_NEAR(minX, scale * m['W'].gmfptGlyphOrigin.x, 0.2);
    EXPECT_NEAR(maxX, lastOrigin + scale * (m['W'].gmfptGlyphOrigin.x + m['W'].gmfBlackBoxX), 0.2);
}

// first and listBase line up: list listBase + i holds code first + i.
TEST_F(FontOutlinesTest, ListsStartAtFirstCode) {
    SelectGuiFont();
    GLYPHMETRICSFLOAT all[256];
    const GLuint everyCode = Build(WGL_FONT_LINES, 0.0f, 0.0f, all);
    GLYPHMETRICSFLOAT three[3];
    const GLuint base = glGenLists(3);
    ASSERT_TRUE(wglUseFontOutlinesA(dc, 'K', 3, base, 0.0f, 0.0f, WGL_FONT_LINES, three));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(std::string(1, static_cast<char>('K' + i)));
        EXPECT_TRUE(SameMetrics(three[i], all['K' + i]));
        const std::vector<Primitive> a = DrawGlyph(base + i, 10.0, 10.0, 100.0, nullptr);
        const std::vector<Primitive> b = DrawGlyph(everyCode + 'K' + i, 10.0, 10.0, 100.0, nullptr);
        ASSERT_EQ(a.size(), b.size());
        for (size_t k = 0; k < a.size(); ++k) {
            ASSERT_EQ(a[k].vertices.size(), b[k].vertices.size());
            for (size_t v = 0; v < a[k].vertices.size(); ++v) {
                EXPECT_EQ(a[k].vertices[v].x, b[k].vertices[v].x);
                EXPECT_EQ(a[k].vertices[v].y, b[k].vertices[v].y);
            }
        }
    }
    // Without a metrics array the lists are built all the same.
    ASSERT_TRUE(wglUseFontOutlinesA(dc, 'K', 3, base, 0.0f, 0.0f, WGL_FONT_POLYGONS, nullptr));
    EXPECT_FALSE(DrawGlyph(base, 10.0, 10.0, 100.0, nullptr).empty());
}

// Where two captures first differ, or empty when they are the same to the last bit.
std::string FirstDifference(const std::vector<Primitive>& expected, const std::vector<Primitive>& actual) {
    if (expected.size() != actual.size()) {
        return std::to_string(expected.size()) + " primitives expected, " + std::to_string(actual.size()) + " drawn";
    }
    for (size_t k = 0; k < expected.size(); ++k) {
        const Primitive& e = expected[k];
        const Primitive& a = actual[k];
        if (e.token != a.token || e.vertices.size() != a.vertices.size()) {
            return "primitive " + std::to_string(k) + ": token " + std::to_string(e.token) + " with " +
                   std::to_string(e.vertices.size()) + " vertices expected, token " + std::to_string(a.token) +
                   " with " + std::to_string(a.vertices.size()) + " drawn";
        }
        for (size_t v = 0; v < e.vertices.size(); ++v) {
            const Vertex& x = e.vertices[v];
            const Vertex& y = a.vertices[v];
            if (x.x != y.x || x.y != y.y || x.z != y.z || x.r != y.r || x.g != y.g || x.b != y.b || x.a != y.a) {
                return "primitive " + std::to_string(k) + ", vertex " + std::to_string(v) + ": (" +
                       std::to_string(x.x) + ", " + std::to_string(x.y) + ", " + std::to_string(x.z) +
                       ") expected, (" + std::to_string(y.x) + ", " + std::to_string(y.y) + ", " +
                       std::to_string(y.z) + ") drawn";
            }
        }
    }
    return "";
}

// The layer keeps the outlines of one call for the next at the same deviation. That may not show:
// after a coarser line set, and again when the
// kept outlines are used, every polygon list draws exactly what a call for that one glyph alone
// draws on a fresh layer, and ends at the same advance.
TEST_F(FontOutlinesTest, KeptOutlinesChangeNoList) {
    SelectGuiFont();
    const size_t capacity = 1 << 17;  // ample for one glyph, and quick to allocate 765 times
    std::vector<std::vector<Primitive>> alone(kProgramCount);
    std::vector<Vertex> aloneAfter(kProgramCount);
    GLYPHMETRICSFLOAT aloneMetrics[256];
    const GLuint single = glGenLists(1);
    for (DWORD code = 0; code < kProgramCount; ++code) {
        ASSERT_TRUE(wglUseFontOutlinesA(dc, code, 1, single, 0.0f, 0.1f, WGL_FONT_POLYGONS, &aloneMetrics[code]));
        alone[code] = DrawGlyph(single, 20.0, 60.0, 150.0, &aloneAfter[code], capacity);
    }
    EXPECT_GT(alone['@'].size(), 100u) << "the reference draws the glyph";

    PlatformResetForTests();  // nothing kept from the reference
    ASSERT_NO_FATAL_FAILURE(OpenWindow());
    SelectGuiFont();
    Build(WGL_FONT_LINES, 0.03f, 0.1f, nullptr);
    GLYPHMETRICSFLOAT m[256];
    const GLuint afterCoarse = Build(WGL_FONT_POLYGONS, 0.0f, 0.1f, m);
    Build(WGL_FONT_LINES, 0.0f, 0.1f, nullptr);
    const GLuint reused = Build(WGL_FONT_POLYGONS, 0.0f, 0.1f, nullptr);

    for (DWORD code = 0; code < kProgramCount; ++code) {
        SCOPED_TRACE("code " + std::to_string(code));
        EXPECT_TRUE(SameMetrics(m[code], aloneMetrics[code]));
        for (GLuint base : {afterCoarse, reused}) {
            Vertex after = {};
            const std::vector<Primitive> drawn = DrawGlyph(base + code, 20.0, 60.0, 150.0, &after, capacity);
            EXPECT_EQ(FirstDifference(alone[code], drawn), "")
                << (base == reused ? "from kept outlines" : "after the coarse set");
            EXPECT_EQ(after.x, aloneAfter[code].x);
        }
    }
}

// A positive deviation is the largest distance, in em, between a curve and the chords that stand
// for it: coarser than the finest flattening, but never further from it than that.
TEST_F(FontOutlinesTest, DeviationBoundsTheChordError) {
    SelectGuiFont();
    const GLuint fine = Build(WGL_FONT_LINES, 0.0f, 0.0f, nullptr);
    const double scale = 200.0;
    auto outline = [&](GLuint list) {
        std::vector<Primitive> drawn = DrawGlyph(list, 20.0, 40.0, scale, nullptr);
        std::vector<Vertex> segments;  // pairs
        for (const Primitive& p : drawn) segments.insert(segments.end(), p.vertices.begin(), p.vertices.end());
        return segments;
    };
    for (float deviation : {0.005f, 0.03f}) {
        const GLuint coarse = Build(WGL_FONT_LINES, deviation, 0.0f, nullptr);
        for (unsigned char code : std::string("OS@")) {
            SCOPED_TRACE("deviation " + std::to_string(deviation) + ", code " + std::string(1, code));
            const std::vector<Vertex> f = outline(fine + code);
            const std::vector<Vertex> c = outline(coarse + code);
            EXPECT_LT(c.size(), f.size()) << "fewer chords";
            double worst = 0.0;
            for (const Vertex& v : f) {
                double nearest = 1e30;
                for (size_t i = 0; i + 1 < c.size(); i += 2) {
                    nearest = std::min(nearest, SegmentDistance(v.x, v.y, c[i], c[i + 1]));
                }
                worst = std::max(worst, nearest);
            }
            EXPECT_LE(worst, (deviation + 0.001) * scale);
            EXPECT_GT(worst, 0.1 * deviation * scale) << "the bound is used, not a much finer one";
        }
    }
}

// The front face covers exactly the ink: the hole of O and the counters of 8 and B stay open.
// Front triangles are anticlockwise seen from the front, back ones clockwise.
TEST_F(FontOutlinesTest, FacesCoverTheInkWoundOutward) {
    SelectGuiFont();
    const GLuint lines = Build(WGL_FONT_LINES, 0.0f, 0.0f, nullptr);
    const GLuint polygons = Build(WGL_FONT_POLYGONS, 0.0f, 0.5f, nullptr);
    const double scale = 100.0;
    for (unsigned char code : std::string("O8B@%&e")) {
        SCOPED_TRACE(std::string(1, static_cast<char>(code)));
        // The ink's area from the closed contours the line set draws, segment by segment.
        double contourArea2 = 0.0;
        for (const Primitive& p : DrawGlyph(lines + code, 0.0, 0.0, scale, nullptr)) {
            const Vertex& a = p.vertices[0];
            const Vertex& b = p.vertices[1];
            contourArea2 += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
        }

        double front2 = 0.0, back2 = 0.0;
        for (const Primitive& p : DrawGlyph(polygons + code, 0.0, 0.0, scale, nullptr)) {
            bool atFront = true, atBack = true;
            for (const Vertex& v : p.vertices) {
                atFront = atFront && std::fabs(v.z - 0.5f) < 1e-5f;
                atBack = atBack && v.z > 0.5f + 1e-5f;
            }
            if (!atFront && !atBack) continue;  // a side
            const double area2 = SignedArea2(p.vertices);
            if (atFront) {
                EXPECT_GE(area2, -1e-6) << "front triangle wound clockwise";
                front2 += area2;
            } else {
                EXPECT_LE(area2, 1e-6) << "back triangle wound anticlockwise";
                back2 += area2;
            }
        }
        EXPECT_NEAR(front2, std::fabs(contourArea2), 0.002 * std::fabs(contourArea2));
        EXPECT_NEAR(-back2, std::fabs(contourArea2), 0.002 * std::fabs(contourArea2));
    }
}

// Lit by a light along +x, every face of an extruded glyph shows the light its winding says it
// faces, and the sides face away from the ink: out of the bowl of O, into its hole.
TEST_F(FontOutlinesTest, ExtrudedFacesPointOutward) {
    SelectGuiFont();
    GLYPHMETRICSFLOAT m[256];
    const float extrusion = 0.5f;
    const GLuint base = Build(WGL_FONT_POLYGONS, 0.0f, extrusion, m);

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    const GLfloat black[] = {0, 0, 0, 1}, white[] = {1, 1, 1, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);

    const double scale = 100.0;
    for (unsigned char code : {'I', 'O'}) {
        SCOPED_TRACE(std::string(1, static_cast<char>(code)));
        // Turned so that no face is seen edge-on; the light is set under the same turn, so it
        // shines along the glyph's own +x.
        glPushMatrix();
        glTranslated(100.0, 60.0, 0.0);
        glRotated(25.0, 1.0, 0.0, 0.0);
        glRotated(-35.0, 0.0, 1.0, 0.0);
        const GLfloat alongX[] = {1, 0, 0, 0};
        glLightfv(GL_LIGHT0, GL_POSITION, alongX);
        GLdouble modelview[16], projection[16];
        GLint viewport[4];
        glScaled(scale, scale, scale);
        glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        std::vector<Primitive> drawn = Feedback([&] { glCallList(base + code); });
        glPopMatrix();
        ASSERT_FALSE(drawn.empty());

        const GLYPHMETRICSFLOAT& g = m[code];
        const double centreX = g.gmfptGlyphOrigin.x + g.gmfBlackBoxX / 2;
        const double centreY = g.gmfptGlyphOrigin.y - g.gmfBlackBoxY / 2;
        int sides = 0, fronts = 0, backs = 0;
        for (const Primitive& p : drawn) {
            ASSERT_EQ(p.token, GL_POLYGON_TOKEN);
            std::vector<Vec3> glyphSpace;  // back in em units
            for (const Vertex& v : p.vertices) {
                Vec3 o;
                ASSERT_TRUE(gluUnProject(v.x, v.y, v.z, modelview, projection, viewport, &o.x, &o.y, &o.z));
                glyphSpace.push_back(o);
            }
            const Vec3 n = Normalised(WindingNormal(glyphSpace));
            for (const Vertex& v : p.vertices) {
                EXPECT_NEAR(v.r, std::max(0.0, n.x), code == 'I' ? 0.01 : 0.2) << "lit as its winding faces";
            }
            if (std::fabs(n.z) > 0.99) {  // front or back
                for (const Vec3& o : glyphSpace) EXPECT_NEAR(o.z, n.z > 0 ? 0.0 : -extrusion, 1e-4);
                (n.z > 0 ? fronts : backs)++;
                continue;
            }
            ASSERT_LT(std::fabs(n.z), 1e-3) << "a side runs straight back";
            ++sides;
            Vec3 mid = {0, 0, 0};
            for (const Vec3& o : glyphSpace) {
                mid.x += o.x / glyphSpace.size();
                mid.y += o.y / glyphSpace.size();
            }
            const double outwardness = n.x * (mid.x - centreX) + n.y * (mid.y - centreY);
            // How far out the side is, as a share of the black box's half-size.
            const double reach = std::hypot((mid.x - centreX) / (g.gmfBlackBoxX / 2), (mid.y - centreY) / (g.gmfBlackBoxY / 2));
            if (code == 'I' || reach > 0.92) {
                EXPECT_GT(outwardness, 0.0) << "outer side at (" << mid.x << ", " << mid.y << ") faces in";
            } else if (reach < 0.85) {
                EXPECT_LT(outwardness, 0.0) << "side of the hole at (" << mid.x << ", " << mid.y << ") faces out";
            }
        }
        EXPECT_GT(fronts, 0);
        EXPECT_GT(backs, 0);
        EXPECT_GE(sides, code == 'I' ? 4 : 16);
    }
}

// Flattened by glScalef(s, s, 0) as the program draws its title: the polygon set fills the ink,
// the line set only rims it.
TEST_F(FontOutlinesTest, PolygonsFillAndLinesOutline) {
    SelectGuiFont();
    GLYPHMETRICSFLOAT m[256];
    const GLuint lines = Build(WGL_FONT_LINES, 0.0f, 0.1f, m);
    const GLuint polygons = Build(WGL_FONT_POLYGONS, 0.0f, 0.1f, nullptr);
    const double x0 = 40.0, y0 = 40.0, scale = 200.0;

    auto render = [&](GLuint list) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        glPushMatrix();
        glTranslated(x0, y0, 0.0);
        glScaled(scale, scale, 0.0);
        glCallList(list);
        glPopMatrix();
        glFinish();
    };
    auto lit = [&](double x, double y) { return ReadPixel(static_cast<int>(x), static_cast<int>(y)).r > 128; };
    auto litNear = [&](double x, double y) {  // a line may pass on either side of a pixel centre
        for (int dx = -1; dx <= 1; ++dx) {
            if (lit(x + dx, y)) return true;
        }
        return false;
    };
    auto left = [&](int code) { return x0 + scale * m[code].gmfptGlyphOrigin.x; };
    auto middleX = [&](int code) { return left(code) + scale * m[code].gmfBlackBoxX / 2; };
    auto middleY = [&](int code) { return y0 + scale * (m[code].gmfptGlyphOrigin.y - m[code].gmfBlackBoxY / 2); };

    render(polygons + 'I');
    EXPECT_TRUE(lit(middleX('I'), middleY('I'))) << "inside the stem of I";
    EXPECT_FALSE(lit(left('I') - 4, middleY('I'))) << "left of I";
    render(lines + 'I');
    EXPECT_FALSE(lit(middleX('I'), middleY('I'))) << "inside the outlined stem of I";
    EXPECT_TRUE(litNear(left('I'), middleY('I'))) << "the stem's left edge";

    render(polygons + 'O');
    EXPECT_FALSE(lit(middleX('O'), middleY('O'))) << "the hole of O";
    EXPECT_TRUE(lit(left('O') + 0.04 * scale, middleY('O'))) << "the left of the ring of O";
    EXPECT_TRUE(lit(middleX('O'), middleY('O') + scale * (m['O'].gmfBlackBoxY / 2 - 0.04))) << "the top of the ring";
}

// ---- refusals ------------------------------------------------------------------------------

// A call that cannot be carried out returns FALSE and changes no list and no metrics.
TEST_F(FontOutlinesTest, RefusedCallsChangeNothing) {
    const DWORD count = 40;
    const GLuint base = glGenLists(count);
    for (DWORD i = 0; i < count; ++i) {  // each list draws a marker point at x = i
        glNewList(base + i, GL_COMPILE);
        glBegin(GL_POINTS);
        glVertex3f(static_cast<GLfloat>(i), 0.0f, 0.0f);
        glEnd();
        glEndList();
    }
    GLYPHMETRICSFLOAT m[count];
    const GLYPHMETRICSFLOAT sentinel = {7, 7, {7, 7}, 7, 7};
    std::fill(m, m + count, sentinel);
    auto unchanged = [&] {
        for (DWORD i = 0; i < count; ++i) {
            const std::vector<Primitive> drawn = DrawGlyph(base + i, 0.0, 0.0, 1.0, nullptr);
            if (drawn.size() != 1 || drawn[0].vertices[0].x != static_cast<GLfloat>(i)) return false;
            if (!SameMetrics(m[i], sentinel)) return false;
        }
        return true;
    };

    // No font selected: GDI's System font is a bitmap font.
    EXPECT_FALSE(wglUseFontOutlinesA(dc, 'A', count, base, 0.0f, 0.1f, WGL_FONT_POLYGONS, m));
    EXPECT_TRUE(unchanged()) << "no font";

    SelectGuiFont();
    EXPECT_FALSE(wglUseFontOutlinesA(nullptr, 'A', count, base, 0.0f, 0.1f, WGL_FONT_POLYGONS, m));
    EXPECT_TRUE(unchanged()) << "null DC";
    EXPECT_FALSE(wglUseFontOutlinesA(dc, 'A', count, base, 0.0f, 0.1f, 2, m));
    EXPECT_TRUE(unchanged()) << "unknown format";
    EXPECT_FALSE(wglUseFontOutlinesA(dc, 'A', count, base, -0.01f, 0.1f, WGL_FONT_LINES, m));
    EXPECT_TRUE(unchanged()) << "negative deviation";
    EXPECT_FALSE(wglUseFontOutlinesA(dc, 250, count, base, 0.0f, 0.1f, WGL_FONT_LINES, m));
    EXPECT_TRUE(unchanged()) << "codes past 255";

    ASSERT_TRUE(wglMakeCurrent(dc, nullptr));
    EXPECT_FALSE(wglUseFontOutlinesA(dc, 'A', count, base, 0.0f, 0.1f, WGL_FONT_POLYGONS, m));
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    EXPECT_TRUE(unchanged()) << "no current context";

    glNewList(base + count + 1, GL_COMPILE);
    EXPECT_FALSE(wglUseFontOutlinesA(dc, 'A', count, base, 0.0f, 0.1f, WGL_FONT_POLYGONS, m));
    glEndList();
    EXPECT_TRUE(unchanged()) << "while another list is being compiled";

    // The same call with everything in place replaces every list.
    ASSERT_TRUE(wglUseFontOutlinesA(dc, 'A', count, base, 0.0f, 0.1f, WGL_FONT_POLYGONS, m));
    for (DWORD i = 0; i < count; ++i) {
        EXPECT_FALSE(SameMetrics(m[i], sentinel)) << "metrics of code " << 'A' + i;
        const std::vector<Primitive> drawn = DrawGlyph(base + i, 0.0, 0.0, 1.0, nullptr);
        EXPECT_TRUE(drawn.empty() || drawn[0].token == GL_POLYGON_TOKEN) << "list " << i;
    }
}

}  // namespace
