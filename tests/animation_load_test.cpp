// Loading the animated target from generated videos: frames upright with red and blue in
// place at every stored depth and from MJPEG, the colour key, the sound track, and every way
// a file can fail to be a video.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "frame/expt_window.h"
#include "leak_checks.h"
#include "calibration/video_frames.h"
#include "platform/system_memory.h"
#include "test_support.h"
#include "test_system.h"
#include "test_videos.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
constexpr uint32_t kMagenta = 0xFF00FF;

using vt_test::program_folder;

std::string in_folder(const std::string &name) { return program_folder() + "/" + name; }

// Frame i: red, green, blue quadrants and a bottom-right quadrant of grey level 8 * i.
uint32_t grey(int i) { return uint32_t(8 * i) * 0x010101; }
vt_test::Picture numbered(int width, int height, int i) {
    return vt_test::quadrants(width, height, kRed, kGreen, kBlue, grey(i));
}

std::string write_video(const std::string &name, int bits, int width, int height, int count,
                        bool with_sound) {
    const vt_test::PcmSound sound = with_sound ? vt_test::tone(0.5) : vt_test::PcmSound{};
    return vt_test::write_program_video(name, {width, height, count, 30, grey, sound, bits});
}

// An MJPEG video of frame_count identical four-colour frames, 32 rows high, at 12 frames per
// second, with seconds of 44.1 kHz stereo sound of codec.
std::string write_quadrant_mjpeg(const std::string &name, int width, int frame_count,
                                 vt_test::SoundCodec codec, double seconds) {
    const std::string path = in_folder(name);
    EXPECT_TRUE(vt_test::write_mjpeg_avi(path, width, 32, frame_count, 12, codec, seconds,
                                         [&](int) {
                                             return vt_test::quadrants(width, 32, kRed, kGreen,
                                                                       kBlue, kWhite);
                                         }));
    return path;
}

// The loaded video's frames of one pass, decoded in order as the player takes them; copies,
// freed with the list.
struct Frames {
    std::vector<SDL_Surface *> list;
    Frames() = default;
    Frames(const Frames &) = delete;
    Frames(Frames &&other) noexcept : list(std::move(other.list)) {}
    Frames &operator=(Frames &&other) noexcept {
        std::swap(list, other.list);
        return *this;
    }
    ~Frames() {
        for (SDL_Surface *frame : list) SDL_FreeSurface(frame);
    }
    size_t size() const { return list.size(); }
    SDL_Surface *operator[](size_t i) const { return list.at(i); }
};

Frames pass_frames() {
    Frames frames;
    vt_test::visit_video_pass([&](SDL_Surface *frame, int32_t) {
        frames.list.push_back(SDL_DuplicateSurface(frame));
    });
    return frames;
}

size_t frame_count() {
    return vt_test::visit_video_pass([](SDL_Surface *, int32_t) {});
}

// The quadrant colours of frame i, sampled away from the edges.
void expect_numbered(SDL_Surface *frame, int i) {
    const int w = frame->w, h = frame->h;
    EXPECT_EQ(vt_test::surface_rgb(frame, 1, 1), kRed) << "frame " << i;
    EXPECT_EQ(vt_test::surface_rgb(frame, w - 2, 1), kGreen) << "frame " << i;
    EXPECT_EQ(vt_test::surface_rgb(frame, 1, h - 2), kBlue) << "frame " << i;
    EXPECT_EQ(vt_test::surface_rgb(frame, w - 2, h - 2), uint32_t(8 * i) * 0x010101) << "frame " << i;
}

// The memory budget and the kept window of the loads below; tests lower them.
VideoLimits limits = default_video_limits();

int32_t load(const std::string &path, std::string *printed = nullptr) {
    int32_t result = 0;
    const std::string out =
        vt_test::capture_stdout([&] { result = LoadVideo(path.c_str(), limits); });
    if (printed) *printed = out;
    return result;
}

// Puts the memory budget and the kept window back as they were when a test lowered them.
struct BudgetRestored {
    ~BudgetRestored() { limits = default_video_limits(); }
};

class AnimationLoad : public ::testing::Test {
protected:
    void SetUp() override { set_cal_animation_target("unused", 1, 0); }
    void TearDown() override { release_animation(); }
};

TEST_F(AnimationLoad, TwentyFourBitFramesAreUprightWithRedAndBlueInPlace) {
    const std::string path = write_video("rgb24.avi", 24, 64, 48, 30, true);
    std::string printed;
    ASSERT_EQ(load(path, &printed), 1);
    EXPECT_EQ(printed, "");
    AnimationTarget &a = calData.animationTarget;
    const Frames frames = pass_frames();
    ASSERT_EQ(frames.size(), 30u);
    EXPECT_DOUBLE_EQ(a.frameRate, 30.0);
    for (int i = 0; i < 30; ++i) {
        SDL_Surface *frame = frames[i];
        ASSERT_EQ(frame->w, 64);
        ASSERT_EQ(frame->h, 48);
        EXPECT_EQ(frame->format->format, SDL_PIXELFORMAT_RGB24);
        expect_numbered(frame, i);
    }
    EXPECT_EQ(a.audioPlaying, -1);
}

