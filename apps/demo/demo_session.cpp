// The demo's stages, each a simulated tracker procedure with its own input script, and the
// observer that prints progress and takes the screenshots between hook calls.
#include "demo_session.h"


#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"
#include "demo_video.h"
#include "presented_frames.h"

namespace fs = std::filesystem;

namespace {

// Camera setup, unattended: the camera image with the device's menu beside it at three zoom
// steps, the three camera views, a pupil threshold set too high by hand and then the
// automatic thresholds, and out with Escape. Screenshots read the renderer, so the setup
// screen alone is not taken: begin_cal_hook paints the next frame's background after it
// presents the menu; the camera frames show the menu beside the image.
constexpr const char *kSetupScript = R"(# camera setup
wait 500
key Return
wait frames 20
mark Camera image
key z
wait frames 8
mark Camera image, zoom step 1
key z
wait frames 8
mark Camera image, zoom step 2
key z
wait frames 8
key Right
wait frames 10
mark Wide camera view
key Right
wait frames 10
mark Head marker view
key Right
key Up 40 12
wait frames 10
mark Pupil threshold too high
key a
wait frames 10
mark Automatic thresholds
key Return
wait 300
key Escape
)";

constexpr const char *kShortSetupScript = R"(wait 200
key Return
wait frames 6
mark Camera image
key z
wait frames 4
mark Camera image, zoom step 1
key z
key z
key Return
wait 100
key Escape
)";

// Redoes the fourth point of the calibration.
constexpr const char *kCalibrationScript = "wait targets 4\nkey Backspace\n";

int stage_fixation_ms(const SessionPlan &plan) { return plan.options->short_form ? 300 : 700; }

struct Stage {
    std::string name;
    std::function<int32_t()> run;
    std::string script;
    int shot_target = -1;      // screenshot when this target is shown
    bool save_screen = false;  // the tracker saves the screen at that target too
    int poor_point = -1;
    bool animated = false;
    bool moving = false;  // the static target moves, shrinks and pulses (the motion extension)
};

struct Demo {
    const SessionPlan *plan = nullptr;
    SessionRecord record;
    const Stage *stage = nullptr;
    int frames_at_begin = 0;
    bool target_shot = false;  // the stage's target screenshot is taken (not again on a redo)
    SimTrackerStats sounds{};  // the sound counts at the last event
};

std::string slug(const std::string &caption) {
    std::string out;
    for (char c : caption) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += char(std::tolower(static_cast<unsigned char>(c)));
        else if (!out.empty() && out.back() != '-')
            out += '-';
    }
    while (!out.empty() && out.back() == '-') out.pop_back();
    return out;
}

std::string next_shot_name(const Demo &demo, const std::string &caption) {
    char number[8];
    std::snprintf(number, sizeof number, "%02zu-", demo.record.shots.size() + 1);
    return number + slug(caption) + ".png";
}

void add_shot(Demo &demo, const std::string &file, const std::string &caption,
              const std::string &problem) {
    if (!problem.empty()) {
        demo.record.problems.push_back(caption + ": " + problem);
        std::printf("    screenshot failed: %s\n", problem.c_str());
        return;
    }
    demo.record.shots.push_back({file, caption});
    std::printf("    screenshot %s\n", file.c_str());
}

void shoot(Demo &demo, const std::string &caption) {
    const std::string file = next_shot_name(demo, caption);
    add_shot(demo, file, caption, save_presented_frame(demo.plan->options->out_dir + "/" + file));
}

// The animated target plays on the library's own thread: its screenshot is the first frame
// presented halfway through the fixation, held until the target is accepted.
void hold_animated_frame(Demo &demo, int index) {
    if (index != 0 || demo.target_shot) return;
    hold_presented_frame(uint32_t(stage_fixation_ms(*demo.plan) / 2));
}

void keep_animated_frame(Demo &demo, int index, int16_t x, int16_t y) {
    if (index != 0 || demo.target_shot) return;
    demo.target_shot = true;
    const std::string caption =
        "Animated target at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    if (presented_frame_held())
        shoot(demo, caption);
    else
        add_shot(demo, "", caption, "the target was accepted before a frame of the video showed");
    release_presented_frame();
}

