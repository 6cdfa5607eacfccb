// Shared pieces of the test suites: a window with a current OpenGL context made through the
// platform layer, pixel read-back and GL feedback capture.
#ifndef BRIMVALK_TEST_SUPPORT_H
#define BRIMVALK_TEST_SUPPORT_H

#include <windows.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/testing.h"

// A window of the given client size with pixel format 1 and a current context, made with the same
// calls the program makes. Everything is released by PlatformResetForTests.
struct GlWindow {
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;

    // Returns false (with the reason in `error`) when any step fails.
    bool Open(int width, int height, const char* className = "Brimvalk Test Window");
    std::string error;
};

// The window procedure of GlWindow: everything goes to DefWindowProcA.
LRESULT CALLBACK PassThroughWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// One vertex as GL feedback mode reports it, in window coordinates.
struct FeedbackVertex {
    float x, y;
};
// One primitive from feedback mode: its token (GL_POINT_TOKEN, GL_LINE_TOKEN, GL_LINE_RESET_TOKEN,
// GL_POLYGON_TOKEN, ...) and its vertices.
struct FeedbackPrimitive {
    GLenum token;
    std::vector<FeedbackVertex> vertices;
};
// Runs `draw` in feedback mode (GL_2D) and returns what it drew.
std::vector<FeedbackPrimitive> CaptureFeedback(const std::function<void()>& draw, size_t capacity = 1 << 20);

// The RGBA bytes of one pixel of the back buffer (origin bottom-left).
struct Rgba {
    unsigned char r, g, b, a;
};
Rgba ReadPixel(int x, int y);

#endif
