# Builds the libFuzzer harnesses of tests/fuzz with clang++ as a separate project and runs
# each for a bounded time as a test. Without clang++ and its fuzzer runtime they are skipped.
include(ExternalProject)

set(VT_FUZZ_SECONDS 15 CACHE STRING "How long each fuzz harness runs as a test")
set(VT_FUZZ_HARNESSES config_reader_fuzz setup_script_fuzz)

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
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${VT_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
             -DVT_SOURCE_DIR=${PROJECT_SOURCE_DIR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")

foreach(harness ${VT_FUZZ_HARNESSES})
  string(REGEX REPLACE "_fuzz$" "" subject ${harness})
  # New inputs go to the build tree's corpus; the seeds in the source tree are only read.
  set(corpus ${fuzz_binary_dir}/corpus/${subject})
  file(MAKE_DIRECTORY ${corpus})
  set(dictionary ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/${subject}.dict)
  set(options -max_total_time=${VT_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
              -print_final_stats=1)
  if(EXISTS ${dictionary})
    list(APPEND options -dict=${dictionary})
  endif()
  add_test(NAME ${harness}
           COMMAND ${fuzz_binary_dir}/${harness} ${options} ${corpus}
                   ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/seeds/${subject})
  set_tests_properties(${harness} PROPERTIES TIMEOUT 300)
endforeach()