// Whether the library's last word on the sound device, in the core log, is that there is none.
bool sound_device_missing() {
    for (size_t i = standin_log_count(); i-- > 0;) {
        const std::string line = standin_log_line(i);
        if (line.find("no sound device:") != std::string::npos) return true;
        if (line.find("sounds are heard again") != std::string::npos) return false;
    }
    return false;
}

// Sounds are played synchronously before the event that follows them: those played since the
// last event were not heard when the library has just found no device.
void count_unheard_sounds(Demo &demo) {
    const SimTrackerStats now = simtracker_stats();
    SimTrackerStats &last = demo.sounds;
    if (now.target_sounds != last.target_sounds || now.done_sounds != last.done_sounds ||
        now.error_sounds != last.error_sounds) {
        if (sound_device_missing()) {
            SimTrackerStats &unheard = demo.record.unheard;
            unheard.target_sounds += now.target_sounds - last.target_sounds;
            unheard.done_sounds += now.done_sounds - last.done_sounds;
            unheard.error_sounds += now.error_sounds - last.error_sounds;
        }
        last = now;
    }
}

const char *key_name(int32_t key) {
    switch (key) {
    case VT_KEY_BACKSPACE: return "Backspace";
    case VT_KEY_ENTER: return "Enter";
    case VT_KEY_ESCAPE: return "Escape";
    case VT_KEY_UP: return "Up";
    case VT_KEY_DOWN: return "Down";
    case VT_KEY_LEFT: return "Left";
    case VT_KEY_RIGHT: return "Right";
    default: return nullptr;
    }
}

void observe(const SimTrackerEvent *event, void *data) {
    Demo &demo = *static_cast<Demo *>(data);
    const Stage &stage = *demo.stage;
    count_unheard_sounds(demo);
    switch (event->kind) {
    case SIMTRACKER_STAGE_BEGIN: demo.frames_at_begin = simtracker_stats().frames; break;
    case SIMTRACKER_STAGE_END:
        std::printf("    %s\n", describe_result(event->value).c_str());
        break;
    case SIMTRACKER_FRAME_SHOWN:
        if (demo.plan->interactive && event->value == demo.frames_at_begin + 30)
            shoot(demo, "Camera image with the device menu");
        if (event->value % 100 == 0) std::printf("    %d camera frames\n", event->value);
        break;
    case SIMTRACKER_TARGET_SHOWN:
        std::printf("    target %d at (%d, %d)\n", event->value, event->x, event->y);
        if (stage.animated) hold_animated_frame(demo, event->value);
        if (event->value != stage.shot_target || stage.animated || demo.target_shot) break;
        demo.target_shot = true;
        shoot(demo, stage.name + ", target at (" + std::to_string(event->x) + ", " +
                        std::to_string(event->y) + ")");
        if (stage.save_screen) {
            const std::string file = "saved-screen.png";
            const std::string path = demo.plan->options->out_dir + "/" + file;
            if (simtracker_save_screen(path.c_str(), 1) == 0 && fs::exists(path)) {
                demo.record.files.push_back(file + " (through the image writer)");
                std::printf("    screen saved through the image writer: %s\n", file.c_str());
            } else {
                demo.record.problems.push_back(std::string("screen saving: ") +
                                               simtracker_last_error());
                std::printf("    screen saving failed: %s\n", simtracker_last_error());
            }
        }
        break;
    case SIMTRACKER_TARGET_ACCEPTED:
        if (stage.animated) keep_animated_frame(demo, event->value, event->x, event->y);
        break;
    case SIMTRACKER_KEY:
        if (const char *name = key_name(event->value))
            std::printf("    key %s\n", name);
        else
            std::printf("    key '%c'\n", char(event->value));
        break;
    case SIMTRACKER_MARK: shoot(demo, event->text); break;
    }
    std::fflush(stdout);
}

SimTrackerSettings stage_settings(const SessionPlan &plan, const Stage &stage) {
    SimTrackerSettings s;
    simtracker_default_settings(&s);
    s.frame_rate = plan.options->frame_rate;
    s.fixation_ms = stage_fixation_ms(plan);
    s.target_gap_ms = 200;
    s.poor_point = stage.poor_point;
    // Unattended stages end after two minutes, whatever happens to the keys.
    s.time_limit_ms = plan.interactive ? 0 : 120000;
    return s;
}