TEST_F(AnimationLoad, EveryStoredDepthConvertsIncludingPaddedRows) {
    // 37 pixels wide: every depth but 32 bits pads its rows.
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const std::string path =
            write_video("depth" + std::to_string(bits) + ".avi", bits, 37, 21, 3, true);
        ASSERT_EQ(load(path), 1);
        const Frames frames = pass_frames();
        ASSERT_EQ(frames.size(), 3u);
        SDL_Surface *frame = frames[2];
        EXPECT_EQ(frame->format->BytesPerPixel, bits / 8);
        expect_numbered(frame, 2);
        if (bits == 8) {
            const SDL_Palette *palette = frame->format->palette;
            ASSERT_NE(palette, nullptr);
            for (int j = 0; j < 6; ++j) EXPECT_EQ(palette->colors[j].a, 255) << j;
        }
        if (bits == 16) {
            EXPECT_EQ(frame->format->Rmask, 0x7C00u);
        }
    }
}

TEST_F(AnimationLoad, ColourKeyTakesOutGreenOnlyWithTheMarker) {
    vt_test::ensure_window();
    SDL_Renderer *renderer = exptGraphics.renderer;
    for (int bits : {8, 16, 24, 32}) {
        for (bool keyed : {true, false}) {
            SCOPED_TRACE(std::to_string(bits) + (keyed ? " keyed" : " opaque"));
            const std::string path = write_video("key.avi", bits, 40, 30, 1, true);
            set_cal_animation_target(path.c_str(), 1, keyed ? 0x00FF00FF : 0x00FF0000);
            ASSERT_EQ(load(path), 1);
            SDL_Surface *frame = calData.animationTarget.player->frames().first();
            Uint32 key = 0;
            EXPECT_EQ(SDL_GetColorKey(frame, &key) == 0, keyed);
            // Drawn over magenta, the keyed green quadrant shows magenta.
            SDL_SetRenderDrawColor(renderer, 255, 0, 255, 255);
            SDL_RenderClear(renderer);
            SDL_Texture *texture = SDL_CreateTextureFromSurface(renderer, frame);
            const SDL_Rect at{100, 100, 40, 30};
            SDL_RenderCopy(renderer, texture, nullptr, &at);
            SDL_DestroyTexture(texture);
            const vt_test::Pixels pixels = vt_test::read_window_pixels();
            ASSERT_FALSE(pixels.data.empty());
            EXPECT_EQ(pixels.at(105, 105), vt_test::rgba(255, 0, 0));
            EXPECT_EQ(pixels.at(135, 105), keyed ? vt_test::rgba(255, 0, 255)
                                                 : vt_test::rgba(0, 255, 0));
            EXPECT_EQ(pixels.at(105, 125), vt_test::rgba(0, 0, 255));
        }
    }
}

TEST_F(AnimationLoad, SoundTrackIsReadWhole) {
    vt_test::AviSpec spec;
    spec.frames.push_back(numbered(16, 16, 0));
    spec.with_sound = true;
    spec.sound = vt_test::tone(0.3, 11025, 2, 8);
    const std::string path = in_folder("sound8.avi");
    ASSERT_TRUE(vt_test::write_avi(path, spec));
    ASSERT_EQ(load(path), 1);
    const AnimationTarget &a = calData.animationTarget;
    ASSERT_NE(vt_test::loaded_sound_format(), nullptr);
    EXPECT_EQ(vt_test::loaded_sound_format()->formatTag, 1);
    EXPECT_EQ(vt_test::loaded_sound_format()->channels, 2);
    EXPECT_EQ(vt_test::loaded_sound_format()->samplesPerSec, 11025u);
    EXPECT_EQ(vt_test::loaded_sound_format()->bitsPerSample, 8);
    EXPECT_EQ(vt_test::loaded_sound_format()->blockAlign, 2);
    EXPECT_EQ(vt_test::loaded_sound_format()->avgBytesPerSec, 22050u);
    EXPECT_EQ(vt_test::whole_sound(), spec.sound.data);

    release_animation();
    EXPECT_EQ(a.player, nullptr);
    EXPECT_EQ(vt_test::loaded_sound_track(), nullptr);
    EXPECT_EQ(vt_test::loaded_sound_format(), nullptr);
    EXPECT_EQ(a.videoPath, "unused");  // the configuration stays for the next screen
    EXPECT_EQ(a.playCount, 1);
}

