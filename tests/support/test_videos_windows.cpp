// Compressed test videos on Windows: the tests have no encoders of their own there (the
// Windows video tests read videos FFmpeg wrote at build time instead).
#include "test_videos.h"

namespace vt_test {

bool can_encode_videos() { return false; }

bool write_encoded_video(const std::string &, VideoCodec, int, int, int, int, SoundCodec, double,
                         const std::function<Picture(int)> &) {
    return false;
}

}  // namespace vt_test
