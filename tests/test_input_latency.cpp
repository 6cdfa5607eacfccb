// brimvalk-pacing's input-to-display arithmetic on made-up series: key events to changes of the
// input line, changes to the frames that show them, and the latencies and the line reported.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/key_script.h"
#include "input/input_state.h"
#include "platform/testing.h"
#include "tools/pacing/input_latency.h"

namespace {

enum Key { kUp, kDown, kLeft, kRight, kZ, kX };  // kProgramKeys' order

InputValues Line(int32_t vertical, int32_t horizontal, int32_t button1 = 0, int32_t button2 = 0) {
    InputValues line;
    line.values[0] = vertical;
    line.values[1] = horizontal;
    line.values[2] = button1;
    line.values[3] = button2;
    return line;
}

// Frames showing `horizontal` in turn, the rest of the line idle.
std::vector<InputValues> Horizontal(const std::vector<int32_t>& values) {
    std::vector<InputValues> frames;
    for (int32_t value : values) frames.push_back(Line(0, value));
    return frames;
}

// A frame ends every 10 ms from 1 s: frame k at 1.010 + k / 100.
std::vector<double> Ends(size_t count) {
    std::vector<double> ends;
    for (size_t k = 0; k < count; ++k) ends.push_back(1.010 + static_cast<double>(k) / 100);
    return ends;
}

std::string ToString(const std::vector<long>& shownAt) {
    std::string text;
    for (long frame : shownAt) text += (frame == kNeverShown ? "never" : frame == kPending ? "pending" : std::to_string(frame)) + " ";
    return text;
}

}  // namespace

// The program's own sampler, through the layer's key overrides, for all 64 ways to hold the six keys.
TEST(InputLatencyKeys, KeyboardValuesAreTheSamplersLine) {
    for (unsigned down = 0; down < 64; ++down) {
        for (int key = 0; key < 6; ++key) PlatformSetKeyForTests(kProgramKeys[key].virtualKey, (down >> key) & 1u);
        InputState sampled;
        sampled.Sample(kJoystickAxisHigh, kJoystickAxisLow);
        const InputValues line = KeyboardValues(down);
        EXPECT_EQ(Line(sampled.vertical, sampled.horizontal, sampled.button1, sampled.button2), line)
            << "keys down 0x" << std::hex << down << ": sampler " << sampled.vertical << " " << sampled.horizontal
            << ", tool " << line.values[0] << " " << line.values[1];
    }
    PlatformResetForTests();
}

// Only what moves the line is a change: down under a held up is not; up's release then is, to 1.
TEST(InputLatencyKeys, ChangesAreWhatMovesTheLine) {
    const std::vector<KeyEvent> events = {
        {1.0, 0, kUp, true, true},     {1.1, 1, kDown, true, true},  {1.2, 2, kUp, false, true},
        {1.3, 3, kDown, false, true},  {1.4, 4, kZ, true, false},    {1.5, 5, kX, true, true},
        {1.6, 6, kZ, false, true},
    };
    const std::vector<KeyChange> changes = KeyChangesOf(events);
    const struct { double seconds; int field; int32_t value; bool press; } want[] = {
        {1.0, 0, -1, true}, {1.2, 0, 1, false}, {1.3, 0, 0, false}, {1.5, 3, 32768, true}, {1.6, 2, 0, false},
    };
    ASSERT_EQ(changes.size(), 5u) << "down under up and Z restated (not counted) are no changes";
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(changes[i].seconds, want[i].seconds) << "change " << i;
        EXPECT_EQ(changes[i].field, want[i].field) << "change " << i;
        EXPECT_EQ(changes[i].value, want[i].value) << "change " << i;
        EXPECT_EQ(changes[i].press, want[i].press) << "change " << i;
    }
}

// Each case: the changes of the horizontal value (right = 1, left = -1) and what the frames showed.
TEST(InputLatencyMatching, ChangesToTheFramesThatShowThem) {
    const struct {
        const char* what;
        std::vector<KeyEvent> events;
        std::vector<int32_t> frames;
        std::vector<long> shownAt;
    } cases[] = {
        {"shown in the frame it was known for", {{1.0, 2, kRight, true, true}}, {0, 0, 1, 1}, {2}},
        {"shown two frames after its event, where the program had it late", {{1.012, 3, kRight, true, true}},
         {0, 0, 0, 1, 1}, {3}},
        {"a press and release within one frame: never shown, both",
         {{1.0, 2, kRight, true, true}, {1.001, 2, kRight, false, true}}, {0, 0, 0, 0, 0}, {kNeverShown, kNeverShown}},
        {"press, release, press in one frame: the frame shows the last press",
         {{1.0, 2, kRight, true, true}, {1.001, 2, kRight, false, true}, {1.002, 2, kRight, true, true}},
         {0, 0, 1, 1}, {kNeverShown, kNeverShown, 2}},
        {"a press the program had after its frame was sampled shows in the next",
         {{1.0, 2, kRight, true, true}, {1.03, 3, kRight, false, true}}, {0, 0, 0, 1, 0, 0}, {3, 4}},
        {"right then left: one value, two changes, each its own frame",
         {{1.0, 1, kRight, true, true}, {1.02, 3, kRight, false, true}, {1.021, 3, kLeft, true, true}},
         {0, 1, 1, -1, -1}, {1, kNeverShown, 3}},
        {"known in the last frame: the run ended before it could be shown", {{1.0, 4, kRight, true, true}},
         {0, 0, 0, 0, 0}, {kPending}},
        {"the line moved with no key change (held before the run): nothing matched", {}, {1, 1, 0}, {}},
    };
    for (const auto& c : cases) {
        const std::vector<long> got = MatchKeyChanges(KeyChangesOf(c.events), Horizontal(c.frames), InputValues());
        EXPECT_EQ(ToString(got), ToString(c.shownAt)) << c.what;
    }
}