TEST_F(AnimationLoad, VideoWithoutSoundKeepsFramesAndReturnsMinusOne) {
    const std::string path = write_video("silent.avi", 24, 32, 32, 4, false);
    std::string printed;
    EXPECT_EQ(load(path, &printed), -1);
    EXPECT_EQ(printed, "no audio\n");
    EXPECT_EQ(calData.animationTarget.audioPlaying, -3);
    EXPECT_EQ(frame_count(), 4u);
    EXPECT_TRUE(vt_test::loaded_sound_track() == nullptr);
}

TEST_F(AnimationLoad, UnusableSoundKeepsFramesAndReturnsItsCode) {
    vt_test::AviSpec spec;
    spec.frames.push_back(numbered(16, 16, 0));
    spec.with_sound = true;
    spec.sound = vt_test::tone(0.1);
    spec.sound.format_tag = 0x7A21;  // a sound codec nobody has
    std::string printed;
    ASSERT_TRUE(vt_test::write_avi(in_folder("unknown_sound.avi"), spec));
    EXPECT_EQ(load(in_folder("unknown_sound.avi"), &printed), -3);
    EXPECT_EQ(printed, "AVIStreamReadFormat - audio failed!\n");
    EXPECT_EQ(calData.animationTarget.audioPlaying, -3);
    EXPECT_EQ(frame_count(), 1u);
    EXPECT_TRUE(vt_test::loaded_sound_track() == nullptr);

    // No channels, or a rate that would be hours of sound or a converter of hundreds of MB:
    // the stream's information is unusable.
    spec.sound.format_tag = 1;
    for (const auto &[channels, rate] : {std::pair{0, 22050}, {1, 999}, {1, 1000000000}}) {
        spec.sound.channels = uint16_t(channels);
        spec.sound.rate = uint32_t(rate);
        ASSERT_TRUE(vt_test::write_avi(in_folder("unusable_sound.avi"), spec));
        EXPECT_EQ(load(in_folder("unusable_sound.avi"), &printed), -2) << rate;
        EXPECT_EQ(printed, "no audio stream info\n");
        EXPECT_EQ(calData.animationTarget.audioPlaying, -3);
        EXPECT_EQ(frame_count(), 1u);
    }
}

TEST_F(AnimationLoad, FilesThatAreNoVideoLoadNothing) {
    const std::string text = in_folder("notes.txt");
    std::ofstream(text) << "Participant 12, session 3: calibration notes.\nNothing else here.\n";
    const std::string empty = in_folder("empty.avi");
    std::ofstream(empty).close();
    std::string truncated_avi;
    {
        std::ifstream whole(write_video("whole.avi", 24, 32, 32, 2, true), std::ios::binary);
        truncated_avi.assign(std::istreambuf_iterator<char>(whole), {});
        truncated_avi.resize(40);  // the RIFF header and little else
        std::ofstream(in_folder("cut.avi"), std::ios::binary) << truncated_avi;
    }
    const std::string open_messages[] = {
        "According to the registry, the type of file specified in AVIFileOpen does not have a "
        "handler to process it. \n",
        "The file couldn't be read, indicating a corrupt file or an unrecognized format. \n",
        "failed to get avi stream \n"};
    for (const std::string &path : {text, empty, in_folder("cut.avi")}) {
        SCOPED_TRACE(path);
        std::string printed;
        EXPECT_EQ(load(path, &printed), 0);
        EXPECT_NE(std::find(std::begin(open_messages), std::end(open_messages), printed),
                  std::end(open_messages))
            << printed;
        EXPECT_EQ(calData.animationTarget.player, nullptr);
    }
    // Missing files, folders and URLs are all local paths that cannot be read.
    for (const std::string &path :
         {in_folder("missing.avi"), program_folder(), std::string("http://127.0.0.1:9/video.avi")}) {
        SCOPED_TRACE(path);
        std::string printed;
        EXPECT_EQ(load(path, &printed), 0);
        EXPECT_EQ(printed, "A disk error occurred. Please check for video file " + path + ". \n");
        EXPECT_EQ(calData.animationTarget.player, nullptr);
    }
    EXPECT_EQ(vt_test::capture_stdout([] { EXPECT_EQ(LoadVideo(nullptr), 0); }),
              "A disk error occurred. Please check for video file (null). \n");

    // A codec no decoder reads is named by its FourCC, in the stream header and the format.
    std::string unknown;
    {
        std::ifstream whole(write_video("xq42.avi", 24, 32, 32, 2, false), std::ios::binary);
        unknown.assign(std::istreambuf_iterator<char>(whole), {});
    }
    const size_t strh = unknown.find("strh"), strf = unknown.find("strf");
    ASSERT_NE(strf, std::string::npos);
    unknown.replace(strh + 12, 4, "XQ42");  // fccHandler
    unknown.replace(strf + 8 + 16, 4, "XQ42");  // biCompression
    std::ofstream(in_folder("xq42.avi"), std::ios::binary) << unknown;
    std::string printed;
    EXPECT_EQ(load(in_folder("xq42.avi"), &printed), 0);
    EXPECT_EQ(printed, "Failed to get avi stream, probably required codec is missing.\n"
                       "LoadVideo: the video stream of " + in_folder("xq42.avi") +
                           " is coded as XQ42, and no installed decoder reads it. \n");
}

