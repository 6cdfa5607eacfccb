#include "pacing_plot.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace {

const double kFontSize = 13;
const double kLeft = 70, kRight = 24, kBottom = 52;  // margins around the plot area; the legend sets the top
const double kTitleRows = 56;                       // title and caption above the legend

struct Rgb {
    double r, g, b;
};
const Rgb kInk = {0.15, 0.15, 0.15};
const Rgb kGrid = {0.88, 0.88, 0.88};
const Rgb kReference = {0.45, 0.45, 0.45};
const Rgb kFrames = {0.12, 0.40, 0.75};
const Rgb kStutter = {0.85, 0.15, 0.10};
const Rgb kPresented = {0.10, 0.60, 0.25};
const Rgb kMissed = {0.95, 0.55, 0.00};

// A filled triangle pointing down, its tip just above (x, y).
void Triangle(cairo_t* cr, double x, double y) {
    cairo_move_to(cr, x, y - 3);
    cairo_line_to(cr, x - 5, y - 12);
    cairo_line_to(cr, x + 5, y - 12);
    cairo_close_path(cr);
}

void SetColour(cairo_t* cr, Rgb colour) {
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
}

// A tick spacing of 1, 2 or 5 times a power of ten that gives about `count` ticks over `span`.
double TickStep(double span, int count) {
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= raw) return factor * power;
    }
    return 10.0 * power;
}

std::string Format(const char* format, double value) {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

// Text with its reference point at (x, y): align 0 left, 0.5 centred, 1 right; the baseline at y
// plus `raise` times the text's height.
void Text(cairo_t* cr, double x, double y, const std::string& text, double align, double raise = 0) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - align * extents.x_advance, y + raise * -extents.y_bearing);
    cairo_show_text(cr, text.c_str());
}

cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
    return fwrite(data, 1, length, static_cast<FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                           : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

bool WritePacingPlot(const std::vector<double>& frameMs, const PacingSummary& summary, const DisplayPacing& display,
                     double refreshHz, const std::string& caption, int width, int height, FILE* out,
                     std::string* error) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);

    // The legend: entries in rows under the title and caption, wrapped to the width.
    const bool anyPresented =
        std::any_of(display.presentMs.begin(), display.presentMs.end(), [](double ms) { return ms >= 0; });
    enum Symbol { kNone, kFrameLine, kPresentLine, kCircle, kTriangle };
    struct Entry {
        Symbol symbol;
        std::string text;
    };
    std::vector<Entry> entries = {
        {kFrameLine, "frame time (swap to swap)"},
    };
    if (anyPresented) entries.push_back({kPresentLine, "presentation interval"});
    entries.push_back({kNone, Format("p50 %.2f ms", summary.p50Ms)});
    entries.push_back({kNone, Format("p95 %.2f ms", summary.p95Ms)});
    entries.push_back({kNone, Format("p99 %.2f ms", summary.p99Ms)});
    entries.push_back({kNone, Format("max %.2f ms", summary.maxMs)});
    entries.push_back({kCircle, Format("stutters %.0f", static_cast<double>(summary.stutters)) +
                                    Format(" (> 1.5 x p50 = %.1f ms)", 1.5 * summary.p50Ms)});
    if (display.judged > 0) {
        entries.push_back({kTriangle, Format("missed a refresh %.0f", static_cast<double>(display.missedCount))});
    }
    const double symbol = 24, gap = 22, row = kFontSize * 1.5;
    double ex = kLeft, ey = kTitleRows + row / 2;
    for (const Entry& entry : entries) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, entry.text.c_str(), &extents);
        const bool marked = entry.symbol != kNone;
        const double entryWidth = (marked ? symbol + 6 : 0) + extents.x_advance;
        if (ex > kLeft && ex + entryWidth > width - kRight) {
            ex = kLeft;
            ey += row;
        }
        cairo_new_path(cr);
        if (entry.symbol == kFrameLine || entry.symbol == kPresentLine) {
            SetColour(cr, entry.symbol == kFrameLine ? kFrames : kPresented);
            cairo_move_to(cr, ex, ey);
            cairo_line_to(cr, ex + symbol, ey);
            cairo_stroke(cr);
        } else if (entry.symbol == kCircle) {
            SetColour(cr, kStutter);
            cairo_arc(cr, ex + symbol / 2, ey, 4, 0, 2 * M_PI);
            cairo_stroke(cr);
        } else if (entry.symbol == kTriangle) {
            SetColour(cr, kMissed);
            Triangle(cr, ex + symbol / 2, ey + 7);
            cairo_fill(cr);
        }
        SetColour(cr, kInk);
        Text(cr, ex + (marked ? symbol + 6 : 0), ey, entry.text, 0, 0.5);
        ex += entryWidth + gap;
    }

    // Plot area and scales: frames 0..N-1 across, 0 ms up to a little above the longest frame (at
    // least above the 33.3 ms line).
    const double x0 = kLeft, x1 = width - kRight, y0 = height - kBottom, y1 = ey + row;
    const double lastFrame = std::max(1.0, static_cast<double>(frameMs.size()) - 1);
    // The reference lines: one and two refresh periods, or a steady 60 and 30 frames a second.
    const double periodMs = refreshHz > 0 ? 1000.0 / refreshHz : 1000.0 / 60;
    const double references[] = {periodMs, 2 * periodMs};
    double longest = std::max(summary.maxMs, 2 * periodMs);
    for (double ms : display.presentMs) longest = std::max(longest, ms);
    const double topMs = longest * 1.08;
    auto px = [&](double frame) { return x0 + (x1 - x0) * frame / lastFrame; };
    auto py = [&](double ms) { return y0 - (y0 - y1) * ms / topMs; };

    // Grid and tick labels.
    cairo_set_line_width(cr, 1);
    const double msStep = TickStep(topMs, 8);
    for (double ms = 0; ms <= topMs; ms += msStep) {
        SetColour(cr, kGrid);
        cairo_move_to(cr, x0, std::round(py(ms)) + 0.5);
        cairo_line_to(cr, x1, std::round(py(ms)) + 0.5);
        cairo_stroke(cr);
        SetColour(cr, kInk);
        Text(cr, x0 - 6, py(ms), Format("%g", ms), 1, 0.5);
    }
    const double frameStep = std::max(1.0, TickStep(lastFrame, 10));
    for (double frame = 0; frame <= lastFrame; frame += frameStep) {
        SetColour(cr, kGrid);
        cairo_move_to(cr, std::round(px(frame)) + 0.5, y0);
        cairo_line_to(cr, std::round(px(frame)) + 0.5, y1);
        cairo_stroke(cr);
        SetColour(cr, kInk);
        Text(cr, px(frame), y0 + 6, Format("%.0f", frame), 0.5, 1);
    }

    // Axes and their labels.
    SetColour(cr, kInk);
    cairo_move_to(cr, x0 + 0.5, y1);
    cairo_line_to(cr, x0 + 0.5, y0 + 0.5);
    cairo_line_to(cr, x1, y0 + 0.5);
    cairo_stroke(cr);
    Text(cr, (x0 + x1) / 2, height - 12, "frame number", 0.5);
    cairo_save(cr);
    cairo_translate(cr, 20, (y0 + y1) / 2);
    cairo_rotate(cr, -M_PI / 2);
    Text(cr, 0, 0, "frame time (ms)", 0.5);
    cairo_restore(cr);

    // Title and caption.
    cairo_set_font_size(cr, kFontSize * 1.3);
    Text(cr, x0, 24, Format("Frame times: %.0f frames", static_cast<double>(summary.frames)) +
                         Format(", mean %.1f fps", summary.meanFps), 0);
    // The caption shrinks to fit a narrow plot.
    cairo_set_font_size(cr, kFontSize);
    cairo_text_extents_t captionExtents;
    cairo_text_extents(cr, caption.c_str(), &captionExtents);
    const double room = width - kRight - x0;
    if (captionExtents.x_advance > room) cairo_set_font_size(cr, kFontSize * room / captionExtents.x_advance);
    Text(cr, x0, 44, caption, 0);
    cairo_set_font_size(cr, kFontSize);

    cairo_save(cr);
    const double dash[] = {6, 4};
    cairo_set_dash(cr, dash, 2, 0);
    SetColour(cr, kReference);
    for (double ms : references) {
        cairo_move_to(cr, x0, py(ms));
        cairo_line_to(cr, x1, py(ms));
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    // The frame times, then the stutters circled on top.
    cairo_save(cr);
    cairo_rectangle(cr, x0, y1, x1 - x0, y0 - y1);
    cairo_clip(cr);
    SetColour(cr, kFrames);
    cairo_set_line_width(cr, 1.2);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (size_t i = 0; i < frameMs.size(); ++i) cairo_line_to(cr, px(static_cast<double>(i)), py(frameMs[i]));
    if (frameMs.size() == 1) cairo_arc(cr, px(0), py(frameMs[0]), 2, 0, 2 * M_PI);
    cairo_stroke(cr);
    // The presentation intervals, a line through each run of frames that has them.
    SetColour(cr, kPresented);
    for (size_t i = 0; i < display.presentMs.size(); ++i) {
        if (display.presentMs[i] < 0) {
            cairo_new_sub_path(cr);
            continue;
        }
        cairo_line_to(cr, px(static_cast<double>(i)), py(display.presentMs[i]));
    }
    cairo_stroke(cr);
    SetColour(cr, kStutter);
    cairo_set_line_width(cr, 1.5);
    for (size_t i = 0; i < frameMs.size(); ++i) {
        if (!IsStutter(frameMs[i], summary.p50Ms)) continue;
        cairo_new_sub_path(cr);
        cairo_arc(cr, px(static_cast<double>(i)), py(frameMs[i]), 4, 0, 2 * M_PI);
    }
    cairo_stroke(cr);
    // Missed refreshes: a triangle over the frame, on its presentation interval where known.
    SetColour(cr, kMissed);
    for (size_t i = 0; i < display.missed.size() && i < frameMs.size(); ++i) {
        if (!display.missed[i]) continue;
        const double ms = display.presentMs[i] >= 0 ? display.presentMs[i] : frameMs[i];
        Triangle(cr, px(static_cast<double>(i)), py(ms));
    }
    cairo_fill(cr);
    cairo_restore(cr);

    // The reference lines' labels, over the data at the right end.
    for (size_t r = 0; r < 2; ++r) {
        const double ms = references[r];
        const std::string label =
            Format("%.1f ms", ms) + (refreshHz <= 0 ? Format(" (%.0f Hz)", 1000.0 / ms)
                                     : r == 0     ? Format(" (1 refresh at %.2f Hz)", refreshHz)
                                                  : std::string(" (2 refreshes)"));
        cairo_text_extents_t extents;
        cairo_text_extents(cr, label.c_str(), &extents);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
        cairo_rectangle(cr, x1 - extents.x_advance - 8, py(ms) - 4 - kFontSize, extents.x_advance + 6, kFontSize + 2);
        cairo_fill(cr);
        SetColour(cr, kReference);
        Text(cr, x1 - 5, py(ms) - 4, label, 1);
    }

    cairo_surface_flush(surface);
    cairo_status_t status = cairo_status(cr);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_write_to_png_stream(surface, WriteToFile, out);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        *error = cairo_status_to_string(status);
        return false;
    }
    return true;
}