// Values apart: a right press and a Z press in one frame are each shown there.
TEST(InputLatencyMatching, EachValueOfTheLineApart) {
    const std::vector<KeyEvent> events = {{1.0, 1, kRight, true, true}, {1.001, 1, kZ, true, true}};
    const std::vector<InputValues> frames = {Line(0, 0), Line(0, 1, 32768), Line(0, 1, 32768)};
    EXPECT_EQ(ToString(MatchKeyChanges(KeyChangesOf(events), frames, InputValues())), "1 1 ");
}

// Two frames late: an event in frame 1 (which ends at 1.020) that the program had only for frame 3.
TEST(InputLatencyMeasure, ShownTwoFramesLate) {
    const std::vector<KeyChange> changes = KeyChangesOf({{1.012, 3, kRight, true, true}});
    const std::vector<long> shownAt = MatchKeyChanges(changes, Horizontal({0, 0, 0, 1, 1}), InputValues());
    const InputLatency latency = MeasureInputLatency(changes, shownAt, Ends(5), 0, 0);
    EXPECT_EQ(latency.shown, 1);
    EXPECT_NEAR(latency.maxMs, 28, 1e-6) << "from 1.012 to frame 3's end, 1.040";
    EXPECT_NEAR(latency.frameMs[3], 28, 1e-6);
}

// The latency runs to the end of the frame that showed the change, or of the next one presented
// where that frame never was; a change never shown is counted as such, not as a latency of zero.
TEST(InputLatencyMeasure, LatenciesAndWhatWasNeverShown) {
    const std::vector<KeyEvent> events = {
        {1.001, 1, kRight, true, true},                                   // frame 2's end: 1.030
        {1.045, 5, kRight, false, true}, {1.046, 5, kRight, true, true},  // never shown
        {1.047, 5, kRight, false, true},                                  // frame 6 discarded: frame 7's end, 1.080
        {1.075, 7, kZ, true, true},                                       // frame 8 ends 1.090
    };
    const std::vector<KeyChange> changes = KeyChangesOf(events);
    const std::vector<InputValues> frames = {Line(0, 0), Line(0, 0), Line(0, 1), Line(0, 1), Line(0, 1),
                                             Line(0, 1), Line(0, 0), Line(0, 0), Line(0, 0, 32768), Line(0, 0, 32768)};
    const std::vector<long> shownAt = MatchKeyChanges(changes, frames, InputValues());
    ASSERT_EQ(ToString(shownAt), "2 never never 6 8 ");
    std::vector<double> ends = Ends(frames.size());
    ends[6] = -1;
    const InputLatency latency = MeasureInputLatency(changes, shownAt, ends, 0, 0);
    EXPECT_EQ(latency.shown, 3);
    EXPECT_EQ(latency.neverShown, 2);
    EXPECT_NEAR(latency.p50Ms, 29, 1e-6);
    EXPECT_NEAR(latency.maxMs, 33, 1e-6);
    const std::vector<double> want = {-1, -1, 29, -1, -1, -1, 33, -1, 15, -1};
    ASSERT_EQ(latency.frameMs.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(latency.frameMs[k], want[k], 1e-6) << "frame " << k;
    EXPECT_EQ(InputLatencyLine(latency, true, "X server time, offset \xC2\xB1" "0.50 ms", false),
              "input: 3 key changes, event to presented p50 29.00 ms, p95 33.00 ms, max 33.00 ms "
              "(X server time, offset \xC2\xB1" "0.50 ms); 2 never shown");
}

TEST(InputLatencyMeasure, LinesForPressesAndForNone) {
    // Two presses of right and left each shown, a release too; a Z press is not one of the tool's.
    const std::vector<KeyEvent> events = {{1.0, 1, kRight, true, true}, {1.02, 3, kRight, false, true},
                                          {1.04, 5, kLeft, true, true}, {1.041, 5, kZ, true, true}};
    const std::vector<InputValues> frames = {Line(0, 0), Line(0, 0), Line(0, 1), Line(0, 1), Line(0, 0),
                                             Line(0, 0), Line(0, -1, 32768), Line(0, -1, 32768)};
    const std::vector<KeyChange> changes = KeyChangesOf(events);
    const InputLatency latency =
        MeasureInputLatency(changes, MatchKeyChanges(changes, frames, InputValues()), Ends(frames.size()),
                            1u << kRight | 1u << kLeft, 3);
    EXPECT_EQ(InputLatencyLine(latency, false, "S", true),
              "input: 4 key changes, event to swap return p50 30.00 ms, p95 30.00 ms, max 30.00 ms (S); "
              "presses: 3 made, 2 seen");
    InputLatency one;
    one.shown = 1;
    one.p50Ms = one.p95Ms = one.maxMs = 12.5;
    EXPECT_EQ(InputLatencyLine(one, true, "S", false), "input: 1 key change, event to presented p50 12.50 ms, p95 12.50 ms, max 12.50 ms (S)");
    EXPECT_EQ(InputLatencyLine(InputLatency(), true, "S", false),
              "input: no key changes (hold the arrow keys or Z/X during the run, or use --press)");
    InputLatency unseen;
    unseen.neverShown = 2;
    unseen.pressesMade = 1;
    EXPECT_EQ(InputLatencyLine(unseen, true, "S", true), "input: no key change shown (S); 2 never shown; presses: 1 made, 0 seen");
}
