// The wrapped entry points. Each must name exactly the symbol the linker is told to wrap (see
// bench/CMakeLists.txt): the linker sends the program's calls of glX to __wrap_glX, and
// __real_glX to the driver's glX.
#include "null_driver.h"

#include <GL/gl.h>
#include <GL/glu.h>

struct SDL_Window;

namespace {

bool nullDriver = false;
NullDriverCounts counts;

}  // namespace

void SetNullDriver(bool on) {
    nullDriver = on;
}

NullDriverCounts NullDriverCallCounts() {
    return counts;
}

void ResetNullDriverCounts() {
    counts = NullDriverCounts();
}

#define NULL_DRIVER_ENTRY(name, parameters, arguments) \
    extern "C" void __real_##name parameters;          \
    extern "C" void __wrap_##name parameters {         \
        if (!nullDriver) {                             \
            __real_##name arguments;                   \
            return;                                    \
        }                                              \
        ++counts.calls;                                \
    }

// RenderDevice::RenderFrame
NULL_DRIVER_ENTRY(glDisable, (GLenum cap), (cap))
NULL_DRIVER_ENTRY(glEnable, (GLenum cap), (cap))
NULL_DRIVER_ENTRY(glHint, (GLenum target, GLenum mode), (target, mode))
NULL_DRIVER_ENTRY(glBlendFunc, (GLenum source, GLenum destination), (source, destination))
NULL_DRIVER_ENTRY(glViewport, (GLint x, GLint y, GLsizei width, GLsizei height), (x, y, width, height))
NULL_DRIVER_ENTRY(glMatrixMode, (GLenum mode), (mode))
NULL_DRIVER_ENTRY(glLoadIdentity, (), ())
NULL_DRIVER_ENTRY(glOrtho, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f),
                  (l, r, b, t, n, f))
NULL_DRIVER_ENTRY(glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b))
NULL_DRIVER_ENTRY(glFinish, (), ())

// DrawScene
NULL_DRIVER_ENTRY(glClear, (GLbitfield mask), (mask))
NULL_DRIVER_ENTRY(glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))
NULL_DRIVER_ENTRY(glListBase, (GLuint base), (base))
NULL_DRIVER_ENTRY(glCallLists, (GLsizei n, GLenum type, const GLvoid* lists), (n, type, lists))

// RenderDevice::DrawEllipse and RenderDevice::DrawGrid (and the title's transforms)
NULL_DRIVER_ENTRY(glPushMatrix, (), ())
NULL_DRIVER_ENTRY(glPopMatrix, (), ())
NULL_DRIVER_ENTRY(glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
NULL_DRIVER_ENTRY(glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), (angle, x, y, z))
NULL_DRIVER_ENTRY(glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
NULL_DRIVER_ENTRY(glColor4fv, (const GLfloat* v), (v))
NULL_DRIVER_ENTRY(glLineWidth, (GLfloat width), (width))
NULL_DRIVER_ENTRY(glBegin, (GLenum mode), (mode))
NULL_DRIVER_ENTRY(glEnd, (), ())
NULL_DRIVER_ENTRY(glVertex2f, (GLfloat x, GLfloat y), (x, y))
NULL_DRIVER_ENTRY(gluQuadricDrawStyle, (GLUquadric * quadric, GLenum style), (quadric, style))

extern "C" void __real_gluDisk(GLUquadric* quadric, GLdouble inner, GLdouble outer, GLint slices, GLint loops);
extern "C" void __wrap_gluDisk(GLUquadric* quadric, GLdouble inner, GLdouble outer, GLint slices, GLint loops) {
    if (!nullDriver) {
        __real_gluDisk(quadric, inner, outer, slices, loops);
        return;
    }
    ++counts.calls;
    ++counts.disks;
}

// SwapBuffers in the layer
extern "C" void __real_SDL_GL_SwapWindow(SDL_Window* window);
extern "C" void __wrap_SDL_GL_SwapWindow(SDL_Window* window) {
    if (!nullDriver) {
        __real_SDL_GL_SwapWindow(window);
        return;
    }
    ++counts.calls;
    ++counts.swaps;
}
