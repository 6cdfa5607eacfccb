// Shared pieces of the test suites: the device on a fresh layer, expected-message tables and GL feedback capture.
#ifndef BRIMVALK_TEST_SUPPORT_H
#define BRIMVALK_TEST_SUPPORT_H

#include <windows.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "platform/testing.h"

LRESULT CALLBACK PassThroughWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The program's render device made on a fresh layer, `configure` applied first; its status (0 made).
int OpenDevice(int width, int height, int windowed = 1, void (*configure)() = [] {});

// As in Wine's user32 tables; lParam is compared only when given. WM_QUIT belongs to the thread.
const int kSent = kMessageSent, kPosted = kMessagePosted, kDispatched = kMessageDispatched, kDefault = kMessageDefault;
struct Step { int event; UINT message; WPARAM wParam; std::optional<LPARAM> lParam; };  // event: kSent, ...
void ExpectSequence(const std::vector<LoggedMessage>& got, const std::vector<Step>& want, HWND window);
std::vector<LoggedMessage> DrainQueue();

// GL_3D_COLOR feedback: window coordinates, depth and colour of every vertex of the lines and polygons drawn.
struct FeedbackVertex { float x, y, z = 0, r = 0, g = 0, b = 0, a = 0; };
struct FeedbackPrimitive { GLenum token; std::vector<FeedbackVertex> vertices; };
std::vector<FeedbackPrimitive> CaptureFeedback(const std::function<void()>& draw);

#endif
