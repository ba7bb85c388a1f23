// Writes the demo's animated target as a RIFF AVI file: one stream of uncompressed bottom-up
// 24-bit frames, one of 16-bit mono PCM, interleaved frame by frame, with an idx1 index.
#include "demo_video.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 120;  // frames are kSize x kSize pixels
constexpr int kFramesPerSecond = 25;
constexpr int kFrames = 50;  // two seconds, looping
constexpr int kSampleRate = 22050;
constexpr int kSamplesPerFrame = kSampleRate / kFramesPerSecond;
constexpr uint32_t kFrameBytes = kSize * kSize * 3;  // rows of 360 bytes need no padding
constexpr uint32_t kAudioBytes = kSamplesPerFrame * 2;
constexpr double kPi = 3.14159265358979;

struct Riff {
    std::vector<uint8_t> bytes;
    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint32_t v) { u8(uint8_t(v)), u8(uint8_t(v >> 8)); }
    void u32(uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
    void fourcc(const char *id) { bytes.insert(bytes.end(), id, id + 4); }
    // Starts a chunk; returns where its size goes.
    size_t begin(const char *id) {
        fourcc(id);
        u32(0);
        return bytes.size() - 4;
    }
    size_t begin_list(const char *list, const char *type) {
        const size_t at = begin(list);
        fourcc(type);
        return at;
    }
    void end(size_t at) {
        const uint32_t size = uint32_t(bytes.size() - at - 4);
        for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(size >> (8 * i));
        if (size & 1) u8(0);
    }
};

void stream_header(Riff &riff, const char *type, uint32_t scale, uint32_t rate, uint32_t length,
                   uint32_t buffer, uint32_t sample_size, int16_t width, int16_t height) {
    const size_t at = riff.begin("strh");
    riff.fourcc(type);
    riff.u32(0);               // handler
    riff.u32(0);               // flags
    riff.u16(0), riff.u16(0);  // priority, language
    riff.u32(0);               // initial frames
    riff.u32(scale), riff.u32(rate), riff.u32(0), riff.u32(length), riff.u32(buffer);
    riff.u32(0xFFFFFFFF);  // quality: default
    riff.u32(sample_size);
    riff.u16(0), riff.u16(0), riff.u16(uint16_t(width)), riff.u16(uint16_t(height));
    riff.end(at);
}

// A pinwheel of six colours turning twice per loop, with a white fixation disc and a dark
// centre, on the key colour.
void draw_frame(int frame, std::vector<uint8_t> &bgr) {
    static const uint8_t colours[6][3] = {{230, 60, 60}, {240, 170, 40}, {250, 230, 60},
                                          {70, 190, 90}, {60, 130, 230}, {160, 80, 210}};
    const double turn = 2 * kPi * 2 * frame / kFrames;
    const double centre = (kSize - 1) / 2.0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double dx = x - centre, dy = y - centre, r = std::hypot(dx, dy);
            uint8_t rgb[3] = {0, 255, 0};
            if (r < 5) {
                rgb[0] = rgb[1] = rgb[2] = 20;
            } else if (r < 13) {
                rgb[0] = rgb[1] = rgb[2] = 250;
            } else if (r < kSize / 2 - 3) {
                const double angle = std::fmod(std::atan2(dy, dx) + turn + 8 * kPi, 2 * kPi);
                const uint8_t *c = colours[int(angle / (2 * kPi) * 6) % 6];
                const double shade = 1.0 - 0.35 * r / (kSize / 2.0);
                for (int i = 0; i < 3; ++i) rgb[i] = uint8_t(c[i] * shade);
            }
            // Bottom-up rows, bytes blue, green, red.
            uint8_t *p = &bgr[size_t(kSize - 1 - y) * kSize * 3 + size_t(x) * 3];
            p[0] = rgb[2], p[1] = rgb[1], p[2] = rgb[0];
        }
}

