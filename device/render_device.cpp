#include "render_device.h"

#include <stdio.h>
#include <string.h>

RenderDevice device;

namespace {

typedef BOOL(WINAPI* SwapIntervalFunction)(int interval);

const float kGlyphDeviation = 0.0f;  // the finest curve subdivision the font builder offers
const float kGlyphExtrusion = 0.1f;  // em
const DWORD kGlyphCount = 255;       // codes 0..254; the 256th list of each block stays empty

// Wait for one display refresh per buffer swap where the driver lets us ask.
void RequestSwapSynchronisation() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions == nullptr || strstr(extensions, "WGL_EXT_swap_control") == nullptr) return;
    PROC entry = wglGetProcAddress("wglSwapIntervalEXT");
    if (entry == nullptr) return;
    // Through void(*)() so the compiler accepts the change of function type.
    auto setInterval = reinterpret_cast<SwapIntervalFunction>(reinterpret_cast<void (*)()>(entry));
    setInterval(1);
}

}  // namespace

int RenderDevice::Create(HWND window_, uint32_t width_, uint32_t height_, int windowed) {
    memset(this, 0, sizeof *this);
    width = width_;
    window = window_;
    height = height_;

    pixelFormatRequest.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    pixelFormatRequest.nVersion = 1;
    pixelFormatRequest.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pixelFormatRequest.iPixelType = PFD_TYPE_RGBA;
    pixelFormatRequest.cColorBits = 24;
    pixelFormatRequest.cDepthBits = 16;
    pixelFormatRequest.iLayerType = PFD_MAIN_PLANE;

    // Without a pixel format and a current context every later call would draw into nothing.
    dc = GetDC(window);
    pixelFormat = ChoosePixelFormat(dc, &pixelFormatRequest);
    if (pixelFormat == 0 || !SetPixelFormat(dc, pixelFormat, &pixelFormatRequest)) {
        printf("ERROR : Can't Set Pixel Format\n");
        return 1;
    }
    context = wglCreateContext(dc);
    if (context == nullptr) {
        printf("ERROR : Can't Create OpenGL Context\n");
        return 1;
    }
    if (!wglMakeCurrent(dc, context)) {
        printf("ERROR : Can't Activate OpenGL Context\n");
        return 1;
    }

    if (!windowed) {
        DEVMODEA mode;
        memset(&mode, 0, sizeof mode);
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        mode.dmPelsWidth = width;
        mode.dmPelsHeight = height;
        ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
    }

    RequestSwapSynchronisation();

    quadric = gluNewQuadric();

    float step = 0.0f;  // i/256, exact when built by adding 1/256
    for (auto& colour : palette) {
        colour[0] = step;
        colour[1] = 1.0f - step;
        colour[2] = step;
        colour[3] = 0.5f;
        step += 1.0f / 256.0f;
    }

    SystemParametersInfoA(SPI_SETFONTSMOOTHING, TRUE, nullptr, 0);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));

    lineFontBase = glGenLists(256);
    polygonFontBase = glGenLists(256);
    wglUseFontOutlinesA(dc, 0, kGlyphCount, lineFontBase, kGlyphDeviation, kGlyphExtrusion, WGL_FONT_LINES,
                        lineGlyphs);
    wglUseFontOutlinesA(dc, 0, kGlyphCount, polygonFontBase, kGlyphDeviation, kGlyphExtrusion,
                        WGL_FONT_POLYGONS, polygonGlyphs);
    return 0;
}

void RenderDevice::RenderFrame(void (*drawCallback)(RenderDevice*)) {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_NORMALIZE);
    glEnable(GL_BLEND);
    glEnable(GL_POLYGON_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);  // additive, weighted by the source alpha
    glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);  // one unit per pixel, origin bottom-left
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);

    drawCallback(this);

    glFinish();
    SwapBuffers(dc);
}

void RenderDevice::Release() {
    if (polygonFontBase) glDeleteLists(polygonFontBase, 256);
    if (lineFontBase) glDeleteLists(lineFontBase, 256);
    // The quadric is not deleted: it is left to the end of the process, which follows teardown.
    if (dc) wglMakeCurrent(dc, nullptr);
    if (context) wglDeleteContext(context);
    if (dc) ReleaseDC(window, dc);
    if (window) DestroyWindow(window);
    memset(this, 0, sizeof *this);
}
