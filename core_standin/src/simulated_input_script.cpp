// Scripted input for unattended sessions: reads the input script and, step by step, pushes its
// key presses into the SDL event queue (where the key hook finds them) and its button presses
// into the scripted device, waiting for time, frames, targets or a tracker mode in between.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "simulated_tracker.h"

namespace simtracker {

namespace {

constexpr size_t kMaxScriptBytes = 1 << 20;
constexpr int32_t kDefaultHoldMs = 40;

struct Command {
    enum class Kind { WaitMs, WaitFrames, WaitTargets, WaitMode, Key, Button, Mark } kind;
    int64_t value = 0;  // milliseconds, a count, a mode code or a button number
    int32_t hold_ms = kDefaultHoldMs;
    SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN;
    std::string text;
};

struct Script {
    std::vector<Command> commands;
    size_t next = 0;
    bool begun = false;  // the next command has started (key down, wait counting)
    int64_t since_ms = 0;
    int32_t frames_at = 0, targets_at = 0;
    uint32_t generation = 0;  // changes when a script is loaded or cleared
    std::array<uint8_t, 255> buttons{};
    bool buttons_changed = false;
};

Script &script() {
    static Script instance;
    return instance;
}

// Splits a line into words; a word in double quotes may hold blanks.
bool split_words(const std::string &line, std::vector<std::string> &words) {
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            const size_t end = line.find('"', i + 1);
            if (end == std::string::npos) return false;
            words.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
                ++end;
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return true;
}

std::string trimmed(const std::string &text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool number(const std::string &word, int64_t low, int64_t high, int64_t &value) {
    const char *end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value);
    return error == std::errc() && stop == end && value >= low && value <= high;
}

// Parses one line that holds a command. Returns "" or what is wrong with it.
std::string parse_command(const std::string &line, std::vector<Command> &commands) {
    std::vector<std::string> words;
    if (!split_words(line, words)) return "unterminated quote";
    const std::string &name = words[0];
    Command command{};
    if (name == "mark") {
        command.kind = Command::Kind::Mark;
        command.text = trimmed(line.substr(name.size()));
    } else if (name == "wait") {
        const bool counted = words.size() == 3;
        if (words.size() != 2 && !counted)
            return "'wait' takes <ms>, or frames, targets or mode and a number";
        const std::string &amount = words.back();
        if (!counted) {
            command.kind = Command::Kind::WaitMs;
            if (!number(amount, 0, 600000, command.value))
                return "milliseconds must be 0 to 600000";
        } else if (words[1] == "frames" || words[1] == "targets") {
            command.kind =
                words[1] == "frames" ? Command::Kind::WaitFrames : Command::Kind::WaitTargets;
            if (!number(amount, 1, 100000, command.value)) return "a count must be 1 to 100000";
        } else if (words[1] == "mode") {
            command.kind = Command::Kind::WaitMode;
            if (!number(amount, 0, 65535, command.value)) return "a mode code must be 0 to 65535";
        } else {
            return "'wait' takes <ms>, or frames, targets or mode and a number";
        }
    } else if (name == "key" || name == "button") {
        if (words.size() < 2 || words.size() > 4)
            return "'" + name + "' takes a name or number, then optionally a hold time and a count";
        if (name == "key") {
            command.kind = Command::Kind::Key;
            command.scancode = SDL_GetScancodeFromName(words[1].c_str());
            if (command.scancode == SDL_SCANCODE_UNKNOWN)
                return "unknown key name '" + words[1] + "'";
        } else {
            command.kind = Command::Kind::Button;
            if (!number(words[1], 1, 255, command.value)) return "a button number must be 1 to 255";
        }
        int64_t hold = kDefaultHoldMs, times = 1;
        if (words.size() >= 3 && !number(words[2], 0, 10000, hold))
            return "a hold time must be 0 to 10000";
        if (words.size() == 4 && !number(words[3], 1, 1000, times))
            return "a count must be 1 to 1000";
        command.hold_ms = int32_t(hold);
        // Repeated presses follow each other, each released before the next.
        commands.insert(commands.end(), size_t(times - 1), command);
    } else {
        return "unknown command '" + name + "'";
    }
    commands.push_back(std::move(command));
    return "";
}

// The script's text: the argument itself when it holds a newline, else the file it names.
bool read_text(const char *path_or_text, std::string &text) {
    if (std::strchr(path_or_text, '\n')) {
        text = path_or_text;
        return true;
    }
    std::error_code error;
    std::ifstream file(path_or_text, std::ios::binary);
    if (!std::filesystem::is_regular_file(path_or_text, error) || !file) {
        fail(std::string("cannot read input script '") + path_or_text + "'");
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    if (text.size() > kMaxScriptBytes) {
        fail(std::string("input script '") + path_or_text + "' is larger than 1 MiB");
        return false;
    }
    return true;
}

void push_key(SDL_Scancode scancode, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.timestamp = SDL_GetTicks();
    event.key.windowID = tracker().window_id;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    // The key code follows the keyboard layout, which exists only once SDL video has started.
    SDL_Keycode code = SDL_GetKeyFromScancode(scancode);
    event.key.keysym.sym = code != SDLK_UNKNOWN ? code : SDL_SCANCODE_TO_KEYCODE(scancode);
    event.key.keysym.mod = KMOD_NONE;
    if (SDL_PushEvent(&event) < 0)
        core_log("simulated tracker: SDL_PushEvent of %s failed: %s\n",
                 SDL_GetScancodeName(scancode), SDL_GetError());
}

void press(const Command &command, bool down) {
    Script &s = script();
    if (command.kind == Command::Kind::Key) {
        push_key(command.scancode, down);
    } else {
        s.buttons[size_t(command.value - 1)] = down ? 1 : 0;
        s.buttons_changed = true;
    }
    if (down) ++tracker().stats.script_events;
}

// True once the command has been carried out.
bool carried_out(const Command &command, int64_t now) {
    const Script &s = script();
    const SimTrackerStats &stats = tracker().stats;
    switch (command.kind) {
    case Command::Kind::WaitMs: return now - s.since_ms >= command.value;
    case Command::Kind::WaitFrames: return stats.frames - s.frames_at >= command.value;
    case Command::Kind::WaitTargets: return stats.targets - s.targets_at >= command.value;
    case Command::Kind::WaitMode: return core_tracker_mode() == command.value;
    case Command::Kind::Key:
    case Command::Kind::Button:
        if (now - s.since_ms < command.hold_ms) return false;
        press(command, false);
        return true;
    case Command::Kind::Mark: return true;
    }
    return true;
}

}  // namespace

void script_step(int64_t now) {
    Script &s = script();
    const uint32_t generation = s.generation;
    while (s.next < s.commands.size()) {
        const Command &command = s.commands[s.next];
        if (!s.begun) {
            s.begun = true;
            s.since_ms = now;
            s.frames_at = tracker().stats.frames;
            s.targets_at = tracker().stats.targets;
            if (command.kind == Command::Kind::Key || command.kind == Command::Kind::Button)
                press(command, true);
            if (command.kind == Command::Kind::Mark) {
                emit(SIMTRACKER_MARK, 0, 0, 0, command.text.c_str());
                // The observer may have loaded another script.
                if (s.generation != generation) return;
            }
        }
        if (!carried_out(command, now)) return;
        ++s.next;
        s.begun = false;
    }
}

}  // namespace simtracker

using simtracker::script;

extern "C" {

int32_t simtracker_load_script(const char *path_or_text) {
    using namespace simtracker;
    tracker().error.clear();
    if (!path_or_text) return fail("no input script given");
    std::string text;
    if (!read_text(path_or_text, text)) return SIMTRACKER_FAILED;
    std::vector<Command> commands;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        const std::string problem = parse_command(line, commands);
        if (!problem.empty())
            return fail("input script line " + std::to_string(number) + ": " + problem);
    }
    simtracker_clear_script();
    script().commands = std::move(commands);
    return int32_t(script().commands.size());
}

void simtracker_clear_script(void) {
    auto &s = script();
    // A key still held is released, so that no key stays down in the key table.
    if (s.begun && s.next < s.commands.size() &&
        s.commands[s.next].kind == simtracker::Command::Kind::Key)
        simtracker::push_key(s.commands[s.next].scancode, false);
    const uint32_t generation = s.generation + 1;
    s = simtracker::Script{};
    s.generation = generation;
    s.buttons_changed = true;  // the device reports every button released
}

int32_t simtracker_script_pending(void) {
    return int32_t(script().commands.size() - script().next);
}

int32_t simtracker_device_callback(DeviceButtons *buttons) {
    if (!buttons) return -1;
    auto &s = script();
    if (!s.buttons_changed) return 0;
    std::copy(s.buttons.begin(), s.buttons.end(), buttons->states);
    s.buttons_changed = false;
    return 1;
}

}  // extern "C"
