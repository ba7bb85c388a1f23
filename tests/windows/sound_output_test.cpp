// The Windows sound services heard: PlaySound from memory and from a file, and waveOut playing
// a video's track. Wine plays through ALSA, here into ALSA's file plugin (the test's own ALSA
// configuration, VT_SOUND_CAPTURE_DIR), which writes each opened stream's samples to a file
// named for its rate, channels and bits: what was played is compared with what was sent.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "avi_writer.h"
#include "platform/sound_output.h"
#include "platform/sound_player.h"
#include "test_support.h"
#include "test_videos.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class SoundHeard : public ::testing::Test {
protected:
    // ALSA writes each stream's samples to <folder>/<rate>-<channels>-<bits>.raw.
    static fs::path capture_folder() { return VT_SOUND_CAPTURE_DIR; }

    void SetUp() override {
        std::error_code error;
        for (const auto &file : fs::directory_iterator(capture_folder(), error))
            fs::remove(file.path(), error);
    }

    // What the stream of this format played; empty when none was opened.
    static std::vector<uint8_t> heard(uint32_t rate, int channels, int bits) {
        return read_file(capture_folder() / (std::to_string(rate) + "-" +
                                             std::to_string(channels) + "-" +
                                             std::to_string(bits) + ".raw"));
    }

    // How many times sent is heard whole and in order (Wine may add silence around it).
    static size_t occurrences(const std::vector<uint8_t> &played,
                              const std::vector<uint8_t> &sent) {
        size_t count = 0;
        for (auto at = played.begin(); !sent.empty(); at += long(sent.size()), ++count) {
            at = std::search(at, played.end(), sent.begin(), sent.end());
            if (at == played.end()) break;
        }
        return count;
    }
    static bool heard_whole(const std::vector<uint8_t> &played, const std::vector<uint8_t> &sent) {
        return occurrences(played, sent) == 1;
    }
};

// A WAV file's bytes for sound.
std::vector<uint8_t> wav_bytes(const avi::PcmSound &sound, const std::string &folder) {
    const std::string path = folder + "/clip.wav";
    EXPECT_TRUE(avi::write_wav(path, sound));
    return read_file(path);
}

TEST_F(SoundHeard, PlaySoundPlaysAClipFromMemoryAndFromAFileWhole) {
    const std::string folder = vt_test::temp_dir();
    const avi::PcmSound sound = vt_test::sine(0.3, 440, 12000, 22050, 1);
    const std::vector<uint8_t> wav = wav_bytes(sound, folder);

    platform::play_sound_memory(wav.data(), wav.size());
    EXPECT_TRUE(heard_whole(heard(22050, 1, 16), sound.data)) << heard(22050, 1, 16).size();

    SetUp();
    const avi::PcmSound stereo = vt_test::sine(0.2, 880, 9000, 44100, 2);
    wav_bytes(stereo, folder);
    platform::play_sound_file((folder + "/clip.wav").c_str());
    EXPECT_TRUE(heard_whole(heard(44100, 2, 16), stereo.data));

    // From a folder of the lab's language at a path of over 270 characters, named in UTF-8.
    SetUp();
    fs::path deep = fs::u8path(folder) / fs::u8path(u8"Übungen für Säuglinge") /
                    std::string(240, 'k');
    deep.make_preferred();  // the \\?\ form takes no forward slashes
    const fs::path clip = deep / "clip.wav";
    // Removed here: the test folder's own removal does not reach so deep.
    struct Remove {
        const fs::path &clip;
        ~Remove() {
            DeleteFileW((L"\\\\?\\" + clip.wstring()).c_str());
            RemoveDirectoryW((L"\\\\?\\" + clip.parent_path().wstring()).c_str());
            RemoveDirectoryW((L"\\\\?\\" + clip.parent_path().parent_path().wstring()).c_str());
        }
    } remove{clip};
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep.parent_path().wstring()).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep.wstring()).c_str(), nullptr));
    ASSERT_GT(clip.wstring().size(), 270u);
    {
        const std::vector<uint8_t> bytes = wav_bytes(stereo, folder);
        std::ofstream out(fs::path(L"\\\\?\\" + clip.wstring()), std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }
    EXPECT_TRUE(platform::play_sound_file(clip.u8string().c_str()));
    EXPECT_TRUE(heard_whole(heard(44100, 2, 16), stereo.data));
}

struct Track {
    std::atomic<int> done{0};
    std::atomic<int> closed{0};
};

void on_message(platform::SoundOutput *, platform::SoundOutputMessage message, void *instance) {
    auto *track = static_cast<Track *>(instance);
    if (message == platform::SoundOutputMessage::Done) ++track->done;
    if (message == platform::SoundOutputMessage::Close) ++track->closed;
}

