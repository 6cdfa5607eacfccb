#include "tests/test_support.h"

#include <algorithm>
#include <sstream>
#include <string>

LRESULT CALLBACK PassThroughWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
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
// received there, or the first missing or spurious message when one is a prefix of the other.
void ExpectSequence(const std::vector<LoggedMessage>& got, const std::vector<Step>& want, HWND window) {
    for (size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
        std::string expected = "nothing", received = "nothing";
        if (i < want.size()) {
            const Step& s = want[i];
            expected = Show(s.event, s.message, s.message == WM_QUIT ? nullptr : window, s.wParam, s.lParam);
        }
        if (i < got.size()) {  // lParam shown where the table gives it
            const LoggedMessage& m = got[i];
            received = Show(m.event, m.message, m.window, m.wParam,
                            i < want.size() && want[i].lParam ? std::optional<LPARAM>(m.lParam) : std::nullopt);
        }
        if (expected != received) {
            ADD_FAILURE() << "message sequences part at index " << i << " of " << want.size() << " expected, "
                          << got.size() << " received:\n  expected " << expected << "\n  received " << received;
            return;
        }
    }
}

std::vector<LoggedMessage> DrainQueue() {
    std::vector<LoggedMessage> left;
    for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) left.push_back({kMessagePosted, m.hwnd, m.message, m.wParam, m.lParam});
    return left;
}

std::vector<FeedbackPrimitive> CaptureFeedback(const std::function<void()>& draw, GLenum type, size_t capacity) {
    std::vector<GLfloat> buffer(capacity);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), type, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint count = glRenderMode(GL_RENDER);
    std::vector<FeedbackPrimitive> primitives;
    if (count < 0) {
        ADD_FAILURE() << "feedback buffer of " << capacity << " floats overflowed";
        return primitives;
    }
    const int stride = type == GL_3D_COLOR ? 7 : 2;  // x, y (, z, r, g, b, a)
    for (GLint i = 0; i < count;) {  // the tests draw points, lines and polygons only
        const GLenum token = static_cast<GLenum>(buffer[i++]);
        if (token != GL_POINT_TOKEN && token != GL_LINE_TOKEN && token != GL_LINE_RESET_TOKEN &&
            token != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
        FeedbackPrimitive primitive{token, {}};
        const int vertices = token == GL_POLYGON_TOKEN ? static_cast<int>(buffer[i++]) : token == GL_POINT_TOKEN ? 1 : 2;
        for (int v = 0; v < vertices; ++v, i += stride) {
            const GLfloat* f = &buffer[i];
            primitive.vertices.push_back(stride == 2 ? FeedbackVertex{f[0], f[1]}
                                                     : FeedbackVertex{f[0], f[1], f[2], f[3], f[4], f[5], f[6]});
        }
        primitives.push_back(primitive);
    }
    return primitives;
}
