// Animated target as a session meets it, this build's library ("after") beside an earlier
// one ("before": the shared object VT_BASELINE_LIBRARY names; baseline_library.sh builds it).
// For videos of 10 s and 60 s at 1280 x 720 and 1920 x 1080 (H.264 in AVI, 30 frames per
// second, 16-bit PCM stereo sound at 44.1 kHz): the time from begin_cal_hook to the first
// frame on screen, the peak resident memory above that before the screen opened, the frames
// presented on time and the offset of sound and picture over one pass; then the intervals
// between presents of a small video at 25 and 60 frames per second.
//   animation_bench [--rounds N]
// Each run is this program again in a child process (--play <library> <video> <frames> <rate>,
// one line of results), which loads the library at run time as a host application does, so
// that no memory, thread or device outlives a run. Its SDL_RenderPresent and
// SDL_OpenAudioDevice (below) stand in front of SDL's own for the library: it exports them.
#include <SDL.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// ---- The child: one run -----------------------------------------------------------------

// Presents of threads other than the one that calls the hooks (the playback thread's), from
// the first draw_cal_target on. Sized for a 60 s pass at 30 frames per second and its end.
std::array<Clock::time_point, 4096> presents;
std::atomic<size_t> present_count{0};
std::atomic<bool> recording{false};
std::thread::id hooks_thread;

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