TEST_F(AnimationLoad, DamagedFrameEndsTheVideoThereAndAVideoWithoutFramesIsNotLoaded) {
    const BudgetRestored restore;
    vt_test::AviSpec spec;
    for (int i = 0; i < 6; ++i) spec.frames.push_back(numbered(20, 10, i));
    spec.short_frame = 3;
    spec.with_sound = true;
    spec.sound = vt_test::tone(0.1);
    const std::string damaged = in_folder("damaged.avi");
    ASSERT_TRUE(vt_test::write_avi(damaged, spec));
    // Kept, and decoded again at each pass (a window of less than a frame).
    for (size_t kept_limit : {default_video_limits().kept_frames, size_t(1)}) {
        SCOPED_TRACE(kept_limit == 1 ? "decoded at each pass" : "kept");
        limits.kept_frames = kept_limit;
        std::string printed;
        EXPECT_EQ(load(damaged, &printed), 1);
        EXPECT_EQ(printed, "") << "the frames after the first are decoded as the video plays";
        Frames frames;
        printed = vt_test::capture_stdout([&] { frames = pass_frames(); });
        EXPECT_EQ(printed, "coregraphics_sdl2: frame 4 of 6 of " + damaged +
                               " cannot be decoded; the video ends before it. \n");
        ASSERT_EQ(frames.size(), 3u);
        expect_numbered(frames[2], 2);
        // The later passes end there too, without a word.
        printed = vt_test::capture_stdout([&] { frames = pass_frames(); });
        EXPECT_EQ(printed, "");
        ASSERT_EQ(frames.size(), 3u);
        expect_numbered(frames[0], 0);
        expect_numbered(frames[2], 2);
    }

    // No frame decodes (the first is damaged, or there is none): nothing is loaded, the sound
    // neither.
    spec.short_frame = 0;
    const std::string first_damaged = in_folder("first_damaged.avi");
    ASSERT_TRUE(vt_test::write_avi(first_damaged, spec));
    spec.frames.clear();  // the sound alone
    spec.width = 20;
    spec.height = 10;
    const std::string empty = in_folder("no_frames.avi");
    ASSERT_TRUE(vt_test::write_avi(empty, spec));
    const std::pair<std::string, std::string> unloaded[] = {
        {first_damaged, "LoadVideo: frame 1 of 6 of " + first_damaged +
                            " cannot be decoded; the video is not loaded. \n"},
        {empty, "LoadVideo: " + empty +
                    " has no frame that can be decoded; the video is not loaded. \n"},
    };
    for (const auto &[path, message] : unloaded) {
        std::string printed;
        EXPECT_EQ(load(path, &printed), 0);
        EXPECT_EQ(printed, message);
        EXPECT_EQ(calData.animationTarget.player, nullptr);
        EXPECT_TRUE(vt_test::loaded_sound_track() == nullptr);
    }
}

// The budget leaves a small lab PC room for the experiment: a quarter of the machine's memory,
// at most 2 GB, and 2 GB when the system does not say how much it has.
TEST(AnimationBudget, AQuarterOfTheMachinesMemoryAtMostTwoGigabytes) {
    constexpr uint64_t kGB = uint64_t(1) << 30;
    const std::pair<uint64_t, size_t> rule[] = {
        {4 * kGB, size_t(kGB)}, {6 * kGB, size_t(1536) << 20}, {8 * kGB, size_t(2 * kGB)},
        {24 * kGB, size_t(2 * kGB)}, {0, size_t(2 * kGB)}};
    for (const auto &[physical, budget] : rule) EXPECT_EQ(memory_budget_for(physical), budget);
    const uint64_t machine = platform::physical_memory();
    EXPECT_GT(machine, uint64_t(256) << 20) << "the system tells the machine's memory";
    EXPECT_EQ(default_video_limits().budget, memory_budget_for(machine));
}

