// Compressed test videos on Windows, made by the build machine's ffmpeg program (under Wine,
// which runs the machine's programs): the library's FFmpeg has decoders only. The pictures and
// the sound go to it as raw files beside the video, removed once it is written.
#include <cmath>
#include <cstdio>
#include <fstream>

#include "test_system.h"
#include "test_videos.h"

namespace vt_test {

bool can_encode_videos() {
    return host_program_installed("ffmpeg") && !host_file_path("C:\\").empty();
}

bool write_encoded_video(const std::string &path, VideoCodec codec, int width, int height,
                         int frame_count, int rate, SoundCodec sound, double seconds_of_sound,
                         const std::function<Picture(int)> &picture) {
    const std::string pictures = path + ".rgb", samples = path + ".pcm";
    {
        std::ofstream out(pictures, std::ios::binary);
        for (int i = 0; i < frame_count; ++i)
            for (const uint32_t rgb : picture(i).rgb) {
                const char bytes[] = {char(rgb >> 16), char(rgb >> 8), char(rgb)};
                out.write(bytes, 3);
            }
        if (!out) return false;
    }
    // The same tone as the Linux encoder's: 8000 * sin(0.05 n) on both channels.
    if (sound != SoundCodec::None) {
        std::ofstream out(samples, std::ios::binary);
        const int64_t total = int64_t(seconds_of_sound * 44100);
        for (int64_t n = 0; n < total; ++n) {
            const int16_t v = int16_t(8000 * std::sin(double(n) * 0.05));
            const char bytes[] = {char(v & 0xFF), char(v >> 8), char(v & 0xFF), char(v >> 8)};
            out.write(bytes, 4);
        }
        if (!out) return false;
    }
    const auto quoted = [](const std::string &file) { return "'" + host_file_path(file) + "'"; };
    const char *video_options = codec == VideoCodec::Mjpeg ? "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p"
                                : codec == VideoCodec::Mpeg4
                                    ? "-c:v mpeg4 -q:v 2 -pix_fmt yuv420p"
                                    : "-c:v libx264 -pix_fmt yuv420p";
    std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s " +
                          std::to_string(width) + "x" + std::to_string(height) + " -r " +
                          std::to_string(rate) + " -i " + quoted(pictures);
    if (sound != SoundCodec::None)
        command += " -f s16le -ar 44100 -ac 2 -i " + quoted(samples) +
                   (sound == SoundCodec::Pcm ? " -c:a pcm_s16le" : " -c:a mp2 -b:a 192k");
    command += " " + std::string(video_options) + " " + quoted(path);
    const int status = run_host_script(command);
    std::remove(pictures.c_str());
    std::remove(samples.c_str());
    return status == 0;
}

}  // namespace vt_test
