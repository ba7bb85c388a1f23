// Loading the animated target on Windows from videos of the kinds labs have, written by FFmpeg
// at build time (tests/CMakeLists.txt): Microsoft Video 1, Cinepak, Xvid, H.264 in AVI and in
// MP4, HuffYUV, Motion JPEG, Ut Video, stored rows of 24 bits (top-down), of 8 bits with a
// palette and of an odd size; and Microsoft RLE written by the project's AVI writer. Each with
// and without a sound track. Every frame comes out upright, with red and blue in place,
// decoded ones 32 bits deep; a PCM track comes as stored, an AAC one decoded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "test_support.h"
#include "test_videos.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
// The build's clips: 6 frames of 64 x 48 at 12 frames per second, unless a clip says.
constexpr int kWidth = 64, kHeight = 48, kFrames = 6;

std::string clip(const char *name) { return std::string(VIDEO_CLIPS) + "/" + name; }

std::vector<uint8_t> file_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Video {
    std::string path;
    int tolerance;  // per colour channel: lossy codecs shift colours a little
    const vt_test::PcmSound *sound;  // the track as stored, or null for none
    // Decoded frames come in 32 bits, stored ones as stored.
    Uint32 format = SDL_PIXELFORMAT_RGB888;
    int width = kWidth, height = kHeight;
    bool lossy_sound = false;  // the track's codec is lossy: its length and level are checked
};

// Loads video and checks its frames, its rate and its sound, and what LoadVideo returned and
// printed.
void expect_loaded(const Video &video) {
    SCOPED_TRACE(video.path);
    int32_t result = 0;
    const std::string printed =
        vt_test::capture_stdout([&] { result = LoadVideo(video.path.c_str()); });
    EXPECT_EQ(result, video.sound ? 1 : -1);
    EXPECT_EQ(printed, video.sound ? "" : "no audio\n");
    const AnimationTarget &a = calData.animationTarget;
    ASSERT_NE(a.player, nullptr);
    const int w = video.width, h = video.height;
    const size_t count = vt_test::visit_video_pass([&](SDL_Surface *frame, int32_t j) {
        SCOPED_TRACE("frame " + std::to_string(j));
        ASSERT_EQ(frame->w, w);
        ASSERT_EQ(frame->h, h);
        EXPECT_EQ(frame->format->format, video.format);
        // Quarter centres, and pixels one in from each quarter's outer corner.
        const struct {
            int x, y;
            uint32_t colour;
        } samples[] = {{w / 4, h / 4, kRed},      {1, 1, kRed},
                       {3 * w / 4, h / 4, kGreen}, {w - 2, 1, kGreen},
                       {w / 4, 3 * h / 4, kBlue},  {1, h - 2, kBlue},
                       {3 * w / 4, 3 * h / 4, kWhite}, {w - 2, h - 2, kWhite}};
        for (const auto &sample : samples) {
            const uint32_t got = vt_test::surface_rgb(frame, sample.x, sample.y);
            for (int shift : {16, 8, 0})
                EXPECT_NEAR(int(got >> shift & 0xFF), int(sample.colour >> shift & 0xFF),
                            video.tolerance)
                    << "at " << sample.x << "," << sample.y << ": " << std::hex << got;
        }
    });
    EXPECT_EQ(count, size_t(kFrames));
    EXPECT_DOUBLE_EQ(a.frameRate, 12.0);
    if (!video.sound) {
        EXPECT_EQ(vt_test::loaded_sound_track(), nullptr);
        return;
    }
    const vt_test::PcmSound &sound = *video.sound;
    ASSERT_NE(vt_test::loaded_sound_format(), nullptr);
    EXPECT_EQ(vt_test::loaded_sound_format()->formatTag, 1);
    EXPECT_EQ(vt_test::loaded_sound_format()->channels, sound.channels);
    EXPECT_EQ(vt_test::loaded_sound_format()->samplesPerSec, sound.rate);
    EXPECT_EQ(vt_test::loaded_sound_format()->bitsPerSample, sound.bits);
    const std::vector<uint8_t> heard = vt_test::whole_sound();
    if (!video.lossy_sound) {
        EXPECT_EQ(heard, sound.data);
        return;
    }
    // An AAC frame is 1024 samples; the encoder's padding stays within two of them.
    EXPECT_NEAR(double(heard.size()), double(sound.data.size()), 2 * 1024 * 4);
    const auto level = [](const std::vector<uint8_t> &pcm) {
        double sum = 0;
        for (size_t i = 0; i + 1 < pcm.size(); i += 2)
            sum += std::abs(int16_t(pcm[i] | pcm[i + 1] << 8));
        return sum / double(pcm.size() / 2 + 1);
    };
    EXPECT_NEAR(level(heard), level(sound.data), 0.2 * level(sound.data));
}