// A pass begun again while the one before is in its middle (a stop, then the next target)
// starts from its second frame, kept or decoded again, whatever the decoding thread had ahead;
// each frame comes with its time in the pass.
TEST_F(AnimationLoad, APassBegunAgainMidwayStartsFromItsSecondFrame) {
    const BudgetRestored restore;
    const std::string path = write_video("again.avi", 24, 20, 10, 12, false);
    for (size_t kept_limit : {default_video_limits().kept_frames, size_t(1)}) {
        SCOPED_TRACE(kept_limit == 1 ? "decoded at each pass" : "kept");
        limits.kept_frames = kept_limit;
        ASSERT_EQ(load(path), -1);
        VideoFrames &video = calData.animationTarget.player->frames();
        video.start_run(nullptr);
        for (int round = 0; round < 3; ++round) {
            video.begin_pass();
            for (int j = 1; j <= 2 + 3 * round && j < 12; ++j) {
                PassFrame frame;
                ASSERT_TRUE(video.take(frame, [] { return true; }));
                ASSERT_NE(frame.surface, nullptr);
                expect_numbered(frame.surface, j);
                EXPECT_NEAR(frame.time, j / 30.0, 1e-6);
                video.done(frame);
            }
        }
        video.end_run();
        release_animation();
    }
}

// Two bytes of a damaged file can decode to a frame of the stream's full size, by the
// thousand: a video beyond the kept window holds a few frames at a time whatever its length,
// and one whose few frames need more than the budget is not loaded at all.
TEST_F(AnimationLoad, AVideoBeyondTheKeptWindowHoldsAFewFramesAtATime) {
    const BudgetRestored restore;
    vt_test::AviSpec bomb;
    bomb.width = 1000;
    bomb.height = 1000;
    bomb.blank_frames = 300;  // 1.2 GB at four bytes a pixel
    const std::string path = in_folder("bomb.avi");
    ASSERT_TRUE(vt_test::write_avi(path, bomb));
    ASSERT_LT(std::ifstream(path, std::ios::ate | std::ios::binary).tellg(), 16384);
    const int64_t peak = vt_test::peak_resident_bytes();
    std::string printed;
    EXPECT_EQ(load(path, &printed), -1) << printed;  // no sound track
    for (int pass = 0; pass < 2; ++pass) {
        int32_t expected = 0;
        const size_t count = vt_test::visit_video_pass([&](SDL_Surface *frame, int32_t j) {
            EXPECT_EQ(j, expected++) << "in order";
            EXPECT_EQ(frame->w, 1000);
            EXPECT_EQ(vt_test::surface_rgb(frame, 999, 999), 0u);
        });
        EXPECT_EQ(count, 300u);
    }
    // The first frame, the ones ahead and the spare ones, 3 MB each, and the reader's own.
    if (peak >= 0 && vt_test::heap_in_use() < 0) {
        EXPECT_LT(vt_test::peak_resident_bytes() - peak, int64_t(64) << 20);
    }
    EXPECT_FALSE(calData.animationTarget.player->frames().kept());

    limits.budget = size_t(16) << 20;  // fewer than the ring's frames of 1000 x 1000
    EXPECT_EQ(load(path, &printed), 0);
    EXPECT_EQ(printed, "LoadVideo: the frames of " + path +
                           " need more than 16 MB of memory; the video is not loaded. \n");
    EXPECT_EQ(calData.animationTarget.player, nullptr);
}

// A few kilobytes of compressed or damaged sound can decode to gigabytes: the sound gets what
// the frames left of the budget, and a track that needs more is not read.
TEST_F(AnimationLoad, SoundThatDoesNotFitBesideTheFramesIsLeftOut) {
    if (!vt_test::can_encode_videos()) GTEST_SKIP() << vt_test::kNoEncoders;
    const BudgetRestored restore;
    for (vt_test::SoundCodec codec : {vt_test::SoundCodec::Pcm, vt_test::SoundCodec::Mp2}) {
        SCOPED_TRACE(codec == vt_test::SoundCodec::Pcm ? "PCM" : "MP2");
        // 30 s of 44.1 kHz stereo: 5.3 MB of samples.
        const std::string path = write_quadrant_mjpeg("long_sound.avi", 32, 3, codec, 30);
        limits.budget = size_t(4) << 20;
        std::string printed;
        EXPECT_EQ(load(path, &printed), -7);
        const std::string start = "LoadVideo: the sound of " + path + " needs more than ";
        const std::string end = " MB of memory; the ring target is shown instead of the video. \n"
                                "AVIStreamRead1 - audio failed!\n";
        EXPECT_EQ(printed.compare(0, start.size(), start), 0) << printed;
        ASSERT_GT(printed.size(), end.size());
        EXPECT_EQ(printed.substr(printed.size() - end.size()), end) << printed;
        EXPECT_EQ(frame_count(), 3u);
        EXPECT_TRUE(vt_test::loaded_sound_track() == nullptr);
        EXPECT_EQ(vt_test::loaded_sound_format(), nullptr);
        release_animation();

        // Room for it: the same video loads whole.
        limits.budget = size_t(16) << 20;
        EXPECT_EQ(load(path), 1);
        EXPECT_NEAR(vt_test::whole_sound().size() / 4, 30 * 44100, 1152 * 2);
        release_animation();
    }
}

