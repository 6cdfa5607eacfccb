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

std::string Show(int event, UINT message, HWND window, WPARAM wParam, const std::optional<LPARAM>& lParam) {
    static const char* const kEvents[] = {"?", "sent", "posted", "dispatched", "default"};
    std::ostringstream out;
    out << "message 0x" << std::hex << message << ' ' << kEvents[event >= 1 && event <= 4 ? event : 0] << " to "
        << window << " wParam 0x" << wParam;
    if (lParam) out << " lParam 0x" << *lParam;
    return out.str();
}

}  // namespace

// As Wine's ok_sequence: the first index where the two part, with the message expected and the one
// received there ("nothing" past the end of the shorter).
void ExpectSequence(const std::vector<LoggedMessage>& got, const std::vector<Step>& want, HWND window) {
    std::vector<std::string> expected, received;
    for (const Step& s : want) expected.push_back(Show(s.event, s.message, s.message == WM_QUIT ? nullptr : window,
                                                       s.wParam, s.lParam));
    for (size_t i = 0; i < got.size(); ++i) {  // lParam shown where the table gives it
        const bool lParam = i < want.size() && want[i].lParam;
        received.push_back(Show(got[i].event, got[i].message, got[i].window, got[i].wParam,
                                lParam ? std::optional<LPARAM>(got[i].lParam) : std::nullopt));
    }
    size_t i = 0;
    while (i < expected.size() && i < received.size() && expected[i] == received[i]) ++i;
    if (i == expected.size() && i == received.size()) return;
    ADD_FAILURE() << "message sequences part at index " << i << " of " << want.size() << " expected, " << got.size()
                  << " received:\n  expected " << (i < expected.size() ? expected[i] : "nothing") << "\n  received "
                  << (i < received.size() ? received[i] : "nothing");
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
