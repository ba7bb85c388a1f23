#!/bin/sh
# Writes the generated seeds kept in tests/fuzz/seeds/ anew, to be committed: the camera image
# and image writer harnesses' call sequences (python3), the sound file harness's WAVs (FFmpeg)
# and the video reader's AVIs (FFmpeg and the tests' video writers). Run it after a build:
#   tests/fuzz/make_seeds.sh [build folder, default build]
# The seeds are kept small (a few KB), so that the fuzzer mutates every part of them, and
# reproducible (bit-exact FFmpeg output, no encoder tags). FFmpeg's AVI writer reserves 4 KB
# per stream for an index unless told otherwise.
set -eu
cd "$(dirname "$0")/../.."
build="${1:-build}"
video=tests/fuzz/seeds/video_reader
sound=tests/fuzz/seeds/sound_file
mkdir -p "$video" "$sound"

# The camera image and image writer harnesses read their input through FuzzedDataProvider,
# which takes numbers from the input's end (most significant byte first) and byte runs and
# strings from its start. The Input class writes the values a harness is to read, in the
# order it reads them.
python3 - <<'END'
class Input:
    def __init__(self):
        self.front, self.back = bytearray(), bytearray()
    def num(self, value, low, high):
        size = 0
        while size < 8 and (high - low) >> (8 * size):
            size += 1
        self.back += (value - low).to_bytes(size, 'big')
        return self
    def bool(self, value): return self.num(int(value), 0, 255)
    def int16(self, value): return self.num(value, -2**15, 2**15 - 1)
    def int32(self, value): return self.num(value, -2**31, 2**31 - 1)
    def bytes(self, data): self.front += bytes(data); return self
    def string(self, text):  # a backslash and another character end it
        self.front += text.encode().replace(b'\\', b'\\\\') + b'\\.'
        return self
    def write(self, path):
        open(path, 'wb').write(self.front + self.back[::-1])