// Each frame in its place: H.264 reorders frames (B-frames), and its first frame is decoded
// apart from the others. FLV and MPEG program streams announce their streams only as their
// packets come.
TEST_F(AnimationLoad, EncodedVideoIsDecodedToUprightFramesInOrderWithItsSound) {
    if (!vt_test::can_encode_videos()) GTEST_SKIP() << vt_test::kNoEncoders;
    // Each video, of the same size, shows its own pictures, the last quadrant's colours
    // swapped.
    const struct {
        const char *name;
        vt_test::VideoCodec video;
        vt_test::SoundCodec sound;
        const char *file;
    } cases[] = {
        {"MJPEG, PCM", vt_test::VideoCodec::Mjpeg, vt_test::SoundCodec::Pcm, "encoded.avi"},
        {"MJPEG, MP2", vt_test::VideoCodec::Mjpeg, vt_test::SoundCodec::Mp2, "encoded.avi"},
        {"H.264, PCM", vt_test::VideoCodec::H264, vt_test::SoundCodec::Pcm, "encoded.avi"},
        {"H.264, PCM in FLV", vt_test::VideoCodec::H264, vt_test::SoundCodec::Pcm, "encoded.flv"},
        {"H.264, MP2 in MPEG-PS", vt_test::VideoCodec::H264, vt_test::SoundCodec::Mp2,
         "encoded.mpg"}};
    bool swapped = false;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        swapped = !swapped;
        const auto last_quadrant = [swapped](int i) {
            return (i % 2 == 1) != swapped ? kWhite : kMagenta;
        };
        const std::string path = in_folder(c.file);
        ASSERT_TRUE(vt_test::write_encoded_video(path, c.video, 96, 64, 12, 24, c.sound, 0.5,
                                                 [&](int i) {
                                                     return vt_test::quadrants(
                                                         96, 64, kRed, kGreen, kBlue,
                                                         last_quadrant(i));
                                                 }));
        ASSERT_EQ(load(path), 1);
        const AnimationTarget &a = calData.animationTarget;
        const Frames frames = pass_frames();
        ASSERT_EQ(frames.size(), 12u);
        // FLV times its frames in whole milliseconds, from which its rate is measured.
        EXPECT_NEAR(a.frameRate, 24.0, 24.0 * 0.02);
        for (int i = 0; i < 12; ++i) {
            SDL_Surface *frame = frames[i];
            EXPECT_EQ(frame->format->format, SDL_PIXELFORMAT_RGB888);
            // Lossy: quadrant centres within a small distance of the true colour.
            const auto near = [&](int x, int y, uint32_t want) {
                const uint32_t got = vt_test::surface_rgb(frame, x, y);
                for (int shift : {16, 8, 0})
                    EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), 12)
                        << "frame " << i << " at " << x << "," << y;
            };
            near(24, 16, kRed);
            near(72, 16, kGreen);
            near(24, 48, kBlue);
            near(72, 48, last_quadrant(i));
        }
        ASSERT_NE(vt_test::loaded_sound_format(), nullptr);
        EXPECT_EQ(vt_test::loaded_sound_format()->formatTag, 1);
        EXPECT_EQ(vt_test::loaded_sound_format()->bitsPerSample, 16);
        EXPECT_EQ(vt_test::loaded_sound_format()->channels, 2);
        EXPECT_EQ(vt_test::loaded_sound_format()->samplesPerSec, 44100u);
        // Half a second of sound; an MP2 stream ends on a whole frame of 1152 samples.
        const std::vector<uint8_t> sound = vt_test::whole_sound();
        EXPECT_NEAR(sound.size() / 4, 22050, 1152 * 2);
        int loud = 0;
        for (size_t i = 0; i + 1 < sound.size(); i += 2)
            loud += std::abs(int16_t(sound[i] | sound[i + 1] << 8)) > 1000;
        EXPECT_GT(loud, 10000);
    }
}

