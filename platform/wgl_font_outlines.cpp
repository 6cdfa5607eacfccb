// wglUseFontOutlinesA on Linux: display lists from FreeType outlines of the font selected into the DC.
//  [X] WGL_FONT_LINES: each contour closed at z = 0, as a line strip that returns to its first
//      point rather than a GL_LINE_LOOP (same pixels; see EmitLines).
//  [X] WGL_FONT_POLYGONS: front face tessellated by GLU at z = 0 (normal +z), and with a non-zero
//      extrusion a back face at z = -extrusion (normal -z) and sides with outward normals, all in
//      one GL_TRIANGLES primitive per glyph.
//  [X] Every glyph's list ends by moving right by its advance; GLYPHMETRICSFLOAT in em units.
//  [X] Character codes are Windows-1252 bytes; a code the font has no glyph for gets an empty list
//      (not even the advance) and zero metrics.
//  [X] On failure returns FALSE before any list is compiled or any metrics are written.
//  [ ] The font is what fontconfig matches for the selected font's pattern (the stock GUI font is
//      "sans-serif"), not what GDI's font mapper would choose.
//  [ ] deviation bounds the chord error of each flattened curve, in em; 0 means one design unit,
//      as Win32 documents it. A curve is cut into at most 64 segments however small the bound.
//  [ ] Codes past 255 (first + count > 256) are refused rather than read as double-byte characters.
//  [X] The outlines of the last face and deviation are kept for the next call (the program builds
//      its line set and then its polygon set from the same glyphs); this changes nothing in the lists.
#include <windows.h>

#include <SDL.h>
#include <fontconfig/fontconfig.h>
#include <stdio.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BBOX_H
#include FT_OUTLINE_H

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "layer.h"
#include "wgl_font_outlines.h"

namespace {

const int kMaxSegmentsPerCurve = 64;
// Where the sides of an extruded glyph turn by more than this, they get a crease instead of a
// normal shared by both faces.
const double kCreaseCosine = 0.8660254037844387;  // cos 30°

struct Point {
    double x;
    double y;
};

// One glyph's outline, ready to be put in a list: everything in em units.
struct GlyphShape {
    bool loaded = false;   // the fields below are read from the font
    bool present = false;  // the font has a glyph for the code
    GLYPHMETRICSFLOAT metrics = {};
    std::vector<Point> points;          // contour after contour, closed implicitly
    std::vector<size_t> contourEnds;    // one past the last point of each contour
    bool inkOnLeft = false;             // contours run anticlockwise around the ink
    bool evenOdd = false;               // filled by the even-odd rule rather than non-zero winding
};

// One glyph's front face: triangles, three corners each, anticlockwise seen from +z. A corner is
// an index into the glyph's points, or past them into `crossings`, the points GLU adds where edges
// meet. Indices rather than coordinates keep the program's 255 faces to about 150 KB.
struct FrontFace {
    std::vector<uint32_t> corners;
    std::vector<Point> crossings;
};

const Point& Corner(const GlyphShape& shape, const FrontFace& face, uint32_t corner) {
    return corner < shape.points.size() ? shape.points[corner] : face.crossings[corner - shape.points.size()];
}

// The face resolved for the last pattern asked for, and the glyphs read from it at the last
// deviation: the program builds its line and polygon glyphs one call after the other from the
// same font, so the second call finds the outlines ready.
struct FontOutlineState {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string pattern;                 // what `face` was resolved from
    std::string missingPattern;          // the last pattern reported as having no outline font
    double tolerance = 0.0;              // the flattening `glyphs` were read with, font units
    std::array<GlyphShape, 256> glyphs;  // by character code
};
FontOutlineState outlines;

void ForgetGlyphs() {
    for (GlyphShape& glyph : outlines.glyphs) glyph = GlyphShape();
}

// Unicode of the Windows-1252 codes 0x80..0x9F; 0 where the code page defines no character.
const unsigned short kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

unsigned long UnicodeFromCp1252(unsigned int code) {
    if (code >= 0x80 && code <= 0x9F) return kCp1252High[code - 0x80];
    return code;
}

// The font file and face index fontconfig picks for `pattern`.
bool ResolveFontFile(const char* pattern, std::string* file, int* faceIndex) {
    FcPattern* request = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
    if (request == nullptr) return false;
    bool found = false;
    if (FcConfigSubstitute(nullptr, request, FcMatchPattern)) {
        FcDefaultSubstitute(request);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, request, &result);
        FcChar8* path = nullptr;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            *file = reinterpret_cast<const char*>(path);
            if (FcPatternGetInteger(match, FC_INDEX, 0, faceIndex) != FcResultMatch) *faceIndex = 0;
            found = true;
        }
        if (match != nullptr) FcPatternDestroy(match);
    }
    FcPatternDestroy(request);
    return found;
}

