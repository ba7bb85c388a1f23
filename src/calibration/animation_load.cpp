// Loading the animated target: the export that names the video, LoadVideo (the video opened,
// its first frame decoded and the first second of its sound read; the rest is read as it
// plays) and release_animation.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "calibration/sound_track.h"
#include "calibration/video_frames.h"
#include "platform/platform.h"
#include "vistrak_core_graphics_sdl2.h"

size_t memory_budget_for(uint64_t physical) {
    constexpr uint64_t kLargest = uint64_t(2) << 30;
    return size_t(physical == 0 ? kLargest : std::min(kLargest, physical / 4));
}

size_t video_memory_budget = memory_budget_for(platform::physical_memory());

namespace {

constexpr const char *kNoMemory =
    "The file could not be opened because of insufficient memory. \n";

// Prints a loading failure on standard output and flushes every stream.
int32_t report(int32_t result, const char *message) {
    std::printf("%s", message);
    std::fflush(nullptr);
    return result;
}

// Opens the sound track for animationTarget and reads its first piece, within half the
// budget. Returns LoadVideo's result.
int32_t open_sound(VideoFile *file, const char *path) {
    AnimationTarget &animation = calData.animationTarget;
    const size_t limit = video_memory_budget / 2;
    platform::WaveFormat format{};
    std::unique_ptr<SoundTrack> track;
    AudioReadResult result;
    try {
        result = SoundTrack::open(file, limit, path, format, track);
    } catch (const std::bad_alloc &) {
        result = AudioReadResult::NoData;
    }
    switch (result) {
        case AudioReadResult::NoStream:
            animation.audioPlaying = kAudioUnusable;
            return report(-1, "no audio\n");
        case AudioReadResult::NoInfo:
            animation.audioPlaying = kAudioUnusable;
            return report(-2, "no audio stream info\n");
        case AudioReadResult::NoFormatSize:
            animation.audioPlaying = kAudioUnusable;
            return report(-3, "AVIStreamReadFormat - audio failed!\n");
        case AudioReadResult::NoFormat:
            return report(-4, "AVIStreamReadFormat - audio failed!\n");
        case AudioReadResult::NoSize:
            std::printf("LoadVideo: the sound of %s needs more than %llu MB of memory; the "
                        "ring target is shown instead of the video. \n",
                        path, static_cast<unsigned long long>(limit >> 20));
            return report(-7, "AVIStreamRead1 - audio failed!\n");
        case AudioReadResult::NoData:
            return report(-6, "AVIStreamRead2 - audio failed!\n");
        case AudioReadResult::Read:
            break;
    }
    auto *kept_format = new (std::nothrow) platform::WaveFormat(format);
    if (!kept_format) return report(-6, "AVIStreamRead2 - audio failed!\n");
    animation.audioFormat = kept_format;
    animation.audioData = track.release();
    return 1;
}

}  // namespace

int32_t LoadVideo(const char *path) {
    release_animation();
    VideoFile *opened = nullptr;
    switch (video_open(path, opened)) {
        case VideoOpenResult::Opened:
        case VideoOpenResult::Failed:  // the stream step below reports it
            break;
        case VideoOpenResult::NoHandler:
            return report(0,
                          "According to the registry, the type of file specified in "
                          "AVIFileOpen does not have a handler to process it. \n");
        case VideoOpenResult::BadFormat:
            return report(0,
                          "The file couldn't be read, indicating a corrupt file or an "
                          "unrecognized format. \n");
        case VideoOpenResult::NoMemory:
            return report(0, kNoMemory);
        case VideoOpenResult::ReadError:
            std::printf("A disk error occurred. Please check for video file %s. \n",
                        path ? path : "(null)");
            std::fflush(nullptr);
            return 0;
    }
    VideoFilePtr file(opened);
    VideoStreamInfo info;
    switch (video_stream(file.get(), info)) {
        case VideoStreamResult::Found:
            break;
        case VideoStreamResult::NoStream:
            return report(0, "failed to get avi stream \n");
        case VideoStreamResult::NoInfo:
            return report(0, "failed to get avi file info \n");
    }
    if (!video_open_frames(file.get())) {
        std::printf("Failed to get avi stream, probably required codec is missing.\n");
        if (const std::string codec = video_codec(file.get()); !codec.empty())
            std::printf("LoadVideo: the video stream of %s is coded as %s, and no installed "
                        "decoder reads it. \n",
                        path, codec.c_str());
        std::fflush(nullptr);
        return 0;
    }

    AnimationTarget &animation = calData.animationTarget;
    animation.frameRate = double(info.rate) / double(info.scale);
    std::unique_ptr<VideoFrames> frames;
    try {
        frames = VideoFrames::load(std::move(file), info, path, video_memory_budget);
    } catch (const std::bad_alloc &) {
        return report(0, kNoMemory);
    }
    if (!frames) return 0;
    VideoFile *reader = frames->file();
    animation.frames = frames.release();
    return open_sound(reader, path);
}

void release_animation() {
    AnimationTarget &animation = calData.animationTarget;
    // The drawing thread goes first, a static target's pulse as well: what it draws changes.
    stop_playback_thread();
    // The sound output plays the sound's pieces in place; the sound is read from the video
    // file.
    if (animation.audioPlaying != kAudioClosed) {
        platform::SoundOutput *device = animation.waveOut.exchange(nullptr);
        platform::sound_output_reset(device);
        platform::sound_output_close(device);
        animation.audioPlaying = kAudioClosed;
    }
    delete animation.audioData.exchange(nullptr);
    if (VideoFrames *frames = animation.frames.load()) {
        animation.frames = nullptr;
        delete frames;
    }
    delete animation.audioFormat;
    animation.audioFormat = nullptr;
}

void end_animation_target() {
    release_animation();
    calData.animationTarget.videoPath.clear();
}

extern "C" int32_t set_cal_animation_target(const char *path, int32_t play_count,
                                            int32_t transparent_color) {
    AnimationTarget &animation = calData.animationTarget;
    const bool named = path && *path;
    use_window();
    if (named)
        release_animation();
    else
        end_animation_target();
    try {
        animation.videoPath = named ? path : "";
    } catch (const std::bad_alloc &) {
        animation.videoPath.clear();
        return -1;
    }
    animation.playCount = play_count;
    const auto colour = uint32_t(transparent_color);
    if ((colour & 0xFF) == 0xFF)
        transparentColor = TransparentColor{uint8_t(colour >> 24), uint8_t(colour >> 16),
                                            uint8_t(colour >> 8), 0xFF};
    else
        transparentColor = TransparentColor{};
    return named ? 0 : -1;
}
