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
const Rgb kInput = {0.55, 0.20, 0.70};

// A filled diamond centred on (x, y).
void Diamond(cairo_t* cr, double x, double y) {
    cairo_move_to(cr, x, y - 5);
    cairo_line_to(cr, x + 4, y);
    cairo_line_to(cr, x, y + 5);
    cairo_line_to(cr, x - 4, y);
    cairo_close_path(cr);
}

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

// Where the data goes: the plot area between (x0, y1) and (x1, y0), frames across, ms up.
struct Scales {
    double x0, x1, y0, y1;
    double firstFrame, lastFrame, topMs;
    double X(double frame) const { return x0 + (x1 - x0) * (frame - firstFrame) / (lastFrame - firstFrame); }
    double Y(double ms) const { return y0 - (y0 - y1) * ms / topMs; }
};

void DrawLegendSymbol(cairo_t* cr, LegendEntry::Symbol symbol, double x, double y, double length) {
    cairo_new_path(cr);
    if (symbol == LegendEntry::kFrameLine || symbol == LegendEntry::kPresentLine) {
        SetColour(cr, symbol == LegendEntry::kFrameLine ? kFrames : kPresented);
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x + length, y);
        cairo_stroke(cr);
    } else if (symbol == LegendEntry::kCircle) {
        SetColour(cr, kStutter);
        cairo_arc(cr, x + length / 2, y, 4, 0, 2 * M_PI);
        cairo_stroke(cr);
    } else if (symbol == LegendEntry::kTriangle) {
        SetColour(cr, kMissed);
        Triangle(cr, x + length / 2, y + 7);
        cairo_fill(cr);
    } else if (symbol == LegendEntry::kDiamond) {
        SetColour(cr, kInput);
        Diamond(cr, x + length / 2, y);
        cairo_fill(cr);
    }
}

// The legend: entries in rows under the title and caption, wrapped to the width. Returns the last row's middle.
double DrawLegend(cairo_t* cr, const std::vector<LegendEntry>& entries, int width) {
    const double symbol = 24, gap = 22, row = kFontSize * 1.5;
    double ex = kLeft, ey = kTitleRows + row / 2;
    for (const LegendEntry& entry : entries) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, entry.text.c_str(), &extents);
        const bool marked = entry.symbol != LegendEntry::kNone;
        const double entryWidth = (marked ? symbol + 6 : 0) + extents.x_advance;
        if (ex > kLeft && ex + entryWidth > width - kRight) {
            ex = kLeft;
            ey += row;
        }
        DrawLegendSymbol(cr, entry.symbol, ex, ey, symbol);
        SetColour(cr, kInk);
        Text(cr, ex + (marked ? symbol + 6 : 0), ey, entry.text, 0, 0.5);
        ex += entryWidth + gap;
    }
    return ey;
}

// The frames after the first across (frame 1 to the last), 0 ms up to a little above the longest
// time (at least above the second reference line).
Scales MakeScales(const std::vector<FrameRecord>& frames, const PacingSummary& summary, double periodMs, int width,
                  int height, double legendBottom) {
    double longest = std::max(summary.maxMs, 2 * periodMs);
    for (size_t i = 1; i < frames.size(); ++i) {
        longest = std::max({longest, frames[i].presentMs.value_or(0.0), frames[i].inputMs.value_or(0.0)});
    }
    const double lastFrame = std::max(2.0, static_cast<double>(frames.size()) - 1);
    return {kLeft, width - kRight, height - kBottom, legendBottom + kFontSize * 1.5, 1, lastFrame, longest * 1.08};
}

void DrawGrid(cairo_t* cr, const Scales& s) {
    cairo_set_line_width(cr, 1);
    const double msStep = TickStep(s.topMs, 8);
    for (double ms = 0; ms <= s.topMs; ms += msStep) {
        SetColour(cr, kGrid);
        cairo_move_to(cr, s.x0, std::round(s.Y(ms)) + 0.5);
        cairo_line_to(cr, s.x1, std::round(s.Y(ms)) + 0.5);
        cairo_stroke(cr);
        SetColour(cr, kInk);
        Text(cr, s.x0 - 6, s.Y(ms), Format("%g", ms), 1, 0.5);
    }
    const double frameStep = std::max(1.0, TickStep(s.lastFrame - s.firstFrame, 10));
    for (double frame = std::ceil(s.firstFrame / frameStep) * frameStep; frame <= s.lastFrame; frame += frameStep) {
        SetColour(cr, kGrid);
        cairo_move_to(cr, std::round(s.X(frame)) + 0.5, s.y0);
        cairo_line_to(cr, std::round(s.X(frame)) + 0.5, s.y1);
        cairo_stroke(cr);
        SetColour(cr, kInk);
        Text(cr, s.X(frame), s.y0 + 6, Format("%.0f", frame), 0.5, 1);
    }
}