// No face: said once on stderr, since the caller cannot tell why its lists are missing.
FT_Face NoFaceFor(const char* pattern, const char* reason) {
    if (outlines.missingPattern != pattern) {
        outlines.missingPattern = pattern;
        fprintf(stderr, "wglUseFontOutlinesA: no outline font for \"%s\": %s\n", pattern, reason);
    }
    return nullptr;
}

// The scalable face with a Unicode character map for `pattern`, opened once and kept.
FT_Face FaceForPattern(const char* pattern) {
    if (outlines.face != nullptr && outlines.pattern == pattern) return outlines.face;

    std::string file;
    int faceIndex = 0;
    if (!ResolveFontFile(pattern, &file, &faceIndex)) return NoFaceFor(pattern, "fontconfig has no font for it");
    if (outlines.library == nullptr && FT_Init_FreeType(&outlines.library) != 0) {
        outlines.library = nullptr;
        return NoFaceFor(pattern, "FreeType cannot start");
    }
    FT_Face face = nullptr;
    if (FT_New_Face(outlines.library, file.c_str(), faceIndex, &face) != 0) {
        return NoFaceFor(pattern, ("FreeType cannot read " + file).c_str());
    }
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0 || FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        FT_Done_Face(face);
        return NoFaceFor(pattern, (file + " has no outlines with a Unicode map").c_str());
    }
    if (outlines.face != nullptr) FT_Done_Face(outlines.face);
    outlines.face = face;
    outlines.pattern = pattern;
    ForgetGlyphs();
    return face;
}

// Flattens FreeType's contour callbacks into polylines, in font units.
struct Flattener {
    double tolerance;  // largest chord error allowed, font units
    Point current;
    std::vector<Point>* points;         // emptied for each glyph, reused from glyph to glyph
    std::vector<size_t>* contourEnds;   // likewise
    size_t contourStart;

    void Add(Point p) {
        if (points->size() > contourStart) {
            const Point& last = points->back();
            if (std::fabs(last.x - p.x) < 1e-6 && std::fabs(last.y - p.y) < 1e-6) return;
        }
        points->push_back(p);
    }

    // Ends the open contour: drops the closing point FreeType repeats, and contours too small to
    // enclose anything.
    void EndContour() {
        if (points->size() - contourStart >= 2) {
            const Point& first = (*points)[contourStart];
            const Point& last = points->back();
            if (std::fabs(last.x - first.x) < 1e-6 && std::fabs(last.y - first.y) < 1e-6) points->pop_back();
        }
        if (points->size() - contourStart < 3) {
            points->resize(contourStart);
        } else {
            contourEnds->push_back(points->size());
        }
        contourStart = points->size();
    }

    int Segments(double secondDifference, double errorFactor) const {
        double n = std::ceil(std::sqrt(errorFactor * secondDifference / tolerance));
        if (!(n >= 1.0)) return 1;
        return n > kMaxSegmentsPerCurve ? kMaxSegmentsPerCurve : static_cast<int>(n);
    }
};

Point ToPoint(const FT_Vector* v) {
    return {static_cast<double>(v->x), static_cast<double>(v->y)};
}

int MoveTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    f->EndContour();
    f->current = ToPoint(to);
    f->Add(f->current);
    return 0;
}

int LineTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    f->current = ToPoint(to);
    f->Add(f->current);
    return 0;
}

