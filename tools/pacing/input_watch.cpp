#include "input_watch.h"

#include <algorithm>

#include "harness/clocks.h"
#include "input/input_state.h"

namespace {

const int kRight = 3, kLeft = 2;  // in kProgramKeys
// After the last release: its frame, the frame that shows it, and one to spare, so that it is
// decided, not pending.
const long kSettleFrames = 3;

}  // namespace

bool IsPressFrame(long frame, long every) {
    return every > 0 && frame % every == every - 1;
}

bool InputWatch::Open(SDL_Window* window, const std::vector<KeyHold>& holds, long pressEvery, std::string* why) {
    keys_ = holds.empty() ? KeyEvents::Open(window) : KeyEvents::Held(holds);
    pressEvery_ = pressEvery;
    lines_.reserve(4096);
    if (pressEvery_ > 0 && !keys_->pressWhyNot.empty()) {
        *why = keys_->pressWhyNot;
        return false;
    }
    return true;
}

void InputWatch::SetPresentationClock(const std::string& name) {
    const struct { const char* name; clockid_t clock; } kClocks[] = {
        {"CLOCK_MONOTONIC", CLOCK_MONOTONIC}, {"CLOCK_MONOTONIC_RAW", CLOCK_MONOTONIC_RAW},
        {"CLOCK_MONOTONIC_COARSE", CLOCK_MONOTONIC_COARSE}, {"CLOCK_BOOTTIME", CLOCK_BOOTTIME},
    };
    const std::string first = name.substr(0, name.find(','));  // "CLOCK_MONOTONIC, as ...'s UST"
    for (const auto& known : kClocks) {
        if (first != known.name) continue;
        presentClockKnown_ = true;
        presentClock_ = known.clock;
        keys_->SetPresentationClock(known.clock);
    }
}

void InputWatch::Start() {
    keys_->Start();
}

void InputWatch::BeforeSwap(long frame) {
    const double start = WallSeconds();
    // The line the program sampled for this frame, as it printed it.
    InputValues line;
    line.values[0] = input.vertical;
    line.values[1] = input.horizontal;
    line.values[2] = input.button1;
    line.values[3] = input.button2;
    lines_.push_back(line);
    keys_->BeforeSwap(frame);
    if (releaseAt_ == frame) {
        keys_->Press(pressedKey_, false);
        releaseAt_ = -1;
        if (timeUp_) settledAt_ = frame + kSettleFrames;
    } else if (!timeUp_ && releaseAt_ < 0 && IsPressFrame(frame, pressEvery_)) {
        pressedKey_ = pressesMade_ % 2 == 0 ? kRight : kLeft;
        keys_->Press(pressedKey_, true);
        ++pressesMade_;
        pressedAt_ = frame;
        releaseAt_ = frame + pressEvery_ / 2;
    }
    seconds_ += WallSeconds() - start;
}

bool InputWatch::AfterSwap(long frame, bool timeUp) {
    const double start = WallSeconds();
    keys_->AfterSwap(frame);
    if (timeUp && !timeUp_ && pressEvery_ > 0) {
        timeUp_ = true;
        // A key still down comes up soon, held two frames at least, as when the time is not up.
        if (releaseAt_ >= 0) releaseAt_ = std::min(releaseAt_, std::max(frame + 1, pressedAt_ + kLeastPressEvery / 2));
        settledAt_ = releaseAt_ < 0 ? frame + kSettleFrames : -1;
    }
    seconds_ += WallSeconds() - start;
    return timeUp_ && (settledAt_ < 0 || frame < settledAt_);
}

InputWatch::Report InputWatch::Finish(const std::vector<double>& swapReturns, const std::vector<Presentation>& shown) {
    keys_->Finish();
    Report report;
    report.costUs = swapReturns.empty() ? 0 : seconds_ * 1e6 / static_cast<double>(swapReturns.size());

    // To the presentations where the keys are on their clock, else to the swap returns, on the tool's
    // clock, where keys put on a presentation clock that presented nothing are moved back (the two
    // clocks read side by side).
    const bool anyShown = std::any_of(shown.begin(), shown.end(), [](const Presentation& p) { return p.known; });
    const bool presented = anyShown && presentClockKnown_ && keys_->clock == presentClock_;
    std::vector<double> ends(swapReturns);
    if (presented) {
        for (size_t i = 0; i < ends.size(); ++i) ends[i] = i < shown.size() && shown[i].known ? shown[i].seconds : -1;
    }
    std::vector<KeyChange> changes = KeyChangesOf(keys_->events());
    if (!presented && keys_->clock != CLOCK_MONOTONIC) {
        timespec key, tool;
        clock_gettime(keys_->clock, &key);
        clock_gettime(CLOCK_MONOTONIC, &tool);
        const double shift = static_cast<double>(tool.tv_sec - key.tv_sec) + static_cast<double>(tool.tv_nsec - key.tv_nsec) * 1e-9;
        for (KeyChange& change : changes) change.seconds += shift;
    }
    const std::vector<long> shownAt = MatchKeyChanges(changes, lines_, InputValues());
    const unsigned pressKeys = pressEvery_ > 0 ? (1u << kRight | 1u << kLeft) : 0;
    const InputLatency latency = MeasureInputLatency(changes, shownAt, ends, pressKeys, pressesMade_);
    report.line = InputLatencyLine(latency, presented, keys_->source, pressEvery_ > 0);
    report.frameMs = latency.frameMs;
    return report;
}
