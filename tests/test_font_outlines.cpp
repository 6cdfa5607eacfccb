// wglUseFontOutlinesA's polygon glyphs (the program's title), read back through GL feedback, against FreeType's font.
#include <windows.h>
#include <GL/gl.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BBOX_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "device/render_device.h"
#include "tests/test_support.h"

namespace {

const int kSize = 256;  // client area, pixels
const double kX0 = 20.0, kY0 = 60.0, kScale = 150.0;  // where and how large glyphs are drawn

// What `list` draws called at (kX0, kY0) with kScale pixels to the em.
std::vector<FeedbackPrimitive> DrawGlyph(GLuint list) {
    return CaptureFeedback([&] {
        glPushMatrix();
        glTranslated(kX0, kY0, 0.0);
        glScaled(kScale, kScale, kScale);
        glCallList(list);
        glPopMatrix();
    });
}

struct Font {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    Font() {
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* file = nullptr;
        int index = 0;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch && FT_Init_FreeType(&library) == 0)
            FT_New_Face(library, reinterpret_cast<const char*>(file), index, &face);
        if (match != nullptr) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    ~Font() { if (library != nullptr) FT_Done_FreeType(library); }  // and its face with it
};

// A glyph's contours in font units, every curve cut into 256 steps: within 0.02 units of it.
typedef std::vector<std::vector<FeedbackVertex>> Contours;
int MoveTo(const FT_Vector* to, void* user) {
    static_cast<Contours*>(user)->push_back({{float(to->x), float(to->y)}});
    return 0;
}
int Cubic(void* user, double x1, double y1, double x2, double y2, const FT_Vector* to) {
    std::vector<FeedbackVertex>& contour = static_cast<Contours*>(user)->back();
    const FeedbackVertex p = contour.back();
    for (int i = 1; i <= 256; ++i) {
        const double t = i / 256.0, s = 1 - t, a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
        contour.push_back({float(a * p.x + b * x1 + c * x2 + d * to->x), float(a * p.y + b * y1 + c * y2 + d * to->y)});
    }
    return 0;
}
int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    return Cubic(user, c1->x, c1->y, c2->x, c2->y, to);
}
int LineTo(const FT_Vector* to, void* user) {
    static_cast<Contours*>(user)->back().push_back({float(to->x), float(to->y)});
    return 0;
}
int ConicTo(const FT_Vector* c, const FT_Vector* to, void* user) {  // the same curve as a cubic
    const FeedbackVertex p = static_cast<Contours*>(user)->back().back();
    return Cubic(user, p.x + (c->x - p.x) * 2 / 3.0, p.y + (c->y - p.y) * 2 / 3.0, to->x + (c->x - to->x) * 2 / 3.0,
                 to->y + (c->y - to->y) * 2 / 3.0, to);
}

// The signed area enclosed, font units squared, anticlockwise positive; holes run the other way.
double Area(const std::vector<FeedbackVertex>& c) {
    double twice = 0.0;
    for (size_t i = 0; i < c.size(); ++i) twice += c[i].x * c[(i + 1) % c.size()].y - c[(i + 1) % c.size()].x * c[i].y;
    return twice / 2;
}

// How far the farthest point of `points` lies from the closed polylines `outline`.
double Farthest(const Contours& points, const Contours& outline) {
    double farthest = 0.0;
    for (const auto& contour : points) {
        for (const FeedbackVertex& p : contour) {
            double nearest = 1e30;
            for (const auto& c : outline) {
                for (size_t i = 0; i < c.size(); ++i) {
                    const FeedbackVertex &a = c[i], &b = c[(i + 1) % c.size()];
                    const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
                    const double along = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
                    const double t = std::clamp(along, 0.0, 1.0);
                    nearest = std::min(nearest, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
                }
            }
            farthest = std::max(farthest, nearest);
        }
    }
    return farthest;
}

// Windows-1252 codes: 0x80 is the euro sign, 0x9F Y diaeresis; 0x01, 0x81 and 255 (not built) draw nothing.
TEST(FontOutlinesTest, GlyphsAreTheFontsOwnOutlinesAndAdvances) {
    Font font;
    ASSERT_NE(font.face, nullptr) << "FreeType cannot open fontconfig's sans-serif";
    const double em = font.face->units_per_EM;
    ASSERT_EQ(OpenDevice(kSize, kSize), 0);  // the program's glyph sets
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, kSize, 0.0, kSize, -kSize, kSize);  // one unit per pixel, z = 0 at depth 0.5
    glMatrixMode(GL_MODELVIEW);
    const struct { int code; FT_ULong unicode; } glyphs[] = {
        {'S', 'S'}, {'@', '@'}, {'i', 'i'}, {'W', 'W'}, {'g', 'g'}, {0x80, 0x20AC}, {0x9F, 0x178},
        {0x01, 0}, {0x81, 0}, {255, 0}};
    for (const auto& glyph : glyphs) {
        SCOPED_TRACE("code " + std::to_string(glyph.code));
        std::vector<float> want(5, 0.0f);  // no glyph: zero metrics
        Contours curves;
        double ink = 0.0;
        if (glyph.unicode != 0) {
            ASSERT_EQ(FT_Load_Char(font.face, glyph.unicode, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING), 0);
            FT_BBox box;
            FT_Outline_Get_BBox(&font.face->glyph->outline, &box);
            want = {float((box.xMax - box.xMin) / em), float((box.yMax - box.yMin) / em), float(box.xMin / em),
                    float(box.yMax / em), float(font.face->glyph->metrics.horiAdvance / em)};
            const FT_Outline_Funcs funcs = {MoveTo, LineTo, ConicTo, CubicTo, 0, 0};
            ASSERT_EQ(FT_Outline_Decompose(&font.face->glyph->outline, &funcs, &curves), 0);
            for (const auto& c : curves) ink += Area(c);
        }
        const GLYPHMETRICSFLOAT& g = device.polygonGlyphs[glyph.code];
        EXPECT_EQ(std::vector<float>({g.gmfBlackBoxX, g.gmfBlackBoxY, g.gmfptGlyphOrigin.x, g.gmfptGlyphOrigin.y,
                                      g.gmfCellIncX}), want) << "black box, origin and advance";
        Contours polygons;
        double frontArea = 0.0;  // of the polygons at z = 0, font units squared
        for (const FeedbackPrimitive& p : DrawGlyph(device.polygonFontBase + glyph.code)) {
            EXPECT_EQ(p.token, static_cast<GLenum>(GL_POLYGON_TOKEN));
            polygons.emplace_back();
            for (const FeedbackVertex& v : p.vertices)  // back from window pixels to font units
                polygons.back().push_back({float((v.x - kX0) / kScale * em), float((v.y - kY0) / kScale * em)});
            if (std::fabs(p.vertices[0].z - 0.5) < 1e-5) frontArea += std::fabs(Area(polygons.back()));
        }
        EXPECT_NEAR(frontArea, std::fabs(ink), 1e-3 * em * em) << "front face against ink";
        EXPECT_LT(Farthest(polygons, curves), 0.1) << "font units from a drawn vertex to the font's curves";
        EXPECT_LT(Farthest(curves, polygons), 1.1) << "font units from the font's curves to the drawn edges";
    }
    device.Release();
    PlatformResetForTests();
}

}  // namespace