// A quadratic with n equal parameter steps strays from its chords by at most |p0 - 2c + p1| / (4 n²).
int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    const Point p0 = f->current;
    const Point c = ToPoint(control);
    const Point p1 = ToPoint(to);
    const int n = f->Segments(std::hypot(p0.x - 2 * c.x + p1.x, p0.y - 2 * c.y + p1.y), 0.25);
    for (int i = 1; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double s = 1.0 - t;
        f->Add({s * s * p0.x + 2 * s * t * c.x + t * t * p1.x, s * s * p0.y + 2 * s * t * c.y + t * t * p1.y});
    }
    f->Add(p1);
    f->current = p1;
    return 0;
}

// A cubic strays by at most 3 M / (4 n²), M the larger of its two second differences.
int CubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    const Point p0 = f->current;
    const Point c1 = ToPoint(control1);
    const Point c2 = ToPoint(control2);
    const Point p1 = ToPoint(to);
    const double m = std::fmax(std::hypot(p0.x - 2 * c1.x + c2.x, p0.y - 2 * c1.y + c2.y),
                               std::hypot(c1.x - 2 * c2.x + p1.x, c1.y - 2 * c2.y + p1.y));
    const int n = f->Segments(m, 0.75);
    for (int i = 1; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double s = 1.0 - t;
        const double a = s * s * s, b = 3 * s * s * t, d = 3 * s * t * t, e = t * t * t;
        f->Add({a * p0.x + b * c1.x + d * c2.x + e * p1.x, a * p0.y + b * c1.y + d * c2.y + e * p1.y});
    }
    f->Add(p1);
    f->current = p1;
    return 0;
}

const FT_Outline_Funcs kFlattenFuncs = {MoveTo, LineTo, ConicTo, CubicTo, 0, 0};

// Flattened outlines before they are copied into a glyph at their exact size.
struct OutlineScratch {
    std::vector<Point> points;
    std::vector<size_t> contourEnds;
};

// Loads the glyph for `code` into `shape`, outlines flattened, in em units. False when the font
// cannot give it.
bool LoadGlyph(FT_Face face, unsigned int code, double tolerance, OutlineScratch* scratch, GlyphShape* shape) {
    const unsigned long unicode = UnicodeFromCp1252(code);
    const FT_UInt index = unicode != 0 ? FT_Get_Char_Index(face, unicode) : 0;
    if (index == 0) {  // no glyph: an empty list and zero metrics
        shape->loaded = true;
        return true;
    }
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;

    const double em = 1.0 / face->units_per_EM;
    FT_BBox box = {0, 0, 0, 0};
    if (slot->outline.n_points > 0 && FT_Outline_Get_BBox(&slot->outline, &box) != 0) return false;
    shape->present = true;
    shape->metrics.gmfBlackBoxX = static_cast<FLOAT>((box.xMax - box.xMin) * em);
    shape->metrics.gmfBlackBoxY = static_cast<FLOAT>((box.yMax - box.yMin) * em);
    shape->metrics.gmfptGlyphOrigin.x = static_cast<FLOAT>(box.xMin * em);
    shape->metrics.gmfptGlyphOrigin.y = static_cast<FLOAT>(box.yMax * em);
    shape->metrics.gmfCellIncX = static_cast<FLOAT>(slot->metrics.horiAdvance * em);
    shape->metrics.gmfCellIncY = 0.0f;

    scratch->points.clear();
    scratch->contourEnds.clear();
    Flattener flattener = {tolerance, {0.0, 0.0}, &scratch->points, &scratch->contourEnds, 0};
    if (FT_Outline_Decompose(&slot->outline, &kFlattenFuncs, &flattener) != 0) return false;
    flattener.EndContour();
    shape->points.assign(scratch->points.begin(), scratch->points.end());
    shape->contourEnds.assign(scratch->contourEnds.begin(), scratch->contourEnds.end());

    // Twice the signed area: positive when the contours run anticlockwise around the ink.
    double area = 0.0;
    size_t start = 0;
    for (size_t end : shape->contourEnds) {
        for (size_t i = start; i < end; ++i) {
            const Point& a = shape->points[i];
            const Point& b = shape->points[i + 1 < end ? i + 1 : start];
            area += a.x * b.y - b.x * a.y;
        }
        start = end;
    }
    shape->inkOnLeft = area > 0.0;
    shape->evenOdd = (slot->outline.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0;
    for (Point& p : shape->points) {
        p.x *= em;
        p.y *= em;
    }
    shape->loaded = true;
    return true;
}

// ---- front-face tessellation ------------------------------------------------------------

// GLU copies the coordinates it is given; the vertex data it hands back is the corner's index
// plus one, so that no corner is a null pointer.
struct Tessellation {
    FrontFace* face;
    uint32_t firstCrossing;  // index of the first added point: the glyph's point count
    bool failed;
};

void* CornerData(uint32_t corner) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(corner) + 1);
}

