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

foreach(source ${fuzz_sources})
  get_filename_component(harness ${source} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" subject ${harness})
  # New inputs go to the build tree's corpus; the seeds are only read.
  set(corpus ${fuzz_binary_dir}/corpus/${subject})
  set(artifacts ${fuzz_binary_dir}/artifacts)
  file(MAKE_DIRECTORY ${corpus} ${artifacts})
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/seeds/${subject})
  if(NOT EXISTS ${seeds})
    message(FATAL_ERROR "${harness}: give it seeds in tests/fuzz/seeds/${subject}/")
  endif()
  set(options "-timeout=10 -rss_limit_mb=2048 -print_final_stats=1")
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
'@fuzz_binary_dir@/@harness@' -max_total_time=$seconds "$@" @options@ \
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
  set_tests_properties(${harness} PROPERTIES TIMEOUT 300 LABELS fuzz)
endforeach()
