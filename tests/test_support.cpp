#include "tests/test_support.h"

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
std::string Show(const LoggedMessage& m) { return Show(m.event, m.message, m.window, m.wParam, m.lParam); }
HWND Owner(const Step& s, HWND window) { return s.message == WM_QUIT ? nullptr : window; }
std::string Show(const Step& s, HWND window) { return Show(s.event, s.message, Owner(s, window), s.wParam, s.lParam); }

bool Matches(const Step& want, const LoggedMessage& got, HWND window) {
    return got.event == want.event && got.message == want.message && got.window == Owner(want, window) &&
           got.wParam == want.wParam && (!want.lParam || got.lParam == *want.lParam);
}

}  // namespace

void ExpectSequence(const std::vector<LoggedMessage>& got, const std::vector<Step>& want, HWND window) {
    auto matches = [&](size_t w, size_t g) {
        return w < want.size() && g < got.size() && Matches(want[w], got[g], window);
    };
    std::string problems;
    for (size_t w = 0, g = 0; w < want.size() || g < got.size();) {
        const std::string at = "  index " + std::to_string(g) + ": ";
        if (matches(w, g)) {
            ++w, ++g;
        } else if (w == want.size() || matches(w, g + 1)) {
            problems += at + "spurious " + Show(got[g++]) + "\n";
        } else if (g == got.size() || matches(w + 1, g)) {
            problems += at + "missing " + Show(want[w++], window) + "\n";
        } else {
            problems += at + "expected " + Show(want[w++], window) + ", got " + Show(got[g++]) + "\n";
        }
    }
    if (problems.empty()) return;
    std::string all;
    for (const LoggedMessage& m : got) all += "  " + Show(m) + "\n";
    ADD_FAILURE() << "messages differ from the table:\n" << problems << "logged:\n" << all;
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
