// Writes the video reader harness's seeds that come from the tests' own writers into the
// folder named by its argument: tiny AVIs of every stored depth, with and without PCM sound, a
// damaged one, one without frames, one run-length encoded, and MJPEG with PCM and with MP2
// sound. Small, so that the fuzzer mutates every part of them. The seeds are kept in
// tests/fuzz/seeds/video_reader/; tests/fuzz/make_seeds.sh writes them anew, running
//   cmake --build build --target make_video_seeds
//   build/tests/make_video_seeds tests/fuzz/seeds/video_reader
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "test_videos.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_video_seeds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);

    using vt_test::AviSpec;
    const vt_test::Picture picture =
        vt_test::quadrants(6, 4, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF);
    const vt_test::Picture other = vt_test::quadrants(6, 4, 0x000000, 0x808080, 0xFF00FF, 0x00FFFF);
    bool ok = true;
    for (int bits : {8, 16, 24, 32}) {
        AviSpec spec;
        spec.bits = bits;
        spec.rate = 25;
        spec.frames = {picture, other};
        spec.with_sound = bits == 8 || bits == 24;
        spec.sound = vt_test::tone(0.02, 8000, 1, bits == 8 ? 8 : 16);
        ok &= vt_test::write_avi(folder + "/dib" + std::to_string(bits) + ".avi", spec);
    }
    AviSpec damaged;
    damaged.frames = {picture, other, picture};
    damaged.short_frame = 1;
    ok &= vt_test::write_avi(folder + "/damaged.avi", damaged);
    AviSpec empty;
    empty.width = 6;
    empty.height = 4;
    empty.with_sound = true;
    empty.sound = vt_test::tone(0.01, 8000, 2, 16);
    ok &= vt_test::write_avi(folder + "/no_frames.avi", empty);
    AviSpec blank;  // run-length encoded: a whole frame from two bytes
    blank.width = 64;
    blank.height = 48;
    blank.blank_frames = 3;
    ok &= vt_test::write_avi(folder + "/rle8.avi", blank);
    const auto frame = [](int i) {
        return vt_test::quadrants(16, 8, i ? 0x00FF00 : 0xFF0000, 0x0000FF, 0xFFFF00, 0x202020);
    };
    ok &= vt_test::write_mjpeg_avi(folder + "/mjpeg_pcm.avi", 16, 8, 2, 10,
                                   vt_test::SoundCodec::Pcm, 0.01, frame);
    ok &= vt_test::write_mjpeg_avi(folder + "/mjpeg_mp2.avi", 16, 8, 2, 10,
                                   vt_test::SoundCodec::Mp2, 0.03, frame);
    if (!ok) std::fprintf(stderr, "make_video_seeds: a seed could not be written\n");
    return ok ? 0 : 1;
}
