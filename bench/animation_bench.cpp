// Animated target: LoadVideo of 10 s videos with sound (640 x 480 Motion JPEG, MPEG-4 part 2 and
// H.264, 1280 x 720 H.264) against FFmpeg's own decode of the same file in the same run: alone,
// with every frame converted to packed 24-bit RGB in one reused picture as a program of one's
// own would, and with every frame converted into memory that keeps them all, as LoadVideo does
// (time ratios, and peak memory against the frames' raw size). A session's first load (memory
// fresh from the system) is measured apart from the later ones (memory kept from the load
// before). Also the intervals between the playback thread's presents at 25 and 60 frames per
// second.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/resource.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "headless.h"
#include "test_videos.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

using Clock = std::chrono::steady_clock;

// Times of the presents made while recording: this program's SDL_RenderPresent stands in
// front of SDL's own (below) and notes each call.
std::array<Clock::time_point, 4096> presents;
std::atomic<size_t> present_count{0};
std::atomic<bool> recording{false};

std::string temp_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vt_bench_XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

const std::string &folder() {
    static const std::string path = temp_folder();
    return path;
}

constexpr int kRate = 25, kSeconds = 10, kFrames = kRate * kSeconds;
// Rounds of a session's first load, each with its memory fresh (slow: see settle).
constexpr int kFirstLoads = 3;

struct Case {
    const char *name;
    const char *file;  // its extension names the container
    vt_test::VideoCodec codec;
    int width, height;
};
constexpr Case kCases[] = {
    {"mjpeg_640x480", "mjpeg.avi", vt_test::VideoCodec::Mjpeg, 640, 480},
    {"mpeg4_640x480", "mpeg4.avi", vt_test::VideoCodec::Mpeg4, 640, 480},
    {"h264_640x480", "h264.mkv", vt_test::VideoCodec::H264, 640, 480},
    {"h264_1280x720", "h264_720p.mkv", vt_test::VideoCodec::H264, 1280, 720},
};

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

// The case's video, written once; empty when it cannot be written.
std::string video(const Case &c) {
    const std::string file = folder() + "/" + c.file;
    if (std::filesystem::exists(file)) return file;
    if (!vt_test::write_encoded_video(file, c.codec, c.width, c.height, kFrames, kRate,
                                      vt_test::SoundCodec::Pcm, kSeconds,
                                      [&c](int i) { return moving_picture(c.width, c.height, i); }))
        return std::string();
    return file;
}

// Where FFmpeg alone puts its frames: nowhere (decoded only), in one reused picture, or every
// frame kept in memory of its own as LoadVideo keeps them.
enum class Output { None, Reused, Kept };

// Memory for every frame of a case in packed 24-bit RGB, mapped anew (its pages fresh from the
// system, as a session's first load finds them) or kept from the run before.
struct KeptFrames {
    uint8_t *base = nullptr;
    size_t size = 0;
    explicit KeptFrames(const Case &c)
        : size(size_t(c.width) * 3 * size_t(c.height) * kFrames) {
        void *mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                            -1, 0);
        base = mapped == MAP_FAILED ? nullptr : static_cast<uint8_t *>(mapped);
    }
    KeptFrames(const KeptFrames &) = delete;
    KeptFrames &operator=(const KeptFrames &) = delete;
    ~KeptFrames() {
        if (base) munmap(base, size);
    }
};

// FFmpeg alone: demux the file and decode every video frame with the threads LoadVideo's reader
// uses; unless output is None, every frame is also turned into packed 24-bit RGB, into one
// reused picture or into kept's memory, frame after frame. Returns the number of frames.
int ffmpeg_decode(const std::string &path, Output output, KeptFrames *kept = nullptr) {
    if (output == Output::Kept && (!kept || !kept->base)) return -1;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(format, nullptr);
    const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec *codec = avcodec_find_decoder(format->streams[video]->codecpar->codec_id);
    AVCodecContext *decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[video]->codecpar);
    decoder->thread_count = 0;  // as LoadVideo's reader
    avcodec_open2(decoder, codec, nullptr);
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    AVFrame *rgb = av_frame_alloc();
    SwsContext *scaler = nullptr;
    int frames = 0;
    bool more = true, overflowed = false;
    while (more) {
        more = av_read_frame(format, packet) >= 0;
        if (more && packet->stream_index != video) {
            av_packet_unref(packet);
            continue;
        }
        avcodec_send_packet(decoder, more ? packet : nullptr);
        av_packet_unref(packet);
        while (avcodec_receive_frame(decoder, frame) == 0) {
            ++frames;
            if (output == Output::None) continue;
            scaler = sws_getCachedContext(scaler, frame->width, frame->height,
                                          AVPixelFormat(frame->format), frame->width,
                                          frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr,
                                          nullptr, nullptr);
            uint8_t *rows[4] = {};
            int pitches[4] = {frame->width * 3};
            if (output == Output::Kept) {
                const size_t bytes = size_t(pitches[0]) * size_t(frame->height);
                if (size_t(frames) * bytes > kept->size) {
                    overflowed = true;
                    continue;
                }
                rows[0] = kept->base + size_t(frames - 1) * bytes;
            } else {
                if (!rgb->data[0]) {
                    rgb->format = AV_PIX_FMT_RGB24;
                    rgb->width = frame->width;
                    rgb->height = frame->height;
                    av_frame_get_buffer(rgb, 0);
                }
                rows[0] = rgb->data[0];
                pitches[0] = rgb->linesize[0];
            }
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, rows, pitches);
        }
    }
    sws_freeContext(scaler);
    av_frame_free(&rgb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return overflowed ? -1 : frames;
}