class VideoReader : public ::testing::Test {
protected:
    void SetUp() override { set_cal_animation_target("unused", 1, 0); }
    void TearDown() override { release_animation(); }
};

// Video 1 keeps 5 bits a colour, exact for full and no intensity; the YUV codecs move a colour
// a little, and so does FFmpeg's palette of 8-bit rows; HuffYUV and Ut Video (of RGB) and
// stored 24-bit rows are exact.
TEST_F(VideoReader, FieldVideosAreDecodedUprightWithTheirSound) {
    const vt_test::PcmSound sound{2, 44100, 16, file_bytes(clip("sound.raw")), 1};
    ASSERT_EQ(sound.data.size(), 11025u * 4);  // a quarter second
    constexpr Uint32 kStored24 = SDL_PIXELFORMAT_RGB24, kStored8 = SDL_PIXELFORMAT_INDEX8;
    for (const Video &video : {Video{clip("msvideo1.avi"), 0, nullptr},
                               Video{clip("msvideo1_sound.avi"), 0, &sound},
                               Video{clip("cinepak.avi"), 8, nullptr},
                               Video{clip("cinepak_sound.avi"), 8, &sound},
                               Video{clip("top_down.avi"), 0, nullptr, kStored24},
                               Video{clip("xvid_sound.avi"), 12, &sound},
                               Video{clip("h264_sound.avi"), 12, &sound},
                               Video{clip("h264_sound.mp4"), 12, &sound,
                                     SDL_PIXELFORMAT_RGB888, kWidth, kHeight, true},
                               Video{clip("huffyuv_sound.avi"), 0, &sound},
                               Video{clip("mjpeg_sound.avi"), 12, &sound},
                               Video{clip("utvideo_sound.avi"), 0, &sound},
                               Video{clip("palette_sound.avi"), 16, &sound, kStored8},
                               Video{clip("odd_size_sound.avi"), 0, &sound, kStored24, 63,
                                     47}}) {
        expect_loaded(video);
        release_animation();
    }
}

// A codec the library's FFmpeg leaves out is named, and the ring target shows instead.
TEST_F(VideoReader, ACodecLeftOutIsNamed) {
    const std::string path = clip("png.avi");
    int32_t result = -1;
    const std::string printed = vt_test::capture_stdout([&] { result = LoadVideo(path.c_str()); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed, "Failed to get avi stream, probably required codec is missing.\n"
                       "LoadVideo: the video stream of " + path +
                           " is coded as MPNG, and no installed decoder reads it. \n");
    EXPECT_EQ(calData.animationTarget.player, nullptr);
}

TEST_F(VideoReader, RunLengthEncodedFramesAreDecodedUprightWithTheirSound) {
    avi::AviSpec spec;
    spec.bits = 8;
    spec.rle8 = true;
    spec.rate = 12;
    for (int i = 0; i < kFrames; ++i)
        spec.frames.push_back(vt_test::quadrants(kWidth, kHeight, kRed, kGreen, kBlue, kWhite));
    spec.sound = vt_test::tone(0.5, 11025, 2, 8);
    const std::string path = vt_test::temp_dir() + "/rle8.avi";
    for (bool with_sound : {false, true}) {
        spec.with_sound = with_sound;
        ASSERT_TRUE(vt_test::write_avi(path, spec));
        expect_loaded(Video{path, 0, with_sound ? &spec.sound : nullptr});
        release_animation();
    }
}

}  // namespace