void GLAPIENTRY TessBegin(GLenum type, void* data) {
    // With an edge-flag callback GLU gives only independent triangles.
    if (type != GL_TRIANGLES) static_cast<Tessellation*>(data)->failed = true;
}

void GLAPIENTRY TessEdgeFlag(GLboolean, void*) {}

// The callbacks run inside GLU's C code, which an exception must not cross.
void GLAPIENTRY TessVertex(void* vertex, void* data) {
    auto* tess = static_cast<Tessellation*>(data);
    const uintptr_t corner = reinterpret_cast<uintptr_t>(vertex) - 1;
    try {
        tess->face->corners.push_back(static_cast<uint32_t>(corner));
    } catch (const std::bad_alloc&) {
        tess->failed = true;
    }
}

void GLAPIENTRY TessCombine(GLdouble coords[3], void*[4], GLfloat[4], void** out, void* data) {
    auto* tess = static_cast<Tessellation*>(data);
    try {
        tess->face->crossings.push_back({coords[0], coords[1]});
        *out = CornerData(tess->firstCrossing + static_cast<uint32_t>(tess->face->crossings.size() - 1));
    } catch (const std::bad_alloc&) {
        tess->failed = true;
    }
}

void GLAPIENTRY TessError(GLenum, void* data) {
    static_cast<Tessellation*>(data)->failed = true;
}

struct TessDeleter {
    void operator()(GLUtesselator* tess) const { gluDeleteTess(tess); }
};
using TessPtr = std::unique_ptr<GLUtesselator, TessDeleter>;

TessPtr NewTessellator() {
    TessPtr tess(gluNewTess());
    if (!tess) return tess;
    // void(*)() stands for any callback type, as GLU expects.
    gluTessCallback(tess.get(), GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(TessBegin));
    gluTessCallback(tess.get(), GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(TessEdgeFlag));
    gluTessCallback(tess.get(), GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(TessVertex));
    gluTessCallback(tess.get(), GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(TessCombine));
    gluTessCallback(tess.get(), GLU_TESS_ERROR_DATA, reinterpret_cast<_GLUfuncptr>(TessError));
    // Seen from +z, so the triangles come out anticlockwise from the front.
    gluTessNormal(tess.get(), 0.0, 0.0, 1.0);
    return tess;
}

bool TessellateFront(GLUtesselator* tess, const GlyphShape& shape, FrontFace* face) {
    Tessellation state = {face, static_cast<uint32_t>(shape.points.size()), false};
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, shape.evenOdd ? GLU_TESS_WINDING_ODD : GLU_TESS_WINDING_NONZERO);
    gluTessBeginPolygon(tess, &state);
    size_t start = 0;
    for (size_t end : shape.contourEnds) {
        gluTessBeginContour(tess);
        for (size_t i = start; i < end; ++i) {
            GLdouble coords[3] = {shape.points[i].x, shape.points[i].y, 0.0};
            gluTessVertex(tess, coords, CornerData(static_cast<uint32_t>(i)));
        }
        gluTessEndContour(tess);
        start = end;
    }
    gluTessEndPolygon(tess);
    return !state.failed && face->corners.size() % 3 == 0;
}

