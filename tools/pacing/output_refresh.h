// Which refresh rate a Wayland client's frames meet, from what the compositor says of its outputs'
// modes and of the presentations' refresh period. Kept apart from the protocol so that the rule can
// be tried on any list of outputs.
#ifndef BRIMVALK_TOOLS_PACING_OUTPUT_REFRESH_H
#define BRIMVALK_TOOLS_PACING_OUTPUT_REFRESH_H

#include <stdint.h>

#include <string>
#include <vector>

// A mode as wl_output.mode announces it: its refresh in mHz (0 when the output has none) and its flags.
struct OutputMode {
    int32_t refreshMhz;
    bool current;
    bool preferred;
};

struct RefreshChoice {
    double hz = 0;           // 0: unknown
    std::string source;      // "wl_output" or "wp_presentation"
    std::string whyUnknown;  // where hz is 0
};

// Of each output (a list of its modes), the refresh of its current mode (the last announced current;
// never the preferred one for being preferred); of several outputs, the one nearest the refresh the
// presentations' period gives (`periodNs`, 0 unknown), else the first. In Hz to the mHz the output
// gives (59.94 stays 59.94). Without an output with a current refresh, the period's own rate.
RefreshChoice ChooseRefresh(const std::vector<std::vector<OutputMode>>& outputs, uint32_t periodNs);

#endif