// A soft chime: four bell notes per two-second loop.
int16_t chime_sample(int n) {
    static const double notes[4] = {1046.5, 1318.5, 1568.0, 1318.5};
    const double t = double(n) / kSampleRate;
    const int note = int(t / 0.5) % 4;
    const double since = std::fmod(t, 0.5);
    const double tone =
        std::sin(2 * kPi * notes[note] * since) + 0.3 * std::sin(2 * kPi * 2 * notes[note] * since);
    return int16_t(6000 * tone * std::exp(-since / 0.12));
}

}  // namespace

std::string write_target_video(const std::string &path) {
    Riff riff;
    const size_t file = riff.begin_list("RIFF", "AVI ");
    const size_t header_list = riff.begin_list("LIST", "hdrl");
    const size_t main_header = riff.begin("avih");
    riff.u32(1000000 / kFramesPerSecond);
    riff.u32((kFrameBytes + kAudioBytes) * kFramesPerSecond);
    riff.u32(0);
    riff.u32(0x10 | 0x100);  // has an index, interleaved
    riff.u32(kFrames), riff.u32(0), riff.u32(2), riff.u32(kFrameBytes + 8);
    riff.u32(kSize), riff.u32(kSize);
    for (int i = 0; i < 4; ++i) riff.u32(0);
    riff.end(main_header);

    const size_t video_list = riff.begin_list("LIST", "strl");
    stream_header(riff, "vids", 1, kFramesPerSecond, kFrames, kFrameBytes, 0, kSize, kSize);
    const size_t video_format = riff.begin("strf");
    riff.u32(40), riff.u32(kSize), riff.u32(kSize);  // positive height: bottom-up rows
    riff.u16(1), riff.u16(24), riff.u32(0), riff.u32(kFrameBytes);
    for (int i = 0; i < 4; ++i) riff.u32(0);
    riff.end(video_format);
    riff.end(video_list);

    const size_t audio_list = riff.begin_list("LIST", "strl");
    stream_header(riff, "auds", 2, kSampleRate * 2, kFrames * kSamplesPerFrame, kAudioBytes, 2, 0,
                  0);
    const size_t audio_format = riff.begin("strf");
    riff.u16(1), riff.u16(1), riff.u32(kSampleRate), riff.u32(kSampleRate * 2);
    riff.u16(2), riff.u16(16), riff.u16(0);
    riff.end(audio_format);
    riff.end(audio_list);
    riff.end(header_list);

    struct IndexEntry {
        const char *id;
        uint32_t offset, size;
    };
    std::vector<IndexEntry> index;
    const size_t movie = riff.begin_list("LIST", "movi");
    const size_t movie_start = movie + 4;  // index offsets count from the 'movi' type
    std::vector<uint8_t> frame(kFrameBytes);
    for (int f = 0; f < kFrames; ++f) {
        draw_frame(f, frame);
        const size_t video = riff.begin("00db");
        riff.bytes.insert(riff.bytes.end(), frame.begin(), frame.end());
        riff.end(video);
        index.push_back({"00db", uint32_t(video - 4 - movie_start), kFrameBytes});
        const size_t audio = riff.begin("01wb");
        for (int s = 0; s < kSamplesPerFrame; ++s)
            riff.u16(uint16_t(chime_sample(f * kSamplesPerFrame + s)));
        riff.end(audio);
        index.push_back({"01wb", uint32_t(audio - 4 - movie_start), kAudioBytes});
    }
    riff.end(movie);
    const size_t index_chunk = riff.begin("idx1");
    for (const IndexEntry &entry : index) {
        riff.fourcc(entry.id);
        riff.u32(0x10);  // key frame
        riff.u32(entry.offset), riff.u32(entry.size);
    }
    riff.end(index_chunk);
    riff.end(file);

    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) return "cannot create " + path;
    const bool written =
        std::fwrite(riff.bytes.data(), 1, riff.bytes.size(), out) == riff.bytes.size();
    if (std::fclose(out) != 0 || !written) return "cannot write " + path;
    return "";
}