// The front faces of `count` glyphs into `faces`, with one tessellator for them all.
bool TessellateFronts(const GlyphShape* glyphs, FrontFace* faces, size_t count) {
    TessPtr tess;
    for (size_t i = 0; i < count; ++i) {
        if (glyphs[i].contourEnds.empty()) continue;
        if (!tess) {
            tess = NewTessellator();
            if (!tess) return false;
        }
        // A polygon of n corners and h holes makes n + 2h - 2 triangles, a few more where edges cross.
        faces[i].corners.reserve(3 * (glyphs[i].points.size() + 2 * glyphs[i].contourEnds.size()));
        if (!TessellateFront(tess.get(), glyphs[i], &faces[i])) return false;
    }
    return true;
}

// ---- list contents ------------------------------------------------------------------------

// Each contour as a line strip back to its first point: the pixels of a GL_LINE_LOOP, but Mesa's
// feedback and selection modes lose or crash on several line loops compiled into one list.
void EmitLines(const GlyphShape& shape) {
    size_t start = 0;
    for (size_t end : shape.contourEnds) {
        glBegin(GL_LINE_STRIP);
        for (size_t i = start; i <= end; ++i) {
            const Point& p = shape.points[i < end ? i : start];
            glVertex3f(static_cast<GLfloat>(p.x), static_cast<GLfloat>(p.y), 0.0f);
        }
        glEnd();
        start = end;
    }
}

// The sides of one contour from z = 0 to z = back, a quad of two triangles for each edge, inside
// the glyph's GL_TRIANGLES. Neighbouring quads share a normal across a gentle turn, so flattened
// curves light smoothly; at a sharper turn each keeps its own, so corners stay crisp.
void EmitContourSides(const Point* p, size_t n, bool inkOnLeft, GLfloat back) {
    std::vector<Point> normal(n);  // of the edge from p[i] to p[i + 1], pointing away from the ink
    for (size_t i = 0; i < n; ++i) {
        const Point& a = p[i];
        const Point& b = p[(i + 1) % n];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double length = std::hypot(dx, dy);
        normal[i] = inkOnLeft ? Point{dy / length, -dx / length} : Point{-dy / length, dx / length};
    }
    // At p[i], between edges i - 1 and i: their mean, or none at a crease.
    std::vector<Point> shared(n);
    std::vector<bool> crease(n);
    for (size_t i = 0; i < n; ++i) {
        const Point& in = normal[(i + n - 1) % n];
        const Point& out = normal[i];
        crease[i] = in.x * out.x + in.y * out.y < kCreaseCosine;
        const double x = in.x + out.x, y = in.y + out.y;
        const double length = std::hypot(x, y);
        shared[i] = Point{x / length, y / length};
    }

    // Each quad runs front, back at p[i], then back, front at p[j] when the ink is on the left
    // (the other way round otherwise), which keeps it anticlockwise seen from outside.
    const GLfloat nearZ = inkOnLeft ? 0.0f : back;
    const GLfloat farZ = inkOnLeft ? back : 0.0f;
    auto vertex = [](const Point& at, const Point& nrm, GLfloat z) {
        glNormal3f(static_cast<GLfloat>(nrm.x), static_cast<GLfloat>(nrm.y), 0.0f);
        glVertex3f(static_cast<GLfloat>(at.x), static_cast<GLfloat>(at.y), z);
    };
    for (size_t i = 0; i < n; ++i) {
        const size_t j = (i + 1) % n;
        const Point& from = crease[i] ? normal[i] : shared[i];
        const Point& to = crease[j] ? normal[i] : shared[j];
        vertex(p[i], from, nearZ);
        vertex(p[i], from, farZ);
        vertex(p[j], to, farZ);
        vertex(p[i], from, nearZ);
        vertex(p[j], to, farZ);
        vertex(p[j], to, nearZ);
    }
}

