// wglUseFontOutlinesA through the real layer: a window, its DC with the stock GUI font selected, a
// current Mesa context, and the glyph lists read back through GL feedback and glReadPixels.
#include <windows.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "tests/test_support.h"

namespace {

const int kSize = 256;  // client area, pixels

// Feedback in GL_3D_COLOR (window x, y, depth and the lit colour): the shared capture is 2-D.
struct Vertex { GLfloat x, y, z, r, g, b, a; };
struct Primitive {
    GLfloat token;
    std::vector<Vertex> vertices;
};
bool operator==(const Vertex& a, const Vertex& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
bool operator==(const Primitive& a, const Primitive& b) { return a.token == b.token && a.vertices == b.vertices; }

std::vector<Primitive> Feedback(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflowed";
    std::vector<Primitive> primitives;
    for (GLint i = 0; i < used;) {  // only points, lines and polygons are drawn here
        Primitive p = {buffer[i++], {}};
        const int n = p.token == GL_POLYGON_TOKEN ? static_cast<int>(buffer[i++]) : p.token == GL_POINT_TOKEN ? 1 : 2;
        p.vertices.resize(n);
        for (Vertex& v : p.vertices) std::memcpy(&v, &buffer[(i += 7) - 7], sizeof v);
        primitives.push_back(p);
    }
    return primitives;
}

class FontOutlinesTest : public ::testing::Test {
protected:
    GlWindow gl;

    void SetUp() override { OpenWindow(); }
    void TearDown() override { PlatformResetForTests(); }
    void OpenWindow(bool selectFont = true) {
        gl = GlWindow();
        ASSERT_TRUE(gl.Open(kSize, kSize, "Font Outlines Test")) << gl.error;
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0.0, kSize, 0.0, kSize, -kSize, kSize);  // one unit per pixel, z = 0 at depth 0.5
        glMatrixMode(GL_MODELVIEW);
        if (selectFont) SelectObject(gl.dc, GetStockObject(DEFAULT_GUI_FONT));
    }
    // The program's build: 256 list names, codes 0..254 compiled into the first 255.
    GLuint Build(int format, FLOAT deviation, FLOAT extrusion, GLYPHMETRICSFLOAT* metrics) {
        const GLuint base = glGenLists(256);
        EXPECT_TRUE(wglUseFontOutlinesA(gl.dc, 0, 255, base, deviation, extrusion, format, metrics));
        return base;
    }
    // What `list` draws called at (x, y) with `scale` pixels to the em, and where it leaves the origin.
    std::vector<Primitive> DrawGlyph(GLuint list, double x, double y, double scale, Vertex* after = nullptr) {
        std::vector<Primitive> drawn = Feedback([&] {
            glPushMatrix();
            glTranslated(x, y, 0.0);
            glScaled(scale, scale, scale);
            glCallList(list);
            glBegin(GL_POINTS);
            glVertex3f(0.0f, 0.0f, 0.0f);
            glEnd();
            glPopMatrix();
        });
        EXPECT_FALSE(drawn.empty()) << "the origin point is missing";
        if (drawn.empty()) return drawn;
        if (after != nullptr) *after = drawn.back().vertices[0];
        drawn.pop_back();
        return drawn;
    }
};

// Each list draws inside its black box and leaves the origin moved on by gmfCellIncX; a code with
// no glyph, and the list past the last code, draw nothing and do not move. A coarser deviation
// gives fewer vertices. Flattened by glScalef(s, s, 0), as the program draws its title, polygons
// fill the ink and lines only rim it.
TEST_F(FontOutlinesTest, GlyphListsDrawTheirGlyphsThenAdvance) {
    const double x0 = 20.0, y0 = 60.0, scale = 150.0;
    for (int format : {WGL_FONT_LINES, WGL_FONT_POLYGONS}) {
        SCOPED_TRACE(format == WGL_FONT_LINES ? "lines" : "polygons");
        GLYPHMETRICSFLOAT m[256] = {};
        const GLuint base = Build(format, 0.0f, 0.25f, m);
        const GLuint coarse = Build(format, 0.03f, 0.25f, nullptr);
        EXPECT_GT(m['W'].gmfCellIncX, m['i'].gmfCellIncX);
        EXPECT_NEAR(m['A'].gmfBlackBoxY, 0.7f, 0.1f) << "about the cap height";
        EXPECT_GT(m[' '].gmfCellIncX, 0.1f);
        EXPECT_EQ(m[' '].gmfBlackBoxX + m[' '].gmfBlackBoxY, 0.0f);
        EXPECT_EQ(m[0x9F].gmfCellIncX, m['Y'].gmfCellIncX) << "0x9F is Y diaeresis, not a C1 control";
        for (const auto& g : m) EXPECT_LT(std::max({g.gmfCellIncX, g.gmfBlackBoxX, g.gmfBlackBoxY}), 2.0f) << &g - m;
        auto left = [&](int code) { return x0 + scale * m[code].gmfptGlyphOrigin.x; };
        auto midX = [&](int code) { return left(code) + scale * m[code].gmfBlackBoxX / 2; };
        auto midY = [&](int code) { return y0 + scale * (m[code].gmfptGlyphOrigin.y - m[code].gmfBlackBoxY / 2); };
        const bool fill = format == WGL_FONT_POLYGONS;
        const struct { int code; double x, y; bool lit; const char* where; } pixels[] = {
            {'I', midX('I'), midY('I'), fill, "inside the stem of I"},
            {'I', left('I'), midY('I'), true, "on the left edge of I"},
            {'O', midX('O'), midY('O'), false, "in the hole of O"},
            {'O', left('O') + 0.04 * scale, midY('O'), fill, "on the ring of O"},
        };
        for (const auto& c : pixels) {
            glClear(GL_COLOR_BUFFER_BIT);
            glPushMatrix();
            glTranslated(x0, y0, 0.0);
            glScaled(scale, scale, 0.0);
            glCallList(base + c.code);
            glPopMatrix();
            bool lit = false;  // a line may pass on either side of a pixel centre
            for (int dx : {-1, 0, 1}) lit |= ReadPixel(static_cast<int>(c.x) + dx, static_cast<int>(c.y)).r > 128;
            EXPECT_EQ(lit, c.lit) << c.where;
        }
        // 0x80 is the euro sign; 0x01, 0x81 (undefined in Windows-1252) and 255 (not built) have no glyph.
        for (int code : {int{'O'}, int{'g'}, int{'@'}, 0x80, 0x01, 0x81, 255}) {
            SCOPED_TRACE("code " + std::to_string(code));
            const bool ink = code == 'O' || code == 'g' || code == '@' || code == 0x80;
            Vertex after = {};
            const std::vector<Primitive> drawn = DrawGlyph(base + code, x0, y0, scale, &after);
            const GLYPHMETRICSFLOAT& g = m[code];
            EXPECT_NEAR(after.x, x0 + scale * (ink ? g.gmfCellIncX : 0.0f), 1e-3);
            EXPECT_EQ(drawn.empty(), !ink);
            EXPECT_EQ(g.gmfCellIncX > 0.3f && g.gmfBlackBoxY > 0.6f, ink) << "metrics";
            if (drawn.empty()) continue;
            double minX = 1e30, minY = 1e30, maxX = -1e30, maxY = -1e30;
            size_t vertices = 0, coarseVertices = 0;
            for (const Primitive& p : DrawGlyph(coarse + code, x0, y0, scale)) coarseVertices += p.vertices.size();
            for (const Primitive& p : drawn) {
                vertices += p.vertices.size();
                EXPECT_EQ(p.token == GL_POLYGON_TOKEN, format == WGL_FONT_POLYGONS) << p.token;
                for (const Vertex& v : p.vertices) {
                    minX = std::min<double>(minX, v.x), maxX = std::max<double>(maxX, v.x);
                    minY = std::min<double>(minY, v.y), maxY = std::max<double>(maxY, v.y);
                }
            }
            EXPECT_NEAR(minX, x0 + scale * g.gmfptGlyphOrigin.x, 0.3);
            EXPECT_NEAR(maxX, x0 + scale * (g.gmfptGlyphOrigin.x + g.gmfBlackBoxX), 0.3);
            EXPECT_NEAR(maxY, y0 + scale * g.gmfptGlyphOrigin.y, 0.3);
            EXPECT_NEAR(minY, y0 + scale * (g.gmfptGlyphOrigin.y - g.gmfBlackBoxY), 0.3);
            EXPECT_LT(coarseVertices, vertices) << "deviation 0.03 against 0";
        }
    }
}

// An extruded I lit along (1, 2, 3): every face shows the light its winding says it faces, the
// front lies at z = 0 facing +z, the back at -extrusion facing -z, and the sides face outward.
TEST_F(FontOutlinesTest, ExtrudedFacesPointOutward) {
    GLYPHMETRICSFLOAT m[256];
    const GLuint base = Build(WGL_FONT_POLYGONS, 0.0f, 0.5f, m);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    const GLfloat light[] = {1, 2, 3, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    const double x0 = 60.0, y0 = 60.0, scale = 100.0, backDepth = 0.5 + 0.5 * scale / (2 * kSize);
    const GLYPHMETRICSFLOAT& g = m['I'];
    const double cx = x0 + scale * (g.gmfptGlyphOrigin.x + g.gmfBlackBoxX / 2);
    const double cy = y0 + scale * (g.gmfptGlyphOrigin.y - g.gmfBlackBoxY / 2);
    int fronts = 0, backs = 0, sides = 0;
    for (const Primitive& p : DrawGlyph(base + 'I', x0, y0, scale)) {
        double n[3] = {0, 0, 0}, midX = 0, midY = 0;  // Newell's normal in eye coordinates
        for (size_t i = 0; i < p.vertices.size(); ++i) {
            const Vertex& a = p.vertices[i];
            const Vertex& b = p.vertices[(i + 1) % p.vertices.size()];
            const double az = (0.5 - a.z) * 2 * kSize, bz = (0.5 - b.z) * 2 * kSize;
            n[0] += (a.y - b.y) * (az + bz);
            n[1] += (az - bz) * (a.x + b.x);
            n[2] += (a.x - b.x) * (a.y + b.y);
            midX += a.x / p.vertices.size(), midY += a.y / p.vertices.size();
        }
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        // GL's default material and light model: 0.2 x 0.2 ambient, 0.8 diffuse.
        const double lit = 0.04 + 0.8 * std::max(0.0, (n[0] + 2 * n[1] + 3 * n[2]) / length / std::sqrt(14.0));
        for (const Vertex& v : p.vertices) EXPECT_NEAR(v.r, lit, 0.01) << "lit as wound";
        if (std::fabs(n[2]) > 0.99 * length) {
            for (const Vertex& v : p.vertices) EXPECT_NEAR(v.z, n[2] > 0 ? 0.5 : backDepth, 1e-5);
            ++(n[2] > 0 ? fronts : backs);
        } else {
            ++sides;
            EXPECT_GT(n[0] * (midX - cx) + n[1] * (midY - cy), 0.0) << "side faces in at " << midX << ", " << midY;
        }
    }
    EXPECT_TRUE(fronts > 0 && backs > 0 && sides >= 4) << fronts << ", " << backs << ", " << sides;
}

// With no font selected, or no current context, the call returns FALSE, creates no list and writes
// no metrics.
TEST_F(FontOutlinesTest, RefusedCallsChangeNothing) {
    PlatformResetForTests();
    ASSERT_NO_FATAL_FAILURE(OpenWindow(false));
    const GLuint base = 4242;  // a free name in the new context: a list made by the call shows in glIsList
    GLYPHMETRICSFLOAT m = {7, 7, {7, 7}, 7, 7};
    auto call = [&] { return wglUseFontOutlinesA(gl.dc, 'A', 1, base, 0.0f, 0.1f, WGL_FONT_POLYGONS, &m); };
    for (bool noContext : {false, true}) {
        SCOPED_TRACE(noContext ? "no current context" : "no font selected");
        if (noContext) SelectObject(gl.dc, GetStockObject(DEFAULT_GUI_FONT));
        ASSERT_TRUE(wglMakeCurrent(gl.dc, noContext ? nullptr : gl.context));
        EXPECT_FALSE(call());
        ASSERT_TRUE(wglMakeCurrent(gl.dc, gl.context));
        EXPECT_FALSE(glIsList(base));
        EXPECT_EQ(m.gmfCellIncX, 7.0f);
    }
    ASSERT_TRUE(call());
    EXPECT_TRUE(glIsList(base));
    EXPECT_NE(m.gmfCellIncX, 7.0f);
}

// The layer keeps one call's outlines for the next: after a coarser line set, and again from the
// kept outlines, each polygon list draws exactly what a single-glyph call on a fresh layer draws.
TEST_F(FontOutlinesTest, KeptOutlinesChangeNoList) {
    const std::vector<unsigned char> codes = {'O', '@', 'g', '&', 0x80};
    auto draw = [&](GLuint list) { return DrawGlyph(list, 20.0, 60.0, 150.0); };
    std::vector<std::vector<Primitive>> alone;
    const GLuint single = glGenLists(1);
    for (unsigned char code : codes) {
        ASSERT_TRUE(wglUseFontOutlinesA(gl.dc, code, 1, single, 0.0f, 0.1f, WGL_FONT_POLYGONS, nullptr));
        alone.push_back(draw(single));
    }
    PlatformResetForTests();  // nothing kept from the reference
    ASSERT_NO_FATAL_FAILURE(OpenWindow());
    Build(WGL_FONT_LINES, 0.03f, 0.1f, nullptr);
    const GLuint afterCoarse = Build(WGL_FONT_POLYGONS, 0.0f, 0.1f, nullptr);
    const GLuint kept = Build(WGL_FONT_POLYGONS, 0.0f, 0.1f, nullptr);
    for (size_t i = 0; i < codes.size(); ++i) {
        EXPECT_TRUE(draw(afterCoarse + codes[i]) == alone[i]) << "after the coarse set, code " << int(codes[i]);
        EXPECT_TRUE(draw(kept + codes[i]) == alone[i]) << "from kept outlines, code " << int(codes[i]);
    }
}

}  // namespace