# camera_image: operations 0 begin, 1 palette, 2 line, 3 title, 4 position, 5 zoom step,
# 6 display flags, 7 overlay, 8 end.
def palette(i, count):
    i.num(1, 0, 8).bool(False).num(count, -1, 300)
    for shift in (0, 1, 2):
        i.bytes((c * 255 // (count - 1)) >> shift for c in range(count))
    i.num(1, 0, 15)
def frame(i, width, height, phase):  # the last line presents it
    for line in range(1, height + 1):
        i.num(2, 0, 8).bool(False).num(width, -2, 400).bool(False).num(line, -2, 400)
        i.bool(False).bool(False).num(height, -2, 400)
        i.bytes((x * line + phase) % 130 for x in range(width)).num(1, 0, 15)
def title(i, text): i.num(3, 0, 8).num(1, 0, 15).string(text).int32(0)

seeds = 'tests/fuzz/seeds/camera_image'
import os
os.makedirs(seeds, exist_ok=True)
i = Input().num(0, 0, 8).num(6, 0, 8).num(2, 0, 2**16 - 1)
palette(i, 130); title(i, 'Left eye: 1000 Hz'); frame(i, 48, 40, 0)
i.num(8, 0, 8).write(seeds + '/frame_48x40.bin')
i = Input().num(0, 0, 8)
palette(i, 130); title(i, 'Right eye')
i.num(4, 0, 8).bool(True)
for value in (100, 80, 640, 480): i.num(value, -2, 1200)
i.num(5, 0, 8).num(2, 0, 4)
i.num(7, 0, 8).num(3, 0, 6)
for kind, values, colour in ((1, (0, 12, 31, 12), 5), (1, (16, 0, 16, 23), 5),
                             (2, (4, 4, 24, 16), 2)):
    i.num(kind, 1, 3).bool(True)
    for value in values: i.num(value, -50, 800)
    i.num(colour, -1, 9)
frame(i, 32, 24, 0); frame(i, 32, 24, 7)
i.num(8, 0, 8).write(seeds + '/zoomed_overlay_two_frames.bin')

# image_writer: gd or not, width, height, depth, pitch (the row's bytes + an offset or any
# value), format (0-5 or any), where (0 missing folder, 1 the folder, 2-7 a file), pixels.
seeds = 'tests/fuzz/seeds/image_writer'
os.makedirs(seeds, exist_ok=True)
for name, gd, width, height, depth, pad, fmt in (('png_32', 1, 24, 16, 32, 0, 1),
                                                 ('jpeg_32', 1, 16, 12, 32, 0, 0),
                                                 ('gif_32', 1, 16, 12, 32, 0, 2),
                                                 ('bmp_24_padded', 0, 15, 10, 24, 3, 1),
                                                 ('bmp_16', 0, 20, 8, 16, 0, 3)):
    i = Input().bool(gd).num(width, -2, 200).num(height, -2, 200).num(depth, -1, 40)
    i.bool(False).num(pad, -4, 8).bool(True).num(fmt, 0, 5).num(2, 0, 7).num(1, 0, 31)
    i.bytes((x * 37 + 11) % 256 for x in range(97)).write(f'{seeds}/{name}.bin')
END

ff="ffmpeg -v error -y"
exact="-fflags +bitexact -flags +bitexact"
picture="-f lavfi -i testsrc2=s=32x24:r=10"
tone="-f lavfi -i sine=f=440:r=8000"
avi() {  # avi <name> <ffmpeg options...>: 3 frames of 32 x 24 with up to 0.3 s of sound
  name="$1"
  shift
  $ff $picture $tone -frames:v 3 -t 0.3 "$@" $exact -reserve_index_space 32 "$video/$name"
}
avi mpeg4_msadpcm.avi -c:v mpeg4 -c:a adpcm_ms
avi msvideo1_u8.avi -c:v msvideo1 -c:a pcm_u8
avi cinepak_ima.avi -c:v cinepak -c:a adpcm_ima_wav
avi h264_mp3.avi -c:v libx264 -preset ultrafast -bsf:v filter_units=remove_types=6 \
  -c:a libmp3lame -b:a 8k
avi msmpeg4_mulaw.avi -c:v msmpeg4 -c:a pcm_mulaw
avi rgb24_top_down_alaw.avi -c:v rawvideo -pix_fmt bgr24 -c:a pcm_alaw

wav() {  # wav <name> <rate> <channels> <seconds> <ffmpeg options...>: a 440 Hz tone
  name="$1" rate="$2" channels="$3" seconds="$4"
  shift 4
  $ff -f lavfi -i "sine=f=440:r=$rate:d=$seconds" -ac "$channels" "$@" $exact "$sound/$name"
}
wav u8_mono_8k.wav 8000 1 0.05 -c:a pcm_u8
wav s16_stereo_44k.wav 44100 2 0.01 -c:a pcm_s16le
wav s16_mono_48k.wav 48000 1 0.02 -c:a pcm_s16le
wav ima_adpcm_22k.wav 22050 1 0.1 -c:a adpcm_ima_wav
wav ms_adpcm_11k.wav 11025 1 0.1 -c:a adpcm_ms
wav mulaw_8k.wav 8000 1 0.1 -c:a pcm_mulaw
wav alaw_8k.wav 8000 1 0.1 -c:a pcm_alaw
wav f32_22k.wav 22050 1 0.02 -c:a pcm_f32le
# WAVE_FORMAT_EXTENSIBLE: FFmpeg writes it for more than 16 bits or more than two channels.
wav s24_stereo_16k_extensible.wav 16000 2 0.02 -c:a pcm_s24le
wav s16_6ch_8k_extensible.wav 8000 6 0.01 -c:a pcm_s16le
wav u8_with_list_chunk.wav 8000 1 0.02 -c:a pcm_u8 -metadata title=seed  # LIST before data

# Stored frames of every depth, damaged, frameless, run-length encoded and MJPEG AVIs from the
# tests' own video writers.
cmake --build "$build" --target make_video_seeds >/dev/null
"$build/tests/make_video_seeds" "$video"
ls -l tests/fuzz/seeds/*/
