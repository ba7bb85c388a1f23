// Build-time generator of the three built-in feedback clips: writes target_clip.wav,
// done_clip.wav and error_clip.wav (RIFF WAVE, PCM, mono, 22050 Hz, 16-bit) into the folder
// named on the command line. The library embeds them as data.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 22050.0;
constexpr double kPi = 3.14159265358979323846;

// One tone: a partial-rich sine sweep under an attack/decay envelope.
struct Tone {
    int samples;            // clip length
    double startHz;         // fundamental at the first sample
    double endHz;           // fundamental at the last sample (linear sweep)
    double second, third;   // weights of the 2nd and 3rd harmonics
    double attackMs;        // raised-cosine fade-in
    double decayMs;         // exponential decay constant; 0 = none
    double releaseMs;       // raised-cosine fade-out ending at zero on the last sample
    double peak;            // peak amplitude, fraction of full scale
};

std::vector<int16_t> synthesize(const Tone &tone) {
    std::vector<int16_t> out(static_cast<size_t>(tone.samples));
    const double norm = 1.0 + tone.second + tone.third;
    const double attack = tone.attackMs * kRate / 1000.0;
    const double release = tone.releaseMs * kRate / 1000.0;
    double phase = 0.0;
    for (int i = 0; i < tone.samples; ++i) {
        const double t = i / double(tone.samples - 1);
        const double hz = tone.startHz + (tone.endHz - tone.startHz) * t;
        double envelope = 1.0;
        if (i < attack) envelope *= 0.5 - 0.5 * std::cos(kPi * i / attack);
        const int left = tone.samples - 1 - i;
        if (left < release) envelope *= 0.5 - 0.5 * std::cos(kPi * left / release);
        if (tone.decayMs > 0) envelope *= std::exp(-(i / kRate) * 1000.0 / tone.decayMs);
        const double wave = std::sin(phase) + tone.second * std::sin(2 * phase) +
                            tone.third * std::sin(3 * phase);
        out[size_t(i)] = static_cast<int16_t>(std::lround(32767.0 * tone.peak * envelope * wave / norm));
        phase += 2 * kPi * hz / kRate;
    }
    return out;
}

void put16(std::vector<uint8_t> &b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t> &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void put_tag(std::vector<uint8_t> &b, const char *tag) { b.insert(b.end(), tag, tag + 4); }

bool write_wav(const std::string &path, const std::vector<int16_t> &samples) {
    const uint32_t data_bytes = uint32_t(samples.size() * 2);
    std::vector<uint8_t> file;
    put_tag(file, "RIFF");
    put32(file, 36 + data_bytes);
    put_tag(file, "WAVE");
    put_tag(file, "fmt ");
    put32(file, 16);
    put16(file, 1);                       // PCM
    put16(file, 1);                       // mono
    put32(file, uint32_t(kRate));         // samples per second
    put32(file, uint32_t(kRate) * 2);     // bytes per second
    put16(file, 2);                       // block align
    put16(file, 16);                      // bits per sample
    put_tag(file, "data");
    put32(file, data_bytes);
    for (int16_t s : samples) put16(file, uint16_t(s));

    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror(path.c_str());
        return false;
    }
    const bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    // Target: a short woody click. Done: a bright rising fifth. Error: a soft low falling tone.
    const Tone target{398, 2200, 2000, 0.35, 0.0, 0.6, 3.0, 1.5, 0.8};
    const Tone done{1562, 880, 1320, 0.2, 0.05, 4.0, 0.0, 18.0, 0.5};
    const Tone error{4814, 233, 196, 0.45, 0.25, 8.0, 0.0, 60.0, 0.6};
    const bool ok = write_wav(dir + "/target_clip.wav", synthesize(target)) &&
                    write_wav(dir + "/done_clip.wav", synthesize(done)) &&
                    write_wav(dir + "/error_clip.wav", synthesize(error));
    return ok ? 0 : 1;
}
