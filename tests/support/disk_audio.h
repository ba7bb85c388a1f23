// Sound a test listens to: while a DiskAudio lives, a sound device that opens uses SDL's disk
// audio driver, which writes the device's output to a file at the real-time rate. Made before
// the device opens; the dummy driver serves again once it is gone.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace vt_test {

class DiskAudio {
public:
    explicit DiskAudio(std::string path) : path_(std::move(path)) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    }
    ~DiskAudio() { setenv("SDL_AUDIODRIVER", "dummy", 1); }
    DiskAudio(const DiskAudio &) = delete;
    DiskAudio &operator=(const DiskAudio &) = delete;

    // 16-bit samples of the output louder than half the test tone's amplitude (8000): the
    // tone's samples, silence left out.
    size_t tone_samples() const {
        std::ifstream in(path_, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        size_t loud = 0;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            loud += std::abs(int16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8)) > 4000;
        return loud;
    }

private:
    std::string path_;
};

}  // namespace vt_test
