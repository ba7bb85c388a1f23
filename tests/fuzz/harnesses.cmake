# Builds the libFuzzer harnesses of tests/fuzz (every *_fuzz.cpp) with clang++ as a separate
# project and runs each for a bounded time as a test. Each harness also gets a script,
# <build>/tests/fuzz/run_<subject>.sh [seconds], that runs it for longer (./run fuzz).
# Without clang++ and its fuzzer runtime they are skipped.
include(ExternalProject)

set(VT_FUZZ_SECONDS 15 CACHE STRING "How long each fuzz harness runs as a test")
file(GLOB fuzz_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*_fuzz.cpp)

find_program(VT_CLANGXX NAMES clang++ clang++-14)
set(fuzz_probe_dir ${CMAKE_CURRENT_BINARY_DIR}/fuzz_probe)
if(VT_CLANGXX)
  file(WRITE ${fuzz_probe_dir}/probe.cpp
       "#include <cstddef>\n#include <cstdint>\n"
       "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }\n")
  execute_process(COMMAND ${VT_CLANGXX} -fsanitize=fuzzer,address ${fuzz_probe_dir}/probe.cpp
                          -o ${fuzz_probe_dir}/probe
                  RESULT_VARIABLE fuzz_probe_failed OUTPUT_QUIET ERROR_QUIET)
endif()
if(NOT VT_CLANGXX OR fuzz_probe_failed)
  message(STATUS "Fuzz harnesses skipped: clang++ with libFuzzer (clang, libclang-rt-14-dev) "
                 "is not installed")
  return()
endif()

