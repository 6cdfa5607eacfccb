#include "tests/test_support.h"

#include <string>

LRESULT CALLBACK PassThroughWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

bool GlWindow::Open(int width, int height, const char* className) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = PassThroughWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    if (!RegisterClassExA(&windowClass)) {
        error = "RegisterClassExA failed";
        return false;
    }
    window = CreateWindowExA(0, className, className, WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                             windowClass.hInstance, nullptr);
    if (window == nullptr) {
        error = "CreateWindowExA failed";
        return false;
    }
    dc = GetDC(window);
    PIXELFORMATDESCRIPTOR request = {};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    request.cDepthBits = 16;
    const int format = ChoosePixelFormat(dc, &request);
    if (format == 0 || !SetPixelFormat(dc, format, &request)) {
        error = "no pixel format";
        return false;
    }
    context = wglCreateContext(dc);
    if (context == nullptr || !wglMakeCurrent(dc, context)) {
        error = "no current context";
        return false;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return true;
}

std::vector<FeedbackPrimitive> CaptureFeedback(const std::function<void()>& draw, size_t capacity) {
    std::vector<GLfloat> buffer(capacity);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_2D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint count = glRenderMode(GL_RENDER);
    std::vector<FeedbackPrimitive> primitives;
    if (count < 0) {
        ADD_FAILURE() << "feedback buffer of " << capacity << " floats overflowed";
        return primitives;
    }
    for (GLint i = 0; i < count;) {
        const GLenum token = static_cast<GLenum>(buffer[i++]);
        FeedbackPrimitive primitive{token, {}};
        int vertices = 0;
        switch (token) {
            case GL_POINT_TOKEN:
            case GL_BITMAP_TOKEN:
            case GL_DRAW_PIXEL_TOKEN:
            case GL_COPY_PIXEL_TOKEN:
                vertices = 1;
                break;
            case GL_LINE_TOKEN:
            case GL_LINE_RESET_TOKEN:
                vertices = 2;
                break;
            case GL_POLYGON_TOKEN:
                vertices = static_cast<int>(buffer[i++]);
                break;
            case GL_PASS_THROUGH_TOKEN:
                ++i;
                break;
            default:
                ADD_FAILURE() << "unknown feedback token " << token;
                return primitives;
        }
        for (int v = 0; v < vertices; ++v, i += 2) primitive.vertices.push_back({buffer[i], buffer[i + 1]});
        primitives.push_back(primitive);
    }
    return primitives;
}

Rgba ReadPixel(int x, int y) {
    Rgba pixel = {};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &pixel);
    return pixel;
}