void DrawAxes(cairo_t* cr, const Scales& s, int height) {
    SetColour(cr, kInk);
    cairo_move_to(cr, s.x0 + 0.5, s.y1);
    cairo_line_to(cr, s.x0 + 0.5, s.y0 + 0.5);
    cairo_line_to(cr, s.x1, s.y0 + 0.5);
    cairo_stroke(cr);
    Text(cr, (s.x0 + s.x1) / 2, height - 12, "frame number", 0.5);
    cairo_save(cr);
    cairo_translate(cr, 20, (s.y0 + s.y1) / 2);
    cairo_rotate(cr, -M_PI / 2);
    Text(cr, 0, 0, "frame time (ms)", 0.5);
    cairo_restore(cr);
}

// The title, and the caption under it, shrunk to fit a narrow plot.
void DrawTitle(cairo_t* cr, const PacingSummary& summary, const std::string& caption, int width) {
    cairo_set_font_size(cr, kFontSize * 1.3);
    const std::string first = summary.firstMs ? Format("first frame %.1f ms (start-up), then ", *summary.firstMs) : "";
    Text(cr, kLeft, 24, "Frame times: " + first + Format("%.0f frames", static_cast<double>(summary.frames)) +
                            Format(", mean %.1f fps", summary.meanFps), 0);
    cairo_set_font_size(cr, kFontSize);
    cairo_text_extents_t captionExtents;
    cairo_text_extents(cr, caption.c_str(), &captionExtents);
    const double room = width - kRight - kLeft;
    if (captionExtents.x_advance > room) cairo_set_font_size(cr, kFontSize * room / captionExtents.x_advance);
    Text(cr, kLeft, 44, caption, 0);
    cairo_set_font_size(cr, kFontSize);
}

// Dashed lines at one and two refresh periods.
void DrawReferenceLines(cairo_t* cr, const Scales& s, double periodMs) {
    cairo_save(cr);
    const double dash[] = {6, 4};
    cairo_set_dash(cr, dash, 2, 0);
    SetColour(cr, kReference);
    for (double ms : {periodMs, 2 * periodMs}) {
        cairo_move_to(cr, s.x0, s.Y(ms));
        cairo_line_to(cr, s.x1, s.Y(ms));
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

// The reference lines' labels, over the data at the right end.
void DrawReferenceLabels(cairo_t* cr, const Scales& s, double periodMs, double refreshHz) {
    for (int r = 0; r < 2; ++r) {
        const double ms = (r + 1) * periodMs;
        const std::string label =
            Format("%.1f ms", ms) + (refreshHz <= 0 ? Format(" (%.0f Hz)", 1000.0 / ms)
                                     : r == 0     ? Format(" (1 refresh at %.2f Hz)", refreshHz)
                                                  : std::string(" (2 refreshes)"));
        cairo_text_extents_t extents;
        cairo_text_extents(cr, label.c_str(), &extents);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
        cairo_rectangle(cr, s.x1 - extents.x_advance - 8, s.Y(ms) - 4 - kFontSize, extents.x_advance + 6, kFontSize + 2);
        cairo_fill(cr);
        SetColour(cr, kReference);
        Text(cr, s.x1 - 5, s.Y(ms) - 4, label, 1);
    }
}

// The frame times after the first, and the presentation intervals as a line through each run of
// frames that has them.
void DrawSeries(cairo_t* cr, const Scales& s, const std::vector<FrameRecord>& frames) {
    SetColour(cr, kFrames);
    cairo_set_line_width(cr, 1.2);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (size_t i = 1; i < frames.size(); ++i) cairo_line_to(cr, s.X(static_cast<double>(i)), s.Y(frames[i].frameMs));
    if (frames.size() == 2) cairo_arc(cr, s.X(1), s.Y(frames[1].frameMs), 2, 0, 2 * M_PI);
    cairo_stroke(cr);
    SetColour(cr, kPresented);
    for (size_t i = 1; i < frames.size(); ++i) {
        if (!frames[i].presentMs) {
            cairo_new_sub_path(cr);
            continue;
        }
        cairo_line_to(cr, s.X(static_cast<double>(i)), s.Y(*frames[i].presentMs));
    }
    cairo_stroke(cr);
}

// Stutters circled; missed refreshes, a triangle over the frame, on its presentation interval where known.
void DrawMarks(cairo_t* cr, const Scales& s, const std::vector<FrameRecord>& frames, const PacingSummary& summary) {
    SetColour(cr, kStutter);
    cairo_set_line_width(cr, 1.5);
    for (size_t i = 1; i < frames.size(); ++i) {
        if (!IsStutter(frames[i].frameMs, summary.p50Ms)) continue;
        cairo_new_sub_path(cr);
        cairo_arc(cr, s.X(static_cast<double>(i)), s.Y(frames[i].frameMs), 4, 0, 2 * M_PI);
    }
    cairo_stroke(cr);
    SetColour(cr, kMissed);
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].missed == true) Triangle(cr, s.X(static_cast<double>(i)), s.Y(frames[i].presentMs.value_or(frames[i].frameMs)));
    }
    cairo_fill(cr);
}

