// Animated target as a session meets it, this build's library ("after") beside an earlier
// one ("before": the shared object VT_BASELINE_LIBRARY names; baseline_library.sh builds it).
// The videos are H.264 in AVI with 16-bit PCM stereo sound at 44.1 kHz as long as their frames:
// 10 s and 60 s at 1280 x 720 and 1920 x 1080 and 30 frames per second (the 10 s ones played
// three passes) and 10 s at 3840 x 2160 and 60 frames per second; then two small uncompressed
// ones at 25 and 60 frames per second for the pacing of the presents. For each, side by side:
// - first frame: ms from begin_cal_hook to the first frame's present, median and largest of
//   five fresh processes (the full runs, then runs that end at the first frame);
// - peak memory: the peak resident memory above that before the screen opened;
// - frames on time and dropped frames, each pass: every frame carries its number in a strip at
//   its centre, read back from the screen at each present, so a frame presented twice counts
//   once; dropped = the pass's frames minus the frames presented;
// - heard: the share of each pass's time (its first present to the next pass's) during which
//   the sound device's callback handed out sound rather than silence;
// - over the first pass: picture against sound at each frame's present, at the pass's end, on
//   average and at most, and the intervals between the frames' presents.
//   animation_bench [--rounds N] [--only TEXT]
// --rounds: full runs of each video with each library (1 by default); --only: the videos whose
// name holds TEXT, in any case ("4k", "60 s", "pacing").
// Each run is this program again in a child process (--play <library> <video> <frames> <rate>
// <passes>, one line of results), which loads the library at run time as a host application
// does, so that no memory, thread or device outlives a run. Its SDL_RenderPresent and
// SDL_OpenAudioDevice (below) stand in front of SDL's own for the library: it exports them.
#include <SDL.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "headless.h"
#include "test_videos.h"
#include "vistrak_core64_control.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

Clock::duration ms(double count) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(count));
}