// A glyph's front face, back face and sides as one GL_TRIANGLES primitive: the fewest the driver
// has to set up, the same triangles as separate faces and strips would give.
void EmitPolygons(const GlyphShape& shape, const FrontFace& face, GLfloat extrusion) {
    glBegin(GL_TRIANGLES);
    glNormal3f(0.0f, 0.0f, 1.0f);
    for (uint32_t corner : face.corners) {
        const Point& v = Corner(shape, face, corner);
        glVertex3f(static_cast<GLfloat>(v.x), static_cast<GLfloat>(v.y), 0.0f);
    }
    if (extrusion == 0.0f) {
        glEnd();
        return;
    }

    const GLfloat back = -extrusion;
    glNormal3f(0.0f, 0.0f, -1.0f);
    for (size_t i = face.corners.size(); i > 0; --i) {  // reversed: anticlockwise seen from -z
        const Point& v = Corner(shape, face, face.corners[i - 1]);
        glVertex3f(static_cast<GLfloat>(v.x), static_cast<GLfloat>(v.y), back);
    }

    size_t start = 0;
    for (size_t end : shape.contourEnds) {
        EmitContourSides(&shape.points[start], end - start, shape.inkOnLeft, back);
        start = end;
    }
    glEnd();
}

}  // namespace

BOOL WINAPI wglUseFontOutlinesA(HDC dc, DWORD first, DWORD count, DWORD listBase, FLOAT deviation,
                                FLOAT extrusion, int format, LPGLYPHMETRICSFLOAT metrics) {
    // Everything that can fail is settled before the first list is compiled.
    if (format != WGL_FONT_LINES && format != WGL_FONT_POLYGONS) return FALSE;
    if (!(deviation >= 0.0f) || !std::isfinite(deviation) || !std::isfinite(extrusion)) return FALSE;
    if (first > 256 || count > 256 - first) return FALSE;
    if (count > 0 && (listBase == 0 || listBase > 0xFFFFFFFFu - (count - 1))) return FALSE;
    WindowObject* window = LayerWindowFromDc(dc);
    if (window == nullptr) return FALSE;
    const char* pattern = LayerFontPattern(window->dc.selectedFont);
    if (pattern == nullptr) return FALSE;
    if (SDL_GL_GetCurrentContext() == nullptr) return FALSE;
    GLint compiling = 0;
    glGetIntegerv(GL_LIST_INDEX, &compiling);
    if (compiling != 0) return FALSE;  // lists do not nest
    FT_Face face = FaceForPattern(pattern);
    if (face == nullptr) return FALSE;

    const double tolerance = deviation > 0.0f ? deviation * static_cast<double>(face->units_per_EM) : 1.0;
    if (tolerance != outlines.tolerance) {
        ForgetGlyphs();
        outlines.tolerance = tolerance;
    }
    GlyphShape* glyphs = outlines.glyphs.data() + first;
    OutlineScratch scratch;
    for (DWORD i = 0; i < count; ++i) {
        if (glyphs[i].loaded) continue;
        if (!LoadGlyph(face, first + i, tolerance, &scratch, &glyphs[i])) {
            glyphs[i] = GlyphShape();
            return FALSE;
        }
    }
    std::vector<FrontFace> faces(format == WGL_FONT_POLYGONS ? count : 0);
    if (format == WGL_FONT_POLYGONS && !TessellateFronts(glyphs, faces.data(), count)) return FALSE;

    for (DWORD i = 0; i < count; ++i) {
        const GlyphShape& glyph = glyphs[i];
        glNewList(listBase + i, GL_COMPILE);
        if (glyph.present) {
            if (format == WGL_FONT_LINES) {
                EmitLines(glyph);
            } else {
                EmitPolygons(glyph, faces[i], extrusion);
                faces[i] = FrontFace();  // the list holds it now; the driver may reuse the memory
            }
            glTranslatef(glyph.metrics.gmfCellIncX, 0.0f, 0.0f);
        }
        glEndList();
        if (metrics != nullptr) metrics[i] = glyph.metrics;
    }
    return TRUE;
}

void LayerResetFontOutlines() {
    if (outlines.face != nullptr) FT_Done_Face(outlines.face);
    if (outlines.library != nullptr) FT_Done_FreeType(outlines.library);
    outlines.face = nullptr;
    outlines.library = nullptr;
    outlines.pattern.clear();
    outlines.missingPattern.clear();
    outlines.tolerance = 0.0;
    ForgetGlyphs();
}