std::vector<Stage> plan_stages(const SessionPlan &plan) {
    const bool scripted = !plan.interactive;
    const bool brief = plan.options->short_form;
    const int points = brief ? 3 : 9;
    int width = 0, height = 0;
    SDL_GetWindowSize(plan.window, &width, &height);
    std::string setup_script;
    if (!plan.options->input_script.empty())
        setup_script = plan.options->input_script;
    else if (scripted)
        setup_script = brief ? kShortSetupScript : kSetupScript;

    std::vector<Stage> stages(4);
    stages[0].name = "Camera setup";
    stages[0].run = [] { return simtracker_do_setup(); };
    stages[0].script = setup_script;

    stages[1].name = std::to_string(points) + "-point calibration";
    stages[1].run = [points] { return simtracker_do_calibration(points); };
    stages[1].script = scripted && !brief ? kCalibrationScript : "";
    stages[1].shot_target = 2;
    stages[1].moving = true;

    stages[2].name = std::to_string(points) + "-point validation";
    stages[2].run = [points] { return simtracker_do_validation(points); };
    stages[2].shot_target = points - 1;
    stages[2].poor_point = points / 2 + 1;  // one simulated poor fit: the error sound

    stages[3].name = "Drift correction";
    stages[3].run = [width, height] {
        return simtracker_do_drift_correction(int16_t(width / 2), int16_t(height / 2));
    };
    stages[3].shot_target = 0;
    stages[3].save_screen = true;

    if (!plan.video.empty()) {
        const int animated_points = brief ? 3 : 5;
        Stage animated;
        animated.name = std::to_string(animated_points) + "-point calibration, animated target";
        animated.run = [animated_points] { return simtracker_do_calibration(animated_points); };
        animated.animated = true;
        stages.push_back(animated);
    }
    return stages;
}

StageOutcome run_stage(Demo &demo, const Stage &stage) {
    const SessionPlan &plan = *demo.plan;
    StageOutcome outcome;
    outcome.name = stage.name;
    const SimTrackerSettings settings = stage_settings(plan, stage);
    simtracker_configure(&settings);
    simtracker_clear_script();
    if (!stage.script.empty() && simtracker_load_script(stage.script.c_str()) < 0) {
        outcome.note = simtracker_last_error();
        return outcome;
    }
    if (stage.animated) set_cal_animation_target(plan.video.c_str(), 0, kVideoKeyColour);
    if (stage.moving) {
        set_cal_target_motion(400, 250, 1000, 200);
        std::printf("    the target travels, shrinks and pulses (set_cal_target_motion)\n");
    }
    demo.stage = &stage;
    demo.target_shot = false;
    outcome.result = stage.run();
    if (stage.moving) set_cal_target_motion(0, 0, 0, 100);
    if (outcome.result == SIMTRACKER_FAILED) outcome.note = simtracker_last_error();
    return outcome;
}

}  // namespace

std::string describe_result(int32_t result) {
    switch (result) {
    case SIMTRACKER_DONE: return "done";
    case SIMTRACKER_POOR: return "done, with a poor point (error sound)";
    case SIMTRACKER_ESCAPED: return "left with Escape";
    case SIMTRACKER_ABORTED: return "aborted (the window was closed)";
    case SIMTRACKER_TIMED_OUT: return "ended by its time limit";
    default: return "could not start";
    }
}

SessionRecord run_session(const SessionPlan &plan) {
    Demo demo;
    demo.plan = &plan;
    simtracker_reset_stats();
    simtracker_set_observer(observe, &demo);
    for (const Stage &stage : plan_stages(plan)) {
        std::printf("%s\n", stage.name.c_str());
        std::fflush(stdout);
        StageOutcome outcome = run_stage(demo, stage);
        if (!outcome.note.empty()) std::printf("    %s\n", outcome.note.c_str());
        demo.record.stages.push_back(outcome);
        // A closed window ends the session.
        if (outcome.result == SIMTRACKER_ABORTED) break;
    }
    simtracker_set_observer(nullptr, nullptr);
    simtracker_clear_script();
    demo.record.stats = simtracker_stats();
    return demo.record;
}