// An MPEG audio stream may change its channel mode from one frame to the next; a damaged
// or spliced file does it anywhere. Every frame of the track is converted as it comes.
TEST_F(AnimationLoad, SoundWhoseChannelCountChangesMidTrackIsConvertedThroughout) {
    if (!vt_test::can_encode_videos()) GTEST_SKIP() << vt_test::kNoEncoders;
    const std::string path =
        write_quadrant_mjpeg("mode_change.avi", 32, 6, vt_test::SoundCodec::Mp2, 0.5);
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    // Every other MP2 frame header (sync 0xFFF, layer II): channel mode bits set to mono.
    int headers = 0, changed = 0;
    for (size_t i = 0; i + 3 < bytes.size(); ++i) {
        const auto byte = [&](size_t k) { return uint8_t(bytes[i + k]); };
        if (byte(0) != 0xFF || (byte(1) & 0xFE) != 0xFC || (byte(2) & 0xF0) == 0xF0 ||
            (byte(2) & 0x0C) == 0x0C)
            continue;
        if (headers++ % 2 == 1) {
            bytes[i + 3] = char(byte(3) | 0xC0);
            ++changed;
        }
    }
    ASSERT_GT(changed, 3);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

    std::string printed;
    ASSERT_EQ(load(path, &printed), 1) << printed;
    EXPECT_EQ(frame_count(), 6u);
    ASSERT_NE(vt_test::loaded_sound_format(), nullptr);
    // The track's layout is the one FFmpeg reports for the stream, either mode.
    const int channels = vt_test::loaded_sound_format()->channels;
    ASSERT_TRUE(channels == 1 || channels == 2) << channels;
    EXPECT_EQ(vt_test::loaded_sound_format()->samplesPerSec, 44100u);
    const size_t sound_bytes = vt_test::whole_sound().size();
    EXPECT_EQ(sound_bytes % (2 * channels), 0u);
    // Every MP2 frame still gives its 1152 samples, whichever mode it is in.
    EXPECT_NEAR(sound_bytes / (2 * channels), 22050, 1152 * 2);
}

// Decoded pictures of widths that are not a multiple of the converter's block of pixels:
// every row complete to its last pixel, and no row written over by its neighbour.
TEST_F(AnimationLoad, DecodedFramesOfAnyWidthKeepEveryRowWhole) {
    if (!vt_test::can_encode_videos()) GTEST_SKIP() << vt_test::kNoEncoders;
    for (int width : {20, 30, 36, 98}) {
        SCOPED_TRACE("width " + std::to_string(width));
        const std::string path =
            write_quadrant_mjpeg("odd_width.avi", width, 3, vt_test::SoundCodec::None, 0);
        ASSERT_EQ(load(path), -1);  // no sound track
        const Frames frames = pass_frames();
        ASSERT_EQ(frames.size(), 3u);
        SDL_Surface *frame = frames[2];
        ASSERT_EQ(frame->w, width);
        int wrong = 0;
        for (int y = 0; y < 32; ++y)
            for (int x : {0, 1, 2, 3, width - 2, width - 1}) {
                const uint32_t want = y < 16 ? (x < width / 2 ? kRed : kGreen)
                                             : (x < width / 2 ? kBlue : kWhite);
                const uint32_t got = vt_test::surface_rgb(frame, x, y);
                for (int shift : {16, 8, 0})
                    wrong += std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > 40;
            }
        EXPECT_EQ(wrong, 0);
        release_animation();
    }
    // An 8 by 8 JPEG picture without data (29 bytes): its frame is converted like any other.
    const unsigned char tiny[] = {0x64, 0x63, 0xff, 0xd8, 0x16, 0xff, 0xc0, 0x00, 0x11, 0x08,
                                  0x00, 0x08, 0x00, 0x08, 0x03, 0x01, 0x22, 0x00, 0x06, 0x11,
                                  0x00, 0x03, 0x11, 0x00, 0xff, 0xda, 0xff, 0xd9, 0x00};
    const std::string path = in_folder("tiny.jpg.avi");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(tiny), sizeof tiny);
    const int32_t result = load(path);
    EXPECT_TRUE(result == 0 || result == -1) << result;
}

// Writes value into the AVI at path, 4 bytes at each offset from the first place a tag
// (a chunk's name) is found; false when a tag is not there.
bool claim(const std::string &path, uint32_t value,
           std::initializer_list<std::pair<const char *, size_t>> places) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    for (const auto &[tag, offset] : places) {
        const size_t at = bytes.find(tag);
        if (at == std::string::npos || at + offset + 4 > bytes.size()) return false;
        file.seekp(std::streamoff(at + offset));
        file.write(reinterpret_cast<const char *>(&value), 4);
    }
    return bool(file);
}

