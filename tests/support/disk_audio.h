// Sound a test listens to: while a DiskAudio lives, the library's sound device uses SDL's disk
// audio driver, which writes the device's output to a file at the real-time rate; the dummy
// driver serves again once it is gone.
#pragma once

#include <stdlib.h>

#include <string>
#include <utility>

#include "audio_output.h"
#include "platform/audio_mixer.h"
#include "test_system.h"

namespace vt_test {

class DiskAudio {
public:
    // The library's audio device stays open between sounds: closing it makes the next sound
    // open one on the driver asked for.
    explicit DiskAudio(std::string path) : path_(std::move(path)) {
        platform::audio_output_close();
        send_audio_to(path_);
    }
    ~DiskAudio() {
        platform::audio_output_close();
        vt_test::set_env("SDL_AUDIODRIVER", "dummy");
    }
    DiskAudio(const DiskAudio &) = delete;
    DiskAudio &operator=(const DiskAudio &) = delete;

    // Seconds of the test tone (+-8000) in everything played so far. Closes the library's
    // audio output first, which completes the file.
    double tone_seconds() const {
        platform::audio_output_close();
        return double(loud_ms(channel(read_samples(path_), 0), 4000)) / 1000;
    }

private:
    std::string path_;
};

}  // namespace vt_test
