// OpenGL as Windows' opengl32 presents it: Mesa's <GL/gl.h>, except that the extension string
// also names the WGL extensions the layer provides (see wgl_context.cpp), as Windows drivers do.
#ifndef BRIMVALK_PLATFORM_GL_H
#define BRIMVALK_PLATFORM_GL_H

#include_next <GL/gl.h>

#ifdef __cplusplus
extern "C" {
#endif
const GLubyte* APIENTRY BrimvalkGetGLString(GLenum name);
#ifdef __cplusplus
}
#endif
#define glGetString BrimvalkGetGLString

#endif
