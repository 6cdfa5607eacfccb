// brimvalk-snapshot: runs the program's frames offscreen with keys held on a script and writes
// the last frame as a PNG. Not the program: it runs the program's own entry sequence and frame
// loop (program_session.h), with the keys held through the platform layer's test control.
#include <windows.h>
#include <GL/gl.h>

#include <limits.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/body_field.h"
#include "app/program.h"
#include "harness/arguments.h"
#include "harness/key_script.h"
#include "harness/program_session.h"
#include "tools/output_file.h"

namespace {

const char kUsage[] =
    "usage: brimvalk-snapshot [--frames N] [--hold KEY:RANGE]... [--out FILE.png] [--verbose]\n"
    "\n"
    "Runs N frames of Brimvalk Test offscreen (SDL_VIDEODRIVER=offscreen unless already set)\n"
    "and writes the last frame, 1024x768 RGB, to FILE.png.\n"
    "\n"
    "  --frames N        frames to run, at least 1 (default 120)\n"
    "  --hold KEY:RANGE  hold KEY down during RANGE; may be repeated. Frames count from 0.\n"
    "                    RANGE is FIRST-END (frames FIRST up to, not including, END) or\n"
    "                    COUNT, the same as 0-COUNT: the first COUNT frames.\n"
    "                    KEY: up, down, left, right, z, x. The keys are seen by the program's\n"
    "                    GetAsyncKeyState only; no key message is queued.\n"
    "  --out FILE        the PNG to write (default screenshot.png): whole or not at all, renamed\n"
    "                    over the old file at the end (through a link, the file it leads to);\n"
    "                    a device, a FIFO (once a reader comes; Ctrl+C ends the wait) or\n"
    "                    /dev/stdout is written in place\n"
    "  --verbose         keep the program's per-frame lines on standard output\n"
    "\n"
    "Bad arguments, an --out that cannot be written among them, exit with status 2 before\n"
    "anything runs; a failed write exits with status 1 and leaves FILE as it was.\n"
    "\n"
    "example: brimvalk-snapshot --frames 150 --hold up:0-80 --hold right:0-70 --out docs/screenshot.png\n"
    "         (the README's screenshot: the player steered up and right, 4 pixels a frame)\n";

struct Options {
    long frames = 120;
    std::vector<KeyHold> holds;
    std::string out = "screenshot.png";
    bool verbose = false;
};

// Returns 0 when the options are usable, 2 after printing why not, -1 after printing the help or the version.
int ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            return -1;
        } else if (arg == "--version") {
            puts("brimvalk-snapshot " BRIMVALK_VERSION);
            return -1;
        } else if (arg == "--verbose") {
            options->verbose = true;
        } else if (arg == "--frames" && hasValue) {
            if (!ParseNumber(argv[++i], 1, &options->frames)) {
                fprintf(stderr, "brimvalk-snapshot: --frames wants a whole number from 1 to %ld, not \"%s\"\n",
                        LONG_MAX, argv[i]);
                return 2;
            }
        } else if (arg == "--hold" && hasValue) {
            KeyHold hold;
            if (!ParseKeyHold(argv[++i], &hold)) {
                fprintf(stderr, "brimvalk-snapshot: cannot read --hold \"%s\" (want KEY:COUNT or KEY:FIRST-END)\n",
                        argv[i]);
                return 2;
            }
            options->holds.push_back(hold);
        } else if (arg == "--out" && hasValue) {
            options->out = argv[++i];
        } else {
            fprintf(stderr, "brimvalk-snapshot: unknown or incomplete option \"%s\"\n\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    return 0;
}

// The last frame, read from the back buffer after the scene is drawn and before the swap.
std::vector<unsigned char> capturedPixels;
GLenum captureError = GL_NO_ERROR;

void Capture() {
    capturedPixels.assign(static_cast<size_t>(kProgramWidth) * kProgramHeight * 3, 0);
    // A double-buffered context reads from the back buffer unless told otherwise.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kProgramWidth, kProgramHeight, GL_RGB, GL_UNSIGNED_BYTE, capturedPixels.data());
    captureError = glGetError();
}

bool WritePng(OutputFile* out, const std::vector<unsigned char>& rgb) {
    FILE* file = out->Begin();
    if (file == nullptr) return false;
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = kProgramWidth;
    image.height = kProgramHeight;
    image.format = PNG_FORMAT_RGB;
    // GL's rows run bottom to top; a negative stride tells libpng to write them the other way.
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
    if (!png_image_write_to_stdio(&image, file, 0, rgb.data(), stride, nullptr)) {
        fprintf(stderr, "brimvalk-snapshot: cannot write %s: %s\n", out->path().c_str(), image.message);
        return false;
    }
    return out->Commit();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed != 0) return parsed < 0 ? 0 : 2;
    OutputFile out;
    if (!out.Prepare("brimvalk-snapshot", options.out)) return 2;

    SessionOptions session;
    session.quiet = !options.verbose;
    if (!OpenProgram("brimvalk-snapshot", session)) return 1;
    SetKeysForFrame(options.holds, 0);
    const long frame = RunProgram([&](long drawn, bool afterSwap) {
        if (!afterSwap) {
            if (drawn == options.frames - 1) Capture();
            return true;
        }
        SetKeysForFrame(options.holds, drawn + 1);
        return drawn + 1 < options.frames;
    });
    CloseProgram();

    if (frame < options.frames) {
        fprintf(stderr, "brimvalk-snapshot: the program quit at frame %ld of 0..%ld\n", frame, options.frames - 1);
        return 1;
    }
    if (captureError != GL_NO_ERROR || capturedPixels.empty()) {
        fprintf(stderr, "brimvalk-snapshot: reading the last frame failed (GL error 0x%04X)\n", captureError);
        return 1;
    }
    if (!WritePng(&out, capturedPixels)) return 1;
    fprintf(stderr, "brimvalk-snapshot: %ld frames, player at (%.1f, %.1f), wrote %s\n", options.frames,
            static_cast<double>(bodies[0].x), static_cast<double>(bodies[0].y), options.out.c_str());
    return 0;
}
