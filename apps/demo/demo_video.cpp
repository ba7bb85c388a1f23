// Writes the demo's animated target through the project's AVI writer: uncompressed 24-bit
// frames of a turning pinwheel and a chime as 16-bit mono PCM sound.
#include "demo_video.h"

#include <cmath>

#include "avi_writer.h"

namespace {

constexpr int kSize = 120;  // frames are kSize x kSize pixels
constexpr int kFramesPerSecond = 25;
constexpr int kFrames = 50;  // two seconds, looping
constexpr int kSampleRate = 22050;
constexpr double kPi = 3.14159265358979;

// A pinwheel of six colours turning twice per loop, with a white fixation disc and a dark
// centre, on the key colour.
avi::Picture draw_frame(int frame) {
    avi::Picture picture{kSize, kSize, std::vector<uint32_t>(size_t(kSize) * kSize)};
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
            picture.rgb[size_t(y) * kSize + size_t(x)] =
                (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
        }
    return picture;
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
    avi::AviSpec spec;
    spec.bits = 24;
    spec.rate = kFramesPerSecond;
    for (int f = 0; f < kFrames; ++f) spec.frames.push_back(draw_frame(f));
    spec.with_sound = true;
    const int samples = kFrames * kSampleRate / kFramesPerSecond;
    for (int n = 0; n < samples; ++n) {
        const auto sample = uint16_t(chime_sample(n));
        spec.sound.data.push_back(uint8_t(sample));
        spec.sound.data.push_back(uint8_t(sample >> 8));
    }
    return avi::write_avi(path, spec) ? "" : "cannot write " + path;
}