bool wait_for(const std::atomic<int> &value, int wanted) {
    for (int i = 0; i < 500 && value < wanted; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return value >= wanted;
}

// A device opened for sound's format, with sound's samples written to it once.
struct Playing {
    explicit Playing(const avi::PcmSound &sound) {
        const auto block = uint16_t(sound.channels * sound.bits / 8);
        const platform::WaveFormat format{1, sound.channels, sound.rate, sound.rate * block,
                                          block, sound.bits, 0};
        device = platform::sound_output_open(format, on_message, &state);
        header.data = sound.data.data();
        header.length = uint32_t(sound.data.size());
        started = device && platform::sound_output_prepare(device, header) &&
                  platform::sound_output_write(device, header);
    }

    Track state;
    platform::WaveHeader header;
    platform::SoundOutput *device = nullptr;
    bool started = false;
};

TEST_F(SoundHeard, WaveOutPlaysAVideosTrackWholeAndReportsItDone) {
    const avi::PcmSound track = vt_test::tone(0.4, 22050, 2, 16);
    Playing stereo(track);
    ASSERT_TRUE(stereo.started);
    EXPECT_TRUE(wait_for(stereo.state.done, 1)) << "the buffer is reported done";
    const uint64_t frames = track.data.size() / 4;
    uint64_t position = 0;
    EXPECT_TRUE(platform::sound_output_position(stereo.device, position));
    EXPECT_EQ(position, frames);
    // Again, after it was done, in two buffers written one after the other: they play as one
    // sound, reported done once, after the second, and its position counts from the first.
    const uint32_t half = uint32_t(frames / 2 * 4);
    platform::WaveHeader first{track.data.data(), half}, second{track.data.data() + half,
                                                                uint32_t(track.data.size()) - half};
    ASSERT_TRUE(platform::sound_output_prepare(stereo.device, first) &&
                platform::sound_output_prepare(stereo.device, second));
    ASSERT_TRUE(platform::sound_output_write(stereo.device, first));
    ASSERT_TRUE(platform::sound_output_write(stereo.device, second));
    EXPECT_TRUE(wait_for(stereo.state.done, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(stereo.state.done, 2) << "done once for both";
    EXPECT_TRUE(platform::sound_output_position(stereo.device, position));
    EXPECT_EQ(position, frames);
    platform::sound_output_close(stereo.device);
    EXPECT_EQ(stereo.state.closed, 1);
    EXPECT_EQ(occurrences(heard(22050, 2, 16), track.data), 2u);

    // 8-bit mono, as older videos carry it; four channels, which Windows takes only with
    // their speakers named.
    const struct {
        uint32_t rate;
        uint16_t channels, bits;
    } formats[] = {{11025, 1, 8}, {22050, 4, 16}};
    for (const auto &format : formats) {
        SCOPED_TRACE(std::to_string(format.channels) + " channels");
        SetUp();
        const avi::PcmSound sound = vt_test::tone(0.2, format.rate, format.channels, format.bits);
        Playing playing(sound);
        ASSERT_TRUE(playing.started);
        EXPECT_TRUE(wait_for(playing.state.done, 1));
        platform::sound_output_close(playing.device);
        EXPECT_TRUE(heard_whole(heard(format.rate, format.channels, format.bits), sound.data));
    }
}

// Windows marks the buffers a reset drops done, and may call back for them later, on its own
// thread: a sound written at once must not take their position or their end for its own.
TEST_F(SoundHeard, ASoundWrittenRightAfterAResetBeginsAtZeroAndEndsOnce) {
    const avi::PcmSound track = vt_test::tone(1.0, 22050, 1, 16);
    Playing playing(track);
    ASSERT_TRUE(playing.started);
    for (int piece = 2; piece <= 3; ++piece)
        ASSERT_TRUE(platform::sound_output_write(playing.device, playing.header));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    platform::sound_output_reset(playing.device);
    EXPECT_EQ(playing.state.done, 1) << "the three dropped pieces end one sound";
    const avi::PcmSound next = vt_test::sine(0.5, 660, 9000, 22050, 1);
    platform::WaveHeader header{next.data.data(), uint32_t(next.data.size())};
    ASSERT_TRUE(platform::sound_output_prepare(playing.device, header) &&
                platform::sound_output_write(playing.device, header));
    uint64_t position = 0;
    ASSERT_TRUE(platform::sound_output_position(playing.device, position));
    // Counted from the new sound's start; the device's own buffer may be ahead of it.
    EXPECT_LT(position, 22050u / 5) << "not from the dropped pieces'";
    EXPECT_TRUE(wait_for(playing.state.done, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(playing.state.done, 2) << "one end, for the new sound";
    ASSERT_TRUE(platform::sound_output_position(playing.device, position));
    EXPECT_EQ(position, next.data.size() / 2);
    platform::sound_output_close(playing.device);
    EXPECT_TRUE(heard_whole(heard(22050, 1, 16), next.data));
}

TEST_F(SoundHeard, ResetAndCloseUnderAPlayingBufferAreSafe) {
    const avi::PcmSound track = vt_test::tone(3.0, 22050, 1, 16);
    for (const bool reset_first : {true, false}) {
        SCOPED_TRACE(reset_first ? "reset, then close" : "close while playing");
        Playing playing(track);
        ASSERT_TRUE(playing.started);
        EXPECT_TRUE(platform::sound_output_write(playing.device, playing.header))
            << "queued after the first";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = std::chrono::steady_clock::now();
        if (reset_first) {
            platform::sound_output_reset(playing.device);
            EXPECT_EQ(playing.state.done, 1) << "the dropped buffers are reported done, once";
            // The device takes a new buffer after a reset.
            EXPECT_TRUE(platform::sound_output_write(playing.device, playing.header));
        }
        platform::sound_output_close(playing.device);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
            << "a playing buffer does not hold up the caller";
        EXPECT_EQ(playing.state.closed, 1);
        EXPECT_LE(playing.state.done, reset_first ? 2 : 1);
    }
    // Nothing without a device.
    platform::sound_output_reset(nullptr);
    platform::sound_output_close(nullptr);
}

}  // namespace
