// The demo session: its stages run by the simulated tracker, with screenshots taken between
// hook calls, and what the closing report needs.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "demo_images.h"
#include "demo_options.h"
#include "vistrak_simulated_tracker.h"

struct StageOutcome {
    std::string name;
    int32_t result = SIMTRACKER_FAILED;
    std::string note;  // why it failed, or what it showed
};

struct SessionRecord {
    std::vector<StageOutcome> stages;
    std::vector<Screenshot> shots;
    std::vector<std::string> files;     // other files written (saved screen, frames)
    std::vector<std::string> problems;  // what went wrong on the way
    SimTrackerStats stats{};
    SimTrackerStats unheard{};  // sounds played while the library had no sound device (the
                                // sound counts only)
};

struct SessionPlan {
    const DemoOptions *options = nullptr;
    SDL_Window *window = nullptr;
    bool interactive = false;  // keys from the user, no input scripts, no time limits
    std::string video;         // the animated target; empty: the stage is left out
};

SessionRecord run_session(const SessionPlan &plan);

// The stage outcome in words ("done", "left with Escape", ...).
std::string describe_result(int32_t result);
