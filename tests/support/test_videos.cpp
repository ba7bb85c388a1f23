// Test video writers (see test_videos.h).
#include "test_videos.h"

#include "calibration/cal_data.h"
#include "calibration/sound_track.h"
#include "calibration/video_frames.h"

#include <cmath>
#include <cstring>

namespace vt_test {

uint32_t surface_rgb(SDL_Surface *surface, int x, int y) {
    SDL_LockSurface(surface);
    const int bpp = surface->format->BytesPerPixel;
    const uint8_t *p = static_cast<uint8_t *>(surface->pixels) + y * surface->pitch + x * bpp;
    uint32_t pixel = 0;
    std::memcpy(&pixel, p, size_t(bpp));
    SDL_UnlockSurface(surface);
    uint8_t r, g, b;
    SDL_GetRGB(pixel, surface->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

Picture quadrants(int width, int height, uint32_t top_left, uint32_t top_right,
                  uint32_t bottom_left, uint32_t bottom_right) {
    Picture picture{width, height, std::vector<uint32_t>(size_t(width) * size_t(height))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool left = x < width / 2, top = y < height / 2;
            picture.rgb[size_t(y) * size_t(width) + size_t(x)] =
                top ? (left ? top_left : top_right) : (left ? bottom_left : bottom_right);
        }
    return picture;
}

bool write_quadrant_video(const std::string &path, const QuadrantVideo &video) {
    AviSpec spec;
    spec.bits = video.bits;
    spec.rate = video.rate;
    for (int i = 0; i < video.frames; ++i)
        spec.frames.push_back(quadrants(video.width, video.height, video.top_left,
                                        video.top_right, video.bottom_left, video.bottom_right(i)));
    spec.with_sound = !video.sound.data.empty();
    spec.sound = video.sound;
    return write_avi(path, spec);
}

PcmSound tone(double seconds, uint32_t rate, uint16_t channels, uint16_t bits) {
    PcmSound sound{channels, rate, bits, {}, 1};
    const size_t samples = size_t(seconds * rate);
    for (size_t i = 0; i < samples; ++i) {
        const bool high = (i / 25) % 2 == 0;
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                sound.data.push_back(high ? 200 : 56);
            } else {
                const int16_t v = high ? 8000 : -8000;
                sound.data.push_back(uint8_t(v));
                sound.data.push_back(uint8_t(uint16_t(v) >> 8));
            }
        }
    }
    return sound;
}

PcmSound sine(double seconds, double hz, double amplitude, uint32_t rate, uint16_t channels) {
    PcmSound sound{channels, rate, 16, {}, 1};
    const double pi = std::acos(-1.0);
    for (size_t i = 0; i < size_t(seconds * rate); ++i) {
        const auto v = int16_t(std::lround(amplitude * std::sin(2 * pi * hz * double(i) / rate)));
        for (int c = 0; c < channels; ++c)
            sound.data.insert(sound.data.end(), {uint8_t(v), uint8_t(uint16_t(v) >> 8)});
    }
    return sound;
}

bool write_mjpeg_avi(const std::string &path, int width, int height, int frame_count, int rate,
                     SoundCodec sound, double seconds_of_sound,
                     const std::function<Picture(int)> &picture) {
    return write_encoded_video(path, VideoCodec::Mjpeg, width, height, frame_count, rate, sound,
                               seconds_of_sound, picture);
}

size_t visit_video_pass(const std::function<void(SDL_Surface *, int32_t)> &visit) {
    VideoPlayer *player = calData.animationTarget.player;
    if (!player) return 0;
    VideoFrames &video = player->frames();
    visit(video.first(), 0);
    video.begin_pass();
    int32_t j = 1;
    for (PassFrame frame; video.take(frame, [] { return true; }) && frame.surface; ++j) {
        visit(frame.surface, j);
        video.done(frame);
    }
    return size_t(j);
}

const platform::WaveFormat *loaded_sound_format() {
    VideoPlayer *player = calData.animationTarget.player;
    return player && player->sound() ? &player->sound_format() : nullptr;
}

SoundTrack *loaded_sound_track() {
    VideoPlayer *player = calData.animationTarget.player;
    return player ? player->sound() : nullptr;
}

std::vector<uint8_t> whole_sound() {
    SoundTrack *track = loaded_sound_track();
    std::vector<uint8_t> sound;
    if (!track) return sound;
    while (track->read_piece()) continue;
    for (size_t i = 0; i < track->pieces(); ++i) {
        const platform::WaveHeader piece = track->piece(i);
        sound.insert(sound.end(), piece.data, piece.data + piece.length);
    }
    return sound;
}

}  // namespace vt_test
