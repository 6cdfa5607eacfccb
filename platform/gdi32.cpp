// GDI32 on Linux: device contexts, stock objects, pixel formats and the buffer swap.
//  [X] GetDC / ReleaseDC: every window has one device context of its own (as with CS_OWNDC).
//  [X] GetStockObject(BLACK_BRUSH, DEFAULT_GUI_FONT, ...); SelectObject for fonts and brushes.
//      The stock GUI font is the system's sans-serif outline font, found through fontconfig.
//  [X] ChoosePixelFormat / SetPixelFormat: a window offers one pixel format, number 1, fixed when
//      the window is created (X chooses the visual then): RGBA with 8 bits per colour, at least
//      16 bits of depth, double-buffered, drawing to the window with OpenGL. Any RGBA request
//      for a window gets it, as Win32 gives the closest match; a window without an OpenGL visual
//      has none, and ChoosePixelFormat returns 0. A window's format can be set only once.
//  [X] SwapBuffers: SDL's buffer swap; tools may watch it through a hook (testing.h). The first
//      one returned ends the start-up, and its crash guard (termination.cpp).
#include <windows.h>

#include <SDL.h>
#include <stdio.h>

#include "layer.h"
#include "testing.h"
#include "win32_names.h"

namespace {

struct GdiState {
    void (*swapHook)(bool afterSwap);  // tools watching the buffer swaps
};
GdiState gdi;

enum StockKind { kBrush, kFont };

struct StockObject {
    int index;
    StockKind kind;
    const char* fontPattern;  // fontconfig pattern of a font; null for a bitmap font
};

const StockObject kStockObjects[] = {
    {WHITE_BRUSH, kBrush, nullptr},
    {BLACK_BRUSH, kBrush, nullptr},
    {NULL_BRUSH, kBrush, nullptr},
    {SYSTEM_FONT, kFont, nullptr},  // a bitmap font
    {DEFAULT_GUI_FONT, kFont, "sans-serif"},
};

const StockObject* StockFromHandle(HGDIOBJ object) {
    for (const StockObject& stock : kStockObjects) {
        if (object == &stock) return &stock;
    }
    return nullptr;
}

HGDIOBJ HandleOf(const StockObject& stock) {
    return const_cast<StockObject*>(&stock);
}

}  // namespace

const char* LayerFontPattern(HGDIOBJ font) {
    const StockObject* stock = StockFromHandle(font);
    return stock != nullptr && stock->kind == kFont ? stock->fontPattern : nullptr;
}

HDC WINAPI GetDC(HWND handle) {
    WindowObject* window = LayerWindowFromHandle(handle);
    return window != nullptr ? reinterpret_cast<HDC>(&window->dc) : nullptr;
}

int WINAPI ReleaseDC(HWND handle, HDC dc) {
    WindowObject* window = LayerWindowFromDc(dc);
    return window != nullptr && window->dc.window == handle ? 1 : 0;
}

HGDIOBJ WINAPI GetStockObject(int index) {
    for (const StockObject& stock : kStockObjects) {
        if (stock.index == index) return HandleOf(stock);
    }
    return nullptr;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    WindowObject* window = LayerWindowFromDc(dc);
    const StockObject* stock = StockFromHandle(object);
    if (window == nullptr || stock == nullptr) return nullptr;
    if (stock->kind != kFont) return GetStockObject(WHITE_BRUSH);  // brushes are not kept: nothing paints with them
    HGDIOBJ previous = window->dc.selectedFont != nullptr ? window->dc.selectedFont : GetStockObject(SYSTEM_FONT);
    window->dc.selectedFont = object;
    return previous;
}

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* request) {
    WindowObject* window = LayerWindowFromDc(dc);
    if (window == nullptr || request == nullptr || request->nSize != sizeof(PIXELFORMATDESCRIPTOR)) return 0;
    if (request->iPixelType != PFD_TYPE_RGBA) return 0;  // no colour-index formats
    if (!window->hasOpenGL) {
        fprintf(stderr, "ChoosePixelFormat: the display offers no OpenGL pixel format\n");
        return 0;
    }
    return 1;
}

BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR*) {
    WindowObject* window = LayerWindowFromDc(dc);
    if (window == nullptr || format != 1 || !window->hasOpenGL || window->dc.pixelFormat != 0) return FALSE;
    window->dc.pixelFormat = format;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc) {
    WindowObject* window = LayerWindowFromDc(dc);
    if (window == nullptr || window->dc.pixelFormat == 0) return FALSE;
    if (gdi.swapHook != nullptr) gdi.swapHook(false);
    {
        LayerDisplayCall displayCall("SwapBuffers", "swapping buffers");
        SDL_GL_SwapWindow(window->sdl);
    }
    LayerStartedUp();
    if (gdi.swapHook != nullptr) gdi.swapHook(true);
    return TRUE;
}

void PlatformSetSwapHookForTests(void (*hook)(bool afterSwap)) {
    gdi.swapHook = hook;
}

void LayerResetGdi() {
    gdi = {};
}