__attribute__((format(printf, 1, 2))) std::string format(const char *pattern, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

// ---- Frame numbers ------------------------------------------------------------------------

// Each frame of the bench's videos carries its number in a strip at its centre: kNumberBits
// cells of kCell pixels, white for a set bit (lowest first), over a row of their complements,
// so that neither the background nor a frame without the strip reads as a number. The library
// draws a frame at its own size centred on the target: the strip lies around the target.
constexpr int kNumberBits = 11;  // up to 2047: a 60 s pass at 30 frames per second has 1800
constexpr int kCell = 16;        // whole cells survive H.264's compression
constexpr int kStripWidth = kNumberBits * kCell;

void stamp_number(vt_test::Picture &picture, int number) {
    const int left = picture.width / 2 - kStripWidth / 2, top = picture.height / 2 - kCell;
    for (int y = 0; y < 2 * kCell; ++y)
        for (int x = 0; x < kStripWidth; ++x) {
            const bool white = (number >> (x / kCell) & 1) != (y >= kCell);
            picture.rgb[size_t(top + y) * size_t(picture.width) + size_t(left + x)] =
                white ? 0xFFFFFF : 0;
        }
}

// ---- The child: one run -----------------------------------------------------------------

// Presents of threads other than the one that calls the hooks (the playback thread's), from
// the first draw_cal_target on, with the number of the frame they showed (-1: none).
struct Present {
    Clock::time_point at;
    int number;
};
std::array<Present, 16384> presents;
std::atomic<size_t> present_count{0};
std::atomic<bool> recording{false};
std::thread::id hooks_thread;
SDL_Point target_position;

// The number of the frame about to be presented, or -1 when the strip is not on the screen.
int presented_number(SDL_Renderer *renderer) {
    static std::array<Uint32, kStripWidth * 2 * kCell> strip;  // the playback thread's alone
    const SDL_Rect area{target_position.x - kStripWidth / 2, target_position.y - kCell,
                        kStripWidth, 2 * kCell};
    if (SDL_RenderReadPixels(renderer, &area, SDL_PIXELFORMAT_ARGB8888, strip.data(),
                             kStripWidth * 4) != 0)
        return -1;
    const auto green = [](int row, int bit) {  // at the cell's centre, clear of its edges
        return strip[size_t(row * kCell + kCell / 2) * kStripWidth + size_t(bit * kCell) +
                     kCell / 2] >> 8 & 0xFF;
    };
    int number = 0;
    for (int bit = 0; bit < kNumberBits; ++bit) {
        const Uint32 value = green(0, bit), complement = green(1, bit);
        if (value > 160 && complement < 96)
            number |= 1 << bit;
        else if (value >= 96 || complement <= 160)
            return -1;
    }
    return number;
}

// A pass: the presents from its first frame to its last. A pass begins where the frame
// number falls; presents without a number (below frames) belong to none.
struct Pass {
    size_t first, last;
};

std::vector<Pass> passes_in(size_t count, int frames) {
    std::vector<Pass> found;
    for (size_t i = 0; i < count; ++i) {
        const int number = presents[i].number;
        if (number < 0 || number >= frames) continue;
        if (found.empty() || number < presents[found.back().last].number)
            found.push_back({i, i});
        else
            found.back().last = i;
    }
    return found;
}

// Each frame's first present in a pass, in the order presented.
std::vector<size_t> frames_presented(const Pass &pass, int frames) {
    std::vector<bool> seen(static_cast<size_t>(frames));
    std::vector<size_t> found;
    for (size_t i = pass.first; i <= pass.last; ++i)
        if (const int number = presents[i].number;
            number >= 0 && number < frames && !seen[size_t(number)]) {
            seen[size_t(number)] = true;
            found.push_back(i);
        }
    return found;
}

// The frames presented within a period of their due time, the pass's first present being on
// time.
int frames_on_time(const std::vector<size_t> &shown, double period_ms) {
    const Present &first = presents[shown.front()];
    return int(std::count_if(shown.begin(), shown.end(), [&](size_t i) {
        return ms_between(first.at, presents[i].at) -
                   (presents[i].number - first.number) * period_ms <=
               period_ms;
    }));
}

// The sound device's callbacks: when each began, the bytes it handed out, and whether they
// held any sound (the library's mixer hands out silence while no voice plays). Then the
// wrapped device's owner's callback, and its obtained format's bytes per second and silence.
struct AudioCall {
    Clock::time_point at;
    int bytes;
    bool sounding;
};
std::array<AudioCall, 32768> audio_calls;
std::atomic<size_t> audio_count{0};
SDL_AudioCallback owner_callback = nullptr;
void *owner_data = nullptr;
double audio_bytes_per_second = 0;
std::atomic<Uint8> audio_silence{0};
std::atomic<bool> audio_wrapped{false};

// Each record has one writer (SDL's audio thread; the playback thread for the presents), which
// writes an entry before the count that makes it readable.
void recorded_callback(void *, Uint8 *stream, int bytes) {
    const auto at = Clock::now();
    owner_callback(owner_data, stream, bytes);
    const Uint8 silence = audio_silence;
    const bool sounding =
        std::any_of(stream, stream + bytes, [silence](Uint8 b) { return b != silence; });
    const size_t i = audio_count;
    if (i == audio_calls.size()) return;
    audio_calls[i] = AudioCall{at, bytes, sounding};
    audio_count = i + 1;
}

// The share of [from, to) during which the device played sound: a callback's buffer plays
// until the next callback (the last one for its own length).
double heard_share(size_t calls, Clock::time_point from, Clock::time_point to) {
    double sounding_ms = 0;
    for (size_t k = 0; k < calls; ++k) {
        if (!audio_calls[k].sounding) continue;
        const auto end = k + 1 < calls ? audio_calls[k + 1].at
                                       : audio_calls[k].at + ms(1000.0 * audio_calls[k].bytes /
                                                                audio_bytes_per_second);
        const auto begin = std::max(from, audio_calls[k].at);
        if (std::min(to, end) > begin) sounding_ms += ms_between(begin, std::min(to, end));
    }
    return sounding_ms / ms_between(from, to);
}

// The sound's position (seconds) at t: the bytes of sound the device had been handed before
// its latest callback at or before t, plus the time since that callback within its buffer.
// Silent buffers do not move it: before the sound starts, or while it is starved.
class SoundClock {
public:
    explicit SoundClock(size_t count) : count_(count) {}
    double at(Clock::time_point t) {  // t never earlier than at the call before
        if (audio_bytes_per_second <= 0) return 0;  // unknown: not reported
        while (next_ < count_ && audio_calls[next_].at <= t) {
            if (latest_ < count_ && audio_calls[latest_].sounding)
                handed_ += audio_calls[latest_].bytes;
            latest_ = next_++;
        }
        if (latest_ >= count_ || !audio_calls[latest_].sounding)
            return handed_ / audio_bytes_per_second;
        const AudioCall &call = audio_calls[latest_];
        const double since = ms_between(call.at, t) / 1000.0;
        return (handed_ + std::min(since * audio_bytes_per_second, double(call.bytes))) /
               audio_bytes_per_second;
    }

private:
    size_t count_, next_ = 0, latest_ = SIZE_MAX;
    double handed_ = 0;
};

long status_kb(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length);
    return -1;
}

