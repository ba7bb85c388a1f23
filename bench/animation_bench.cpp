// Animated target: LoadVideo of a 10 s 640 x 480 MJPEG video with sound against FFmpeg's own
// decode of the same file in the same run (time ratio, and peak memory against the frames' raw
// size), and the intervals between the playback thread's presents at 25 and 60 frames per
// second.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <malloc.h>
#include <stdlib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

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

constexpr int kWidth = 640, kHeight = 480, kRate = 25, kSeconds = 10;

// A moving gradient with a white box: detail for the encoder, different in every frame.
vt_test::Picture moving_picture(int i) {
    vt_test::Picture p{kWidth, kHeight, std::vector<uint32_t>(size_t(kWidth) * kHeight)};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool box = std::abs(x - 4 * i % kWidth) < 40 && std::abs(y - 240) < 40;
            p.rgb[size_t(y) * kWidth + size_t(x)] =
                box ? 0xFFFFFF : uint32_t((x + i) & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | 0x60;
        }
    return p;
}

const std::string &mjpeg_video() {
    static const std::string path = [] {
        const std::string file = folder() + "/ten_seconds.avi";
        if (!vt_test::write_mjpeg_avi(file, kWidth, kHeight, kRate * kSeconds, kRate,
                                      vt_test::SoundCodec::Pcm, kSeconds, moving_picture))
            return std::string();
        return file;
    }();
    return path;
}

// FFmpeg alone: demux the file and decode every video frame, nothing kept.
int ffmpeg_decode(const std::string &path) {
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
    int frames = 0;
    bool more = true;
    while (more) {
        more = av_read_frame(format, packet) >= 0;
        if (more && packet->stream_index != video) {
            av_packet_unref(packet);
            continue;
        }
        avcodec_send_packet(decoder, more ? packet : nullptr);
        av_packet_unref(packet);
        while (avcodec_receive_frame(decoder, frame) == 0) ++frames;
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return frames;
}

long status_kb(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length);
    return -1;
}

void BM_LoadVideoAgainstFfmpegDecode(benchmark::State &state) {
    const std::string &path = mjpeg_video();
    if (path.empty()) {
        state.SkipWithError("the test video cannot be written");
        return;
    }
    double load_seconds = 0, ffmpeg_seconds = 0, peak_mb = 0;
    for (auto _ : state) {
        const auto ffmpeg_start = Clock::now();
        const int decoded = ffmpeg_decode(path);
        ffmpeg_seconds += std::chrono::duration<double>(Clock::now() - ffmpeg_start).count();

        release_animation();
        malloc_trim(0);  // memory freed by earlier runs leaves the resident set
        const long before_kb = status_kb("VmRSS:");
        std::ofstream("/proc/self/clear_refs") << "5";  // peak resident size starts again here
        const auto load_start = Clock::now();
        const int32_t result = LoadVideo(path.c_str());
        const double seconds = std::chrono::duration<double>(Clock::now() - load_start).count();
        load_seconds += seconds;
        state.SetIterationTime(seconds);
        peak_mb = double(status_kb("VmHWM:") - before_kb) / 1024.0;
        if (result != 1 || decoded != kRate * kSeconds) state.SkipWithError("decode failed");
        release_animation();
    }
    const double raw_mb = double(kWidth) * kHeight * 3 * kRate * kSeconds / (1024.0 * 1024.0);
    state.counters["ffmpeg_decode_s"] = ffmpeg_seconds / double(state.iterations());
    state.counters["load_over_ffmpeg"] = load_seconds / ffmpeg_seconds;
    state.counters["peak_MB"] = peak_mb;
    state.counters["raw_frames_MB"] = raw_mb;
    state.counters["peak_over_raw"] = peak_mb / raw_mb;
}
BENCHMARK(BM_LoadVideoAgainstFfmpegDecode)->Unit(benchmark::kMillisecond)->UseManualTime()
    ->Iterations(3);

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