// One pass of the video on the calibration screen, as the tracker core shows it; prints
// "vt_bench_result" and the figures as key=value.
int play(const char *library_path, const char *video, int frames, int rate) {
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
    set_video(video, 1, 0);  // one pass
    int32_t width = 1280, height = 720;
    screen_size(&width, &height, nullptr);
    const DisplayHooks hooks = standin_installed_hooks();
    if (!hooks.begin_cal_hook || !hooks.draw_cal_target) return child_fails("no_hooks");
    const auto begin = Clock::now();
    if (hooks.begin_cal_hook() != 0) return child_fails("begin_cal_hook");
    recording = true;
    hooks.draw_cal_target(int16_t(width / 2), int16_t(height / 2));

    // The first frame, or the library's word that the video did not load (the ring shows).
    for (const auto drawn = Clock::now(); present_count == 0;) {
        if (standin_log_matches("return from LoadVideo is") >
                standin_log_matches("return from LoadVideo is 1 ") ||
            Clock::now() - drawn > std::chrono::seconds(30)) {
            hooks.end_cal_hook();
            // The playback thread logs this at the start of each pass.
            if (standin_log_matches("calData.animationTarget.audioPlaying =") > 0)
                return child_fails("presents_not_seen");
            std::printf("vt_bench_result status=refused\n");
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // The pass: its frames, then the background alone; or up to 5 s later than due.
    const double period_ms = 1000.0 / rate;
    const auto last_due = presents[0] + std::chrono::milliseconds(int(frames * period_ms) + 5000);
    while (present_count < size_t(frames) + 1 && Clock::now() < last_due)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    recording = false;
    const double peak_mb = double(status_kb("VmHWM:") - before_kb) / 1024.0;
    hooks.end_cal_hook();

    const size_t shown = std::min(present_count.load(), size_t(frames) + 1) - 1;
    const size_t calls = audio_count;
    // The pace the device takes the sound at while it sounds, against the clock: a driver that
    // paces itself with a timer (disk, dummy) lags by its own and the callback's time.
    double sounding_bytes = 0;
    size_t first = SIZE_MAX, last = 0;
    for (size_t k = 0; k < calls; ++k)
        if (audio_calls[k].sounding) {
            if (first != SIZE_MAX) sounding_bytes += audio_calls[last].bytes;
            first = std::min(first, k), last = k;
        }
    const double pace = last > first ? sounding_bytes / audio_bytes_per_second * 1000.0 /
                                           ms_between(audio_calls[first].at, audio_calls[last].at)
                                     : 0;
    SoundClock sound(calls);
    int on_time = 0, on_sound = 0;
    double interval_min = 1e9, interval_max = 0;
    // Offsets against the sound's position, and against it on the device's own clock (its
    // position divided by its pace): what a device whose clock keeps time would show.
    double offset_sum = 0, offset_max = 0, device_sum = 0, device_max = 0;
    for (size_t j = 0; j < shown; ++j) {
        if (ms_between(presents[0], presents[j]) - double(j) * period_ms <= period_ms) ++on_time;
        if (j > 0) {
            const double ms = ms_between(presents[j - 1], presents[j]);
            interval_min = std::min(interval_min, ms), interval_max = std::max(interval_max, ms);
        }
        const double position_ms = 1000.0 * sound.at(presents[j]);
        const double offset_ms = double(j) * period_ms - position_ms;
        offset_sum += offset_ms, offset_max = std::max(offset_max, std::abs(offset_ms));
        if (offset_ms >= -period_ms) ++on_sound;  // within a period of the sound reaching it
        if (pace > 0) {
            const double device_ms = double(j) * period_ms - position_ms / pace;
            device_sum += device_ms, device_max = std::max(device_max, std::abs(device_ms));
        }
    }
    std::printf("vt_bench_result status=ok first_ms=%.1f peak_mb=%.1f shown=%zu on_time=%.2f "
                "interval_mean=%.2f interval_min=%.2f interval_max=%.2f",
                ms_between(begin, presents[0]), peak_mb, shown, 100.0 * on_time / frames,
                shown > 1 ? ms_between(presents[0], presents[shown - 1]) / double(shown - 1) : 0,
                interval_min, interval_max);
    if (!audio_wrapped || audio_bytes_per_second <= 0)
        std::printf(" sound=%s\n", audio_wrapped ? "format_unknown" : "no_callback_device");
    else if (last <= first)
        std::printf(" sound=not_heard\n");
    else
        std::printf(" offset_mean=%.2f offset_max=%.2f device_mean=%.2f device_max=%.2f "
                    "sound_pace=%.2f on_sound=%.2f\n",
                    offset_sum / double(shown), offset_max, device_sum / double(shown),
                    device_max, 100 * pace, 100.0 * on_sound / frames);
    return 0;
}

// ---- The parent: the videos, the runs, the table ------------------------------------------

// A moving gradient with a white box: detail for the encoder, different in every frame.
vt_test::Picture moving_picture(int width, int height, int i) {
    vt_test::Picture p{width, height, std::vector<uint32_t>(size_t(width) * size_t(height))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool box = std::abs(x - 4 * i % width) < 40 && std::abs(y - height / 2) < 40;
            p.rgb[size_t(y) * size_t(width) + size_t(x)] =
                box ? 0xFFFFFF : uint32_t((x + i) & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | 0x60;
        }
    return p;
}

struct Video {
    std::string name, path;
    int frames, rate;
    bool pacing;  // shown in the intervals' table
};

// A run's figures by key; status=failed (and what the child printed, on standard error) when
// the child printed none or did not end well.
using Figures = std::map<std::string, std::string>;

Figures run_child(const std::string &library, const Video &video) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return {{"status", "failed"}};
    const std::string frames = std::to_string(video.frames), rate = std::to_string(video.rate);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        dup2(pipe_ends[1], STDERR_FILENO);  // shown only when the run fails
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        execl("/proc/self/exe", "animation_bench", "--play", library.c_str(),
              video.path.c_str(), frames.c_str(), rate.c_str(), static_cast<char *>(nullptr));
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

// A key's values over the rounds, sorted (every round that ran has every key but the sound's),
// and their median.
std::vector<double> values(const std::vector<Figures> &runs, const char *key) {
    std::vector<double> found;
    for (const Figures &figures : runs)
        if (auto it = figures.find(key); it != figures.end())
            found.push_back(std::atof(it->second.c_str()));
    std::sort(found.begin(), found.end());
    return found;
}
double median(const std::vector<Figures> &runs, const char *key) {
    const std::vector<double> v = values(runs, key);
    const size_t n = v.size();
    return n == 0 ? NAN : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void print_row(const Video &video, const char *library, const std::vector<Figures> &runs) {
    std::printf("%-18s %-7s", video.name.c_str(), library);
    for (const Figures &figures : runs)  // a refused or failed round stands for all
        if (const std::string &status = figures.at("status"); status != "ok")
            return void(std::printf(" %s\n", status.c_str()));
    if (video.pacing)
        return void(std::printf(" %9.1f %9.2f %9.2f %9.2f\n", 1000.0 / video.rate,
                                median(runs, "interval_mean"),
                                values(runs, "interval_min").front(),
                                values(runs, "interval_max").back()));
    std::printf(" %12.1f %12.1f %10.2f", median(runs, "first_ms"),
                values(runs, "peak_mb").back(), median(runs, "on_time"));
    if (values(runs, "offset_max").size() == runs.size())
        std::printf(" %10.1f %10.1f %10.2f %8.2f %10.1f %10.1f", median(runs, "offset_mean"),
                    values(runs, "offset_max").back(), median(runs, "on_sound"),
                    median(runs, "sound_pace"),
                    median(runs, "device_mean"), values(runs, "device_max").back());
    else  // the sound's format unknown, or no sound heard
        std::printf("  no sound position: %s", runs.front().count("sound")
                                                   ? runs.front().at("sound").c_str()
                                                   : "not in every round");
    if (const double fewest = values(runs, "shown").front(); fewest < video.frames)
        std::printf("  (fewest frames shown: %.0f of %d)", fewest, video.frames);
    std::printf("\n");
}

int bench(int rounds) {
    std::string folder = (std::filesystem::temp_directory_path() / "vt_bench_XXXXXX").string();
    if (!mkdtemp(folder.data())) return std::perror("mkdtemp"), 1;
    std::vector<Video> videos;
    for (const int seconds : {10, 60})
        for (const int height : {720, 1080}) {
            const int width = height * 16 / 9;
            videos.push_back({std::to_string(seconds) + " s " + std::to_string(width) + "x" +
                                  std::to_string(height),
                              folder + "/" + std::to_string(seconds) + "s_" +
                                  std::to_string(height) + "p.avi",
                              seconds * 30, 30, false});
            std::fprintf(stderr, "writing the video of %s...\n", videos.back().name.c_str());
            if (!vt_test::write_encoded_video(
                    videos.back().path, vt_test::VideoCodec::H264, width, height, seconds * 30,
                    30, vt_test::SoundCodec::Pcm, seconds,
                    [=](int i) { return moving_picture(width, height, i); })) {
                std::fprintf(stderr, "animation_bench: it cannot be written (no H.264 encoder?)\n");
                std::filesystem::remove_all(folder);
                return 1;
            }
        }
    // Pacing: 60 small frames, with sound (a video without sound is not played).
    for (const int rate : {25, 60}) {
        videos.push_back({"pacing " + std::to_string(rate) + " fps",
                          folder + "/pacing" + std::to_string(rate) + ".avi", 60, rate, true});
        vt_test::write_quadrant_video(videos.back().path, {64, 48, 60, uint32_t(rate),
                                                           [](int i) { return i * 0x030303u; },
                                                           vt_test::tone(60.0 / rate, 44100, 2)});
    }

    std::vector<std::pair<const char *, std::string>> libraries;
    if (const char *before = std::getenv("VT_BASELINE_LIBRARY"); before && *before)
        libraries.emplace_back("before", before);
    const char *after = std::getenv("VT_AFTER_LIBRARY");  // to try the bench on known figures
    libraries.emplace_back("after", after && *after ? after : VT_GRAPHICS_LIBRARY);
    // The libraries alternate round by round, so that a slower spell of the machine weighs on
    // both alike.
    std::map<std::pair<size_t, size_t>, std::vector<Figures>> runs;  // by video and library
    for (size_t v = 0; v < videos.size(); ++v)
        for (int round = 0; round < rounds; ++round)
            for (size_t l = 0; l < libraries.size(); ++l) {
                std::fprintf(stderr, "%s, %s, round %d...\n", videos[v].name.c_str(),
                             libraries[l].first, round + 1);
                runs[{v, l}].push_back(run_child(libraries[l].second, videos[v]));
            }
    std::filesystem::remove_all(folder);

    for (const auto &[name, path] : libraries) std::printf("%-7s %s\n", name, path.c_str());
    if (libraries.size() == 1)
        std::printf("(no \"before\": VT_BASELINE_LIBRARY names no library; "
                    "bench/baseline_library.sh builds one)\n");
    std::printf("\nOne pass of each video, %d rounds each, median unless said. first fr.: from "
                "begin_cal_hook to the first\nframe's present. peak: resident memory above that "
                "before the screen opened (largest). on time: frames\npresented within a period "
                "of their due time on the clock; on sound: of the sound reaching them. A/V: "
                "video position\nminus sound position at each frame's "
                "present, ms (mean; largest absolute). pace: sound the device took per second of "
                "the clock (a driver\npaced by a timer, as disk or dummy, lags by its own and "
                "the callback's time: each point under 100\nadds 10 ms a second to the "
                "offset). dev.: the offset on the device's own clock (its position\ndivided by "
                "its pace), as a device whose clock keeps time shows it.\n\n", rounds);
    std::printf("%-18s %-7s %12s %12s %10s %10s %10s %10s %8s %10s %10s\n", "video", "library",
                "first fr. ms", "peak MB", "on time %", "A/V mean", "A/V |max|", "on sound %",
                "pace %",
                "dev. mean", "dev. |max|");
    for (const bool pacing : {false, true}) {
        if (pacing)
            std::printf("\nIntervals between the frames' presents, ms (median of the means; "
                        "smallest, largest):\n\n%-18s %-7s %9s %9s %9s %9s\n", "video",
                        "library", "period", "mean", "min", "max");
        for (size_t v = 0; v < videos.size(); ++v)
            if (videos[v].pacing == pacing)
                for (size_t l = 0; l < libraries.size(); ++l)
                    print_row(videos[v], libraries[l].first, runs[{v, l}]);
    }
    return 0;
}

}  // namespace

// In front of SDL's own for the loaded library: notes the presents of the playback thread.
extern "C" void SDL_RenderPresent(SDL_Renderer *renderer) {
    using Present = void (*)(SDL_Renderer *);
    static const auto real = reinterpret_cast<Present>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
    if (const size_t at = present_count;
        recording && std::this_thread::get_id() != hooks_thread && at < presents.size()) {
        presents[at] = Clock::now();
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
    if (argc == 6 && std::strcmp(argv[1], "--play") == 0)
        return play(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strncmp(argv[i], "--benchmark", 11) != 0) {  // ./run bench's, not ours
            std::fprintf(stderr, "usage: animation_bench [--rounds N]\n");
            return 2;
        }
    }
    vt_test::use_headless_drivers_without_display();
    return bench(rounds);
}
