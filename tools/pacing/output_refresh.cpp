#include "output_refresh.h"

#include <cmath>

namespace {

// The output's current refresh in mHz; 0 when no current mode has one.
int32_t CurrentMhz(const std::vector<OutputMode>& modes) {
    int32_t mhz = 0;
    for (const OutputMode& mode : modes) {
        if (mode.current) mhz = mode.refreshMhz;
    }
    return mhz > 0 ? mhz : 0;
}

}  // namespace

RefreshChoice ChooseRefresh(const std::vector<std::vector<OutputMode>>& outputs, uint32_t periodNs) {
    const double periodMhz = periodNs > 0 ? 1e12 / periodNs : 0;
    int32_t best = 0;
    for (const std::vector<OutputMode>& modes : outputs) {
        const int32_t mhz = CurrentMhz(modes);
        if (mhz <= 0) continue;
        if (best == 0 || (periodMhz > 0 && std::fabs(mhz - periodMhz) < std::fabs(best - periodMhz))) best = mhz;
    }
    RefreshChoice choice;
    if (best > 0) {
        choice.hz = best / 1000.0;
        choice.source = "wl_output";
    } else if (periodNs > 0) {
        choice.hz = 1e9 / periodNs;
        choice.source = "wp_presentation";
    } else {
        choice.whyUnknown = outputs.empty() ? "the compositor offers no wl_output"
                                            : "no output's current mode has a refresh rate, nor the presentations";
    }
    return choice;
}