// Processor time of the whole process (every thread), seconds.
double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long status_kb(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length);
    return -1;
}

// Resident size now (kB); the peak resident size starts again from it.
long peak_restart() {
    const long kb = status_kb("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";
    return kb;
}

// LoadVideo of the case's video, its time and its peak resident size above the size before
// (MB). Returns false when the video is not loaded whole.
bool timed_load(const std::string &path, double &seconds, double &cpu, double &peak_mb) {
    release_animation();
    malloc_trim(0);  // as before the other runs
    const long before_kb = peak_restart();
    const auto start = Clock::now();
    const double cpu_start = cpu_seconds();
    const int32_t result = LoadVideo(path.c_str());
    seconds = seconds_since(start);
    cpu = cpu_seconds() - cpu_start;
    peak_mb = double(status_kb("VmHWM:") - before_kb) / 1024.0;
    int frames = 0;
    if (SDL_Surface **frame = calData.animationTarget.frames.load())
        while (frame[frames]) ++frames;
    const bool loaded = result == 1 && frames == kFrames;
    release_animation();
    return loaded;
}

double total(const std::vector<double> &values) {
    return std::accumulate(values.begin(), values.end(), 0.0);
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// The median of the rounds' ratios: a slower spell of the machine weighs on both runs of a
// round alike, and a round spoilt by one does not move the median.
double median_ratio(const std::vector<double> &over, const std::vector<double> &under) {
    std::vector<double> ratios(over.size());
    for (size_t i = 0; i < over.size(); ++i) ratios[i] = over[i] / under[i];
    return median(std::move(ratios));
}

// Lets the memory freed so far go back to the system before a run that takes its memory fresh:
// a virtual machine may hand freed pages to its host a moment later (Linux guests report them
// after 2 s), and a run right after a free would find them still in hand.
void settle() {
    malloc_trim(0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
}

// The first load (the session's first calibration screen) takes its frames' memory fresh from
// the system; the loads timed against FFmpeg (every later screen) find the memory the previous
// load kept. Beside FFmpeg converting into one reused picture (what the loads are held to),
// FFmpeg keeping every frame as LoadVideo does is timed too: into fresh memory against the first
// load, into memory kept from its run before against the later ones.
void BM_LoadVideoAgainstFfmpegDecode(benchmark::State &state) {
    const Case &c = kCases[state.range(0)];
    state.SetLabel(c.name);
    const std::string path = video(c);
    if (path.empty()) {
        state.SkipWithError("the test video cannot be written (no encoder?)");
        return;
    }
    // FFmpeg's one-time set-up (its tables, its threads' first stacks) belongs to the process,
    // not to a load: it is made before the peak is measured.
    ffmpeg_decode(path, Output::Reused);
    std::vector<double> first_seconds, fresh_seconds;
    double first_cpu = 0, peak_mb = 0;
    for (int round = 0; round < kFirstLoads; ++round) {
        end_animation_target();  // no memory kept from the load before
        settle();
        {
            KeptFrames fresh(c);
            const auto start = Clock::now();
            const int kept = ffmpeg_decode(path, Output::Kept, &fresh);
            fresh_seconds.push_back(seconds_since(start));  // giving it back is not counted
            if (kept != kFrames) {
                state.SkipWithError("FFmpeg cannot keep the frames");
                return;
            }
        }
        settle();
        double seconds = 0, cpu = 0, peak = 0;
        if (!timed_load(path, seconds, cpu, peak)) {
            state.SkipWithError("LoadVideo failed");
            return;
        }
        first_seconds.push_back(seconds);
        first_cpu += cpu;
        peak_mb = std::max(peak_mb, peak);
    }
    KeptFrames reused(c);
    ffmpeg_decode(path, Output::Kept, &reused);  // its pages in use from here on
    // Seconds of each round's runs, side by side.
    std::vector<double> decode_seconds, convert_seconds, kept_seconds, load_seconds;
    double load_cpu = 0, convert_cpu = 0;
    for (auto _ : state) {
        // Every run starts with the memory freed by the runs before it out of the resident set
        // (the peak is measured from there), so none finds its heap ready in use.
        malloc_trim(0);
        auto start = Clock::now();
        const int decoded = ffmpeg_decode(path, Output::None);
        decode_seconds.push_back(seconds_since(start));
        malloc_trim(0);
        start = Clock::now();
        const double cpu = cpu_seconds();
        const int converted = ffmpeg_decode(path, Output::Reused);
        convert_seconds.push_back(seconds_since(start));
        convert_cpu += cpu_seconds() - cpu;
        malloc_trim(0);
        start = Clock::now();
        const int kept = ffmpeg_decode(path, Output::Kept, &reused);
        kept_seconds.push_back(seconds_since(start));

        double seconds = 0, cpu_used = 0, kept_peak_mb = 0;
        const bool loaded = timed_load(path, seconds, cpu_used, kept_peak_mb);
        load_seconds.push_back(seconds);
        load_cpu += cpu_used;
        state.SetIterationTime(seconds);
        if (!loaded || decoded != kFrames || converted != kFrames || kept != kFrames)
            state.SkipWithError("decode failed");
    }
    const double raw_mb = double(c.width) * c.height * 3 * kFrames / (1024.0 * 1024.0);
    const double convert_median = median(convert_seconds);
    state.counters["decode_s"] = median(decode_seconds);
    state.counters["decode_rgb_s"] = convert_median;
    state.counters["load_s"] = median(load_seconds);
    state.counters["load_over_decode"] = median_ratio(load_seconds, decode_seconds);
    state.counters["load_over_decode_rgb"] = median_ratio(load_seconds, convert_seconds);
    state.counters["load_over_decode_rgb_kept"] = median_ratio(load_seconds, kept_seconds);
    state.counters["first_load_s"] = median(first_seconds);
    state.counters["first_load_over_decode_rgb"] = median(first_seconds) / convert_median;
    state.counters["first_load_over_decode_rgb_fresh"] = median_ratio(first_seconds, fresh_seconds);
    // Processor time over wall time: how many cores each kept busy.
    state.counters["decode_rgb_cores"] = convert_cpu / total(convert_seconds);
    state.counters["load_cores"] = load_cpu / total(load_seconds);
    state.counters["first_load_cores"] = first_cpu / total(first_seconds);
    state.counters["peak_MB"] = peak_mb;
    state.counters["raw_frames_MB"] = raw_mb;
    state.counters["peak_over_raw"] = peak_mb / raw_mb;
}
BENCHMARK(BM_LoadVideoAgainstFfmpegDecode)->DenseRange(0, int(std::size(kCases)) - 1)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

// Plays 60 frames once at rate and reports the intervals between the frames' presents.
void BM_PlaybackPacing(benchmark::State &state) {
    const auto rate = uint32_t(state.range(0));
    init_expt_window(nullptr, nullptr);
    vt_test::AviSpec spec;
    spec.rate = rate;
    for (int i = 0; i < 60; ++i)
        spec.frames.push_back(vt_test::quadrants(64, 48, 0xFF0000, 0x00FF00, 0x0000FF,
                                                 uint32_t(i) * 0x030303));
    const std::string path = folder() + "/pacing" + std::to_string(rate) + ".avi";
    vt_test::write_avi(path, spec);
    set_cal_animation_target(path.c_str(), 1, 0);
    double sum = 0, squares = 0, low = 1e9, high = 0;
    size_t intervals = 0;
    for (auto _ : state) {
        if (LoadVideo(path.c_str()) != -1) state.SkipWithError("LoadVideo failed");
        present_count = 0;
        recording = true;
        calData.targetPosition = TargetPosition{400, 300};
        calData.animationTarget.threadState = 1;
        start_playback_thread();
        while (calData.animationTarget.threadState != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        recording = false;
        // The last present is the background after the pass.
        const size_t frames = std::min<size_t>(present_count, presents.size()) - 1;
        for (size_t i = 1; i < frames; ++i) {
            const double ms =
                std::chrono::duration<double, std::milli>(presents[i] - presents[i - 1]).count();
            sum += ms, squares += ms * ms, low = std::min(low, ms), high = std::max(high, ms);
            ++intervals;
        }
        release_animation();
    }
    const double mean = sum / double(intervals);
    state.counters["period_ms"] = 1000.0 / rate;
    state.counters["mean_ms"] = mean;
    state.counters["stddev_ms"] = std::sqrt(std::max(0.0, squares / double(intervals) - mean * mean));
    state.counters["min_ms"] = low;
    state.counters["max_ms"] = high;
}
BENCHMARK(BM_PlaybackPacing)->Arg(25)->Arg(60)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

extern "C" void SDL_RenderPresent(SDL_Renderer *renderer) {
    using Present = void (*)(SDL_Renderer *);
    static const auto real = reinterpret_cast<Present>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
    if (recording) {
        const size_t at = present_count++;
        if (at < presents.size()) presents[at] = Clock::now();
    }
    real(renderer);
}

int main(int argc, char **argv) {
    vt_test::use_headless_drivers_without_display();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    close_expt_graphics();
    std::filesystem::remove_all(folder());
    return 0;
}