// A header may claim far more than the file holds: one real 1920 x 1080 frame (run-length
// encoded, which both systems' readers decode) whose headers claim 340. Naming the video reads
// nothing, and playing it takes the memory of the frame that decodes, not of the claim, and
// says how far the video went.
TEST_F(AnimationLoad, AHeaderClaimingHundredsOfFramesCostsOnlyTheFrameItHolds) {
    constexpr int kWidth = 1920, kHeight = 1080;
    constexpr uint32_t kClaimed = 340;
    vt_test::AviSpec spec;
    spec.bits = 8;
    spec.rle8 = true;
    spec.frames.push_back(vt_test::quadrants(kWidth, kHeight, kRed, kGreen, kBlue, kWhite));
    const std::string path = in_folder("claims.avi");
    ASSERT_TRUE(vt_test::write_avi(path, spec));
    // The main header's total frames, and the video stream header's length.
    ASSERT_TRUE(claim(path, kClaimed, {{"avih", 8 + 16}, {"strh", 8 + 32}}));
    // The memory held, where the system counts it: a decoded frame is 8 MB, the claim 2.8 GB.
    // A sanitizer's shadow memory and quarantine count as well: there the system's count says
    // nothing of the library's.
    const bool counted = vt_test::resident_bytes() >= 0 && vt_test::heap_in_use() < 0;
    const int64_t frame_bytes = int64_t(kWidth) * kHeight * 4;

    end_animation_target();
    int64_t before = vt_test::resident_bytes();
    ASSERT_EQ(set_cal_animation_target(path.c_str(), 1, 0), 0);
    if (counted) {
        EXPECT_LT(vt_test::resident_bytes() - before, frame_bytes / 4) << "naming reads nothing";
    }

    // What the load holds, and what it took at most beyond the most held before.
    before = vt_test::resident_bytes();
    const int64_t peak = vt_test::peak_resident_bytes();
    std::string printed;
    EXPECT_EQ(load(path, &printed), -1);  // the frame, and no sound
    printed = vt_test::capture_stdout([] { EXPECT_EQ(frame_count(), 1u); });
    if (counted) {
        EXPECT_LT(vt_test::resident_bytes() - before, 3 * frame_bytes) << "one frame's memory";
        EXPECT_LT(vt_test::peak_resident_bytes() - peak, 3 * frame_bytes);
    }
    // The stream ends after the frame it holds: an end, not a damaged frame.
    EXPECT_EQ(printed, "");
    end_animation_target();
}

// Sound the file's headers claim to be 400 MB, in a file of a few kilobytes: the reader takes
// no room for what is not there.
TEST_F(AnimationLoad, SoundClaimedBeyondTheFileCostsNothing) {
    const std::string path = write_video("sound_claim.avi", 24, 16, 16, 2, true);
    constexpr uint32_t kBytes = 400u << 20;
    // The sound stream header's length (16-bit samples), and the sound's entry in the index (the
    // first one: name, flags, offset, size).
    ASSERT_TRUE(claim(path, kBytes / 2, {{"auds", 32}}));
    ASSERT_TRUE(claim(path, kBytes, {{"idx1", 8 + 12}}));
    const int64_t peak = vt_test::peak_resident_bytes();
    const int32_t result = load(path);
    EXPECT_TRUE(result == 1 || result == -6) << result;  // what is there, or no sound
    EXPECT_EQ(frame_count(), 2u);
    // Far below the claim: FFmpeg indexes the claimed chunk in pieces of about 1 KB (7 MB of
    // index here). A sanitizer's allocator holds every reallocation of that index back (its
    // quarantine), so its peak says nothing of the load.
    if (peak >= 0 && vt_test::heap_in_use() < 0) {
        EXPECT_LT(vt_test::peak_resident_bytes() - peak, int64_t(64) << 20);
    }
}

TEST_F(AnimationLoad, SetAnimationTargetRecordsTheRequestOnly) {
    const std::string path = write_video("config.avi", 24, 16, 16, 2, true);
    ASSERT_EQ(load(path), 1);
    ASSERT_NE(calData.animationTarget.player, nullptr);

    EXPECT_EQ(set_cal_animation_target(path.c_str(), 3, int32_t(0x102030FF)), 0);
    EXPECT_EQ(calData.animationTarget.player, nullptr);  // the loaded video is released
    EXPECT_EQ(calData.animationTarget.videoPath, path);
    EXPECT_EQ(calData.animationTarget.playCount, 3);
    EXPECT_EQ(transparentColor.r, 0x10);
    EXPECT_EQ(transparentColor.g, 0x20);
    EXPECT_EQ(transparentColor.b, 0x30);
    EXPECT_EQ(transparentColor.marker, 0xFF);

    EXPECT_EQ(set_cal_animation_target(path.c_str(), 0, int32_t(0x102030FE)), 0);
    EXPECT_EQ(transparentColor.r + transparentColor.g + transparentColor.b + transparentColor.marker, 0);
    EXPECT_EQ(calData.animationTarget.playCount, 0);

    // No path: no animated target.
    EXPECT_EQ(set_cal_animation_target(nullptr, 1, 0), -1);
    EXPECT_TRUE(calData.animationTarget.videoPath.empty());
    EXPECT_EQ(set_cal_animation_target("", 1, 0), -1);
    EXPECT_TRUE(calData.animationTarget.videoPath.empty());
}

}  // namespace
