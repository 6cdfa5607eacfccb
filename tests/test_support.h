// Shared pieces of the test suites: expected-message tables and GL feedback capture.
#ifndef BRIMVALK_TEST_SUPPORT_H
#define BRIMVALK_TEST_SUPPORT_H

#include <windows.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "platform/testing.h"

// A window procedure that passes everything to DefWindowProcA.
LRESULT CALLBACK PassThroughWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// One expected step of message traffic, as in Wine's user32 tables; lParam is compared only when
// given. WM_QUIT belongs to the thread, every other message to the window under test.
const int kSent = kMessageSent, kPosted = kMessagePosted, kDispatched = kMessageDispatched, kDefault = kMessageDefault;
struct Step {
    int event;  // kSent, kPosted, ...
    UINT message;
    WPARAM wParam;
    std::optional<LPARAM> lParam;
};
// Compares the messages logged with the table, in order.
void ExpectSequence(const std::vector<LoggedMessage>& got, const std::vector<Step>& want, HWND window);
// Empties the thread's queue and returns what it held, as posted messages.
std::vector<LoggedMessage> DrainQueue();

// One vertex as GL feedback mode reports it, in window coordinates; depth and colour only in
// GL_3D_COLOR mode.
struct FeedbackVertex {
    float x, y, z = 0, r = 0, g = 0, b = 0, a = 0;
};
// One primitive from feedback mode: its token (GL_POINT_TOKEN, GL_LINE_TOKEN, GL_LINE_RESET_TOKEN or
// GL_POLYGON_TOKEN) and its vertices.
struct FeedbackPrimitive {
    GLenum token;
    std::vector<FeedbackVertex> vertices;
};
// Runs `draw` in feedback mode (GL_2D or GL_3D_COLOR) and returns what it drew.
std::vector<FeedbackPrimitive> CaptureFeedback(const std::function<void()>& draw, GLenum type = GL_2D,
                                               size_t capacity = 1 << 20);

#endif
