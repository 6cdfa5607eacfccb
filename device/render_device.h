// The render device: one window's OpenGL context with its pixel format, swap synchronisation,
// palette, quadric and outline-font glyph sets, the per-frame render state, and the drawing
// primitives the scene uses.
#ifndef BRIMVALK_RENDER_DEVICE_H
#define BRIMVALK_RENDER_DEVICE_H

#include <windows.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <stdint.h>

#include <type_traits>

// GLU draw style of an ellipse: filled, outline only, or (any other value) the segment lines.
typedef int EllipseStyle;
const EllipseStyle kEllipseFilled = 0;
const EllipseStyle kEllipseOutline = 1;

struct RenderDevice {
    PIXELFORMATDESCRIPTOR pixelFormatRequest;
    GLYPHMETRICSFLOAT lineGlyphs[256];
    GLYPHMETRICSFLOAT polygonGlyphs[256];
    uint32_t lineFontBase;     // first of 256 lists of line glyphs; 0 = none
    uint32_t polygonFontBase;  // first of 256 lists of polygon glyphs; 0 = none
    int pixelFormat;
    HWND window;  // owned from Create until Release
    HDC dc;
    HGLRC context;
    uint32_t width;
    uint32_t height;
    GLUquadric* quadric;
    float palette[256][4];  // R, G, B, A by 8-bit colour index

    // Sets up the context and resources on `window`; 0 on success. On failure the record holds
    // what was acquired, for Release.
    int Create(HWND window, uint32_t width, uint32_t height, int windowed);

    // Sets the frame's render state and pixel projection, calls `drawCallback`, then swaps.
    void RenderFrame(void (*drawCallback)(RenderDevice*));

    // Releases what is held, destroys the window and clears the record.
    void Release();

    // A unit GLU disk scaled to the radii, turned by `angle` degrees and moved to (x, y).
    void DrawEllipse(float x, float y, float radiusX, float radiusY, float angle, int slices,
                     EllipseStyle style, unsigned char colourIndex);

    // Lines across the whole device every `spacing` pixels, at the phase of the offsets.
    void DrawGrid(float spacing, float offsetX, float offsetY, unsigned char colourIndex, float lineWidth);
};

// Create and Release clear the whole record with memset.
static_assert(std::is_trivially_copyable<RenderDevice>::value, "RenderDevice must stay a plain record");

// The program's one device.
extern RenderDevice device;

#endif