// A key change's latency, a diamond over the frame that first showed it (after the first, as the plot).
void DrawInputMarks(cairo_t* cr, const Scales& s, const std::vector<FrameRecord>& frames) {
    SetColour(cr, kInput);
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].inputMs) Diamond(cr, s.X(static_cast<double>(i)), s.Y(*frames[i].inputMs));
    }
    cairo_fill(cr);
}

bool WritePng(cairo_surface_t* surface, cairo_t* cr, FILE* out, std::string* error) {
    cairo_surface_flush(surface);
    cairo_status_t status = cairo_status(cr);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_write_to_png_stream(surface, WriteToFile, out);
    if (status != CAIRO_STATUS_SUCCESS) *error = cairo_status_to_string(status);
    return status == CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<LegendEntry> PlotLegend(const std::vector<FrameRecord>& frames, const PacingSummary& summary,
                                    const DisplayPacing& display) {
    const bool presented =
        std::any_of(frames.begin(), frames.end(), [](const FrameRecord& frame) { return frame.presentMs.has_value(); });
    std::vector<LegendEntry> entries = {{LegendEntry::kFrameLine, "frame time (swap to swap)"}};
    if (presented) entries.push_back({LegendEntry::kPresentLine, "presentation interval"});
    entries.push_back({LegendEntry::kNone, Format("p50 %.2f ms", summary.p50Ms)});
    entries.push_back({LegendEntry::kNone, Format("p95 %.2f ms", summary.p95Ms)});
    entries.push_back({LegendEntry::kNone, Format("p99 %.2f ms", summary.p99Ms)});
    entries.push_back({LegendEntry::kNone, Format("max %.2f ms", summary.maxMs)});
    entries.push_back({LegendEntry::kCircle, Format("stutters %.0f", static_cast<double>(summary.stutters)) +
                                                 Format(" (> 1.5 x p50 = %.1f ms)", 1.5 * summary.p50Ms)});
    if (display.judged > 0) {
        entries.push_back({LegendEntry::kTriangle, Format("missed a refresh %.0f", static_cast<double>(display.missedCount))});
    }
    // The frames drawn (after the first) that first showed a key change.
    const auto keyFrames = std::count_if(frames.begin() + (frames.empty() ? 0 : 1), frames.end(),
                                         [](const FrameRecord& f) { return f.inputMs.has_value(); });
    if (keyFrames > 0) {
        entries.push_back({LegendEntry::kDiamond, Format("key change shown %.0f (event to screen)", static_cast<double>(keyFrames))});
    }
    return entries;
}

bool WritePacingPlot(const std::vector<FrameRecord>& frames, const PacingSummary& summary, const DisplayPacing& display,
                     double refreshHz, const std::string& caption, int width, int height, FILE* out,
                     std::string* error) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);

    // The reference lines: one and two refresh periods, or a steady 60 and 30 frames a second.
    const double periodMs = refreshHz > 0 ? 1000.0 / refreshHz : 1000.0 / 60;
    const double legendBottom = DrawLegend(cr, PlotLegend(frames, summary, display), width);
    const Scales scales = MakeScales(frames, summary, periodMs, width, height, legendBottom);
    DrawGrid(cr, scales);
    DrawAxes(cr, scales, height);
    DrawTitle(cr, summary, caption, width);
    DrawReferenceLines(cr, scales, periodMs);
    cairo_save(cr);
    cairo_rectangle(cr, scales.x0, scales.y1, scales.x1 - scales.x0, scales.y0 - scales.y1);
    cairo_clip(cr);
    DrawSeries(cr, scales, frames);
    DrawMarks(cr, scales, frames, summary);
    DrawInputMarks(cr, scales, frames);
    cairo_restore(cr);
    DrawReferenceLabels(cr, scales, periodMs, refreshHz);

    const bool written = WritePng(surface, cr, out, error);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return written;
}
