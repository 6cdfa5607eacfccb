// WGL contexts on Linux, backed by SDL's OpenGL contexts (GLX on X11, EGL offscreen).
//  [X] wglCreateContext (needs the DC's pixel format set; leaves the current context as it was),
//      wglMakeCurrent (null context releases), wglDeleteContext, wglGetProcAddress.
//  [X] Swap control as Windows' OpenGL offers it: when SDL can set a swap interval on the context,
//      the GL_EXTENSIONS string names "WGL_EXT_swap_control" and wglGetProcAddress returns a working
//      wglSwapIntervalEXT; otherwise neither. wglGetSwapIntervalEXT is not offered: nothing asks.
//  [ ] Contexts share no display lists (wglShareLists is not offered).
#include <windows.h>

#include <SDL.h>
#include <stdio.h>
#include <string.h>

#include <GL/gl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "layer.h"
#include "testing.h"

#undef glGetString  // the driver's own, under the extended one the program sees

namespace {

struct ContextObject {
    SDL_GLContext sdl;
    bool swapControl;         // SDL can set the swap interval
    std::string extensions;   // the driver's extensions and ours, built on first request
};

struct ContextState {
    std::vector<std::unique_ptr<ContextObject>> contexts;
    ContextObject* current;
    int swapControlMode;      // -1 as the driver allows, 0 never, 1 always (tests)
    bool refuseBinding;       // tests: wglMakeCurrent fails as a driver that cannot bind does
    bool refuseCreation;      // tests: wglCreateContext fails as a driver that can make none does
};
ContextState contexts = {{}, nullptr, -1, false, false};

ContextObject* ContextFromHandle(HGLRC handle) {
    for (auto& context : contexts.contexts) {
        if (reinterpret_cast<HGLRC>(context.get()) == handle) return context.get();
    }
    return nullptr;
}

bool OffersSwapControl(const ContextObject* context) {
    if (context == nullptr) return false;
    if (contexts.swapControlMode >= 0) return contexts.swapControlMode == 1;
    return context->swapControl;
}

BOOL WINAPI SwapIntervalEXT(int interval) {
    if (!OffersSwapControl(contexts.current) || interval < 0) return FALSE;
    return SDL_GL_SetSwapInterval(interval) == 0;
}

// Entry points travel as PROC, as from Windows' opengl32; void(*)() makes the cast explicit.
template <typename Function>
PROC AsProc(Function* function) {
    return reinterpret_cast<PROC>(reinterpret_cast<void (*)()>(function));
}

void MakeNothingCurrent() {
    SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    contexts.current = nullptr;
}

}  // namespace

HGLRC WINAPI wglCreateContext(HDC dc) {
    WindowObject* window = LayerWindowFromDc(dc);
    if (window == nullptr || window->dc.pixelFormat == 0 || contexts.refuseCreation) return nullptr;

    LayerDisplayCall displayCall("wglCreateContext", "creating the OpenGL context");
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GLContext sdl = SDL_GL_CreateContext(window->sdl);
    if (sdl == nullptr) {
        fprintf(stderr, "wglCreateContext: %s\n", LayerWithShortage(SDL_GetError()).c_str());
        return nullptr;
    }
    auto context = std::make_unique<ContextObject>();
    context->sdl = sdl;
    // Setting the interval SDL says it has tells whether it can be set. On GLX that is the
    // drawable's own interval; on EGL it is SDL's record of it, so the probe is skipped when tests
    // have decided the answer, and an interval is set only where swap control is offered.
    if (contexts.swapControlMode < 0) {
        context->swapControl = SDL_GL_SetSwapInterval(SDL_GL_GetSwapInterval()) == 0;
    }
    // SDL made the new context current; Win32 does not.
    SDL_GL_MakeCurrent(previousWindow, previous);

    contexts.contexts.push_back(std::move(context));
    return reinterpret_cast<HGLRC>(contexts.contexts.back().get());
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC handle) {
    if (handle == nullptr) {
        MakeNothingCurrent();
        return TRUE;
    }
    ContextObject* context = ContextFromHandle(handle);
    WindowObject* window = LayerWindowFromDc(dc);
    if (context == nullptr || window == nullptr || window->dc.pixelFormat == 0 || contexts.refuseBinding) return FALSE;
    LayerDisplayCall displayCall("wglMakeCurrent", "making the OpenGL context current");
    if (SDL_GL_MakeCurrent(window->sdl, context->sdl) != 0) return FALSE;
    contexts.current = context;
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC handle) {
    ContextObject* context = ContextFromHandle(handle);
    if (context == nullptr) return FALSE;
    LayerDisplayCall displayCall("wglDeleteContext", "deleting the OpenGL context");
    if (contexts.current == context) MakeNothingCurrent();
    SDL_GL_DeleteContext(context->sdl);
    contexts.contexts.erase(std::find_if(contexts.contexts.begin(), contexts.contexts.end(),
                                         [&](const std::unique_ptr<ContextObject>& c) { return c.get() == context; }));
    return TRUE;
}

PROC WINAPI wglGetProcAddress(LPCSTR name) {
    if (name == nullptr || contexts.current == nullptr) return nullptr;
    if (strcmp(name, "wglSwapIntervalEXT") == 0) {
        return OffersSwapControl(contexts.current) ? AsProc(&SwapIntervalEXT) : nullptr;
    }
    if (strncmp(name, "wgl", 3) == 0) return nullptr;
    return AsProc(SDL_GL_GetProcAddress(name));
}

extern "C" const GLubyte* APIENTRY BrimvalkGetGLString(GLenum name) {
    const GLubyte* driver = glGetString(name);
    ContextObject* context = contexts.current;
    if (name != GL_EXTENSIONS || driver == nullptr || context == nullptr) return driver;
    context->extensions = reinterpret_cast<const char*>(driver);
    if (OffersSwapControl(context)) context->extensions += " WGL_EXT_swap_control";
    return reinterpret_cast<const GLubyte*>(context->extensions.c_str());
}

void PlatformSetSwapControlForTests(int mode) {
    contexts.swapControlMode = mode;
}

void PlatformRefuseMakeCurrentForTests(bool refuse) {
    contexts.refuseBinding = refuse;
}

void PlatformRefuseContextForTests(bool refuse) {
    contexts.refuseCreation = refuse;
}

void LayerResetContexts() {
    MakeNothingCurrent();
    for (auto& context : contexts.contexts) SDL_GL_DeleteContext(context->sdl);
    contexts.contexts.clear();
    contexts.swapControlMode = -1;
    contexts.refuseBinding = false;
    contexts.refuseCreation = false;
}
