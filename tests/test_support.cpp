#include "tests/test_support.h"

#include <sstream>
#include <string>

#include "device/app_window.h"
#include "device/render_device.h"

LRESULT CALLBACK PassThroughWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

int OpenDevice(int width, int height, int windowed, void (*configure)()) {
    device.Release();
    PlatformResetForTests();
    configure();
    HWND window = CreateAppWindow("Test", width, height, windowed, PassThroughWindowProc);
    return device.Create(window, width, height, windowed);
}

namespace {

std::string Show(int event, UINT message, WPARAM wParam, const std::optional<LPARAM>& lParam) {
    static const char* const kEvents[] = {"?", "sent", "posted", "dispatched", "default"};
    std::ostringstream out;
    out << kEvents[event >= 1 && event <= 4 ? event : 0] << " 0x" << std::hex << message << " wParam 0x" << wParam;
    if (lParam) out << " lParam 0x" << *lParam;
    return out.str();
}

}  // namespace

// Compared as text, so that a failure lists both sequences.
void ExpectSequence(const std::vector<LoggedMessage>& got, const std::vector<Step>& want) {
    std::vector<std::string> expected, received;
    for (const Step& s : want) expected.push_back(Show(s.event, s.message, s.wParam, s.lParam));
    for (size_t i = 0; i < got.size(); ++i) {
        const bool lParam = i < want.size() && want[i].lParam;
        received.push_back(Show(got[i].event, got[i].message, got[i].wParam,
                                lParam ? std::optional<LPARAM>(got[i].lParam) : std::nullopt));
    }
    EXPECT_EQ(received, expected);
}

std::vector<LoggedMessage> DrainQueue() {
    std::vector<LoggedMessage> left;
    for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) left.push_back({kMessagePosted, m.hwnd, m.message, m.wParam, m.lParam});
    return left;
}

std::vector<FeedbackPrimitive> CaptureFeedback(const std::function<void()>& draw) {
    std::vector<GLfloat> f(1 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(f.size()), GL_3D_COLOR, f.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint count = glRenderMode(GL_RENDER);
    EXPECT_GE(count, 0) << "feedback buffer overflowed";
    std::vector<FeedbackPrimitive> primitives;
    for (GLint i = 0; i < count;) {  // each vertex x, y, z, r, g, b, a
        const GLenum token = static_cast<GLenum>(f[i++]);
        if (token != GL_LINE_TOKEN && token != GL_LINE_RESET_TOKEN && token != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "feedback token " << token << " where only lines and polygons are drawn";
            break;
        }
        primitives.push_back({token, {}});
        for (int v = token == GL_POLYGON_TOKEN ? static_cast<int>(f[i++]) : 2; v > 0; --v, i += 7)
            primitives.back().vertices.push_back({f[i], f[i + 1], f[i + 2], f[i + 3], f[i + 4], f[i + 5], f[i + 6]});
    }
    return primitives;
}