int child_fails(const char *why) {
    std::printf("vt_bench_result status=failed reason=%s\n", why);
    return 1;
}

// The figures of the first pass, printed as key=value: the intervals between its frames'
// presents, and with a known sound format the offset of picture and sound.
void print_first_pass(const Pass &pass, Clock::time_point pass_end, int frames, int rate,
                      bool sound_known) {
    const double period_ms = 1000.0 / rate;
    const std::vector<size_t> shown = frames_presented(pass, frames);
    const size_t calls = audio_count;
    // The pace the device takes the sound at while it sounds, against the clock: a driver that
    // paces itself with a timer (disk, dummy) lags by its own and the callback's time.
    double sounding_bytes = 0;
    size_t first = SIZE_MAX, last = 0;
    for (size_t k = 0; k < calls; ++k)
        if (audio_calls[k].sounding && audio_calls[k].at >= presents[pass.first].at &&
            audio_calls[k].at < pass_end) {
            if (first != SIZE_MAX) sounding_bytes += audio_calls[last].bytes;
            first = std::min(first, k), last = k;
        }
    const double pace = last > first ? sounding_bytes / audio_bytes_per_second * 1000.0 /
                                           ms_between(audio_calls[first].at, audio_calls[last].at)
                                     : 0;
    SoundClock sound(calls);
    int on_sound = 0, end_count = 0;
    double interval_min = 0, interval_max = 0;
    // Offsets against the sound's position, and against it on the device's own clock (its
    // position divided by its pace): what a device whose clock keeps time would show.
    double offset_sum = 0, offset_max = 0, device_sum = 0, device_max = 0, end_sum = 0;
    const auto last_second = presents[shown.back()].at - std::chrono::seconds(1);
    for (size_t j = 0; j < shown.size(); ++j) {
        const Present &present = presents[shown[j]];
        if (j > 0) {
            const double interval = ms_between(presents[shown[j - 1]].at, present.at);
            interval_min = j == 1 ? interval : std::min(interval_min, interval);
            interval_max = std::max(interval_max, interval);
        }
        const double position_ms = 1000.0 * sound.at(present.at);
        const double offset_ms = present.number * period_ms - position_ms;
        offset_sum += offset_ms, offset_max = std::max(offset_max, std::abs(offset_ms));
        if (present.at >= last_second) end_sum += offset_ms, ++end_count;
        if (offset_ms >= -period_ms) ++on_sound;  // within a period of the sound reaching it
        if (pace > 0) {
            const double device_ms = present.number * period_ms - position_ms / pace;
            device_sum += device_ms, device_max = std::max(device_max, std::abs(device_ms));
        }
    }
    std::printf(" interval_mean=%.2f interval_min=%.2f interval_max=%.2f",
                shown.size() > 1 ? ms_between(presents[shown.front()].at,
                                              presents[shown.back()].at) /
                                       double(shown.size() - 1)
                                 : 0,
                interval_min, interval_max);
    if (!sound_known) return;
    if (last <= first) return void(std::printf(" sound=not_heard"));
    const double count = double(shown.size());
    std::printf(" offset_end=%.2f offset_mean=%.2f offset_max=%.2f device_mean=%.2f "
                "device_max=%.2f sound_pace=%.2f on_sound=%.2f",
                end_sum / end_count, offset_sum / count, offset_max, device_sum / count,
                device_max, 100 * pace, 100.0 * on_sound / frames);
}