set(fuzz_binary_dir ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
ExternalProject_Add(vt_fuzz_harnesses
  SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/fuzz
  BINARY_DIR ${fuzz_binary_dir}
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${VT_CLANGXX} -DCMAKE_ASM_COMPILER=${VT_CLANGXX}
             -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVT_SOURCE_DIR=${PROJECT_SOURCE_DIR}
             -DVT_CLIP_DIR=${VT_CLIP_DIR} -DVT_OPEN_SANS_DIR=${VT_OPEN_SANS_DIR}
  DEPENDS feedback_clips
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")

# Writes the video reader's seeds that come from the tests' video writers; run by
# tests/fuzz/make_seeds.sh, which writes the generated seeds kept in tests/fuzz/seeds/ anew.
add_executable(make_video_seeds EXCLUDE_FROM_ALL fuzz/make_video_seeds.cpp)
target_link_libraries(make_video_seeds PRIVATE vt_test_videos)
vt_warnings(make_video_seeds)

# Each harness's limits: the longest input, the seconds one input may take, the memory of the
# process and the largest single allocation, each from what a sound input of -max_len bytes may
# cost. An input beyond any of them fails the run like a crash. Steady memory is the peak rss
# of a 2-minute run under the sanitizers (ASan's quarantine at 64 MB, as the run scripts set
# it); the rss limits add the input's own cost and 64 MB or more for the growth of a long run.
set(button_box_limits
  -max_len=512         # about 80 reports, twenty times the longest seed
  -timeout=2           # 512 bytes in 256 pieces through the pseudo-terminal take 20 ms
  -rss_limit_mb=288    # steady 205 MB; an input holds a few KB
  -malloc_limit_mb=1)  # the largest block is a copy of the input
set(camera_image_limits
  -max_len=8192        # three times the seeds: a 48 x 40 frame with palette and title
  -timeout=5           # 8 KB make at most 800 frames, 1.1 ms each with overlay and text
  -rss_limit_mb=320    # steady 211 MB; the image buffer and textures stay the same size
  -malloc_limit_mb=8)  # a whole frame's overlay at the largest zoom in 1024 x 768 is 5 MB
set(config_reader_limits
  -max_len=4096        # ten times the longest seed; lines are read 127 characters at a time
  -timeout=2           # a pass over 4 KB takes a fraction of a millisecond
  -rss_limit_mb=256    # steady 190 MB; an input holds a few copies of its text
  -malloc_limit_mb=1)  # the largest block is a copy of the input
set(image_writer_limits
  -max_len=1024        # the picture's bytes repeat over the rows; the rest is 20 bytes
  -timeout=2           # a 200 x 200 JPEG, PNG or GIF is written in milliseconds
  -rss_limit_mb=224    # steady 147 MB; pixels of at most 4 MB, a 160 KB image
  -malloc_limit_mb=2)  # the largest block is a 200 x 200 image of 160 KB
set(setup_script_limits
  -max_len=4096        # three times the longest seed, a keypad's script of 1.4 KB
  -timeout=2           # a parse of 4 KB takes a fraction of a millisecond
  -rss_limit_mb=256    # steady 162 MB; an input holds a few copies of its text
  -malloc_limit_mb=1)  # the largest block is a copy of the input
set(sound_file_limits
  -max_len=16384       # eight times the longest seed: 16 s of 8-bit sound at 1000 Hz
  -timeout=5           # such a sound converts and plays in under 0.2 s on the disk driver
  -rss_limit_mb=288    # steady 167 MB; SDL_mixer's converted copy of 16 KB is 1.5 MB at most
  -malloc_limit_mb=16) # that copy, with room (16 KB of 4-bit ADPCM at 1000 Hz made 22050 Hz)
set(video_reader_limits
  -max_len=32768       # twice the longest seed, room for a few frames of a compressed codec
  -timeout=10          # a budget of decoded frames (64 million pixels) takes 1-2 s
  -rss_limit_mb=768    # steady 199 MB, the 256 MB budget, FFmpeg's pictures, the sound copied
  -malloc_limit_mb=320) # the budget (one frame or the sound track) + 64 MB

foreach(source ${fuzz_sources})
  get_filename_component(harness ${source} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" subject ${harness})
  # New inputs go to the build tree's corpus; the seeds are only read.
  set(corpus ${fuzz_binary_dir}/corpus/${subject})
  set(artifacts ${fuzz_binary_dir}/artifacts)
  file(MAKE_DIRECTORY ${corpus} ${artifacts})
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/seeds/${subject})
  if(NOT DEFINED ${subject}_limits OR NOT EXISTS ${seeds})
    message(FATAL_ERROR "${harness}: give it limits in tests/fuzz/harnesses.cmake and seeds "
                        "in tests/fuzz/seeds/${subject}/")
  endif()
  list(JOIN ${subject}_limits " " options)
  string(APPEND options " -print_final_stats=1")
  string(APPEND options " -artifact_prefix=${artifacts}/${subject}-")
  set(dictionary ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${subject}.dict)
  if(EXISTS ${dictionary})
    string(APPEND options " -dict=${dictionary}")
  endif()
  set(script ${fuzz_binary_dir}/run_${subject}.sh)
  file(CONFIGURE OUTPUT ${script} @ONLY CONTENT [=[#!/bin/sh
# Runs the @harness@ harness for ${1:-@VT_FUZZ_SECONDS@} seconds; further arguments go to
# libFuzzer. A failing input is kept (-artifact_prefix) and printed in base64, so that a
# finding on a machine that is gone (a CI run) can still be replayed.
seconds=${1:-@VT_FUZZ_SECONDS@}
[ $# -gt 0 ] && shift
started="$(mktemp)"
# ASan holds freed memory back up to its quarantine: 64 MB keeps the steady memory that the
# rss limit allows for the same in every run (options set in ASAN_OPTIONS win).
export ASAN_OPTIONS="quarantine_size_mb=64${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
'@fuzz_binary_dir@/@harness@' -max_total_time=$seconds @options@ "$@" \
  '@corpus@' '@seeds@'
status=$?
if [ $status -ne 0 ]; then
  find '@artifacts@' -type f -name '@subject@-*' -newer "$started" -size -1024k |
    while read -r input; do
      echo "failing input $input, in base64 (replay: base64 -d >input.bin &&" \
           "'@fuzz_binary_dir@/@harness@' input.bin):"
      base64 -w 0 "$input"
      echo
    done
fi
rm -f "$started"
exit $status
]=])
  file(CHMOD ${script} FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  # A fixed seed makes the tests' runs repeat the same inputs; ./run fuzz draws a new one.
  add_test(NAME ${harness} COMMAND ${script} ${VT_FUZZ_SECONDS} -seed=1)
  # One at a time: a harness's timeout is wall time, which another running beside it stretches.
  set_tests_properties(${harness} PROPERTIES TIMEOUT 300 LABELS fuzz RESOURCE_LOCK vt_fuzz)
endforeach()
