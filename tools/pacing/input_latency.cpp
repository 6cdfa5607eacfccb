#include "input_latency.h"

#include <stdio.h>

#include <algorithm>

#include "harness/statistics.h"

namespace {

enum KeyBit { kUp = 1, kDown = 2, kLeft = 4, kRight = 8, kZ = 16, kX = 32 };
const int32_t kKeyButton = 32768;

std::string Format(const char* format, double value) {
    char text[64];
    snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

bool InputValues::operator==(const InputValues& other) const {
    return std::equal(values, values + 4, other.values);
}

InputValues KeyboardValues(unsigned down) {
    InputValues line;
    line.values[0] = (down & kUp) != 0 ? -1 : (down & kDown) != 0 ? 1 : 0;
    line.values[1] = (down & kLeft) != 0 ? -1 : (down & kRight) != 0 ? 1 : 0;
    line.values[2] = (down & kZ) != 0 ? kKeyButton : 0;
    line.values[3] = (down & kX) != 0 ? kKeyButton : 0;
    return line;
}

std::vector<KeyChange> KeyChangesOf(const std::vector<KeyEvent>& events, unsigned downAtStart) {
    std::vector<KeyChange> changes;
    unsigned down = downAtStart;
    for (const KeyEvent& event : events) {
        const unsigned bit = 1u << event.key;
        const unsigned next = event.down ? (down | bit) : (down & ~bit);
        const InputValues before = KeyboardValues(down), after = KeyboardValues(next);
        down = next;
        if (!event.counted) continue;
        for (int field = 0; field < 4; ++field) {
            if (before.values[field] == after.values[field]) continue;
            changes.push_back({event.seconds, event.frame, event.key, event.down, field, after.values[field]});
        }
    }
    return changes;
}

std::vector<long> MatchKeyChanges(const std::vector<KeyChange>& changes, const std::vector<InputValues>& frames,
                                  const InputValues& before) {
    std::vector<long> shownAt(changes.size(), kPending);
    for (int field = 0; field < 4; ++field) {
        std::vector<size_t> mine;  // this value's changes, in order
        for (size_t i = 0; i < changes.size(); ++i) {
            if (changes[i].field == field) mine.push_back(i);
        }
        size_t first = 0;  // the first change not yet decided
        int32_t previous = before.values[field];
        for (size_t k = 0; k < frames.size(); ++k) {
            const long frame = static_cast<long>(k);
            const int32_t value = frames[k].values[field];
            size_t known = first;  // changes [first, known) can be shown by this frame
            while (known < mine.size() && changes[mine[known]].frame <= frame) ++known;
            if (value != previous) {
                for (size_t j = known; j-- > first;) {
                    if (changes[mine[j]].value != value) continue;
                    for (size_t i = first; i < j; ++i) shownAt[mine[i]] = kNeverShown;
                    shownAt[mine[j]] = frame;
                    first = j + 1;
                    break;
                }
            }
            // What the program had before this frame and this frame does not show, no frame will.
            while (first < known && changes[mine[first]].frame < frame) shownAt[mine[first++]] = kNeverShown;
            previous = value;
        }
    }
    return shownAt;
}

InputLatency MeasureInputLatency(const std::vector<KeyChange>& changes, const std::vector<long>& shownAt,
                                 const std::vector<double>& frameEnds, unsigned pressKeys, long pressesMade) {
    InputLatency latency;
    latency.pressesMade = pressesMade;
    latency.frameMs.assign(frameEnds.size(), -1);
    std::vector<double> all;
    for (size_t i = 0; i < changes.size() && i < shownAt.size(); ++i) {
        if (shownAt[i] == kNeverShown) ++latency.neverShown;
        if (shownAt[i] < 0) continue;
        // A frame replaced before it was presented showed nothing: the next one presented did.
        size_t end = static_cast<size_t>(shownAt[i]);
        while (end < frameEnds.size() && frameEnds[end] < 0) ++end;
        if (end >= frameEnds.size()) continue;
        const double ms = (frameEnds[end] - changes[i].seconds) * 1000;
        all.push_back(ms);
        ++latency.shown;
        double& first = latency.frameMs[static_cast<size_t>(shownAt[i])];
        first = std::max(first, ms);
        if (changes[i].press && (pressKeys & (1u << changes[i].key)) != 0) ++latency.pressesSeen;
    }
    latency.p50Ms = Percentile(all, 50);
    latency.p95Ms = Percentile(all, 95);
    latency.maxMs = all.empty() ? 0 : *std::max_element(all.begin(), all.end());
    return latency;
}

std::string InputLatencyLine(const InputLatency& latency, bool presented, const std::string& source, bool pressing) {
    std::string line;
    if (latency.shown > 0) {
        line = Format("input: %.0f key change", static_cast<double>(latency.shown)) + (latency.shown == 1 ? ", " : "s, ") +
               (presented ? "event to presented" : "event to swap return") + Format(" p50 %.2f ms", latency.p50Ms) +
               Format(", p95 %.2f ms", latency.p95Ms) + Format(", max %.2f ms", latency.maxMs) + " (" + source + ")";
    } else if (latency.neverShown > 0) {
        line = "input: no key change shown (" + source + ")";
    } else if (!pressing) {
        return "input: no key changes (hold the arrow keys or Z/X during the run, or use --press)";
    } else {
        line = "input: no key changes (" + source + ")";
    }
    if (latency.neverShown > 0) line += Format("; %.0f never shown", static_cast<double>(latency.neverShown));
    if (pressing) {
        line += Format("; presses: %.0f made", static_cast<double>(latency.pressesMade)) +
                Format(", %.0f seen", static_cast<double>(latency.pressesSeen));
    }
    return line;
}
