// Internals of wgl_font_outlines.cpp that the rest of the layer calls. Not seen by the program.
#ifndef BRIMVALK_PLATFORM_WGL_FONT_OUTLINES_H
#define BRIMVALK_PLATFORM_WGL_FONT_OUTLINES_H

// Closes the cached font face and FreeType; the next wglUseFontOutlinesA resolves its font afresh.
void LayerResetFontOutlines();

#endif