// Passes of the video on the calibration screen, as the tracker core shows it (passes 0: up
// to the first frame alone); prints "vt_bench_result" and the figures as key=value.
int play(const char *library_path, const char *video, int frames, int rate, int passes) {
    hooks_thread = std::this_thread::get_id();
    void *library = SDL_LoadObject(library_path);
    if (!library) return child_fails("the_library_does_not_load");
    const auto init_window = reinterpret_cast<int16_t (*)(SDL_Window **, void *)>(
        SDL_LoadFunction(library, "init_expt_window"));
    const auto set_video = reinterpret_cast<int32_t (*)(const char *, int32_t, int32_t)>(
        SDL_LoadFunction(library, "set_cal_animation_target"));
    const auto screen_size = reinterpret_cast<int32_t (*)(int32_t *, int32_t *, int32_t *)>(
        SDL_LoadFunction(library, "get_current_display_information"));
    if (!init_window || !set_video || !screen_size) return child_fails("exports_missing");
    // The recording arrays' pages are made resident now, so that they are not counted below.
    std::memset(static_cast<void *>(presents.data()), 0, sizeof presents);
    std::memset(static_cast<void *>(audio_calls.data()), 0, sizeof audio_calls);
    const long before_kb = status_kb("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here

    if (init_window(nullptr, nullptr) != 0) return child_fails("no_window");
    set_video(video, std::max(passes, 1), 0);
    int32_t width = 1280, height = 720;
    screen_size(&width, &height, nullptr);
    target_position = SDL_Point{width / 2, height / 2};
    const DisplayHooks hooks = standin_installed_hooks();
    if (!hooks.begin_cal_hook || !hooks.draw_cal_target) return child_fails("no_hooks");
    const auto begin = Clock::now();
    if (hooks.begin_cal_hook() != 0) return child_fails("begin_cal_hook");
    recording = true;
    hooks.draw_cal_target(int16_t(target_position.x), int16_t(target_position.y));

    // The first frame, or the library's word that the video did not load (the ring shows).
    for (const auto drawn = Clock::now(); passes_in(present_count, frames).empty();) {
        const bool refused = standin_log_matches("return from LoadVideo is") >
                             standin_log_matches("return from LoadVideo is 1 ");
        if (refused || Clock::now() - drawn > std::chrono::seconds(30)) {
            hooks.end_cal_hook();
            if (refused) return std::printf("vt_bench_result status=refused\n"), 0;
            return child_fails(present_count > 0 ? "frame_numbers_not_on_the_screen"
                                                 : "presents_not_seen");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const Present first = presents[passes_in(present_count, frames).front().first];
    if (passes == 0) {
        hooks.end_cal_hook();
        std::printf("vt_bench_result status=ok first_ms=%.1f\n", ms_between(begin, first.at));
        return 0;
    }
    // The passes: up to the last pass's last frame, or the background after it; or until the
    // presents stop, or three times the passes' time has gone by.
    const double period_ms = 1000.0 / rate;
    const auto last_due = first.at + ms(3.0 * passes * frames * period_ms + 10000);
    for (;;) {
        const size_t count = present_count;
        const std::vector<Pass> seen = passes_in(count, frames);
        if (seen.size() >= size_t(passes) &&
            (presents[seen.back().last].number == frames - 1 || count > seen.back().last + 1))
            break;
        const auto now = Clock::now();
        if (now > last_due || now - presents[count - 1].at > std::chrono::seconds(3)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(ms(period_ms + 50));  // the last frame's time, heard or not
    recording = false;
    const double peak_mb = double(status_kb("VmHWM:") - before_kb) / 1024.0;
    hooks.end_cal_hook();

    std::vector<Pass> seen = passes_in(present_count, frames);
    seen.resize(std::min(seen.size(), size_t(passes)));
    const auto pass_end = [&](size_t k) {
        return k + 1 < seen.size() ? presents[seen[k + 1].first].at
                                   : presents[seen[k].last].at + ms(period_ms);
    };
    const bool sound_known = audio_wrapped && audio_bytes_per_second > 0;
    std::string on_time, dropped, heard;
    for (size_t k = 0; k < seen.size(); ++k) {
        const std::vector<size_t> shown = frames_presented(seen[k], frames);
        const char *comma = k > 0 ? "," : "";
        on_time += comma + format("%.2f", 100.0 * frames_on_time(shown, period_ms) / frames);
        dropped += comma + std::to_string(frames - int(shown.size()));
        if (sound_known)
            heard += comma + format("%.1f", 100.0 * heard_share(audio_count,
                                                                presents[seen[k].first].at,
                                                                pass_end(k)));
    }
    std::printf("vt_bench_result status=ok first_ms=%.1f peak_mb=%.1f on_time=%s dropped=%s",
                ms_between(begin, first.at), peak_mb, on_time.c_str(), dropped.c_str());
    if (sound_known)
        std::printf(" heard=%s", heard.c_str());
    else
        std::printf(" sound=%s", audio_wrapped ? "format_unknown" : "no_callback_device");
    print_first_pass(seen.front(), pass_end(0), frames, rate, sound_known);
    std::printf("\n");
    return 0;
}

// ---- The parent: the videos, the runs, the table ------------------------------------------

// A moving gradient with a white box, detail for the encoder different in every frame, and the
// frame's number.
vt_test::Picture numbered_picture(int width, int height, int i) {
    vt_test::Picture p{width, height, std::vector<uint32_t>(size_t(width) * size_t(height))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool box = std::abs(x - 4 * i % width) < 40 && std::abs(y - height / 2) < 40;
            p.rgb[size_t(y) * size_t(width) + size_t(x)] =
                box ? 0xFFFFFF : uint32_t((x + i) & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | 0x60;
        }
    stamp_number(p, i);
    return p;
}

struct Video {
    std::string name;
    int width, height, frames, rate, passes;
    bool pacing;  // small and uncompressed: for the pacing of the presents
    std::string path;
};

// The video's file: H.264 with PCM sound, or for pacing uncompressed with a tone; the sound as
// long as the frames.
bool write_video(const Video &video) {
    const auto picture = [&video](int i) {
        return numbered_picture(video.width, video.height, i);
    };
    const double seconds = double(video.frames) / video.rate;
    if (!video.pacing)
        return vt_test::write_encoded_video(video.path, vt_test::VideoCodec::H264, video.width,
                                            video.height, video.frames, video.rate,
                                            vt_test::SoundCodec::Pcm, seconds, picture);
    vt_test::AviSpec spec;
    spec.rate = uint32_t(video.rate);
    for (int i = 0; i < video.frames; ++i) spec.frames.push_back(picture(i));
    spec.with_sound = true;  // a video without sound is not played
    spec.sound = vt_test::tone(seconds, 44100, 2);
    return vt_test::write_avi(video.path, spec);
}

// A run's figures by key; status=failed (and what the child printed, on standard error) when
// the child printed none or did not end well.
using Figures = std::map<std::string, std::string>;
using Runs = std::vector<Figures>;

Figures run_child(const std::string &library, const Video &video, int passes) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return {{"status", "failed"}};
    const std::string frames = std::to_string(video.frames), rate = std::to_string(video.rate),
                      pass_count = std::to_string(passes);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        dup2(pipe_ends[1], STDERR_FILENO);  // shown only when the run fails
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        execl("/proc/self/exe", "animation_bench", "--play", library.c_str(),
              video.path.c_str(), frames.c_str(), rate.c_str(), pass_count.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipe_ends[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, size_t(got));
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    Figures figures;
    if (const size_t line = output.find("vt_bench_result "); line != std::string::npos) {
        std::istringstream words(output.substr(line, output.find('\n', line) - line));
        for (std::string word; words >> word;)
            if (const size_t equals = word.find('='); equals != std::string::npos)
                figures[word.substr(0, equals)] = word.substr(equals + 1);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || figures["status"].empty()) {
        figures["status"] = "failed";
        std::fprintf(stderr, "animation_bench: the run of %s with %s failed (status %d):\n%s\n",
                     video.name.c_str(), library.c_str(), status, output.c_str());
    }
    return figures;
}

double median_of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? NAN : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A key's values over the runs that have it (the full runs have every key but the sound's
// when no sound was heard; the runs to the first frame only first_ms), sorted.
std::vector<double> values(const Runs &runs, const char *key) {
    std::vector<double> found;
    for (const Figures &figures : runs)
        if (auto it = figures.find(key); it != figures.end())
            found.push_back(std::atof(it->second.c_str()));
    std::sort(found.begin(), found.end());
    return found;
}
double median(const Runs &runs, const char *key) { return median_of(values(runs, key)); }
double largest(const Runs &runs, const char *key) { return values(runs, key).back(); }

// Why the runs have no sound figures.
std::string no_sound(const Runs &runs) {
    for (const Figures &figures : runs)
        if (auto it = figures.find("sound"); it != figures.end()) return "no sound: " + it->second;
    return "no sound in every run";
}

// A key given for each pass ("a,b,c"): its median over the runs pass by pass, " / " between
// passes; empty when no run has it.
std::string by_pass(const Runs &runs, const char *key, const char *pattern, int passes) {
    std::vector<std::vector<double>> per_pass;
    size_t fewest = SIZE_MAX;
    for (const Figures &figures : runs) {
        const auto it = figures.find(key);
        if (it == figures.end()) continue;
        std::istringstream list(it->second);
        size_t k = 0;
        for (std::string item; std::getline(list, item, ','); ++k) {
            per_pass.resize(std::max(per_pass.size(), k + 1));
            per_pass[k].push_back(std::atof(item.c_str()));
        }
        fewest = std::min(fewest, k);
    }
    std::string cell;
    for (size_t k = 0; k < per_pass.size(); ++k)
        cell += (k > 0 ? " / " : "") + format(pattern, median_of(per_pass[k]));
    if (fewest < size_t(passes)) cell += format(" (a run saw %zu passes)", fewest);
    return cell;
}

// A row of the table: what it shows, whether the pacing videos show it, and its cell from a
// library's runs of a video.
struct Figure {
    const char *label;
    bool for_pacing;
    std::function<std::string(const Runs &, const Video &)> cell;
};

const std::vector<Figure> &figures() {
    // The sound's figures of the first pass: every full run has them, or none is shown.
    const auto with_sound = [](const Runs &runs, const std::function<std::string()> &cell) {
        const bool every_run = values(runs, "offset_max").size() == values(runs, "peak_mb").size();
        return every_run ? cell() : no_sound(runs);
    };
    static const std::vector<Figure> rows = {
        {"first frame ms: median / largest", false,
         [](const Runs &runs, const Video &) {
             return format("%.1f / %.1f", median(runs, "first_ms"), largest(runs, "first_ms"));
         }},
        {"peak memory MB above idle", false,
         [](const Runs &runs, const Video &) {
             return format("%.1f", largest(runs, "peak_mb"));
         }},
        {"frames on time %, by pass", true,
         [](const Runs &runs, const Video &video) {
             return by_pass(runs, "on_time", "%.1f", video.passes);
         }},
        {"dropped frames, by pass", true,
         [](const Runs &runs, const Video &video) {
             return by_pass(runs, "dropped", "%.0f", video.passes);
         }},
        {"heard, by pass", false,
         [](const Runs &runs, const Video &video) {
             const std::string cell = by_pass(runs, "heard", "%.0f%%", video.passes);
             return cell.empty() ? no_sound(runs) : cell;
         }},
        {"A/V ms at the end of pass 1", false,
         [with_sound](const Runs &runs, const Video &) {
             return with_sound(runs, [&] { return format("%.1f", median(runs, "offset_end")); });
         }},
        {"A/V ms pass 1: mean / |largest|", false,
         [with_sound](const Runs &runs, const Video &) {
             return with_sound(runs, [&] {
                 return format("%.1f / %.1f", median(runs, "offset_mean"),
                               largest(runs, "offset_max"));
             });
         }},
        {"on sound % pass 1", false,
         [with_sound](const Runs &runs, const Video &) {
             return with_sound(runs, [&] { return format("%.1f", median(runs, "on_sound")); });
         }},
        {"pace %; dev. A/V mean / |largest|", false,
         [with_sound](const Runs &runs, const Video &) {
             return with_sound(runs, [&] {
                 return format("%.1f; %.1f / %.1f", median(runs, "sound_pace"),
                               median(runs, "device_mean"), largest(runs, "device_max"));
             });
         }},
        {"intervals ms pass 1: mean [min, max]", true,
         [](const Runs &runs, const Video &) {
             return format("%.2f [%.2f, %.2f]", median(runs, "interval_mean"),
                           values(runs, "interval_min").front(), largest(runs, "interval_max"));
         }},
    };
    return rows;
}

// A line of the table: the video's column, the figure's, then one for each library.
void print_line(const std::string &video, const std::string &figure,
                const std::vector<std::string> &cells) {
    std::string line = format("%-20s %-37s", video.c_str(), figure.c_str());
    for (const std::string &cell : cells) line += format(" %-24s", cell.c_str());
    line.erase(line.find_last_not_of(' ') + 1);
    std::puts(line.c_str());
}

// The first frame's figures come from this many fresh processes at least.
constexpr int kFirstFrameRuns = 5;

std::vector<Video> table_videos(const std::string &only) {
    std::vector<Video> videos;
    for (const int seconds : {10, 60})
        for (const int height : {720, 1080})
            videos.push_back({format("%d s %dx%d", seconds, height * 16 / 9, height),
                              height * 16 / 9, height, seconds * 30, 30, seconds == 10 ? 3 : 1,
                              false, ""});
    videos.push_back({"10 s 3840x2160 (4K)", 3840, 2160, 600, 60, 1, false, ""});
    // Pacing: 60 small frames.
    for (const int rate : {25, 60})
        videos.push_back({format("pacing %d fps", rate), 192, 64, 60, rate, 1, true, ""});
    const auto lower = [](std::string text) {
        for (char &c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    videos.erase(std::remove_if(videos.begin(), videos.end(),
                                [&](const Video &video) {
                                    return lower(video.name).find(lower(only)) ==
                                           std::string::npos;
                                }),
                 videos.end());
    return videos;
}

int bench(int rounds, const std::string &only) {
    const auto started = Clock::now();
    std::vector<Video> videos = table_videos(only);
    if (videos.empty()) return std::fprintf(stderr, "animation_bench: no video matches\n"), 2;
    std::string folder = (std::filesystem::temp_directory_path() / "vt_bench_XXXXXX").string();
    if (!mkdtemp(folder.data())) return std::perror("mkdtemp"), 1;
    for (size_t v = 0; v < videos.size(); ++v) {
        videos[v].path = folder + "/video" + std::to_string(v) + ".avi";
        std::fprintf(stderr, "writing the video of %s...\n", videos[v].name.c_str());
        if (!write_video(videos[v])) {
            std::fprintf(stderr, "animation_bench: it cannot be written (no H.264 encoder?)\n");
            std::filesystem::remove_all(folder);
            return 1;
        }
    }
    const double writing_s = ms_between(started, Clock::now()) / 1000;
    // The disk driver's output goes nowhere: the callbacks tell what it was handed.
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);

    std::vector<std::pair<const char *, std::string>> libraries;
    if (const char *before = std::getenv("VT_BASELINE_LIBRARY"); before && *before)
        libraries.emplace_back("before", before);
    const char *after = std::getenv("VT_AFTER_LIBRARY");  // to try the bench on known figures
    libraries.emplace_back("after", after && *after ? after : VT_GRAPHICS_LIBRARY);
    // The libraries alternate round by round, so that a slower spell of the machine weighs on
    // both alike; the runs past the full ones end at the first frame.
    std::map<std::pair<size_t, size_t>, Runs> runs;  // by video and library
    for (size_t v = 0; v < videos.size(); ++v) {
        const int count = videos[v].pacing ? rounds : std::max(rounds, kFirstFrameRuns);
        for (int round = 0; round < count; ++round)
            for (size_t l = 0; l < libraries.size(); ++l) {
                std::fprintf(stderr, "%s, %s, round %d%s...\n", videos[v].name.c_str(),
                             libraries[l].first, round + 1,
                             round < rounds ? "" : " (to the first frame)");
                runs[{v, l}].push_back(
                    run_child(libraries[l].second, videos[v], round < rounds ? videos[v].passes
                                                                             : 0));
            }
    }
    std::filesystem::remove_all(folder);

    for (const auto &[name, path] : libraries) std::printf("%-7s %s\n", name, path.c_str());
    if (libraries.size() == 1)
        std::printf("(no \"before\": VT_BASELINE_LIBRARY names no library; "
                    "bench/baseline_library.sh builds one)\n");
    std::printf(
        "\n%d full run(s) of each video with each library, medians unless said; the first frame "
        "of %d fresh\nprocesses at least. first frame: from begin_cal_hook to the first frame's "
        "present. peak memory: the\npeak resident memory above that before the screen opened "
        "(largest). on time: frames presented within\na period of their due time on the clock; "
        "dropped: frames never presented; heard: the share of the\npass's time during which the "
        "sound device was handed sound. A/V: picture position minus sound\nposition at each "
        "frame's first present (at the end: over the pass's last second). on sound: frames\n"
        "presented within a period of the sound reaching them. pace: sound the device took per "
        "second of\nthe clock (a driver paced by a timer, as disk or dummy, lags by its own and "
        "the callback's time:\neach point under 100 adds 10 ms a second to the offset); dev.: "
        "the offset on the device's own clock\n(its position divided by its pace), as a device "
        "whose clock keeps time shows it.\n\n",
        rounds, kFirstFrameRuns);
    std::vector<std::string> names;
    for (const auto &library : libraries) names.emplace_back(library.first);
    print_line("video", "figure", names);
    for (size_t v = 0; v < videos.size(); ++v) {
        const Video &video = videos[v];
        const std::string detail =
            format("%d fps, %d pass%s", video.rate, video.passes, video.passes > 1 ? "es" : "");
        int row = 0;
        for (const Figure &figure : figures()) {
            if (video.pacing && !figure.for_pacing) continue;
            std::vector<std::string> cells;
            for (size_t l = 0; l < libraries.size(); ++l) {
                const Runs &these = runs[{v, l}];
                // A refused or failed run stands for all.
                const auto failed =
                    std::find_if(these.begin(), these.end(),
                                 [](const Figures &f) { return f.at("status") != "ok"; });
                cells.push_back(failed != these.end() ? failed->at("status")
                                                      : figure.cell(these, video));
            }
            print_line(row == 0 ? video.name : row == 1 ? detail : "", figure.label, cells);
            ++row;
        }
    }
    std::printf("\nWriting the videos took %.0f s, the whole bench %.0f s.\n", writing_s,
                ms_between(started, Clock::now()) / 1000);
    return 0;
}

}  // namespace

// In front of SDL's own for the loaded library: notes the presents of the playback thread and
// the number of the frame each shows.
extern "C" void SDL_RenderPresent(SDL_Renderer *renderer) {
    using Real = void (*)(SDL_Renderer *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
    if (const size_t at = present_count;
        recording && std::this_thread::get_id() != hooks_thread && at < presents.size()) {
        const auto now = Clock::now();
        presents[at] = {now, presented_number(renderer)};
        present_count = at + 1;
    }
    real(renderer);
}

// In front of SDL's own: the first output device opened with a callback gets the recording
// callback in front of its owner's, and its obtained format is kept.
extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char *device, int capture,
                                                 const SDL_AudioSpec *desired,
                                                 SDL_AudioSpec *obtained, int allowed_changes) {
    using Open = SDL_AudioDeviceID (*)(const char *, int, const SDL_AudioSpec *, SDL_AudioSpec *,
                                       int);
    static const auto real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "SDL_OpenAudioDevice"));
    if (capture || !desired || !desired->callback || audio_wrapped)
        return real(device, capture, desired, obtained, allowed_changes);
    owner_callback = desired->callback;
    owner_data = desired->userdata;
    SDL_AudioSpec wanted = *desired, got{};
    wanted.callback = recorded_callback;
    wanted.userdata = nullptr;
    // SDL fills a record of its own when given none, and opens the device alike either way.
    // The device starts paused: no callback comes before its owner has the id.
    const SDL_AudioDeviceID id = real(device, capture, &wanted, &got, allowed_changes);
    if (id == 0) return 0;
    audio_bytes_per_second = double(got.freq) * got.channels * (SDL_AUDIO_BITSIZE(got.format) / 8);
    audio_silence = got.silence;
    audio_wrapped = true;
    got.callback = desired->callback, got.userdata = desired->userdata;  // as the owner gave them
    if (obtained) *obtained = got;
    return id;
}

int main(int argc, char **argv) {
    if (argc == 7 && std::strcmp(argv[1], "--play") == 0)
        return play(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]),
                    std::atoi(argv[6]));
    int rounds = 1;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else if (std::strncmp(argv[i], "--benchmark", 11) != 0) {  // ./run bench's, not ours
            std::fprintf(stderr, "usage: animation_bench [--rounds N] [--only TEXT]\n");
            return 2;
        }
    }
    vt_test::use_headless_drivers_without_display();
    return bench(rounds, only);
}
